// What an SMTP server may send: the reply reader cuts any bytes (in pieces of any size) into
// replies, and the dialogue answers each, to the end or a failure.
#include "FuzzSupport.h"
#include "outputs/SmtpDialogue.h"
#include "outputs/SmtpReplyReader.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    EnsureFuzzApplication();
    if (size == 0)
        return 0;
    // The first byte sets the size of the pieces the bytes arrive in.
    const std::size_t piece = data[0] % 17 + 1;
    SmtpReplyReader reader;
    SmtpDialogue dialogue(QStringLiteral("cam@example.org"),
                          {QStringLiteral("a@example.org"), QStringLiteral("b@example.org")},
                          [] { return QByteArray("Subject: x\r\n\r\n.\r\n"); });
    bool over = false;
    for (std::size_t at = 1; at < size && !over; at += piece) {
        reader.Append(Bytes(data + at, std::min(piece, size - at)));
        if (reader.Overflowed())
            break;
        while (const auto reply = reader.Take()) {
            const SmtpDialogue::Step step = dialogue.OnReply(reply->code, reply->text);
            if (step.outcome != SmtpDialogue::Outcome::Continue) {
                over = true;
                break;
            }
        }
    }
    return 0;
}
