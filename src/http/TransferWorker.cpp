#include "TransferWorker.h"

TransferWorker::TransferWorker() {
    Thread_ = std::thread([this] {
        std::unique_lock lk(M_);
        for (;;) {
            Cv_.wait(lk, [&] { return Quit_ || Job_; });
            if (Job_) {
                std::function<void()> job = std::move(Job_);
                Job_ = nullptr;
                lk.unlock();
                job();
                job = nullptr; // drop what the job holds before waiting again
                lk.lock();
                continue;
            }
            if (Quit_) return;
        }
    });
}

TransferWorker::~TransferWorker() {
    {
        std::lock_guard lk(M_);
        Quit_ = true;
    }
    Cv_.notify_all();
    Thread_.join();
}

void TransferWorker::Post(std::function<void()> job) {
    {
        std::lock_guard lk(M_);
        Job_ = std::move(job);
    }
    Cv_.notify_all();
}
