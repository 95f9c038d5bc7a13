#include "SourceSettings.h"

#include "HatchStyles.h"

#include <limits>

namespace {
constexpr std::int32_t Lowest = std::numeric_limits<std::int32_t>::min();
constexpr std::int32_t Highest = std::numeric_limits<std::int32_t>::max();

std::int32_t Int(const SettingsList& list, const char* key, std::int32_t fallback,
                 std::int32_t minimum = Lowest, std::int32_t maximum = Highest)
{
    return GetSettingInt(list, QLatin1String(key), fallback, minimum, maximum);
}

bool Bool(const SettingsList& list, const char* key, bool fallback)
{
    return GetSettingBool(list, QLatin1String(key), fallback);
}

QString Text(const SettingsList& list, const char* key, const QString& fallback)
{
    return GetSettingString(list, QLatin1String(key), fallback);
}
} // namespace

SourceSettings SourceSettings::Defaults(const QString& dataDirectory)
{
    SourceSettings settings;
    settings.fileCollectDirectory = dataDirectory;
    return settings;
}

SourceSettings SourceSettings::Read(const SettingsList& list, const QString& dataDirectory)
{
    const SourceSettings d = Defaults(dataDirectory);
    SourceSettings s;
    s.sourceType = Int(list, "SourceType", d.sourceType);
    s.fileCollectDirectory = Text(list, "SourceFileCollectDirectory", d.fileCollectDirectory);
    s.fileCollectMask = Text(list, "SourceFileCollectMask", d.fileCollectMask);
    s.fileCollectDeleteOnCollection =
        Bool(list, "SourceFileCollectDeleteOnCollection", d.fileCollectDeleteOnCollection);
    s.fileCollectDirectoryMonitorErrorRetryTimeoutMs =
        Int(list, "SourceFileCollectDirectoryMonitorErrorRetryTimeout",
            d.fileCollectDirectoryMonitorErrorRetryTimeoutMs, MinRetryMs, MaxRetryMs);
    s.fileCollectCollectDelayMs =
        Int(list, "SourceFileCollectCollectDelay", d.fileCollectCollectDelayMs, 0, MaxCollectDelayMs);
    s.fileCollectDeleteDelayMs =
        Int(list, "SourceFileCollectDeleteDelay", d.fileCollectDeleteDelayMs, 0, MaxDeleteDelayMs);
    s.videoDeviceId = Text(list, "SourceVideoDeviceID", d.videoDeviceId);
    s.videoDeviceLowCpu = Bool(list, "SourceVideoDeviceLowCPU", d.videoDeviceLowCpu);
    s.videoDeviceLowCpuInterframeDelayMs = Int(list, "SourceVideoDeviceLowCPUInterframeDelay",
                                               d.videoDeviceLowCpuInterframeDelayMs, 0, MaxInterframeDelayMs);
    s.videoDeviceEnableVmrMixer = Bool(list, "SourceVideoDeviceEnableVMRMixer", d.videoDeviceEnableVmrMixer);
    s.videoDeviceUseVmr9 = Bool(list, "SourceVideoDeviceUseVMR9", d.videoDeviceUseVmr9);
    s.resize = Bool(list, "SourceResize", d.resize);
    s.resizeWidth = Int(list, "SourceResizeWidth", d.resizeWidth, 1, MaxResizeSide);
    s.resizeHeight = Int(list, "SourceResizeHeight", d.resizeHeight, 1, MaxResizeSide);
    s.crop = Bool(list, "SourceCrop", d.crop);
    s.cropOriginX = Int(list, "SourceCropOriginX", d.cropOriginX, -MaxCropOrigin, MaxCropOrigin);
    s.cropOriginY = Int(list, "SourceCropOriginY", d.cropOriginY, -MaxCropOrigin, MaxCropOrigin);
    s.cropWidth = Int(list, "SourceCropWidth", d.cropWidth, 0, MaxCropSide);
    s.cropHeight = Int(list, "SourceCropHeight", d.cropHeight, 0, MaxCropSide);
    s.cropHatchStyle =
        HatchStyleFromName(Text(list, "SourceCropHatchStyle", HatchStyleToName(d.cropHatchStyle)));
    s.videoDeviceFormat = Text(list, "SourceVideoDeviceFormat", d.videoDeviceFormat);
    s.networkCameraTimeoutMs = Int(list, "SourceNetworkCameraTimeout", d.networkCameraTimeoutMs,
                                   MinNetworkTimeoutMs, MaxNetworkTimeoutMs);
    s.networkCameras = NetworkCamera::ReadList(list);
    return s;
}

void SourceSettings::Write(SettingsList& list) const
{
    AppendSetting(list, QStringLiteral("SourceType"), sourceType);
    AppendSetting(list, QStringLiteral("SourceFileCollectDirectory"), fileCollectDirectory);
    AppendSetting(list, QStringLiteral("SourceFileCollectMask"), fileCollectMask);
    AppendSetting(list, QStringLiteral("SourceFileCollectDeleteOnCollection"), fileCollectDeleteOnCollection);
    AppendSetting(list, QStringLiteral("SourceFileCollectDirectoryMonitorErrorRetryTimeout"),
                  fileCollectDirectoryMonitorErrorRetryTimeoutMs);
    AppendSetting(list, QStringLiteral("SourceFileCollectCollectDelay"), fileCollectCollectDelayMs);
    AppendSetting(list, QStringLiteral("SourceFileCollectDeleteDelay"), fileCollectDeleteDelayMs);
    AppendSetting(list, QStringLiteral("SourceVideoDeviceID"), videoDeviceId);
    AppendSetting(list, QStringLiteral("SourceVideoDeviceLowCPU"), videoDeviceLowCpu);
    AppendSetting(list, QStringLiteral("SourceVideoDeviceLowCPUInterframeDelay"),
                  videoDeviceLowCpuInterframeDelayMs);
    AppendSetting(list, QStringLiteral("SourceVideoDeviceEnableVMRMixer"), videoDeviceEnableVmrMixer);
    AppendSetting(list, QStringLiteral("SourceVideoDeviceUseVMR9"), videoDeviceUseVmr9);
    AppendSetting(list, QStringLiteral("SourceResize"), resize);
    AppendSetting(list, QStringLiteral("SourceResizeWidth"), resizeWidth);
    AppendSetting(list, QStringLiteral("SourceResizeHeight"), resizeHeight);
    AppendSetting(list, QStringLiteral("SourceCrop"), crop);
    AppendSetting(list, QStringLiteral("SourceCropOriginX"), cropOriginX);
    AppendSetting(list, QStringLiteral("SourceCropOriginY"), cropOriginY);
    AppendSetting(list, QStringLiteral("SourceCropWidth"), cropWidth);
    AppendSetting(list, QStringLiteral("SourceCropHeight"), cropHeight);
    AppendSetting(list, QStringLiteral("SourceCropHatchStyle"), HatchStyleToName(cropHatchStyle));
    AppendSetting(list, QStringLiteral("SourceVideoDeviceFormat"), videoDeviceFormat);
    AppendSetting(list, QStringLiteral("SourceNetworkCameraTimeout"), networkCameraTimeoutMs);
    NetworkCamera::WriteList(list, networkCameras);
    EndSettingsBlock(list);
}
