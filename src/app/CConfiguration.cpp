#include "CConfiguration.h"

CConfiguration::CConfiguration(QWidget* parent) : QTabWidget(parent)
{
    setObjectName(QStringLiteral("CConfiguration"));
}

QStringList CConfiguration::PageTitles()
{
    return {QStringLiteral("Control"), QStringLiteral("Source"), QStringLiteral("Captions"),
            QStringLiteral("FTP"),     QStringLiteral("Email"),  QStringLiteral("Archive"),
            QStringLiteral("Preview"), QStringLiteral("Log"),    QStringLiteral("Advanced"),
            QStringLiteral("About")};
}
