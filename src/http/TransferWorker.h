#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

// A thread kept by a request slot that runs its transfers one after the
// other, so that a transfer does not pay for starting a thread.
class TransferWorker {
public:
    TransferWorker();
    // Runs what was posted, then ends the thread.
    ~TransferWorker();
    TransferWorker(const TransferWorker&) = delete;
    TransferWorker& operator=(const TransferWorker&) = delete;
    void Post(std::function<void()> job);

private:
    std::mutex M_;
    std::condition_variable Cv_;
    std::function<void()> Job_;
    bool Quit_ = false;
    std::thread Thread_;
};
