#include "CaptionRenderer.h"

#include "ColourText.h"
#include "EventLog.h"
#include "ImageFrame.h"
#include "RegularFile.h"
#include "TimeTemplate.h"

#include <QFile>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QHash>
#include <QMutex>
#include <QPainter>

#include <boost/filesystem/operations.hpp>

#include <fcntl.h>

namespace CaptionRenderer {
namespace {
// One thread at a time expands a file-line token and reads its file.
QMutex fileLineLock;

const QString TokenStart = QStringLiteral("<FILELINE=");

bool OpenCaptionFile(QFile& file, const QString& path)
{
    const int error = ::OpenRegularFile(file, QFile::encodeName(path), O_RDONLY, QIODevice::ReadOnly);
    if (error == ENOTREGULAR) {
        AddLogEntry(LogCategory::Error,
                    QStringLiteral("Captions - Not a regular file, its line is left empty - ") + path);
    }
    return error == 0;
}

// The whole (small) file, read until two reads in a row agree, so that a file rewritten in
// place while we read it never gives a line made of two versions.
QByteArray ReadSmallFileSteadily(const QString& path)
{
    QByteArray previous;
    for (int attempt = 0; attempt < 5; ++attempt) {
        QFile file;
        if (!OpenCaptionFile(file, path))
            return QByteArray();
        const QByteArray bytes = file.read(MaxFileLineBytes + 1);
        if (attempt > 0 && bytes == previous)
            return bytes;
        previous = bytes;
    }
    return previous;
}

// Whether a face is installed, asked of the font database once per face: the question goes
// through fontconfig and would otherwise cost more than drawing the caption.
bool FamilyInstalled(const QString& family)
{
    static QMutex mutex;
    static QHash<QString, bool> known;
    QMutexLocker lock(&mutex);
    const auto found = known.constFind(family);
    if (found != known.constEnd())
        return found.value();
    const bool installed = QFontDatabase::hasFamily(family);
    known.insert(family, installed);
    return installed;
}

QFont CaptionFont(const CCaptionData& caption)
{
    QFont font;
    if (FamilyInstalled(caption.fontName)) {
        font.setFamily(caption.fontName);
    } else {
        // A face that is not installed draws in the desktop's generic sans-serif face.
        font.setStyleHint(QFont::SansSerif);
        font.setFamily(QStringLiteral("sans-serif"));
    }
    font.setPixelSize(caption.fontSize);
    font.setBold(caption.fontWeight > 400);
    font.setItalic(caption.fontItalic);
    return font;
}

QColor ColourWithAlpha(const QString& text, int alpha)
{
    const ColourValue colour = ColourFromText(text);
    return QColor(RedOf(colour), GreenOf(colour), BlueOf(colour), alpha);
}
} // namespace

QString ReadFileLine(const QString& path, int index)
{
    if (index < 0)
        return QString();
    const QByteArray bytes = ReadSmallFileSteadily(path);
    qsizetype start = 0;
    for (int line = 0; line < index; ++line) {
        const qsizetype end = bytes.indexOf('\n', start);
        if (end < 0)
            return QString();
        start = end + 1;
    }
    if (start >= bytes.size())
        return QString();
    qsizetype end = bytes.indexOf('\n', start);
    if (end < 0)
        end = bytes.size();
    else if (end > start && bytes[end - 1] == '\r')
        --end;
    return QString::fromLatin1(bytes.mid(start, end - start));
}

QString ExpandFileLineToken(const QString& text)
{
    QMutexLocker lock(&fileLineLock);
    const qsizetype begin = text.indexOf(TokenStart);
    if (begin < 0)
        return text;
    const qsizetype close = text.indexOf(u'>', begin);
    if (close < 0)
        return text;
    const QString token = text.mid(begin, close - begin + 1);
    const QString specification = token.mid(TokenStart.size(), token.size() - TokenStart.size() - 1);
    const QString path = ExtractField(specification, 0, u'|');
    const int line = std::max(1, ReadDecimal(ExtractField(specification, 1, u'|')));

    boost::system::error_code error;
    const auto size = boost::filesystem::file_size(QFile::encodeName(path).toStdString(), error);
    if (!error && size > static_cast<std::uintmax_t>(MaxFileLineBytes))
        return text;
    QString expanded = text;
    expanded.replace(token, ReadFileLine(path, line - 1));
    return expanded;
}

QString ExpandCaptionText(const QString& text, const Clock& clock)
{
    // Lines brought in from a file are inserted as they are, never expanded themselves.
    return ExpandFileLineToken(ExpandTimeTemplate(text, clock));
}

void DrawCaption(QPainter& painter, const CCaptionData& caption, int offsetX, int offsetY, const Clock& clock)
{
    if (caption.fontSize <= 0)
        return;
    CCaptionData expanded = caption;
    expanded.text = ExpandCaptionText(caption.text, clock);
    DrawExpandedCaption(painter, expanded, offsetX, offsetY);
}

void DrawExpandedCaption(QPainter& painter, const CCaptionData& caption, int offsetX, int offsetY)
{
    if (caption.fontSize <= 0)
        return;
    const QString& text = caption.text;
    if (text.isEmpty())
        return;
    const QFont font = CaptionFont(caption);
    const QFontMetricsF metrics(font);
    // The box holds the whole line: its advance, or further where a glyph (italic) overhangs.
    const qreal width = std::max(metrics.horizontalAdvance(text), metrics.boundingRect(text).right());
    const qreal x = caption.positionX + offsetX;
    const qreal y = caption.positionY + offsetY;
    qreal left = x;
    if (caption.justify == 1)
        left = x - width / 2;
    else if (caption.justify == 2)
        left = x - width;
    const QRectF box(left, y, width, metrics.height());

    painter.save();
    if (caption.backgroundAlpha != 0)
        painter.fillRect(box, ColourWithAlpha(caption.backgroundColour, caption.backgroundAlpha));
    painter.setRenderHint(QPainter::TextAntialiasing, true);
    painter.setFont(font);
    painter.setPen(ColourWithAlpha(caption.textColour, caption.textAlpha));
    painter.drawText(box, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine | Qt::TextDontClip, text);
    painter.restore();
}

QRect MeasureCaptionText(const QString& text, const QString& face, int size, bool bold, bool italic,
                         std::int32_t justify, int x, int y)
{
    if (size <= 0 || !FamilyInstalled(face))
        return QRect();
    QFont font(face);
    font.setPixelSize(size);
    font.setBold(bold);
    font.setItalic(italic);
    const QString measured = text.isEmpty() ? QStringLiteral(" ") : text;
    const QFontMetricsF metrics(font);
    const qreal width = std::max(metrics.horizontalAdvance(measured), metrics.boundingRect(measured).right());
    qreal left = x;
    if (justify == 1)
        left = x - width / 2;
    else if (justify == 2)
        left = x - width;
    // Whole pixels by truncation, the way the sample's hatch rule reads the box.
    const int boxLeft = static_cast<int>(left);
    return QRect(boxLeft, y, static_cast<int>(left + width) - boxLeft, static_cast<int>(metrics.height()));
}

void DrawCaptions(ImageFrame& image, const std::vector<CCaptionData>& captions, const Clock& clock)
{
    if (captions.empty())
        return;
    QPainter* painter = image.AcquireDrawingSurface();
    if (!painter)
        return;
    for (const CCaptionData& caption : captions)
        DrawCaption(*painter, caption, 0, 0, clock);
    image.ReleaseDrawingSurface();
}

} // namespace CaptionRenderer
