#pragma once

#include "http/OwnerMailbox.h"

#include <QMetaObject>
#include <QObject>

#include <functional>
#include <memory>
#include <mutex>

// Hands work from a transfer loop's thread to the owner's thread, whose Qt event loop
// runs it, without waiting for it. Once the owner has detached, nothing
// handed over runs any more, not even what is already on its way. Made with std::make_shared (on
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

    // Hands f to the owner's thread, after what was handed over before:
    // progress, questions to the owner and the last notification of a
    // transfer. f must not touch what the worker goes on using. f does not
    // run when the owner has gone away.
    void PostToOwner(std::function<void()> f);
    // Called by the owner when it goes away: nothing handed over runs from
    // now on.
    void Detach();

private:
    QObject* const Context_;
    OwnerMailbox* const Mailbox_;
    std::mutex M_;
    bool OwnerAlive_ = true;
};

// PostToOwner is defined here, inline: the functors it hands to Qt then
// carry its name in a ThreadSanitizer report, which the suppressions for
// Qt's hand-off (tests/support/tsan.supp) match.

inline void OwnerHandoff::PostToOwner(std::function<void()> f) {
    auto run = [self = shared_from_this(), f = std::move(f)] {
        {
            std::lock_guard lk(self->M_);
            if (!self->OwnerAlive_) return;
        }
        f();
    };
    // Held while handing over: an owner that detaches meanwhile waits, and
    // only then may its mailbox go away.
    std::lock_guard lk(M_);
    if (!OwnerAlive_) return;
    if (Mailbox_ != nullptr)
        Mailbox_->Post(std::move(run));
    else
        QMetaObject::invokeMethod(Context_, std::move(run), Qt::QueuedConnection);
}
