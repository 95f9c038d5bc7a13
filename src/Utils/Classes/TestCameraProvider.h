#pragma once

// Makes the test cameras known to GStreamer as video sources, so a device monitor lists them
// beside real cameras and sees them come and go (TestCamera::SetGone) as it sees a webcam
// plugged in or pulled out. The first camera is "Pixlet Test Camera" (640 x 480 at 30 fps); a
// second, "Pixlet Test Camera 2", runs at 320 x 240 and 15 fps.
namespace TestCameraProvider {

// Lists that many test cameras (0 to 2) from now on, registering the provider on first use;
// false if GStreamer refused it. A monitor started before the first call does not see them.
bool Enable(int cameras);

// Pulls every test camera out (false) or plugs them all back in (true).
void SetPlugged(bool plugged);

} // namespace TestCameraProvider
