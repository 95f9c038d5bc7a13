#include "CUpDownControl.h"

#include "ClampEditInteger.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <array>

namespace Utils::Controls {

CUpDownControl::CUpDownControl(QLineEdit* buddy, std::int32_t from, std::int32_t to, QWidget* parent,
                               Arrows arrows)
    : QWidget(parent), buddy_(buddy), minimum_(std::min(from, to)), maximum_(std::max(from, to)),
      direction_(to < from ? -1 : 1)
{
    const bool horizontal = arrows == Arrows::Horizontal;
    up_ = new QToolButton(this);
    up_->setArrowType(horizontal ? Qt::RightArrow : Qt::UpArrow);
    up_->setToolTip(horizontal ? tr("Right") : tr("Up"));
    down_ = new QToolButton(this);
    down_->setArrowType(horizontal ? Qt::LeftArrow : Qt::DownArrow);
    down_->setToolTip(horizontal ? tr("Left") : tr("Down"));
    // Half the edit's height each, stacked beside it as a spin box has them (side by side for
    // horizontal arrows, left first).
    const int side = buddy_ ? std::max(8, buddy_->sizeHint().height() / 2) : 12;
    QBoxLayout* layout = horizontal ? static_cast<QBoxLayout*>(new QHBoxLayout(this)) : new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    const std::array<QToolButton*, 2> order =
        horizontal ? std::array<QToolButton*, 2>{down_, up_} : std::array<QToolButton*, 2>{up_, down_};
    for (QToolButton* button : order) {
        button->setAutoRepeat(true);
        button->setFocusPolicy(Qt::NoFocus);
        if (horizontal)
            button->setFixedSize(side, 2 * side);
        else
            button->setFixedSize(side + side / 2, side);
        layout->addWidget(button);
    }
    connect(up_, &QToolButton::clicked, this, [this] { Step(1); });
    connect(down_, &QToolButton::clicked, this, [this] { Step(-1); });
    if (buddy_)
        buddy_->installEventFilter(this);
}

CUpDownControl::~CUpDownControl() = default;

void CUpDownControl::Step(int steps)
{
    if (!buddy_ || !buddy_->isEnabled())
        return;
    const std::int64_t lowerEnd = direction_ > 0 ? minimum_ : maximum_;
    const std::int64_t from = EditedInteger(buddy_->text()).value_or(lowerEnd);
    const auto value = static_cast<std::int32_t>(
        std::clamp<std::int64_t>(from + std::int64_t(steps) * direction_, minimum_, maximum_));
    buddy_->setText(QString::number(value));
    emit Stepped();
}

bool CUpDownControl::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == buddy_ && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Up || key == Qt::Key_Down) {
            Step(key == Qt::Key_Up ? 1 : -1);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace Utils::Controls
