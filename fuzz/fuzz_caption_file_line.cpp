// The caption file-line reader: any file contents, any line number, and the token around it.
#include "FuzzSupport.h"
#include "captions/CaptionRenderer.h"

#include <cstdint>

using namespace CaptionRenderer;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    EnsureFuzzApplication();
    if (size < 2)
        return 0;
    // The first two bytes choose the line (signed, so negative and large ones come too).
    const int index = std::int16_t(data[0] | (data[1] << 8));
    const QString path = WriteInputFile(Bytes(data + 2, size - 2));
    const QString line = ReadFileLine(path, index);
    if (line.toUtf8().size() > MaxFileLineBytes * 4)
        __builtin_trap(); // one line of the file, within the read limit
    ExpandFileLineToken(QStringLiteral("a <FILELINE=") + path + QStringLiteral("|") + QString::number(index) +
                        QStringLiteral("> b"));
    return 0;
}
