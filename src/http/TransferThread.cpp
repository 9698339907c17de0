#include "TransferThread.h"

#include "common/StringTools.h"
#include "http/OwnerHandoff.h"
#include "http/TargetFile.h"
#include "http/TransferLoop.h"
#include "http/TransferRound.h"

#include <curl/curl.h>
#include <sys/stat.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <optional>

// What the owner and the loop share. Hooks reach the owner's thread through
// the hand-off this derives from; once the owner has detached, none runs.
// The loop's thread alone touches the round, the file and the result.
struct TransferThread::Shared : OwnerHandoff, TransferLoop::Transfer {
    Shared(QObject* context, OwnerMailbox* mailbox) : OwnerHandoff(context, mailbox) {}

    TransferInput In;
    TransferHooks Hooks;
    TransferLoop* Loop = nullptr;
    std::atomic<bool> Stop{false};
    std::atomic<std::int64_t> AliveMs{0}; // MonotonicMs() of the last sign of life

    std::mutex M;               // guards RunEnded
    std::condition_variable Cv; // tells the owner that the loop let go
    bool RunEnded = false;      // under M

    // Created by Start on the owner's thread, before the transfer is posted;
    // from then on, like everything below, the loop's thread's only.
    TargetFile File;
    std::string OpenWhy; // why File could not be created
    TransferResult Result;
    std::optional<TransferRound> Round;
    int Rounds = 0;               // started so far: a second answers a 401 or 407
    bool InLoop = false;          // the handle is in the loop
    bool Over = false;            // Finish has run
    CURLcode LastCode = CURLE_OK; // of the round that waits to conclude

    std::shared_ptr<Shared> Self() { return std::static_pointer_cast<Shared>(shared_from_this()); }
    CURL* Easy() const { return In.Handles ? static_cast<CURL*>(In.Handles->Easy) : nullptr; }

    void OpenFile();
    void Begin();
    void StartRound(bool fresh);
    void AfterPerform() override;
    void RoundEnded(CURLcode code) override;
    void Go(TransferRound::Outcome outcome);
    void Resume();
    void StopNow();
    void Finish(bool transferOk);
};

// Creates the target's temporary file with its origin. It runs on the
// owner's thread: the loop's thread sets the pace of a scan, and the owner
// has time to spare while the loop moves the bodies.
void TransferThread::Shared::OpenFile() {
    if (!In.StoreToFile) return;
    File.Origin = In.Origin;
    File.Open(In.TargetPath, In.FileMode, In.StorageFolder, OpenWhy);
}

// Starts the first round, unless the file it needs could not be created.
void TransferThread::Shared::Begin() {
    // A question goes to the owner's thread; its answer resumes the round here.
    auto ask = [this](std::function<void()> question) {
        PostToOwner([self = Self(), question = std::move(question)] {
            question();
            self->Loop->Post([self] { self->Resume(); });
        });
    };
    Round.emplace(In, Hooks, *this, std::move(ask), File, Stop, AliveMs, Result, Easy());
    if (In.StoreToFile && !File.IsOpen()) {
        const std::string message =
            "unable to create file: " + In.TargetPath + " (" + OpenWhy + ")";
        if (IsDiskFull(File.LastError())) Result.DiskFull = OpenWhy;
        if (In.FileRequired) {
            // Nothing to write to: the request ends at once as a failure.
            Result.FileError = message;
            Finish(false);
            return;
        }
        Result.FileNote = message; // a page is still processed from memory
    }
    if (Stop) {
        Finish(false);
        return;
    }
    StartRound(true);
}

void TransferThread::Shared::StartRound(bool fresh) {
    if (fresh) ++Rounds;
    Round->Begin(fresh);
    if (Easy() == nullptr || !Loop->Add(Easy(), Self())) {
        Result.ErrorText = "cannot start a transfer (out of memory)";
        Finish(false);
        return;
    }
    InLoop = true;
}

void TransferThread::Shared::AfterPerform() {
    if (Round->EndChunk()) return;
    // The file refused the bytes: the transfer stops.
    Loop->Remove(Easy());
    InLoop = false;
    LastCode = CURLE_OK;
    Go(Round->Conclude(LastCode));
}

void TransferThread::Shared::RoundEnded(CURLcode code) {
    InLoop = false;
    LastCode = code;
    Go(Round->Conclude(code));
}

void TransferThread::Shared::Go(TransferRound::Outcome outcome) {
    switch (outcome) {
    case TransferRound::Outcome::Waiting:
        return; // Resume goes on
    case TransferRound::Outcome::Again:
        // A second round answers a 401 or 407 with credentials; a third is
        // never asked for.
        if (Rounds < 2 && !Stop)
            StartRound(true);
        else
            Finish(false);
        return;
    case TransferRound::Outcome::Follow:
        StartRound(false);
        return;
    case TransferRound::Outcome::Done:
        Finish(true);
        return;
    case TransferRound::Outcome::Ended:
        Finish(false);
        return;
    }
}

// The owner has answered a question of the round.
void TransferThread::Shared::Resume() {
    if (Over) return;
    if (Round->WaitsToConclude()) {
        Go(Round->Conclude(LastCode));
        return;
    }
    if (!InLoop) return;
    const CURLcode code = curl_easy_pause(Easy(), CURLPAUSE_CONT);
    if (code != CURLE_OK && InLoop) {
        // The bytes handed over again were refused: the round is over.
        Loop->Remove(Easy());
        InLoop = false;
        LastCode = code;
        Go(Round->Conclude(code));
    }
}

void TransferThread::Shared::StopNow() {
    if (Over) return;
    if (InLoop) {
        Loop->Remove(Easy());
        InLoop = false;
    }
    Finish(false);
}

// Keeps or discards the file and hands body and result to the owner.
void TransferThread::Shared::Finish(bool transferOk) {
    Over = true;
    TransferResult& result = Result;
    TransferRound& rd = *Round;
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
    rd.ReleaseHandles();
    if (!deliverBody) rd.Data().clear();
    std::string data = std::move(rd.Data());

    // The loop has let go: the owner may go on at once, before it hears of
    // the end, and the slot's handle may serve its next transfer.
    {
        std::lock_guard lk(M);
        RunEnded = true;
    }
    Cv.notify_all();

    // Body and end travel to the owner in one hand-off, the transfer's last.
    if (Hooks.OnTerminate || (deliverBody && Hooks.OnBody)) {
        PostToOwner(
            [this, deliverBody, data = std::move(data), result = std::move(result)]() mutable {
                if (deliverBody && Hooks.OnBody) Hooks.OnBody(data);
                if (Hooks.OnTerminate) Hooks.OnTerminate(result);
            });
    }
}

TransferThread::TransferThread(TransferInput input, TransferHooks hooks, QObject* context,
                               OwnerMailbox* ends)
    : Shared_(std::make_shared<Shared>(context, ends)) {
    CurlReady();
    Shared_->In = std::move(input);
    Shared_->Hooks = std::move(hooks);
}

TransferThread::~TransferThread() {
    Shared_->Detach(); // first: nothing more reaches the owner
    if (!Posted_) return;
    std::unique_lock lk(Shared_->M);
    if (Shared_->RunEnded) return;
    lk.unlock();
    Abort();
    lk.lock();
    Shared_->Cv.wait(lk, [&] { return Shared_->RunEnded; });
}

void TransferThread::Start(TransferLoop& loop) {
    Posted_ = true;
    Shared_->Loop = &loop;
    Shared_->OpenFile();
    loop.Post([s = Shared_] { s->Begin(); });
}

void TransferThread::Abort() {
    Shared_->Stop = true;
    if (Posted_) Shared_->Loop->Post([s = Shared_] { s->StopNow(); });
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
