#include "ArchivePath.h"

QString ArchivePathFor(const QString& root, const QString& expandedTemplate)
{
    QString path = root;
    if (!path.isEmpty() && !path.endsWith(u'/') && !path.endsWith(u'\\'))
        path += u'/';
    path += expandedTemplate;
    path.replace(u'\\', u'/');
    return path;
}
