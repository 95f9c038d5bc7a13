#include "VideoDeviceList.h"

#include "Utils/Classes/CapturePipeline.h"
#include "Utils/Classes/TestCamera.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <gst/gst.h>

VideoDeviceList::VideoDeviceList(QObject* receiver, QEvent::Type changeType)
    : receiver_(receiver), changeType_(changeType)
{
    EnsureGStreamer();
    monitor_ = gst_device_monitor_new();
    GstCaps* caps = gst_caps_new_empty_simple("video/x-raw");
    gst_device_monitor_add_filter(monitor_, "Video/Source", caps);
    gst_caps_unref(caps);
    GstBus* bus = gst_device_monitor_get_bus(monitor_);
    // Read at once on whatever thread the monitor uses; only an event crosses to the page.
    gst_bus_set_sync_handler(
        bus,
        [](GstBus*, GstMessage* message, gpointer self) {
            auto* list = static_cast<VideoDeviceList*>(self);
            const GstMessageType type = GST_MESSAGE_TYPE(message);
            if (type == GST_MESSAGE_DEVICE_ADDED || type == GST_MESSAGE_DEVICE_REMOVED ||
                type == GST_MESSAGE_DEVICE_CHANGED)
                QCoreApplication::postEvent(list->receiver_, new QEvent(list->changeType_));
            gst_message_unref(message); // a dropped message is the handler's to free
            return GST_BUS_DROP;
        },
        this, nullptr);
    gst_object_unref(bus);
    gst_device_monitor_start(monitor_);
}

VideoDeviceList::~VideoDeviceList()
{
    if (monitor_) {
        gst_device_monitor_stop(monitor_);
        GstBus* bus = gst_device_monitor_get_bus(monitor_);
        gst_bus_set_sync_handler(bus, nullptr, nullptr, nullptr);
        gst_object_unref(bus);
        gst_object_unref(monitor_);
    }
}

QString VideoDeviceList::StablePath(const QString& node, const QString& byIdDirectory)
{
    const QString target = QFileInfo(node).canonicalFilePath();
    if (target.isEmpty())
        return node;
    const QFileInfoList links = QDir(byIdDirectory).entryInfoList(QDir::System | QDir::Files, QDir::Name);
    for (const QFileInfo& link : links) {
        if (link.isSymLink() && link.canonicalFilePath() == target)
            return link.absoluteFilePath();
    }
    return node;
}

QList<VideoDeviceInfo> VideoDeviceList::Enumerate() const
{
    QList<VideoDeviceInfo> devices;
    GList* found = gst_device_monitor_get_devices(monitor_);
    for (GList* item = found; item; item = item->next) {
        auto* device = static_cast<GstDevice*>(item->data);
        gchar* name = gst_device_get_display_name(device);
        GstStructure* properties = gst_device_get_properties(device);
        QString node;
        if (properties) {
            for (const char* key : {"api.v4l2.path", "device.path", "object.path"}) {
                if (const gchar* value = gst_structure_get_string(properties, key)) {
                    node = QString::fromUtf8(value);
                    break;
                }
            }
            gst_structure_free(properties);
        }
        if (TestCamera::IsTestCameraPath(node))
            devices.append({QString::fromUtf8(name), node});
        else if (node.startsWith(QLatin1Char('/')))
            devices.append({QString::fromUtf8(name), StablePath(node)});
        g_free(name);
    }
    g_list_free_full(found, gst_object_unref);
    return devices;
}
