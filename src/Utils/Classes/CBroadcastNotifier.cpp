#include "CBroadcastNotifier.h"

#include <QCoreApplication>
#include <QEvent>
#include <QTimer>

namespace Utils::Classes {

CBroadcastNotifier::CBroadcastNotifier(QObject* parent) : QObject(parent)
{
    // A filter on the application object sees the events of every object of the GUI thread.
    if (QCoreApplication::instance())
        QCoreApplication::instance()->installEventFilter(this);
}

CBroadcastNotifier::~CBroadcastNotifier()
{
    if (QCoreApplication::instance())
        QCoreApplication::instance()->removeEventFilter(this);
}

bool CBroadcastNotifier::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::ApplicationPaletteChange:
        Schedule(colourChangePending_, &CBroadcastNotifier::DispatchColourChange);
        break;
    case QEvent::ThemeChange:
        Schedule(themeChangePending_, &CBroadcastNotifier::DispatchThemeChange);
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

void CBroadcastNotifier::Schedule(bool& pending, void (CBroadcastNotifier::*dispatch)())
{
    if (pending)
        return;
    pending = true;
    // Called after Qt has finished delivering the change, so the handlers see the new state.
    QTimer::singleShot(0, this, dispatch);
}

void CBroadcastNotifier::DispatchColourChange()
{
    colourChangePending_ = false;
    OnSysColorChange();
}

void CBroadcastNotifier::DispatchThemeChange()
{
    themeChangePending_ = false;
    OnThemeChanged();
}

} // namespace Utils::Classes
