#include "LogRecorder.h"
#include "Utils/Classes/CaptureFormat.h"
#include "sources/SourceSettings.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

TEST(SourceSettings, DefaultsAndTheExactSaveOrder)
{
    SettingsList list;
    SourceSettings::Read({}, "/data/").Write(list);
    EXPECT_EQ(list, QStringList({"SourceType = 1",
                                 "SourceFileCollectDirectory = /data/",
                                 "SourceFileCollectMask = *.jpg",
                                 "SourceFileCollectDeleteOnCollection = No",
                                 "SourceFileCollectDirectoryMonitorErrorRetryTimeout = 60000",
                                 "SourceFileCollectCollectDelay = 0",
                                 "SourceFileCollectDeleteDelay = 0",
                                 "SourceVideoDeviceID = ",
                                 "SourceVideoDeviceLowCPU = No",
                                 "SourceVideoDeviceLowCPUInterframeDelay = 1000",
                                 "SourceVideoDeviceEnableVMRMixer = Yes",
                                 "SourceVideoDeviceUseVMR9 = Yes",
                                 "SourceResize = No",
                                 "SourceResizeWidth = 800",
                                 "SourceResizeHeight = 600",
                                 "SourceCrop = No",
                                 "SourceCropOriginX = 100",
                                 "SourceCropOriginY = 100",
                                 "SourceCropWidth = 320",
                                 "SourceCropHeight = 240",
                                 "SourceCropHatchStyle = HatchStyleBackwardDiagonal",
                                 "SourceVideoDeviceFormat = ",
                                 ""}));
}

TEST(SourceSettings, RoundTripAndOddValues)
{
    SourceSettings odd = SourceSettings::Defaults("/d/");
    odd.sourceType = 7;
    odd.fileCollectDirectory = QString::fromUtf8("/srv/Kamera Süd/");
    odd.fileCollectMask = "IMG_*.JPEG";
    odd.fileCollectDeleteOnCollection = true;
    odd.fileCollectCollectDelayMs = SourceSettings::MaxCollectDelayMs;
    odd.videoDeviceId = "/dev/v4l/by-id/usb-cam-video-index0";
    odd.cropOriginX = -9999;
    odd.cropWidth = 0;
    odd.resizeWidth = SourceSettings::MaxResizeSide;
    odd.cropHatchStyle = 52;
    odd.videoDeviceFormat = "NV12 1280x720 30000/1001";
    SettingsList list;
    odd.Write(list);
    EXPECT_EQ(SourceSettings::Read(list, "/elsewhere/"), odd);

    const SourceSettings unknownHatch = SourceSettings::Read(
        {"SourceCropHatchStyle = Plaid", "SourceCropHatchStyle = HatchStylePlaid"}, "/d/");
    EXPECT_EQ(unknownHatch.cropHatchStyle, 3) << "the first line wins; an unknown name reads as 3";
    SourceSettings zero = SourceSettings::Defaults("/d/");
    zero.cropHatchStyle = 0;
    list.clear();
    zero.Write(list);
    EXPECT_TRUE(list.contains("SourceCropHatchStyle = HatchStyleBackwardDiagonal"));
}

TEST(SourceSettings, NumbersFromADamagedFileAreBoundedAndSaid)
{
    LogRecorder log;
    const SourceSettings read = SourceSettings::Read(
        {"SourceResizeWidth = 0", "SourceResizeHeight = 100000", "SourceCropOriginX = -99999999999",
         "SourceCropWidth = -1", "SourceFileCollectCollectDelay = 86400000",
         "SourceFileCollectDirectoryMonitorErrorRetryTimeout = -1",
         "SourceVideoDeviceLowCPUInterframeDelay = 99999999"},
        "/d/");
    EXPECT_EQ(read.resizeWidth, 1);
    EXPECT_EQ(read.resizeHeight, SourceSettings::MaxResizeSide);
    EXPECT_EQ(read.cropOriginX, -SourceSettings::MaxCropOrigin);
    EXPECT_EQ(read.cropWidth, 0);
    EXPECT_EQ(read.fileCollectCollectDelayMs, SourceSettings::MaxCollectDelayMs);
    EXPECT_EQ(read.fileCollectDirectoryMonitorErrorRetryTimeoutMs, SourceSettings::MinRetryMs);
    EXPECT_EQ(read.videoDeviceLowCpuInterframeDelayMs, SourceSettings::MaxInterframeDelayMs);
    QCoreApplication::sendPostedEvents(&log);
    EXPECT_EQ(log.entries.size(), 7u) << "one line for each value not taken";
    EXPECT_EQ(log.Starting("Settings - SourceResizeHeight = 100000 is out of range (1 to 8192) - using 8192")
                  .size(),
              1);
}

// The stored format reads back exactly; anything a hand or another program made of it reads as
// the device's default rather than as a format no camera offers.
TEST(CaptureFormatSetting, RoundTripAndGarbage)
{
    const CaptureFormat ntsc{"NV12", QSize(1280, 720), 30000, 1001};
    EXPECT_EQ(ntsc.ToSetting(), "NV12 1280x720 30000/1001");
    EXPECT_EQ(CaptureFormat::FromSetting(ntsc.ToSetting()), ntsc);
    EXPECT_EQ(ntsc.Text(), "1280 x 720, 29.97 fps, NV12");
    EXPECT_EQ(CaptureFormat::FromSetting("  YUY2 640x480 30/1 "),
              (CaptureFormat{"YUY2", QSize(640, 480), 30, 1}));
    for (const char* garbage : {"", "YUY2", "YUY2 640x480", "YUY2 0x480 30/1", "YUY2 640x480 0/1",
                                "YUY2 640x480 30/0", "YUY2 640x480 30/1 extra", "YU Y2 640x480 30/1",
                                "YUY2 -640x480 30/1", "YUY2 640x480 99999999999/1", "\xff 640x480 30/1"})
        EXPECT_TRUE(CaptureFormat::FromSetting(QString::fromLatin1(garbage)).IsEmpty()) << garbage;
    EXPECT_EQ(CaptureFormat().ToSetting(), "");
}
