#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QMap>
#include <QString>

#include <chrono>
#include <optional>
#include <vector>

// One delivery waiting in the outbox: the encoded image and everything its delivery needs,
// worked out when the image was taken (expanded names, the time of capture).
struct OutboxItem
{
    enum class Kind
    {
        Ftp,
        Email,
    };
    Kind kind = Kind::Ftp;
    QDateTime captured;
    // Items with the same key replace each other, the newest kept: an upload to a fixed name
    // (no time tokens) needs only its latest image. Empty: every item goes on its own.
    QString coalesceKey;
    QMap<QString, QString> fields; // what the delivery needs, by name
    QByteArray image;
};

// What the outbox holds without reading the images.
struct OutboxEntry
{
    QString name; // the item's file name in the outbox directory
    OutboxItem::Kind kind = OutboxItem::Kind::Ftp;
    QDateTime captured;
    QString coalesceKey;
    qint64 bytes = 0; // the whole file
};

// Deliveries that failed, kept under the data directory until they go out: one file per item,
// written atomically (a crash leaves the item whole or not there), in the order taken, and
// bounded in count and bytes (the oldest goes when it is full, with a log line). It survives a
// restart; an item found damaged is set aside ("<name>.damaged") with a log line, never sent.
// Used from one thread.
class Outbox final
{
public:
    struct Limits
    {
        int maxItems = 500;
        qint64 maxBytes = 256LL * 1024 * 1024;
    };
    static constexpr qint64 MaxHeaderBytes = 64 * 1024;
    static constexpr qint64 MaxImageBytes = 256LL * 1024 * 1024;

    Outbox(const QString& directory, const Limits& limits);

    // What a previous run left: items listed, damaged ones set aside, unfinished writes removed.
    void Load();
    // Stores the item, then lets go of the items it replaces and of the oldest ones beyond the
    // limits. False (with a log line) when it could not be stored, or is older than an image
    // kept under the same key: nothing else is touched then.
    bool Add(const OutboxItem& item);
    // Oldest first.
    const std::vector<OutboxEntry>& Entries() const { return entries_; }
    // The whole item; a damaged one is set aside and gives nothing.
    std::optional<OutboxItem> Read(const QString& name);
    // After a delivery: the item is done.
    bool Remove(const QString& name);
    qint64 Bytes() const;
    void SetLimits(const Limits& limits);

    static QByteArray Serialise(const OutboxItem& item);
    // The item from a file's bytes, or what is wrong with them.
    static std::optional<OutboxItem> Parse(const QByteArray& bytes, QString* trouble);

private:
    void SetAside(const QString& name, const QString& why);
    void Enforce(const QString& keep);
    QString NextName(const OutboxItem& item);

    const QString directory_;
    Limits limits_;
    std::vector<OutboxEntry> entries_;
    quint64 sequence_ = 0;
};

// How long to wait before the next try after this many failures in a row: `first` (30 s),
// doubling, at most 30 times that (15 minutes).
std::chrono::milliseconds OutboxRetryDelay(int failures,
                                           std::chrono::milliseconds first = std::chrono::seconds(30));
