#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// Cuts what an SMTP server sends into replies. A reply is complete at its last line: lines
// "250-..." continue it, the first line whose code is not followed by "-" ends it. A reply
// that grows past MaxReplyBytes without ending is an error, so a server that floods the
// connection cannot grow memory without bound.
class SmtpReplyReader final
{
public:
    static constexpr qsizetype MaxReplyBytes = 64 * 1024;

    struct Reply
    {
        int code = 0; // the decimal number at the start of the reply, 0 if none
        QString text; // every line, line ends included
    };

    void Append(const QByteArray& bytes) { buffer_.append(bytes); }
    // The next complete reply, if one has arrived.
    std::optional<Reply> Take();
    // Bytes received and not yet taken as a reply.
    qsizetype Pending() const { return buffer_.size(); }
    // True once the unfinished reply is longer than MaxReplyBytes.
    bool Overflowed() const { return buffer_.size() > MaxReplyBytes; }

private:
    QByteArray buffer_;
};
