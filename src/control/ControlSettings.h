#pragma once

#include "SettingsFile.h"

#include <cstdint>

// The processing controller's settings, shown and edited on the Control page.
struct ControlSettings
{
    enum CollectionType : std::int32_t
    {
        AtInterval = 0,
        OnArrival = 1
    };

    std::int32_t cycleTimeSeconds = 300;
    bool exactStroke = false;
    std::int32_t collectionType = AtInterval; // other values behave as "At Interval" for the timer
    bool enableCaptions = false;
    bool enableArchive = false;
    bool enableFtp = false;
    bool enableEmail = false;
    bool startOnLoad = false;
    bool animateTrayIcon = true; // settings file only
    bool startMinimised = false;

    friend bool operator==(const ControlSettings&, const ControlSettings&) = default;

    // The ten keys; integers are taken as they stand.
    static ControlSettings Read(const SettingsList& list);
    // The ten keys in the same order, then one empty line.
    void Write(SettingsList& list) const;
};
