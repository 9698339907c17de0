#pragma once

#include <curl/curl.h>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

// One thread with one libcurl multi handle that runs the transfers of many
// request slots side by side, as a single event loop: no thread per slot,
// and no hand-off between threads for each transfer beyond its start and its
// end. The connections it keeps open are shared by all its transfers.
// Nothing run on the loop may wait for the owner's thread: a transfer that
// needs the owner's answer pauses and is resumed by a job posted back.
class TransferLoop {
public:
    // A transfer the loop drives; its methods run on the loop's thread.
    class Transfer {
    public:
        virtual ~Transfer() = default;
        // After each pass of libcurl's perform, for every transfer added.
        virtual void AfterPerform() = 0;
        // The round of the handle added for this transfer is over, with
        // libcurl's code; the handle is no longer in the loop.
        virtual void RoundEnded(CURLcode code) = 0;
    };

    TransferLoop();
    // Runs the jobs still posted, then ends the thread. Every transfer must
    // have ended before (its slot waits for that).
    ~TransferLoop();
    TransferLoop(const TransferLoop&) = delete;
    TransferLoop& operator=(const TransferLoop&) = delete;

    // Any thread: job runs on the loop's thread at its next turn, after
    // what was posted before.
    void Post(std::function<void()> job);

    // Loop's thread only. Add drives easy for transfer until its round ends
    // (false: libcurl refused it); Remove takes it out early, and no
    // RoundEnded follows.
    bool Add(CURL* easy, std::shared_ptr<Transfer> transfer);
    void Remove(CURL* easy);

private:
    void Run();

    CURLM* Multi_ = nullptr;
    std::mutex M_;
    std::condition_variable Cv_;               // wakes a loop without a multi handle
    std::vector<std::function<void()>> Inbox_; // under M_
    bool Quit_ = false;                        // under M_
    // The loop waits in libcurl's poll, or is about to: a job posted now
    // must wake it. A busy loop sees new jobs at its next turn unwoken.
    std::atomic<bool> Sleeping_{false};
    // The transfers added, with their handles; few, so a vector.
    std::vector<std::pair<CURL*, std::shared_ptr<Transfer>>> Added_;
    std::vector<std::shared_ptr<Transfer>> Pass_; // the transfers one pass looks at
    std::thread Thread_;
};

// For a program that runs transfers, called once at its start: memory the
// transfers free (libcurl's receive buffers, bodies) stays with the process
// for the next ones. By default the allocator hands the top of a thread's
// heap back to the system as soon as a few hundred KiB are free there, and
// the next transfers touch fresh pages again: up to 50 000 page faults and
// a third more CPU for a scan of 8 000 files.
void KeepTransferMemory();
