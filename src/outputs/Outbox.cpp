#include "Outbox.h"

#include "AtomicFileWriter.h"
#include "EventLog.h"
#include "RegularFile.h"
#include "SystemErrorText.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QUrl>

#include <algorithm>
#include <fcntl.h>

namespace {
constexpr char Magic[] = "PIXLET-OUTBOX 1";
const QString Suffix = QStringLiteral(".item");

QString KindName(OutboxItem::Kind kind)
{
    return kind == OutboxItem::Kind::Email ? QStringLiteral("email") : QStringLiteral("ftp");
}

QByteArray Encoded(const QString& text)
{
    return QUrl::toPercentEncoding(text);
}

QString Decoded(const QByteArray& text)
{
    return QUrl::fromPercentEncoding(text);
}

QString Describe(const OutboxEntry& entry)
{
    return QStringLiteral("%1 (%2, taken %3)")
        .arg(entry.name, KindName(entry.kind),
             entry.captured.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
}

// The header alone: where it ends, and the item without its image.
std::optional<OutboxItem> ParseHeader(const QByteArray& bytes, qsizetype* imageStart, qint64* imageBytes,
                                      QByteArray* imageSha256, QString* trouble)
{
    const qsizetype end = bytes.indexOf("\n\n");
    if (!bytes.startsWith(QByteArray(Magic) + '\n') || end < 0 || end > Outbox::MaxHeaderBytes) {
        *trouble = QStringLiteral("not an outbox item");
        return std::nullopt;
    }
    OutboxItem item;
    bool haveKind = false, haveSize = false;
    const QByteArrayList lines = bytes.left(end).split('\n');
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const qsizetype equals = lines[i].indexOf('=');
        if (equals <= 0) {
            *trouble = QStringLiteral("a header line without a value");
            return std::nullopt;
        }
        const QByteArray key = lines[i].left(equals);
        const QByteArray value = lines[i].mid(equals + 1);
        if (key == "kind") {
            haveKind = value == "ftp" || value == "email";
            item.kind = value == "email" ? OutboxItem::Kind::Email : OutboxItem::Kind::Ftp;
        } else if (key == "captured") {
            item.captured = QDateTime::fromString(Decoded(value), Qt::ISODateWithMs);
        } else if (key == "coalesce") {
            item.coalesceKey = Decoded(value);
        } else if (key.startsWith("field.")) {
            item.fields.insert(Decoded(key.mid(6)), Decoded(value));
        } else if (key == "image-bytes") {
            bool ok = false;
            *imageBytes = value.toLongLong(&ok);
            haveSize = ok && *imageBytes >= 0 && *imageBytes <= Outbox::MaxImageBytes;
        } else if (key == "image-sha256") {
            *imageSha256 = QByteArray::fromHex(value);
        }
    }
    if (!haveKind || !haveSize || !item.captured.isValid() || imageSha256->size() != 32) {
        *trouble = QStringLiteral("its header is incomplete");
        return std::nullopt;
    }
    *imageStart = end + 2;
    return item;
}
} // namespace

Outbox::Outbox(const QString& directory, const Limits& limits) : directory_(directory), limits_(limits) {}

QByteArray Outbox::Serialise(const OutboxItem& item)
{
    QByteArray bytes = QByteArray(Magic) + '\n';
    bytes += "kind=" + KindName(item.kind).toLatin1() + '\n';
    bytes += "captured=" + Encoded(item.captured.toString(Qt::ISODateWithMs)) + '\n';
    bytes += "coalesce=" + Encoded(item.coalesceKey) + '\n';
    for (auto field = item.fields.cbegin(); field != item.fields.cend(); ++field)
        bytes += "field." + Encoded(field.key()) + '=' + Encoded(field.value()) + '\n';
    bytes += "image-bytes=" + QByteArray::number(item.image.size()) + '\n';
    bytes +=
        "image-sha256=" + QCryptographicHash::hash(item.image, QCryptographicHash::Sha256).toHex() + '\n';
    return bytes + '\n' + item.image;
}

std::optional<OutboxItem> Outbox::Parse(const QByteArray& bytes, QString* trouble)
{
    qsizetype start = 0;
    qint64 size = 0;
    QByteArray sha256;
    std::optional<OutboxItem> item = ParseHeader(bytes, &start, &size, &sha256, trouble);
    if (!item)
        return std::nullopt;
    if (bytes.size() - start != size) {
        *trouble =
            QStringLiteral("it holds %1 bytes of image instead of %2").arg(bytes.size() - start).arg(size);
        return std::nullopt;
    }
    item->image = bytes.mid(start);
    if (QCryptographicHash::hash(item->image, QCryptographicHash::Sha256) != sha256) {
        *trouble = QStringLiteral("its image does not match its checksum");
        return std::nullopt;
    }
    return item;
}

void Outbox::Load()
{
    entries_.clear();
    QDir directory(directory_);
    if (!directory.exists())
        return;
    StaleTemporarySweep sweep;
    sweep.before = QDateTime::currentSecsSinceEpoch();
    RemoveStaleTemporaries(directory_, sweep);
    const QStringList names = directory.entryList({QStringLiteral("*") + Suffix}, QDir::Files, QDir::Name);
    for (const QString& name : names) {
        QFile file;
        QString trouble;
        std::optional<OutboxItem> header;
        qsizetype start = 0;
        qint64 size = 0;
        QByteArray sha256;
        if (OpenRegularFile(file, QFile::encodeName(directory.filePath(name)), O_RDONLY,
                            QIODevice::ReadOnly) != 0)
            trouble = QStringLiteral("it cannot be read");
        else
            header = ParseHeader(file.read(MaxHeaderBytes + 2), &start, &size, &sha256, &trouble);
        if (header && file.size() != start + size) {
            trouble = QStringLiteral("it is %1 bytes long instead of %2").arg(file.size()).arg(start + size);
            header.reset();
        }
        if (!header) {
            SetAside(name, trouble);
            continue;
        }
        entries_.push_back({name, header->kind, header->captured, header->coalesceKey, file.size()});
        sequence_ = std::max(
            sequence_, name.section(QLatin1Char('-'), 1, 1).section(QLatin1Char('.'), 0, 0).toULongLong());
    }
    if (!entries_.empty())
        AddLogEntry(LogCategory::Information,
                    QStringLiteral("Outbox - %1 item(s) waiting from an earlier run").arg(entries_.size()));
    Enforce(QString());
}

QString Outbox::NextName(const OutboxItem& item)
{
    // The time of capture first, so that the names sort oldest first.
    return QStringLiteral("%1-%2.%3%4")
        .arg(item.captured.toMSecsSinceEpoch(), 14, 10, QLatin1Char('0'))
        .arg(++sequence_, 8, 10, QLatin1Char('0'))
        .arg(KindName(item.kind), Suffix);
}

bool Outbox::Add(const OutboxItem& item)
{
    const QByteArray bytes = Serialise(item);
    if (item.image.size() > MaxImageBytes || bytes.size() > limits_.maxBytes) {
        AddLogEntry(
            LogCategory::Error,
            QStringLiteral("Outbox - The image of %1 bytes is larger than the outbox may hold - not kept")
                .arg(item.image.size()));
        return false;
    }
    if (!item.coalesceKey.isEmpty()) {
        for (const OutboxEntry& entry : entries_) {
            if (entry.kind == item.kind && entry.coalesceKey == item.coalesceKey &&
                entry.captured > item.captured) {
                // An image that failed late (a slow upload) after a newer one was kept: the newer
                // one is what the name needs.
                AddLogEntry(
                    LogCategory::Information,
                    QStringLiteral("Outbox - The image taken %1 is not kept - %2 is newer for the same name")
                        .arg(item.captured.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")), Describe(entry)));
                return false;
            }
        }
    }
    const QString name = NextName(item);
    if (const int error = WriteFileAtomically(QDir(directory_).filePath(name), bytes, 0600); error != 0) {
        AddLogEntry(LogCategory::Error,
                    QStringLiteral("Outbox - Could not keep the image for a later delivery - ") +
                        SystemErrorText(error));
        return false;
    }
    const OutboxEntry added{name, item.kind, item.captured, item.coalesceKey, bytes.size()};
    // Only now that the new one is safe do the ones it replaces go.
    if (!item.coalesceKey.isEmpty()) {
        for (auto entry = entries_.begin(); entry != entries_.end();) {
            if (entry->kind == item.kind && entry->coalesceKey == item.coalesceKey &&
                QFile::remove(QDir(directory_).filePath(entry->name))) {
                AddLogEntry(LogCategory::Information,
                            QStringLiteral("Outbox - %1 replaced by a newer image for the same name")
                                .arg(Describe(*entry)));
                entry = entries_.erase(entry);
            } else {
                ++entry;
            }
        }
    }
    const auto at =
        std::upper_bound(entries_.begin(), entries_.end(), added,
                         [](const OutboxEntry& a, const OutboxEntry& b) { return a.name < b.name; });
    entries_.insert(at, added);
    Enforce(name);
    return true;
}

void Outbox::Enforce(const QString& keep)
{
    for (auto entry = entries_.begin();
         entry != entries_.end() &&
         (static_cast<int>(entries_.size()) > limits_.maxItems || Bytes() > limits_.maxBytes);) {
        if (entry->name == keep) {
            ++entry;
            continue;
        }
        const QString path = QDir(directory_).filePath(entry->name);
        if (!QFile::remove(path) && QFile::exists(path)) {
            ++entry;
            continue;
        }
        AddLogEntry(LogCategory::Error,
                    QStringLiteral("Outbox - Full (at most %1 items, %2 MB) - the oldest item %3 was dropped")
                        .arg(limits_.maxItems)
                        .arg(limits_.maxBytes / (1024 * 1024))
                        .arg(Describe(*entry)));
        entry = entries_.erase(entry);
    }
}

std::optional<OutboxItem> Outbox::Read(const QString& name)
{
    QFile file;
    QString trouble;
    std::optional<OutboxItem> item;
    if (OpenRegularFile(file, QFile::encodeName(QDir(directory_).filePath(name)), O_RDONLY,
                        QIODevice::ReadOnly) != 0)
        trouble = QStringLiteral("it cannot be read");
    else if (file.size() > MaxHeaderBytes + MaxImageBytes + 2)
        trouble = QStringLiteral("it is too large");
    else
        item = Parse(file.readAll(), &trouble);
    if (!item)
        SetAside(name, trouble);
    return item;
}

bool Outbox::Remove(const QString& name)
{
    const auto entry =
        std::find_if(entries_.begin(), entries_.end(), [&](const OutboxEntry& e) { return e.name == name; });
    if (entry == entries_.end())
        return false;
    const QString path = QDir(directory_).filePath(name);
    // Let go of in any case: an item kept in the list because its file will not go would be
    // sent again and again. The file, if it stays, comes back at the next start.
    entries_.erase(entry);
    if (!QFile::remove(path) && QFile::exists(path)) {
        AddLogEntry(
            LogCategory::Error,
            QStringLiteral("Outbox - Could not remove the item %1 - it may be sent again after a restart")
                .arg(name));
        return false;
    }
    return true;
}

qint64 Outbox::Bytes() const
{
    qint64 total = 0;
    for (const OutboxEntry& entry : entries_)
        total += entry.bytes;
    return total;
}

void Outbox::SetLimits(const Limits& limits)
{
    limits_ = limits;
    Enforce(QString());
}

void Outbox::SetAside(const QString& name, const QString& why)
{
    const QString path = QDir(directory_).filePath(name);
    // Kept for a look, under a name no later load takes; an earlier one of that name stays too.
    QString aside = path + QStringLiteral(".damaged");
    for (int n = 2; QFile::exists(aside) && n <= 100; ++n)
        aside = path + QStringLiteral(".damaged-%1").arg(n);
    const bool moved = !QFile::exists(aside) && QFile::rename(path, aside);
    AddLogEntry(LogCategory::Error, QStringLiteral("Outbox - Damaged item %1 (%2) %3")
                                        .arg(name, why,
                                             moved ? QStringLiteral("set aside as ") + aside
                                                   : QStringLiteral("could not be set aside")));
    entries_.erase(std::remove_if(entries_.begin(), entries_.end(),
                                  [&](const OutboxEntry& e) { return e.name == name; }),
                   entries_.end());
}

std::chrono::milliseconds OutboxRetryDelay(int failures, std::chrono::milliseconds first)
{
    const std::chrono::milliseconds most = first * 30;
    std::chrono::milliseconds delay = first;
    for (int i = 1; i < failures && delay < most; ++i)
        delay *= 2;
    return std::min(delay, most);
}
