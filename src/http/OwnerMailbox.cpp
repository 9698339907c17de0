#include "OwnerMailbox.h"

#include <QMetaObject>

#include <utility>

void OwnerMailbox::Post(std::function<void()> f) {
    bool wake = false;
    {
        std::lock_guard lk(M_);
        wake = Pending_.empty();
        Pending_.push_back(std::move(f));
    }
    // A batch already on its way takes f along.
    if (wake)
        QMetaObject::invokeMethod(
            &Context_, [this] { RunBatch(); }, Qt::QueuedConnection);
}

void OwnerMailbox::RunBatch() {
    std::vector<std::function<void()>> batch;
    {
        std::lock_guard lk(M_);
        batch.swap(Pending_);
    }
    ++Depth_;
    for (auto& f : batch) {
        f();
        f = nullptr; // drops what it holds before the next runs
    }
    --Depth_;
    if (AfterBatch) AfterBatch();
}
