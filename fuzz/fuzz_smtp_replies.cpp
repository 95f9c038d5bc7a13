// What an SMTP server may send: the reply reader cuts any bytes (in pieces of any size) into
// replies, and the dialogue answers each, to the end or a failure. The dialogue runs plain,
// with STARTTLS or with implicit TLS, with or without a login; a step that carries the login
// before the connection is encrypted is a fault.
#include "FuzzSupport.h"
#include "outputs/SmtpDialogue.h"
#include "outputs/SmtpReplyReader.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    EnsureFuzzApplication();
    if (size < 2)
        return 0;
    // The first byte sets the size of the pieces the bytes arrive in, the second the security.
    const std::size_t piece = data[0] % 17 + 1;
    const SmtpSecurity security = static_cast<SmtpSecurity>(data[1] % 3);
    const bool login = (data[1] / 3) % 2 == 1;
    SmtpReplyReader reader;
    SmtpDialogue dialogue(
        QStringLiteral("cam@example.org"), {QStringLiteral("a@example.org"), QStringLiteral("b@example.org")},
        [] { return QByteArray("Subject: x\r\n\r\n.\r\n"); },
        SmtpLogin{security, login ? QStringLiteral("cam") : QString(), QStringLiteral("s3cret")});
    bool encrypted = false;
    bool over = false;
    const auto carry = [&](const SmtpDialogue::Step& step) {
        if (step.secret && !encrypted)
            std::abort();
        if (step.outcome != SmtpDialogue::Outcome::Continue)
            over = true;
        return step.startTls;
    };
    if (security == SmtpSecurity::Tls) {
        encrypted = true;
        carry(dialogue.OnTlsStarted());
    }
    for (std::size_t at = 2; at < size && !over; at += piece) {
        reader.Append(Bytes(data + at, std::min(piece, size - at)));
        if (reader.Overflowed())
            break;
        while (const auto reply = reader.Take()) {
            if (carry(dialogue.OnReply(reply->code, reply->text))) {
                // As the socket does: what came with the agreement is dropped.
                reader = SmtpReplyReader();
                encrypted = true;
                carry(dialogue.OnTlsStarted());
                break;
            }
            if (over)
                break;
        }
    }
    return 0;
}
