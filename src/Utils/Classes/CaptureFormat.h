#pragma once

#include <QList>
#include <QSize>
#include <QString>

// One way a camera can deliver its picture: pixel format, size and frame rate. Stored as
// "SourceVideoDeviceFormat" in the form "YUY2 1920x1080 30/1"; an empty format means the
// device's own default.
struct CaptureFormat
{
    QString pixelFormat;
    QSize size;
    int rateNumerator = 0;
    int rateDenominator = 1;

    bool IsEmpty() const { return pixelFormat.isEmpty() || size.isEmpty() || rateNumerator <= 0; }
    // "1920 x 1080, 30.00 fps, YUY2", as the format list shows it.
    QString Text() const;
    QString ToSetting() const;
    // The stored text back; anything malformed or out of range reads as the empty format.
    static CaptureFormat FromSetting(const QString& text);

    friend bool operator==(const CaptureFormat&, const CaptureFormat&) = default;
};

// A picture control of a device (brightness, contrast, ...) with its range and value.
struct CaptureControl
{
    QString name;
    int minimum = 0;
    int maximum = 0;
    int value = 0;

    friend bool operator==(const CaptureControl&, const CaptureControl&) = default;
};
