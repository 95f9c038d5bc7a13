#pragma once

#include <QString>

class QObject;

// Log categories: 0 information, 1 error; 2 to 5 have colours but no sender.
namespace LogCategory {
constexpr int Information = 0;
constexpr int Error = 1;
} // namespace LogCategory

// Adds an entry to the event log from any thread: the text is copied into a UWM_CLOG_UPDATE
// message (wParam = category) posted to the log's receiver; returns at once. Entries of one
// thread keep their order. Without a receiver the entry goes to standard error, so nothing
// said before the log page exists (or after it is gone) is lost silently.
void AddLogEntry(int category, const QString& text);

// The object that receives the entries; nullptr detaches it. The receiver detaches itself
// before it is destroyed, so no thread posts to a dead object.
void SetLogReceiver(QObject* receiver);
