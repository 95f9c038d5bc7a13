#pragma once

#include "CCaptionData.h"

#include <QRect>
#include <QString>

#include <cstdint>

#include <vector>

class Clock;
class ImageFrame;
class QPainter;

// Drawing captions onto images, on any thread.
namespace CaptionRenderer {

// A file named in a file-line token is read only up to this size; a larger one leaves the
// token in the caption as typed.
constexpr qint64 MaxFileLineBytes = 1024;

// The caption text for now: the time tokens, then the first file-line token
// ("<FILELINE=path|n>"), expanded under the process-wide file-line lock.
QString ExpandCaptionText(const QString& text, const Clock& clock);
// Only the file-line part (under the lock).
QString ExpandFileLineToken(const QString& text);
// Line `index` (from 0) of a file, each byte one character; LF ends a line and a CR before it
// is dropped. Empty when the file cannot be read or has fewer lines.
QString ReadFileLine(const QString& path, int index);

// One caption on a painter whose origin is the image's top-left corner, moved by the offsets.
// The box behind the text is exactly the measured text box; nothing is clipped beyond the
// painter's device; a size of 0 or less, or an empty text, draws nothing.
void DrawCaption(QPainter& painter, const CCaptionData& caption, int offsetX, int offsetY,
                 const Clock& clock);

// The same for a caption whose text is expanded already: nothing is read or expanded here, so
// a window may draw it on its own thread.
void DrawExpandedCaption(QPainter& painter, const CCaptionData& caption, int offsetX, int offsetY);

// The box of the text as a caption draws it from (x, y) with the justification (0 left, 1
// centre, 2 right), at `size` pixels in the face `face` only: a face that is not installed,
// or a size of 0 or less, gives an empty box. An empty text measures as one blank.
QRect MeasureCaptionText(const QString& text, const QString& face, int size, bool bold, bool italic,
                         std::int32_t justify, int x, int y);

// Every caption, in order, onto the image in place.
void DrawCaptions(ImageFrame& image, const std::vector<CCaptionData>& captions, const Clock& clock);

} // namespace CaptionRenderer
