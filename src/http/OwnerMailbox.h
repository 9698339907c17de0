#pragma once

#include <QObject>

#include <functional>
#include <mutex>
#include <vector>

// Carries what transfer loops hand to the owner's thread without waiting
// (the ends of transfers) and runs it there in batches, in the order given.
// A loop wakes the owner's event loop only when the mailbox was empty, so
// transfers that end close together cost one wake-up and one AfterBatch.
// Made, used by the owner and destroyed on the owner's thread; it must
// outlive every worker that posts to it. What is still in it when it goes
// away never runs.
class OwnerMailbox {
public:
    OwnerMailbox() = default;
    OwnerMailbox(const OwnerMailbox&) = delete;
    OwnerMailbox& operator=(const OwnerMailbox&) = delete;

    // Any thread: f runs on the owner's thread with the next batch.
    void Post(std::function<void()> f);
    // Owner's thread: whether a batch is being run (not its AfterBatch).
    bool InBatch() const { return Depth_ > 0; }

    // Runs on the owner's thread after each batch.
    std::function<void()> AfterBatch;

private:
    void RunBatch();

    QObject Context_; // the batches are posted to it; gone with the mailbox
    std::mutex M_;
    std::vector<std::function<void()>> Pending_; // under M_
    int Depth_ = 0;
};
