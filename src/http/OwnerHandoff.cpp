#include "OwnerHandoff.h"

void OwnerHandoff::RunPending() {
    std::function<void()> f;
    {
        std::lock_guard lk(M_);
        if (PendingDone_ || !OwnerAlive_) return;
        f = std::move(Pending_);
        Pending_ = nullptr;
    }
    if (f) f();
    {
        std::lock_guard lk(M_);
        PendingDone_ = true;
    }
    Cv_.notify_all();
}

void OwnerHandoff::Detach() {
    {
        std::lock_guard lk(M_);
        OwnerAlive_ = false;
    }
    Cv_.notify_all();
}
