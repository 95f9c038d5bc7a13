#pragma once

#include "SettingsFile.h"

#include <cstdint>

// The Advanced block of the settings file: the JPEG quality every encoder uses.
struct AdvancedSettings
{
    static inline const QString KeyJpegQuality = QStringLiteral("AdvancedJPEGQuality");

    std::int32_t jpegQuality = 75;

    static AdvancedSettings Read(const SettingsList& list);
    // Appends the block, ended by an empty line.
    void Write(SettingsList& list) const;
    // The encoders use this quality from now on.
    void Apply() const;
};
