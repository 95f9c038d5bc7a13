#pragma once

#include "SettingsFile.h"

#include <cstdint>

// The Advanced block of the settings file: the JPEG quality every encoder uses and the outbox's
// bounds.
struct AdvancedSettings
{
    static inline const QString KeyJpegQuality = QStringLiteral("AdvancedJPEGQuality");
    static inline const QString KeyOutboxImages = QStringLiteral("AdvancedOutboxMaxImages");
    static inline const QString KeyOutboxMegabytes = QStringLiteral("AdvancedOutboxMaxMB");

    std::int32_t jpegQuality = 75;
    // The most the outbox keeps for later FTP and e-mail deliveries; when full the oldest goes.
    std::int32_t outboxMaxImages = 500;
    std::int32_t outboxMaxMegabytes = 256;

    static AdvancedSettings Read(const SettingsList& list);
    // Appends the block, ended by an empty line.
    void Write(SettingsList& list) const;
    // The encoders use this quality from now on.
    void Apply() const;
};
