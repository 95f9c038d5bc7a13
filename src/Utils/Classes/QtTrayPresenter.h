#pragma once

#include "TrayPresenter.h"

#include <QObject>
#include <QSystemTrayIcon>

namespace Utils::Classes {

// The notification-area icon through QSystemTrayIcon (which must live on the GUI thread).
class QtTrayPresenter final : public QObject, public TrayPresenter
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(QtTrayPresenter)

public:
    explicit QtTrayPresenter(QObject* parent = nullptr);
    ~QtTrayPresenter() override;

    void Show(const QIcon& icon, const QString& tip) override;
    void Remove() override;
    void ShowBalloon(const QString& text, const QString& title, BalloonIcon icon, int timeoutMs) override;

signals:
    void Activated(QSystemTrayIcon::ActivationReason reason);

private:
    QSystemTrayIcon* icon_ = nullptr;
};

} // namespace Utils::Classes
