#include "MessageEvent.h"

MessageEvent::MessageEvent(QEvent::Type type, std::int64_t wParam_, std::int64_t lParam_)
    : QEvent(type), wParam(wParam_), lParam(lParam_)
{
}

MessageEvent::~MessageEvent()
{
    // Qt destroys a posted event right after its delivery, or when it drops it.
    if (pending_)
        pending_->store(false);
}

void MessageEvent::SetPendingFlag(std::shared_ptr<std::atomic_bool> flag)
{
    pending_ = std::move(flag);
    if (pending_)
        pending_->store(true);
}
