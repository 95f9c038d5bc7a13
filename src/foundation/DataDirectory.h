#pragma once

#include <QString>

// The per-user data directory: the generic data location (honouring XDG_DATA_HOME) plus
// "Quellmoor Software/Pixlet/", always ending in "/". When no data location can be had, the
// current directory with a "/" appended. The directory itself is made when something is saved.
QString DataDirectory();
