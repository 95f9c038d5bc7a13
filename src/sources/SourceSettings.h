#pragma once

#include "NetworkCamera.h"
#include "SettingsFile.h"

#include <QList>

#include <QString>

#include <cstdint>

// Where images come from and how they are cropped and resized: the Source page's keys. The
// crop/resize worker and the sources get copies.
struct SourceSettings
{
    enum Type : std::int32_t
    {
        CollectFile = 0,
        VideoDevice = 1
    };

    std::int32_t sourceType = VideoDevice; // other values select no source
    QString fileCollectDirectory;          // the data directory unless set
    QString fileCollectMask = QStringLiteral("*.jpg");
    bool fileCollectDeleteOnCollection = false;
    std::int32_t fileCollectDirectoryMonitorErrorRetryTimeoutMs = 60000;
    std::int32_t fileCollectCollectDelayMs = 0;
    std::int32_t fileCollectDeleteDelayMs = 0;
    QString videoDeviceId;
    bool videoDeviceLowCpu = false;
    std::int32_t videoDeviceLowCpuInterframeDelayMs = 1000;
    bool videoDeviceEnableVmrMixer = true;
    bool videoDeviceUseVmr9 = true;
    bool resize = false;
    std::int32_t resizeWidth = 800;
    std::int32_t resizeHeight = 600;
    bool crop = false;
    std::int32_t cropOriginX = 100;
    std::int32_t cropOriginY = 100;
    std::int32_t cropWidth = 320;
    std::int32_t cropHeight = 240;
    std::int32_t cropHatchStyle = 3;
    QString videoDeviceFormat; // "YUY2 1920x1080 30/1"; empty: the device's default
    // How long a network camera may take for its first picture, and its server to answer.
    std::int32_t networkCameraTimeoutMs = 10000;
    QList<NetworkCamera> networkCameras;

    // Bounds of the numbers, on the page and when read from the file. A resized image is at
    // most 8192 pixels a side (about 200 MB while it is made); delays are minutes at most.
    static constexpr std::int32_t MaxResizeSide = 8192;
    static constexpr std::int32_t MaxCropSide = 10000;
    static constexpr std::int32_t MaxCropOrigin = 9999;
    static constexpr std::int32_t MinRetryMs = 1000;
    static constexpr std::int32_t MaxRetryMs = 60 * 60 * 1000;
    static constexpr std::int32_t MaxCollectDelayMs = 60 * 1000;
    static constexpr std::int32_t MaxDeleteDelayMs = 60 * 60 * 1000;
    static constexpr std::int32_t MaxInterframeDelayMs = 60 * 1000;
    static constexpr std::int32_t MinNetworkTimeoutMs = 1000;
    static constexpr std::int32_t MaxNetworkTimeoutMs = 120 * 1000;

    friend bool operator==(const SourceSettings&, const SourceSettings&) = default;

    // The defaults, with the collect directory in the data directory.
    static SourceSettings Defaults(const QString& dataDirectory);
    // Every key, with the defaults for missing ones; numbers out of their bounds are limited
    // to them, with a log line.
    static SourceSettings Read(const SettingsList& list, const QString& dataDirectory);
    // Every key in the page's order, then one empty line.
    void Write(SettingsList& list) const;
};
