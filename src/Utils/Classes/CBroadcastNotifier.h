#pragma once

#include <QObject>

namespace Utils::Classes {

// Turns the desktop's palette and theme changes into two overridable operations, for objects
// that must follow them without being top-level windows themselves. A burst of change events
// (Qt sends one to every window) becomes one call.
class CBroadcastNotifier : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CBroadcastNotifier)

public:
    explicit CBroadcastNotifier(QObject* parent = nullptr);
    ~CBroadcastNotifier() override;

protected:
    // The system colours changed. The default does nothing beyond Qt's own handling.
    virtual void OnSysColorChange() {}
    // The desktop theme changed. The default does nothing.
    virtual void OnThemeChanged() {}

    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Schedule(bool& pending, void (CBroadcastNotifier::*dispatch)());
    void DispatchColourChange();
    void DispatchThemeChange();

    bool colourChangePending_ = false;
    bool themeChangePending_ = false;
};

} // namespace Utils::Classes
