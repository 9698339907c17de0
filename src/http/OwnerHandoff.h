#pragma once

#include "http/OwnerMailbox.h"

#include <QMetaObject>
#include <QObject>

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

// Hands work from a worker thread to the owner's thread, whose Qt event loop
// runs it: RunOnOwner waits until the owner's thread has run it, PostToOwner
// does not wait. Once the owner has detached, nothing handed over runs any
// more, not even what is already on its way. Made with std::make_shared (on
// its own or as the base of the object made): what is on its way to the
// owner's thread keeps the object alive.
class OwnerHandoff : public std::enable_shared_from_this<OwnerHandoff> {
public:
    // context: an object living in the owner's thread; the work runs there.
    // mailbox, when given, carries what PostToOwner hands over, batched with
    // other workers' (it must outlive this hand-off's worker).
    explicit OwnerHandoff(QObject* context, OwnerMailbox* mailbox = nullptr)
        : Context_(context), Mailbox_(mailbox) {}
    OwnerHandoff(const OwnerHandoff&) = delete;
    OwnerHandoff& operator=(const OwnerHandoff&) = delete;

    // Runs f on the owner's thread and waits for it. False when the owner
    // has gone away (f then did not run).
    bool RunOnOwner(std::function<void()> f);
    // Hands f to the owner's thread without waiting for it, after what was
    // handed over before: for progress and the last notification of a run.
    // f must not touch what the worker goes on using. f does not run when
    // the owner has gone away.
    void PostToOwner(std::function<void()> f);
    // Called by the owner when it goes away: nothing handed over runs from
    // now on, and a worker waiting in RunOnOwner goes on at once.
    void Detach();

private:
    // On the owner's thread: runs what RunOnOwner waits for.
    void RunPending();

    QObject* const Context_;
    OwnerMailbox* const Mailbox_;
    std::mutex M_;
    std::condition_variable Cv_;
    std::function<void()> Pending_;
    bool PendingDone_ = true;
    bool OwnerAlive_ = true;
};

// RunOnOwner and PostToOwner are defined here, inline: the functors they hand
// to Qt then carry these functions' names in a ThreadSanitizer report, which
// the suppressions for Qt's hand-off (tests/support/tsan.supp) match.

inline bool OwnerHandoff::RunOnOwner(std::function<void()> f) {
    std::unique_lock lk(M_);
    if (!OwnerAlive_) return false;
    Pending_ = std::move(f);
    PendingDone_ = false;
    QMetaObject::invokeMethod(
        Context_, [self = shared_from_this()] { self->RunPending(); }, Qt::QueuedConnection);
    Cv_.wait(lk, [&] { return PendingDone_ || !OwnerAlive_; });
    return OwnerAlive_;
}

inline void OwnerHandoff::PostToOwner(std::function<void()> f) {
    {
        std::lock_guard lk(M_);
        if (!OwnerAlive_) return;
    }
    auto run = [self = shared_from_this(), f = std::move(f)] {
        {
            std::lock_guard lk(self->M_);
            if (!self->OwnerAlive_) return;
        }
        f();
    };
    if (Mailbox_ != nullptr)
        Mailbox_->Post(std::move(run));
    else
        QMetaObject::invokeMethod(Context_, std::move(run), Qt::QueuedConnection);
}
