#pragma once

#include <QIcon>
#include <QString>

namespace Utils::Classes {

// What CTrayIcon needs of the desktop's notification area. The real one wraps
// QSystemTrayIcon; tests record the calls.
class TrayPresenter
{
public:
    enum class BalloonIcon
    {
        None,
        Information,
        Warning,
        Critical
    };

    virtual ~TrayPresenter() = default;
    // Puts the icon into the notification area (first call) or changes it.
    virtual void Show(const QIcon& icon, const QString& tip) = 0;
    virtual void Remove() = 0;
    virtual void ShowBalloon(const QString& text, const QString& title, BalloonIcon icon, int timeoutMs) = 0;
};

} // namespace Utils::Classes
