#include "Utils/Classes/CBroadcastNotifier.h"

#include <QApplication>
#include <QCoreApplication>
#include <QPalette>
#include <QWidget>

#include <gtest/gtest.h>

namespace {
class Recorder final : public Utils::Classes::CBroadcastNotifier
{
public:
    std::vector<QString> calls;

protected:
    void OnSysColorChange() override { calls.push_back("colour"); }
    void OnThemeChanged() override { calls.push_back("theme"); }
};
} // namespace

TEST(CBroadcastNotifier, PaletteChangeCallsTheColourOperation)
{
    Recorder recorder;
    const QPalette original = QApplication::palette();
    QPalette changed = original;
    changed.setColor(QPalette::Window, QColor(12, 34, 56));
    QApplication::setPalette(changed);
    QCoreApplication::processEvents();
    QApplication::setPalette(original);
    QCoreApplication::processEvents();
    ASSERT_FALSE(recorder.calls.empty());
    EXPECT_EQ(recorder.calls.front(), "colour");
    EXPECT_EQ(std::count(recorder.calls.begin(), recorder.calls.end(), "theme"), 0);
}

TEST(CBroadcastNotifier, BurstOfThemeChangesBecomesOneCall)
{
    Recorder recorder;
    QWidget a, b, c;
    for (QWidget* w : {&a, &b, &c}) {
        QEvent change(QEvent::ThemeChange);
        QCoreApplication::sendEvent(w, &change);
    }
    QCoreApplication::processEvents();
    EXPECT_EQ(recorder.calls, std::vector<QString>{"theme"});
    QEvent again(QEvent::ThemeChange);
    QCoreApplication::sendEvent(&a, &again);
    QCoreApplication::processEvents();
    EXPECT_EQ(recorder.calls.size(), 2u);
}
