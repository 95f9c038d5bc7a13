#pragma once

#include <QWidget>

#include <cstdint>

class QLineEdit;
class QToolButton;

namespace Utils::Controls {

// A pair of arrow buttons attached to a numeric edit (its buddy): each click, and each Up or Down
// key pressed in the edit, steps the edit's number by one, kept within the range. Given the
// range the other way round (from 9999 down to -9999) the up arrow lowers the number, as for a
// position where "up" means a smaller Y; horizontal arrows step left (down) and right (up).
class CUpDownControl final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CUpDownControl)

public:
    enum class Arrows
    {
        Vertical,
        Horizontal
    };

    // `from` is the value at the lower (or left) end, `to` the one at the upper (or right) end.
    CUpDownControl(QLineEdit* buddy, std::int32_t from, std::int32_t to, QWidget* parent = nullptr,
                   Arrows arrows = Arrows::Vertical);
    ~CUpDownControl() override;

    // Steps the buddy's number towards the upper end (negative: the lower end); a buddy
    // without a number steps from the lower end.
    void Step(int steps);

    QToolButton* UpButton() const { return up_; }
    QToolButton* DownButton() const { return down_; }

signals:
    // The user stepped the number: the buddy shows the new one.
    void Stepped();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QLineEdit* buddy_;
    const std::int32_t minimum_;
    const std::int32_t maximum_;
    const int direction_; // +1, or -1 for a reversed range
    QToolButton* up_ = nullptr;
    QToolButton* down_ = nullptr;
};

} // namespace Utils::Controls
