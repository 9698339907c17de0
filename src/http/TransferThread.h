#pragma once

#include "http/TransferTypes.h"

#include <cstdint>
#include <memory>
#include <string>

class OwnerMailbox;
class QObject;
class TransferLoop;

// One HTTP GET of a request slot, run by a TransferLoop's thread together
// with the other slots' transfers. Every notification runs on the owner's
// thread, so the owner needs no locks; a transfer that needs the owner's
// answer (head, redirect) pauses until it is back, and progress and the end
// are handed over in order without waiting.
class TransferThread {
public:
    // context: an object living in the owner's thread; hooks run there.
    // ends, when given, carries what is handed over without waiting
    // (progress, body and end) in batches with other transfers'; it must
    // outlive this object.
    TransferThread(TransferInput input, TransferHooks hooks, QObject* context,
                   OwnerMailbox* ends = nullptr);
    // Detaches from the owner (no hook runs afterwards), aborts, and waits
    // until the loop has let go of the transfer (its file discarded).
    ~TransferThread();
    TransferThread(const TransferThread&) = delete;
    TransferThread& operator=(const TransferThread&) = delete;

    // Runs the transfer on loop, which must outlive this object.
    void Start(TransferLoop& loop);
    // Ends the transfer promptly, waiting or not; it ends with Cancelled set.
    void Abort();
    // The MonotonicMs() at which the transfer last showed it is alive (every
    // tenth chunk of its body); 0 before that.
    std::int64_t AliveAt() const;

    struct Shared; // state shared between the owner and the loop

private:
    std::shared_ptr<Shared> Shared_;
    bool Posted_ = false;
};

// The request line's URL for a URL text: blanks, control bytes and bytes
// above 127 escaped, "%" and everything else kept.
std::string EscapeForRequest(const std::string& url);
