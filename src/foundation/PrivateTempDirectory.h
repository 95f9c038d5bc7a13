#pragma once

#include <QString>

// A directory for this user's temporary files that no other local user can write into or
// plant links in: "pixlet-<uid>" in the system temporary directory, mode 0700, made if
// missing. If that name is taken by something that is not ours (another owner, wider
// permissions, a link), a fresh "pixlet-<uid>-XXXXXX" is made instead. Returns the path with a
// trailing "/", or an empty text when no such directory can be had.
QString PrivateTempDirectory(const QString& base = QString());
