#pragma once

#include <QString>

// Where the archive writes an image: the root, a separator unless the root is empty or already
// ends in one, then the template expanded for the moment. "\" (from older settings files and
// the first Quick Set buttons) and "/" both separate directories; an empty root leaves the
// path relative to the current directory.
QString ArchivePathFor(const QString& root, const QString& expandedTemplate);
