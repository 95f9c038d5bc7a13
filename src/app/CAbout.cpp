#include "CAbout.h"

#include "AppIcons.h"

#include <QLabel>
#include <QVBoxLayout>

CAbout::CAbout(QWidget* parent) : CPage(parent)
{
    setObjectName(QStringLiteral("About"));
    auto* icon = new QLabel(this);
    icon->setPixmap(PixletIcon(500).pixmap(64, 64));
    icon->setAlignment(Qt::AlignCenter);
    auto* name = new QLabel(QStringLiteral("<h2>Pixlet</h2>"), this);
    name->setAlignment(Qt::AlignCenter);
    auto* version = new QLabel(tr("Version %1").arg(VersionText()), this);
    version->setObjectName(QStringLiteral("AboutVersion"));
    version->setAlignment(Qt::AlignCenter);
    auto* blurb = new QLabel(tr("Captures, captions and publishes still images on a schedule."), this);
    blurb->setAlignment(Qt::AlignCenter);
    blurb->setWordWrap(true);

    auto* layout = new QVBoxLayout(this);
    layout->addStretch(1);
    layout->addWidget(icon);
    layout->addWidget(name);
    layout->addWidget(version);
    layout->addWidget(blurb);
    layout->addStretch(2);
}

QString CAbout::VersionText()
{
    return QStringLiteral("%1.%2.%3.%4")
        .arg(PIXLET_VERSION_MAJOR)
        .arg(PIXLET_VERSION_MINOR)
        .arg(PIXLET_VERSION_PATCH)
        .arg(PIXLET_VERSION_TWEAK);
}
