#include "TransferThread.h"

#include "common/StringTools.h"
#include "http/OwnerHandoff.h"
#include "http/TargetFile.h"
#include "http/TransferRound.h"

#include <curl/curl.h>
#include <sys/stat.h>

#include <atomic>
#include <condition_variable>
#include <mutex>

// What the owner and the worker share. Hooks reach the owner's thread through
// the hand-off this derives from; once the owner has detached, none runs.
struct TransferThread::Shared : OwnerHandoff {
    Shared(QObject* context, OwnerMailbox* mailbox) : OwnerHandoff(context, mailbox) {}

    TransferInput In;
    TransferHooks Hooks;
    TargetFile File; // used by the worker only
    std::atomic<bool> Stop{false};
    std::atomic<bool> Finished{false};
    std::atomic<std::int64_t> AliveMs{0}; // MonotonicMs() of the last sign of life

    std::mutex M;               // guards Multi and RunEnded
    std::condition_variable Cv; // tells the owner that Run has returned
    CURLM* Multi = nullptr;     // under M: the handle a running round waits in
    bool RunEnded = false;      // under M: Run has returned

    // Ends the run at its next check; a round waiting for the network wakes
    // up at once.
    void Abort() {
        Stop = true;
        std::lock_guard lk(M);
        if (Multi != nullptr) curl_multi_wakeup(Multi);
    }

    void SetMulti(CURLM* multi) {
        std::lock_guard lk(M);
        Multi = multi;
    }

    void Run();
};

// Opens the target file, runs the libcurl rounds, keeps or discards the file
// and hands body and result to the owner.
void TransferThread::Shared::Run() {
    TransferResult result;
    CURL* easy = In.Handles ? static_cast<CURL*>(In.Handles->Easy) : nullptr;
    CURLM* multi = In.Handles ? static_cast<CURLM*>(In.Handles->Multi) : nullptr;
    SetMulti(multi);

    TransferRound rd(In, Hooks, *this, File, Stop, AliveMs, result, easy, multi);
    bool transferOk = false;
    bool canStart = true;
    if (In.StoreToFile) {
        File.Origin = In.Origin;
        std::string why;
        if (!File.Open(In.TargetPath, In.FileMode, In.StorageFolder, why)) {
            const std::string message =
                "unable to create file: " + In.TargetPath + " (" + why + ")";
            if (IsDiskFull(File.LastError())) result.DiskFull = why;
            if (In.FileRequired) {
                // Nothing to write to: the request ends at once as a failure.
                result.FileError = message;
                canStart = false;
            } else {
                result.FileNote = message; // a page is still processed from memory
            }
        }
    }
    // A second round answers a 401 or 407 with credentials.
    for (int attempt = 0; attempt < 2 && canStart && easy != nullptr && multi != nullptr;
         ++attempt) {
        const TransferRound::Outcome end = rd.Perform();
        if (end == TransferRound::Outcome::Again) continue;
        transferOk = end == TransferRound::Outcome::Done;
        break;
    }
    if (canStart && (easy == nullptr || multi == nullptr))
        result.ErrorText = "cannot start a transfer (out of memory)";

    bool deliverBody = false;
    if (transferOk && !Stop && !rd.Failed()) {
        if (In.StoreToString) {
            deliverBody = true;
            result.Success = result.BytesRead != 0;
            if (!result.Success) result.ErrorText = "empty answer";
        } else {
            result.Success = true;
        }
    }
    if (Stop) result.Cancelled = true;
    if (File.IsOpen()) {
        // Only a complete 200 replaces the stored file: a 204 holds no file,
        // a 206 only part of one, and an empty answer never replaces a file
        // that holds data. Such an answer is reported, not retried.
        std::string why;
        const bool whole = result.StatusCode == 200;
        struct stat st {};
        const bool keepsData = result.BytesRead == 0 && ::stat(In.TargetPath.c_str(), &st) == 0 &&
                               S_ISREG(st.st_mode) && st.st_size > 0;
        if (!result.Success || result.Cancelled || result.StatusCode < 200 ||
            result.StatusCode > 299) {
            File.Discard();
        } else if (!whole || keepsData) {
            File.Discard();
            if (In.FileRequired) {
                result.FileError = !whole ? "the answer " + std::to_string(result.StatusCode) +
                                                " is not the whole file: " + In.TargetPath +
                                                " kept as it was"
                                          : "empty answer: " + In.TargetPath + " kept as it was";
                result.Success = false;
            }
        } else if (!File.Commit(why)) {
            const std::string message = "unable to store file: " + In.TargetPath + " (" + why + ")";
            if (IsDiskFull(File.LastError())) result.DiskFull = why;
            if (In.FileRequired) {
                result.FileError = message;
                result.Success = false;
            } else {
                result.FileNote = message; // the page is processed from memory
            }
        }
    }

    SetMulti(nullptr);
    rd.ReleaseHandles();

    // Body and end travel to the owner in one hand-off, the run's last.
    if (Hooks.OnTerminate || (deliverBody && Hooks.OnBody)) {
        if (!deliverBody) rd.Data().clear();
        PostToOwner(
            [this, deliverBody, data = std::move(rd.Data()), result = std::move(result)]() mutable {
                if (deliverBody && Hooks.OnBody) Hooks.OnBody(data);
                if (Hooks.OnTerminate) Hooks.OnTerminate(result);
            });
    }
    Finished = true;
}

TransferThread::TransferThread(TransferInput input, TransferHooks hooks, QObject* context,
                               OwnerMailbox* ends)
    : Shared_(std::make_shared<Shared>(context, ends)) {
    CurlReady();
    Shared_->In = std::move(input);
    Shared_->Hooks = std::move(hooks);
}

TransferThread::~TransferThread() {
    Shared_->Detach(); // first, so that a worker waiting for a hook goes on
    Shared_->Abort();
    if (Posted_) {
        std::unique_lock lk(Shared_->M);
        Shared_->Cv.wait(lk, [&] { return Shared_->RunEnded; });
    }
}

void TransferThread::Start(TransferWorker& worker) {
    Posted_ = true;
    worker.Post([s = Shared_] {
        s->Run();
        {
            std::lock_guard lk(s->M);
            s->RunEnded = true;
        }
        s->Cv.notify_all();
    });
}

void TransferThread::Abort() {
    Shared_->Abort();
}

bool TransferThread::Finished() const {
    return Shared_->Finished;
}

std::int64_t TransferThread::AliveAt() const {
    return Shared_->AliveMs.load(std::memory_order_relaxed);
}

std::string EscapeForRequest(const std::string& url) {
    std::string out;
    out.reserve(url.size());
    for (unsigned char c : url) {
        if (c <= 32 || c >= 127 || c == '"' || c == '<' || c == '>' || c == '\\' || c == '^' ||
            c == '`' || c == '{' || c == '|' || c == '}') {
            AppendPercentEscape(out, c);
        } else {
            out += char(c);
        }
    }
    return out;
}
