#pragma once

#include <QWidget>

#include <cstdint>

class QLineEdit;
class QToolButton;

namespace Utils::Controls {

// A pair of arrow buttons attached to a numeric edit (its buddy): each click, and each Up or Down
// key pressed in the edit, steps the edit's number by one, kept within the range.
class CUpDownControl final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CUpDownControl)

public:
    CUpDownControl(QLineEdit* buddy, std::int32_t minimum, std::int32_t maximum, QWidget* parent = nullptr);
    ~CUpDownControl() override;

    // Steps the buddy's number; a buddy without a number steps from the minimum.
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
    QToolButton* up_ = nullptr;
    QToolButton* down_ = nullptr;
};

} // namespace Utils::Controls
