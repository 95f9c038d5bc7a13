#pragma once

#include <QSize>

#include <memory>
#include <vector>

typedef struct _GstBuffer GstBuffer;
typedef struct _GstCaps GstCaps;

// A loop of the test camera's frames, drawn once when a camera of that mode first connects and
// shared by every camera of the mode while one is connected. Drawing a moving pattern for
// every frame would cost a large share of a core at full HD and make the camera, not the
// capture, what a measurement sees; replaying a short loop costs next to nothing, as a real
// camera's driver does. The loop is held to about 32 MB and at most one second.
class TestCameraFrames final
{
public:
    ~TestCameraFrames();
    TestCameraFrames(const TestCameraFrames&) = delete;
    TestCameraFrames& operator=(const TestCameraFrames&) = delete;

    // The loop for the mode, drawn now unless one is alive; null if drawing failed.
    static std::shared_ptr<const TestCameraFrames> ForMode(const QSize& size, int fps);

    GstCaps* Caps() const { return caps_; }
    const std::vector<GstBuffer*>& Buffers() const { return buffers_; }

private:
    TestCameraFrames() = default;
    bool Render(const QSize& size, int fps);

    GstCaps* caps_ = nullptr;
    std::vector<GstBuffer*> buffers_;
};
