#include "CUpDownControl.h"

#include "ClampEditInteger.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

namespace Utils::Controls {

CUpDownControl::CUpDownControl(QLineEdit* buddy, std::int32_t minimum, std::int32_t maximum, QWidget* parent)
    : QWidget(parent), buddy_(buddy), minimum_(std::min(minimum, maximum)),
      maximum_(std::max(minimum, maximum))
{
    up_ = new QToolButton(this);
    up_->setArrowType(Qt::UpArrow);
    up_->setToolTip(tr("Up"));
    down_ = new QToolButton(this);
    down_->setArrowType(Qt::DownArrow);
    down_->setToolTip(tr("Down"));
    // Half the edit's height each, stacked beside it as a spin box has them.
    const int side = buddy_ ? std::max(8, buddy_->sizeHint().height() / 2) : 12;
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    for (QToolButton* button : {up_, down_}) {
        button->setAutoRepeat(true);
        button->setFocusPolicy(Qt::NoFocus);
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
    const std::int64_t from = EditedInteger(buddy_->text()).value_or(minimum_);
    const auto value = static_cast<std::int32_t>(std::clamp<std::int64_t>(from + steps, minimum_, maximum_));
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
