#include "OutboxCourier.h"

#include "AdvancedSettings.h"
#include "Clock.h"
#include "EventLog.h"
#include "ImageDecoder.h"
#include "ImageEncoder.h"
#include "ImageFormat.h"
#include "ResultCodes.h"

#include <algorithm>

namespace {
QString KindText(OutboxItem::Kind kind)
{
    return kind == OutboxItem::Kind::Ftp ? QStringLiteral("FTP") : QStringLiteral("Email");
}

QString TakenText(const QDateTime& taken)
{
    return taken.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}
} // namespace

OutboxCourier::OutboxCourier(const Clock& clock, const QString& directory, const AdvancedSettings& advanced,
                             std::chrono::milliseconds firstRetry)
    : clock_(clock), advanced_(advanced), firstRetry_(firstRetry), outbox_(directory, Limits())
{
}

Outbox::Limits OutboxCourier::Limits() const
{
    return Outbox::Limits{std::max(1, advanced_.outboxMaxImages),
                          static_cast<qint64>(std::max(1, advanced_.outboxMaxMegabytes)) * 1024 * 1024};
}

void OutboxCourier::Load()
{
    outbox_.SetLimits(Limits());
    outbox_.Load();
    TryNow();
}

int OutboxCourier::CountOf(OutboxItem::Kind kind) const
{
    int count = 0;
    for (const OutboxEntry& entry : outbox_.Entries())
        count += entry.kind == kind ? 1 : 0;
    return count;
}

bool OutboxCourier::Waiting(OutboxItem::Kind kind) const
{
    return CountOf(kind) > 0;
}

bool OutboxCourier::Keep(OutboxItem::Kind kind, const ImageFrame& image, const QDateTime& taken,
                         const QString& key, bool failed)
{
    OutboxItem item;
    item.kind = kind;
    item.captured = taken;
    item.coalesceKey = key;
    if (image.IsEmpty() ||
        !Result::Succeeded(EncodeImageToStream(image, item.image, ImageFormat::Jpeg, KeptJpegQuality))) {
        AddLogEntry(LogCategory::Error,
                    QStringLiteral("Outbox - The %1 image taken %2 could not be encoded - not kept")
                        .arg(KindText(kind), TakenText(taken)));
        return false;
    }
    outbox_.SetLimits(Limits());
    const bool kept = outbox_.Add(item);
    if (kept)
        AddLogEntry(LogCategory::Information,
                    QStringLiteral("Outbox - %1 image taken %2 kept for a later delivery (%3 waiting)")
                        .arg(KindText(kind), TakenText(taken))
                        .arg(CountOf(kind)));
    if (failed)
        Backoff(kind);
    return kept;
}

std::optional<OutboxCourier::Delivery> OutboxCourier::Due(OutboxItem::Kind kind)
{
    if (clock_.MonotonicMs() < PaceOf(kind).nextTryMs)
        return std::nullopt;
    // Oldest first; a damaged item is set aside by the outbox and the next one tried.
    for (int guard = 0; guard < 1000; ++guard) {
        const std::vector<OutboxEntry>& entries = outbox_.Entries();
        const auto oldest = std::find_if(entries.begin(), entries.end(),
                                         [kind](const OutboxEntry& e) { return e.kind == kind; });
        if (oldest == entries.end())
            return std::nullopt;
        const QString name = oldest->name;
        std::optional<OutboxItem> item = outbox_.Read(name);
        if (!item)
            continue;
        Delivery delivery{name, ImageFrame(), item->captured};
        if (!Result::Succeeded(LoadImageFromMemory(delivery.image, item->image)) ||
            delivery.image.IsEmpty()) {
            AddLogEntry(LogCategory::Error,
                        QStringLiteral("Outbox - The kept image %1 cannot be decoded - dropped").arg(name));
            outbox_.Remove(name);
            continue;
        }
        AddLogEntry(LogCategory::Information,
                    QStringLiteral("Outbox - %1 - trying again with the image taken %2 "
                                   "(%3 waiting)")
                        .arg(KindText(kind), TakenText(item->captured))
                        .arg(CountOf(kind)));
        return delivery;
    }
    return std::nullopt;
}

void OutboxCourier::Delivered(OutboxItem::Kind kind, const QString& item)
{
    outbox_.Remove(item);
    OutputWorks(kind);
    AddLogEntry(LogCategory::Information,
                QStringLiteral("Outbox - %1 - delivered a kept image (%2 still waiting)")
                    .arg(KindText(kind))
                    .arg(CountOf(kind)));
}

void OutboxCourier::Failed(OutboxItem::Kind kind, const QString&)
{
    Backoff(kind);
}

void OutboxCourier::OutputWorks(OutboxItem::Kind kind)
{
    PaceOf(kind) = Pace();
}

void OutboxCourier::TryNow()
{
    ftp_.nextTryMs = email_.nextTryMs = 0;
}

void OutboxCourier::Backoff(OutboxItem::Kind kind)
{
    Pace& pace = PaceOf(kind);
    ++pace.failures;
    const auto delay = OutboxRetryDelay(pace.failures, firstRetry_);
    pace.nextTryMs = clock_.MonotonicMs() + static_cast<std::uint64_t>(delay.count());
    if (Waiting(kind))
        AddLogEntry(LogCategory::Information, QStringLiteral("Outbox - %1 - next try in %2 s (%3 waiting)")
                                                  .arg(KindText(kind))
                                                  .arg((delay.count() + 999) / 1000)
                                                  .arg(CountOf(kind)));
}
