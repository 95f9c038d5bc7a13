#include "TestCameraProvider.h"

#include "CapturePipeline.h"
#include "TestCamera.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <gst/gst.h>

#include <algorithm>
#include <atomic>
#include <mutex>

struct PixletTestProvider;

namespace {
struct Camera
{
    const char* name;
    const char* path;
};
constexpr Camera Cameras[] = {{"Pixlet Test Camera", "pixlet-test-camera"},
                              {"Pixlet Test Camera 2", "pixlet-test-camera:320x240@15"}};
std::atomic<int> cameraCount{0};
// The provider while a monitor has it started, so a change of count reaches its list at once.
std::mutex startedLock;
PixletTestProvider* started = nullptr;

GstCaps* CameraCaps(const QString& path)
{
    TestCamera::Mode mode;
    TestCamera::ParseMode(path, mode);
    return gst_caps_new_simple("video/x-raw", "format", G_TYPE_STRING, "YUY2", "width", G_TYPE_INT,
                               mode.size.width(), "height", G_TYPE_INT, mode.size.height(), "framerate",
                               GST_TYPE_FRACTION, mode.fps, 1, nullptr);
}
} // namespace

extern "C" {

// A test camera as GStreamer lists it; its element is the camera's source.
struct PixletTestDevice
{
    GstDevice parent;
};
struct PixletTestDeviceClass
{
    GstDeviceClass parent_class;
};
G_DEFINE_TYPE(PixletTestDevice, pixlet_test_device, GST_TYPE_DEVICE)

static GstElement* pixlet_test_device_create_element(GstDevice* device, const gchar* name)
{
    GstStructure* properties = gst_device_get_properties(device);
    const gchar* path = properties ? gst_structure_get_string(properties, "device.path") : nullptr;
    GstElement* element = path ? TestCamera::MakeSource(QString::fromUtf8(path)) : nullptr;
    if (properties)
        gst_structure_free(properties);
    if (element && name)
        gst_object_set_name(GST_OBJECT(element), name);
    return element;
}

static void pixlet_test_device_class_init(PixletTestDeviceClass* klass)
{
    GST_DEVICE_CLASS(klass)->create_element = pixlet_test_device_create_element;
}

static void pixlet_test_device_init(PixletTestDevice*) {}

// The provider: probes the cameras present and, once started, follows them coming and going.
struct PixletTestProvider
{
    GstDeviceProvider parent;
    int listener;
    std::mutex* lock;
    GstDevice* listed[std::size(Cameras)];
    bool running;
};
struct PixletTestProviderClass
{
    GstDeviceProviderClass parent_class;
};
G_DEFINE_TYPE(PixletTestProvider, pixlet_test_provider, GST_TYPE_DEVICE_PROVIDER)

static GstDevice* MakeDevice(const Camera& camera)
{
    GstCaps* caps = CameraCaps(QString::fromUtf8(camera.path));
    GstStructure* properties =
        gst_structure_new("pixlet-test-camera", "device.path", G_TYPE_STRING, camera.path, nullptr);
    auto* device = static_cast<GstDevice*>(g_object_new(pixlet_test_device_get_type(), "display-name",
                                                        camera.name, "device-class", "Video/Source", "caps",
                                                        caps, "properties", properties, nullptr));
    gst_caps_unref(caps);
    gst_structure_free(properties);
    return device;
}

static GList* pixlet_test_provider_probe(GstDeviceProvider*)
{
    GList* devices = nullptr;
    for (int i = 0; i < cameraCount; ++i) {
        if (!TestCamera::IsGone(QString::fromUtf8(Cameras[i].path)))
            devices = g_list_append(devices, gst_object_ref_sink(MakeDevice(Cameras[i])));
    }
    return devices;
}

// Brings the provider's list in line with the cameras present: adds those that came, removes
// those that went. The provider keeps its own record of what it listed, since GStreamer's list
// cannot be read while the provider starts.
static void Reconcile(PixletTestProvider* self)
{
    std::lock_guard guard(*self->lock);
    // A change announced while the monitor stopped the provider (the listener may already be
    // on its way) lists nothing: the next start looks afresh.
    if (!self->running)
        return;
    GstDeviceProvider* provider = GST_DEVICE_PROVIDER(self);
    for (int i = 0; i < static_cast<int>(std::size(Cameras)); ++i) {
        GstDevice*& listed = self->listed[i];
        const bool gone = i >= cameraCount || TestCamera::IsGone(QString::fromUtf8(Cameras[i].path));
        if (gone && listed) {
            gst_device_provider_device_remove(provider, listed);
            gst_object_unref(listed);
            listed = nullptr;
        } else if (!gone && !listed) {
            listed = MakeDevice(Cameras[i]);
            gst_object_ref(listed);
            gst_device_provider_device_add(provider, listed);
        }
    }
}

// GStreamer forgets the provider's devices when it stops; so does the provider.
static void ForgetListed(PixletTestProvider* self)
{
    std::lock_guard guard(*self->lock);
    self->running = false;
    for (GstDevice*& listed : self->listed) {
        if (listed)
            gst_object_unref(listed);
        listed = nullptr;
    }
}

static gboolean pixlet_test_provider_start(GstDeviceProvider* provider)
{
    auto* self = reinterpret_cast<PixletTestProvider*>(provider);
    {
        std::lock_guard guard(*self->lock);
        self->running = true;
    }
    Reconcile(self);
    self->listener = TestCamera::AddChangeListener([self] { Reconcile(self); });
    std::lock_guard guard(startedLock);
    started = self;
    return TRUE;
}

static void pixlet_test_provider_stop(GstDeviceProvider* provider)
{
    auto* self = reinterpret_cast<PixletTestProvider*>(provider);
    {
        std::lock_guard guard(startedLock);
        started = nullptr;
    }
    if (self->listener >= 0)
        TestCamera::RemoveChangeListener(self->listener);
    self->listener = -1;
    ForgetListed(self);
}

static void pixlet_test_provider_finalize(GObject* object)
{
    auto* self = reinterpret_cast<PixletTestProvider*>(object);
    ForgetListed(self);
    delete self->lock;
    G_OBJECT_CLASS(pixlet_test_provider_parent_class)->finalize(object);
}

static void pixlet_test_provider_class_init(PixletTestProviderClass* klass)
{
    GstDeviceProviderClass* providerClass = GST_DEVICE_PROVIDER_CLASS(klass);
    providerClass->probe = pixlet_test_provider_probe;
    providerClass->start = pixlet_test_provider_start;
    providerClass->stop = pixlet_test_provider_stop;
    G_OBJECT_CLASS(klass)->finalize = pixlet_test_provider_finalize;
    gst_device_provider_class_set_static_metadata(
        providerClass, "Pixlet test cameras", "Video/Source",
        "Moving test pictures for Pixlet's tests and demonstrations", "Pixlet developers");
}

static void pixlet_test_provider_init(PixletTestProvider* self)
{
    self->listener = -1;
    self->lock = new std::mutex;
    self->running = false;
    for (GstDevice*& listed : self->listed)
        listed = nullptr;
}

static gboolean RegisterFeatures(GstPlugin* plugin)
{
    return gst_device_provider_register(plugin, "pixlettestcameras", GST_RANK_PRIMARY,
                                        pixlet_test_provider_get_type());
}

} // extern "C"

namespace TestCameraProvider {

bool Enable(int cameras)
{
    static std::once_flag once;
    static bool registered = false;
    cameraCount = std::clamp(cameras, 0, static_cast<int>(std::size(Cameras)));
    std::call_once(once, [] {
        EnsureGStreamer();
        registered = gst_plugin_register_static(GST_VERSION_MAJOR, GST_VERSION_MINOR, "pixlettestcameras",
                                                "Pixlet's test cameras", RegisterFeatures, "1.0", "LGPL",
                                                "pixlet", "pixlet", "https://pixlet.invalid");
    });
    std::lock_guard guard(startedLock);
    if (started)
        Reconcile(started);
    return registered;
}

void SetPlugged(bool plugged)
{
    for (const Camera& camera : Cameras)
        TestCamera::SetGone(QString::fromUtf8(camera.path), !plugged);
}

} // namespace TestCameraProvider
