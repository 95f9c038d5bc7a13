// Base64 decoding (both entries) and password unscrambling: any text.
#include "Base64.h"
#include "FuzzSupport.h"
#include "PasswordScrambler.h"

#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    EnsureFuzzApplication();
    const QByteArray bytes = Bytes(data, size);
    DecodeBase64(bytes);
    // A buffer shorter than the input may need: the decoder must stop at its end.
    std::vector<std::uint8_t> buffer(size / 2 + 1);
    std::size_t written = 0;
    const bool fits =
        DecodeBase64(bytes.constData(), std::size_t(bytes.size()), buffer.data(), buffer.size(), &written);
    if (fits != (written <= buffer.size()))
        __builtin_trap();
    UnscramblePassword(Text(data, size));
    return 0;
}
