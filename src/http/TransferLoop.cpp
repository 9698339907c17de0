#include "TransferLoop.h"

#include "http/HttpTypes.h"
#include "http/TransferRound.h"

#include <algorithm>

#include <malloc.h>
#include <pthread.h>

TransferLoop::TransferLoop() {
    if (CurlReady()) Multi_ = curl_multi_init();
    if (Multi_ != nullptr) {
        // Connections stay open for the next transfers to their servers,
        // however few transfers happen to run at a moment.
        curl_multi_setopt(Multi_, CURLMOPT_MAXCONNECTS, long(kMaxConcurrentDownloads));
    }
    Thread_ = std::thread([this] { Run(); });
}

TransferLoop::~TransferLoop() {
    {
        std::lock_guard lk(M_);
        Quit_ = true;
    }
    if (Multi_ != nullptr) curl_multi_wakeup(Multi_);
    Cv_.notify_all();
    Thread_.join();
    for (auto& [easy, transfer] : Added_)
        curl_multi_remove_handle(Multi_, easy);
    Added_.clear();
    if (Multi_ != nullptr) curl_multi_cleanup(Multi_);
}

void TransferLoop::Post(std::function<void()> job) {
    {
        std::lock_guard lk(M_);
        Inbox_.push_back(std::move(job));
    }
    if (Multi_ == nullptr) {
        Cv_.notify_all();
        return;
    }
    // Either the loop finds the job when it looks once more before its
    // poll, or it has said it sleeps and is woken here.
    if (Sleeping_.load()) curl_multi_wakeup(Multi_);
}

bool TransferLoop::Add(CURL* easy, std::shared_ptr<Transfer> transfer) {
    if (Multi_ == nullptr || curl_multi_add_handle(Multi_, easy) != CURLM_OK) return false;
    Added_.emplace_back(easy, std::move(transfer));
    return true;
}

void TransferLoop::Remove(CURL* easy) {
    const auto it = std::find_if(Added_.begin(), Added_.end(),
                                 [easy](const auto& added) { return added.first == easy; });
    if (it == Added_.end()) return;
    curl_multi_remove_handle(Multi_, easy);
    Added_.erase(it);
}

void TransferLoop::Run() {
    // Named for the system's tools (top, perf).
    pthread_setname_np(pthread_self(), "transfer loop");
    std::vector<std::function<void()>> jobs;
    for (;;) {
        bool quit = false;
        {
            std::lock_guard lk(M_);
            jobs.swap(Inbox_);
            quit = Quit_;
        }
        for (auto& job : jobs)
            job();
        jobs.clear();
        if (quit) {
            std::lock_guard lk(M_);
            if (Inbox_.empty()) return;
            continue;
        }
        if (Multi_ == nullptr) {
            // No transfer can run: the jobs end them as they come.
            std::unique_lock lk(M_);
            Cv_.wait(lk, [this] { return Quit_ || !Inbox_.empty(); });
            continue;
        }
        if (!Added_.empty()) {
            int running = 0;
            curl_multi_perform(Multi_, &running);
            // A transfer may end itself here: the pass looks at a copy.
            Pass_.clear();
            for (const auto& added : Added_)
                Pass_.push_back(added.second);
            for (const auto& transfer : Pass_)
                transfer->AfterPerform();
            Pass_.clear();
            int left = 0;
            while (CURLMsg* msg = curl_multi_info_read(Multi_, &left)) {
                if (msg->msg != CURLMSG_DONE) continue;
                CURL* const easy = msg->easy_handle;
                const CURLcode code = msg->data.result;
                const auto it =
                    std::find_if(Added_.begin(), Added_.end(),
                                 [easy](const auto& added) { return added.first == easy; });
                if (it == Added_.end()) continue;
                std::shared_ptr<Transfer> transfer = std::move(it->second);
                Added_.erase(it);
                curl_multi_remove_handle(Multi_, easy);
                transfer->RoundEnded(code);
            }
        }
        Sleeping_.store(true);
        bool posted = false;
        {
            std::lock_guard lk(M_);
            posted = !Inbox_.empty() || Quit_;
        }
        if (!posted) curl_multi_poll(Multi_, nullptr, 0, 1000, nullptr);
        Sleeping_.store(false);
    }
}

void KeepTransferMemory() {
    // Setting one threshold ends the allocator's own moving of both: the
    // blocks of a transfer (below 1 MiB) come from the heap, not from maps
    // of their own.
    mallopt(M_MMAP_THRESHOLD, 1 << 20);
    mallopt(M_TRIM_THRESHOLD, 32 << 20);
}
