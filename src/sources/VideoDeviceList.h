#pragma once

#include <QEvent>
#include <QList>
#include <QString>

class QObject;
typedef struct _GstDeviceMonitor GstDeviceMonitor;

// One video capture device as the Source page lists it.
struct VideoDeviceInfo
{
    QString name;
    QString path; // the stable /dev/v4l/by-id/... path when there is one
};

// The video capture devices present, and word of devices coming and going. GStreamer's device
// monitor does the looking ("Video/Source"), the test cameras included once enabled.
class VideoDeviceList final
{
public:
    // Changes are posted to the receiver as events of this type (one per change; the page
    // lets a burst settle).
    VideoDeviceList(QObject* receiver, QEvent::Type changeType);
    ~VideoDeviceList();
    VideoDeviceList(const VideoDeviceList&) = delete;
    VideoDeviceList& operator=(const VideoDeviceList&) = delete;

    QList<VideoDeviceInfo> Enumerate() const;

    // The /dev/v4l/by-id/ link that leads to the device node, or the node itself.
    static QString StablePath(const QString& node,
                              const QString& byIdDirectory = QStringLiteral("/dev/v4l/by-id"));

private:
    QObject* const receiver_;
    const QEvent::Type changeType_;
    GstDeviceMonitor* monitor_ = nullptr;
};
