#pragma once

#include "ImageFrame.h"
#include "outputs/Outbox.h"

#include <QDateTime>
#include <QString>

#include <chrono>
#include <cstdint>
#include <optional>

class AdvancedSettings;
class Clock;

// The images FTP and e-mail could not deliver (their server down, or the output still busy
// when a cycle ended), kept in the outbox, and when each output tries again: 30 s after a
// failure, doubling up to 15 minutes, and at once after any delivery that went through. Items
// go out oldest first, one at a time per output. Runs on the controller's thread.
class OutboxCourier final
{
public:
    // A kept image on its way out again.
    struct Delivery
    {
        QString item;
        ImageFrame image;
        QDateTime taken;
    };

    // The bounds come from the Advanced settings, as they stand at each image kept.
    OutboxCourier(const Clock& clock, const QString& directory, const AdvancedSettings& advanced,
                  std::chrono::milliseconds firstRetry = std::chrono::seconds(30));

    // What an earlier run left: it goes out at the first chance.
    void Load();

    // Keeps an image the output could not deliver. A non-empty key makes it replace an older
    // image kept under the same key (an upload to a fixed name). After a failure
    // (`failed`) the output waits before it tries again.
    bool Keep(OutboxItem::Kind kind, const ImageFrame& image, const QDateTime& taken, const QString& key,
              bool failed);
    // Images of this kind wait: a new one queues behind them.
    bool Waiting(OutboxItem::Kind kind) const;
    // The oldest image of the kind when a try is due, or nothing.
    std::optional<Delivery> Due(OutboxItem::Kind kind);
    // How the delivery Due gave ended.
    void Delivered(OutboxItem::Kind kind, const QString& item);
    void Failed(OutboxItem::Kind kind, const QString& item);
    // A new image went through: the server is back, whatever waits may go now.
    void OutputWorks(OutboxItem::Kind kind);
    // Everything waits no longer than now (processing started).
    void TryNow();

    int Count() const { return static_cast<int>(outbox_.Entries().size()); }
    qint64 Bytes() const { return outbox_.Bytes(); }

    // The quality of the copies kept: high, so that a delayed image is as good as a prompt one.
    static constexpr int KeptJpegQuality = 95;

private:
    struct Pace
    {
        int failures = 0;
        std::uint64_t nextTryMs = 0;
    };
    Pace& PaceOf(OutboxItem::Kind kind) { return kind == OutboxItem::Kind::Ftp ? ftp_ : email_; }
    int CountOf(OutboxItem::Kind kind) const;
    void Backoff(OutboxItem::Kind kind);

    Outbox::Limits Limits() const;

    const Clock& clock_;
    const AdvancedSettings& advanced_;
    const std::chrono::milliseconds firstRetry_;
    Outbox outbox_;
    Pace ftp_, email_;
};
