#include "QtTrayPresenter.h"

namespace Utils::Classes {

QtTrayPresenter::QtTrayPresenter(QObject* parent) : QObject(parent), icon_(new QSystemTrayIcon(this))
{
    connect(icon_, &QSystemTrayIcon::activated, this, &QtTrayPresenter::Activated);
}

QtTrayPresenter::~QtTrayPresenter() = default;

void QtTrayPresenter::Show(const QIcon& icon, const QString& tip)
{
    icon_->setIcon(icon);
    icon_->setToolTip(tip);
    if (!icon_->isVisible())
        icon_->show();
}

void QtTrayPresenter::Remove()
{
    icon_->hide();
}

void QtTrayPresenter::ShowBalloon(const QString& text, const QString& title, BalloonIcon icon, int timeoutMs)
{
    QSystemTrayIcon::MessageIcon kind = QSystemTrayIcon::NoIcon;
    switch (icon) {
    case BalloonIcon::Information:
        kind = QSystemTrayIcon::Information;
        break;
    case BalloonIcon::Warning:
        kind = QSystemTrayIcon::Warning;
        break;
    case BalloonIcon::Critical:
        kind = QSystemTrayIcon::Critical;
        break;
    case BalloonIcon::None:
        break;
    }
    icon_->showMessage(title, text, kind, timeoutMs);
}

} // namespace Utils::Classes
