#pragma once

#include "CaptureTypes.h"

class CaptureFlow;
typedef struct _GstElement GstElement;

// The source element of a network camera: a bin that plays the stream's address (decoded to
// raw video by whatever GStreamer has for it) and offers the frames on one "src" pad, as a
// local device's source would. The credentials go to the element that talks to the camera,
// never into the address. Decoding keeps pace with the camera; only the newest decoded frame
// waits, so a capture thread resting between frames (Low CPU) costs frames, never memory, and
// never holds the connection up. A JPEG stream (MJPEG) is not even decoded while the flow rests:
// each of its frames stands alone, unlike those of H.264.
namespace NetworkSource {
// Null when GStreamer lacks the elements. The flow must outlive the element.
GstElement* Make(const NetworkStream& stream, const CaptureFlow& flow);

// The address as it may be shown and logged: no user name or password, no query (cameras take
// credentials there too).
QString ShownUrl(const QString& url);
// A text (GStreamer's words on an error) with the stream's address shown as above and its
// password left out.
QString Masked(const QString& text, const NetworkStream& stream);
} // namespace NetworkSource
