#include "DataDirectory.h"

#include <QDir>
#include <QStandardPaths>

QString DataDirectory()
{
    QString base = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (base.isEmpty())
        return QDir::currentPath() + QLatin1Char('/');
    if (!base.endsWith(QLatin1Char('/')))
        base += QLatin1Char('/');
    return base + QStringLiteral("Quellmoor Software/Pixlet/");
}
