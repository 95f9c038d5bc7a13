#pragma once

#include <QObject>
#include <QStringList>

#include <vector>

// Receives the event log while it exists: every entry's category and text, in order.
class LogRecorder final : public QObject
{
public:
    LogRecorder();
    ~LogRecorder() override;

    struct Entry
    {
        int category;
        QString text;
    };
    std::vector<Entry> entries;

    // The texts that start with the prefix.
    QStringList Starting(const QString& prefix) const;
    bool event(QEvent* event) override;
};
