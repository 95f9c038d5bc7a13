#include "AppIcons.h"

#include <QFile>

static void InitPixletResources()
{
    // Resources of a static library must be registered by name, outside any namespace.
    Q_INIT_RESOURCE(pixlet);
}

QIcon PixletIcon(int number)
{
    static const bool registered = (InitPixletResources(), true);
    Q_UNUSED(registered)
    QIcon icon;
    for (int size : {16, 22, 32, 48, 64}) {
        const QString path = QStringLiteral(":/icons/pixlet-%1-%2.png").arg(number).arg(size);
        if (QFile::exists(path))
            icon.addFile(path, QSize(size, size));
    }
    return icon;
}
