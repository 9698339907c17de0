#pragma once

#include "http/TransferTypes.h"
#include "http/TransferWorker.h"

#include <cstdint>
#include <memory>
#include <string>

class OwnerMailbox;
class QObject;

// One HTTP GET on a request slot's worker thread. Every notification is handed
// to the owner's thread synchronously: the worker waits until the owner's
// thread has run it, so the owner needs no locks.
class TransferThread {
public:
    // context: an object living in the owner's thread; hooks run there.
    // ends, when given, carries the last notification (body and end) in a
    // batch with other transfers'; it must outlive this object.
    TransferThread(TransferInput input, TransferHooks hooks, QObject* context,
                   OwnerMailbox* ends = nullptr);
    // Detaches from the owner (no hook runs afterwards), aborts and joins.
    ~TransferThread();
    TransferThread(const TransferThread&) = delete;
    TransferThread& operator=(const TransferThread&) = delete;

    // Runs the transfer on worker, which must outlive this object.
    void Start(TransferWorker& worker);
    // Ends a blocked transfer promptly; the run then ends with Cancelled set.
    void Abort();
    bool Finished() const;
    // The MonotonicMs() at which the transfer last showed it is alive (every
    // tenth chunk of its body); 0 before that.
    std::int64_t AliveAt() const;

    struct Shared; // state shared between the owner and the worker

private:
    std::shared_ptr<Shared> Shared_;
    bool Posted_ = false;
};

// The request line's URL for a URL text: blanks, control bytes and bytes
// above 127 escaped, "%" and everything else kept.
std::string EscapeForRequest(const std::string& url);
