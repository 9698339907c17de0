#include "DownloadManager.h"

#include "common/StringTools.h"
#include "http/HttpStatus.h"
#include "http/RetryAfter.h"

#include <QMetaObject>

#include <algorithm>
#include <ctime>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <thread>
#include <utility>

DownloadManager::DownloadManager(MessageSink* messages) : Messages_(messages) {
    Ends_.AfterBatch = [this] {
        if (Working_) Step();
    };
}

DownloadManager::~DownloadManager() {
    for (auto& slot : Slots_)
        slot->Abort();
}

void DownloadManager::SetWorking(bool working) {
    Working_ = working;
    if (OnWorking) OnWorking(this, working);
}

// The queue entry that tries the slot's URL once more.
QueuedRequest DownloadManager::RetryOf(const RequestSlot& slot) {
    QueuedRequest retry;
    retry.DepthSearchLevel = slot.DepthSearchLevel;
    retry.CountArea = slot.CountArea;
    retry.HrefOrSrc = slot.HrefOrSrc;
    retry.GetAction = slot.GetAction;
    retry.RetryNumber = slot.RetryNumber + 1;
    retry.ReferringUrl = slot.ReferringUrl;
    retry.WaitNumber = slot.WaitNumber;
    return retry;
}

// Entries wait in lanes by the host they will talk to first.
void DownloadManager::Enqueue(const std::string& url, QueuedRequest request) {
    std::string host = UrlHostKey(request.FetchFrom.empty() ? url : request.FetchFrom);
    Queue_.AddUrl(url, std::move(request), std::move(host));
}

bool DownloadManager::AddDownload(const std::string& url, QueuedRequest request) {
    if (!Enabled) return false;
    if (Stopping) return true;
    StartWorking();

    if (ReuseExistingFiles) {
        // Most files are new: a slot is made only for one found on disk.
        UrlParts parts;
        parts.Split(url, DownloadPath);
        const std::string& name = parts.LocalFileName();
        struct stat st {};
        if (!name.empty() && ::stat(name.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
            st.st_size <= kMaxStringBody) {
            std::ifstream in(name, std::ios::binary);
            if (in) {
                std::ostringstream body;
                body << in.rdbuf();
                auto get = std::make_unique<RequestSlot>(Messages_);
                get->Url = std::move(parts);
                get->Body = body.str();
                get->RetryNumber = request.RetryNumber;
                get->EntryValue = request.EntryValue;
                get->CountArea = request.CountArea;
                get->HrefOrSrc = request.HrefOrSrc;
                MakeReady(std::move(get), request);
                return true;
            }
        }
    }
    Enqueue(url, std::move(request));
    RequestRound();
    return true;
}

bool DownloadManager::AddReceived(const std::string& url, std::string body, QueuedRequest request) {
    if (!Enabled) return false;
    if (Stopping) return true;
    StartWorking();
    auto get = std::make_unique<RequestSlot>(Messages_);
    get->Url.Split(url, DownloadPath);
    get->Body = std::move(body);
    get->BodyGiven = true;
    MakeReady(std::move(get), request);
    return true;
}

void DownloadManager::StartWorking() {
    if (Working_) return;
    bool canReinit = true;
    if (OnCanReinit) OnCanReinit(this, canReinit);
    if (canReinit) Reinit();
    IdleTicks_ = QuietTicksBeforeIdle;
    SetWorking(true);
}

// A body already at hand (stored before, or handed in) is delivered as an
// answer of 200 at the next round.
void DownloadManager::MakeReady(std::unique_ptr<RequestSlot> get, const QueuedRequest& request) {
    get->ReferringUrl = request.ReferringUrl;
    get->DepthSearchLevel = request.DepthSearchLevel;
    get->GetAction = request.GetAction;
    get->StatusCode = 200;
    Ready_.push_back(std::move(get));
    RequestRound();
}

void DownloadManager::DeliverReady() {
    while (!Ready_.empty()) {
        if (Stopping) {
            Ready_.clear();
            return;
        }
        if (MayStart && !MayStart()) return;
        std::unique_ptr<RequestSlot> get = std::move(Ready_.front());
        Ready_.pop_front();
        const bool onDisk = !get->BodyGiven;
        if (onDisk) {
            Log("(reloaded from disk) " + get->Url.GetUrl());
            ++AlreadyOnDisk_;
        } else {
            Log("(as shown) " + get->Url.GetUrl());
            ++Done_;
        }
        ++InDelivery_;
        if (OnDataReceived) OnDataReceived(this, get.get(), onDisk);
        --InDelivery_;
    }
}

void DownloadManager::SetStopping(bool stopping) {
    Stopping = stopping;
    if (stopping)
        for (auto& slot : Slots_)
            slot->Abort();
}

void DownloadManager::Reinit() {
    Done_ = Errors_ = Retries_ = AlreadyOnDisk_ = 0;
    Last_.reset();
    if (OnUpdatedStats) OnUpdatedStats(this, DownloadStats{.Tag = Tag});
    if (OnReinit) OnReinit();
    Queue_.ClearUrls();
    Ready_.clear();
    Stopping = false;
    Working_ = false;
    OwnLimits_.Reset();
}

void DownloadManager::RequestRound() {
    if (RoundPosted_) return;
    RoundPosted_ = true;
    QMetaObject::invokeMethod(
        &Context_,
        [this] {
            RoundPosted_ = false;
            if (Working_) Step();
        },
        Qt::QueuedConnection);
}

void DownloadManager::Tick() {
    Step();
}

// One scheduling round. A round asked for while one runs (an event handler
// letting pending events through) is run right after it instead.
void DownloadManager::Step() {
    if (InStep_) {
        StepAgain_ = true;
        return;
    }
    InStep_ = true;
    do {
        StepAgain_ = false;
        if (int(Slots_.size()) != ConcurrentDownloads) ResizeSlots();
        if (Stopping) {
            Queue_.ClearUrls();
            Ready_.clear();
        } else {
            DeliverReady();
        }
        for (std::size_t i = 0; i < Slots_.size(); ++i) {
            RequestSlot& slot = *Slots_[i];
            // A slot beyond the wanted count finishes its transfer and is
            // never refilled.
            JudgeSlot(slot, int(i) < ConcurrentDownloads);
        }
    } while (StepAgain_);
    InStep_ = false;
    if (QuietTicksBeforeIdle == 0 && Working_ && OnOutOfWork && !HasWork()) OnOutOfWork();
}

void DownloadManager::ResizeSlots() {
    const std::size_t want = std::size_t(ConcurrentDownloads < 0 ? 0 : ConcurrentDownloads);
    // A slowed-down host of the manager's own limits grows back to every slot.
    OwnLimits_.Ceiling = std::max(1, ConcurrentDownloads);
    if (Slots_.size() < want) {
        while (Slots_.size() < want) {
            auto slot = std::make_unique<RequestSlot>(Messages_);
            slot->State = RequestState::GETHTTP_WAITING;
            slot->Ends = &Ends_;
            slot->Loop = &LoopFor(Slots_.size());
            // A transfer's end arrives in a batch, after which a round runs;
            // one that ends on this thread (no transfer made) asks for one.
            slot->OnThreadDone = [this](RequestSlot*) {
                if (!Ends_.InBatch()) RequestRound();
            };
            Slots_.push_back(std::move(slot));
        }
        return;
    }
    bool allUnused = true;
    for (std::size_t i = want; i < Slots_.size(); ++i) {
        if (Slots_[i]->State == RequestState::GETHTTP_WAITING)
            Slots_[i]->State = RequestState::GETHTTP_NOTUSED;
        if (Slots_[i]->State != RequestState::GETHTTP_NOTUSED) allUnused = false;
    }
    // Busy slots finish first; the next tick tries again.
    if (allUnused) Slots_.resize(want);
}

// The loop that runs the transfers of slot number slot. A loop's thread
// receives and writes every byte of its transfers: with eight slots on one
// loop, that thread alone set the pace of a scan from a fast server while
// the other core waited. Every four slots get a loop of their own, as long as
// there are cores for them (the default eight file slots: two loops on two
// cores, a fifth less wall time for the same CPU), and the loops take the
// slots in turn beyond that.
TransferLoop& DownloadManager::LoopFor(std::size_t slot) {
    constexpr std::size_t kSlotsPerLoop = 4;
    const std::size_t cores = std::max(1u, std::thread::hardware_concurrency());
    const std::size_t wanted = std::min(cores, slot / kSlotsPerLoop + 1);
    while (Loops_.size() < wanted)
        Loops_.push_back(std::make_unique<TransferLoop>());
    return *Loops_[(slot / kSlotsPerLoop) % Loops_.size()];
}

// Handles a slot by its state until it waits for a transfer or for work.
void DownloadManager::JudgeSlot(RequestSlot& slot, bool refill) {
    for (;;) {
        switch (slot.State) {
        case RequestState::GETHTTP_WAITING:
            if (refill)
                StartNext(slot);
            else
                slot.State = RequestState::GETHTTP_NOTUSED;
            return;
        case RequestState::GETHTTP_GETTING:
            if (MonotonicMs() > slot.Deadline()) {
                if (slot.Aborted) return; // already told to stop: wait for its end
                if (!Stopping) {
                    if (OnError)
                        OnError(this, {Tag, slot.Url.GetUrl(), 0,
                                       "timed out: nothing received for " +
                                           std::to_string(TimeOut) + " s",
                                       slot.ReferringUrl});
                    if (OnFileFailed) OnFileFailed(this, &slot, 0);
                }
                ++Errors_;
                slot.Abort();
            } else if (Stopping) {
                slot.Abort();
            }
            return;
        case RequestState::GETHTTP_THREAD_DONE: {
            slot.ThreadDone();
            const std::string host = SlotEnded(slot);
            if (!slot.HeldRedirect.empty() && !Stopping && !slot.Aborted) {
                QueueHeldRedirect(slot);
                slot.State = RequestState::GETHTTP_WAITING;
                break;
            }
            if (RespectRateLimits && !Stopping && WaitForServer(slot, host)) {
                slot.State = RequestState::GETHTTP_WAITING;
                break;
            }
            if (!host.empty() && slot.Success && slot.StatusCode >= 200 && slot.StatusCode <= 299)
                Limits().Succeeded(host);
            // An error status is judged by its status, whether its body was
            // refused (a page that is no html) or came short.
            const bool errorStatus = !slot.Aborted && slot.FileError.empty() &&
                                     slot.StatusCode >= 400 && slot.StatusCode != 401 &&
                                     slot.StatusCode != 407;
            if (slot.Success || errorStatus) {
                slot.State = RequestState::GETHTTP_OK;
            } else {
                if (OnProgress && !Stopping) OnProgress(&slot, 0);
                if (StartPageRefused(slot)) {
                    // The scan has nothing to read: the user hears why.
                    if (OnError)
                        OnError(this, {Tag,
                                       "not an html page (" +
                                           (slot.ContentType.empty() ? std::string("no type")
                                                                     : slot.ContentType) +
                                           ") : " + slot.Url.GetUrl(),
                                       std::uint32_t(slot.StatusCode), "not an html page",
                                       slot.ReferringUrl});
                    ++Errors_;
                }
                slot.State =
                    slot.Cancelled ? RequestState::GETHTTP_WAITING : RequestState::GETHTTP_ERROR;
            }
            break;
        }
        case RequestState::GETHTTP_OK:
            if (slot.Request == RequestKind::GETHTTP_BODY && !Stopping) {
                const int status = slot.StatusCode;
                if (status == 200) {
                    ++Done_;
                    ++InDelivery_;
                    if (OnDataReceived) OnDataReceived(this, &slot, false);
                    --InDelivery_;
                    if (!slot.DiskFull.empty() && OnDiskFull) OnDiskFull(this, slot.DiskFull);
                } else if (status >= 500 && status <= 599 && slot.RetryNumber < RetryCount) {
                    // A server error may pass: tried again while tries are left.
                    Queue_.AddUrl(slot.Url.GetUrl(), RetryOf(slot));
                    ++Retries_;
                } else if (!(status >= 201 && status <= 299)) {
                    if (OnError)
                        OnError(this, {Tag, slot.Url.GetUrl(), std::uint32_t(status),
                                       StatusText(status), slot.ReferringUrl});
                    if (OnFileFailed) OnFileFailed(this, &slot, 1);
                    ++Errors_; // every error reported is counted
                }
            }
            slot.State = RequestState::GETHTTP_WAITING;
            break;
        case RequestState::GETHTTP_ERROR:
            // Errors are counted as they are reported: none once stopping.
            if (!slot.FileError.empty()) {
                // A file that cannot be stored will not be stored on a retry either.
                if (!Stopping) {
                    ReportError(slot, slot.Url.GetUrl(), 0, slot.FileError, 2);
                    ++Errors_;
                    if (!slot.DiskFull.empty() && OnDiskFull) OnDiskFull(this, slot.DiskFull);
                }
            } else if (slot.RetryNumber >= RetryCount) {
                if (!Stopping) {
                    ReportError(slot, slot.Url.GetUrl(), std::uint32_t(slot.StatusCode),
                                slot.ErrorMsg, 2);
                    Log("GetHttp_Error " + slot.Url.GetUrl());
                    ++Errors_;
                }
            } else if (!Stopping) {
                Enqueue(slot.Url.GetUrl(), RetryOf(slot));
                ++Retries_;
            }
            slot.State = RequestState::GETHTTP_WAITING;
            break;
        case RequestState::GETHTTP_NOTUSED:
            if (!refill) return;
            slot.State = RequestState::GETHTTP_WAITING; // wanted again
            break;
        case RequestState::GETHTTP_PREPARING:
            return;
        }
    }
}

bool DownloadManager::StartPageRefused(const RequestSlot& slot) const {
    // Only the page manager refuses bodies for their type (see StartNext); a
    // refusal ends the transfer as cancelled, with the answer's status, and
    // the page a scan starts from is the one of depth 1.
    return Tag == 1 && !Stopping && slot.Cancelled && !slot.Aborted && slot.StatusCode != 0 &&
           slot.DepthSearchLevel == 1;
}

void DownloadManager::ReportError(RequestSlot& slot, const std::string& url, std::uint32_t code,
                                  const std::string& message, int kind) {
    if (OnError) OnError(this, {Tag, url, code, message, slot.ReferringUrl});
    if (OnFileFailed) OnFileFailed(this, &slot, kind);
}

// The slot's transfer is over: it no longer counts against its host.
// Returns that host, empty when the slot was not counted.
std::string DownloadManager::SlotEnded(RequestSlot& slot) {
    const auto it = SlotHosts_.find(&slot);
    if (it == SlotHosts_.end()) return {};
    std::string host = std::move(it->second);
    SlotHosts_.erase(it);
    Limits().Closed(host);
    return host;
}

// The transfer now talks to the host of url: it counts against that host
// from now on. False, and nothing changes, when that host may not have one
// more connection now: the redirect is then held back.
bool DownloadManager::FollowRedirect(RequestSlot& slot, const std::string& url) {
    const auto it = SlotHosts_.find(&slot);
    if (it == SlotHosts_.end()) return true; // not counted
    std::string host = UrlHostKey(url);
    if (host == it->second) return true;
    HostLimits& limits = Limits();
    if (!limits.MayOpen(host, MonotonicMs())) return false;
    limits.Closed(it->second);
    limits.Opened(host);
    it->second = std::move(host);
    return true;
}

// A redirect held back for want of a connection goes to the queue, where it
// waits in its new host's lane; it is no retry and uses up no try.
void DownloadManager::QueueHeldRedirect(RequestSlot& slot) {
    QueuedRequest next = RetryOf(slot);
    next.RetryNumber = slot.RetryNumber;
    next.FetchFrom = slot.HeldRedirect;
    next.RedirectsLeft = slot.HeldRedirectsLeft;
    Log("waiting for a free connection to " + UrlHostKey(slot.HeldRedirect) + ": " +
        slot.Url.GetUrl());
    Enqueue(slot.Url.GetUrl(), std::move(next));
}

// A "slow down" answer: the URL goes back to the queue until the wait the
// server asked for has passed, and its host is slowed down. The wait uses up
// none of the URL's tries but one of its waits. False when the answer is
// none, the wait is too long or the waits are used up: the answer is then
// judged as any other.
bool DownloadManager::WaitForServer(RequestSlot& slot, const std::string& host) {
    const int status = slot.StatusCode; // 0 when no answer came this time
    if (slot.Aborted || (status != 429 && status != 503)) return false;
    std::optional<std::int64_t> wait =
        RetryAfterSeconds(slot.Head, std::int64_t(std::time(nullptr)));
    if (!wait) {
        if (status == 503) return false; // an outage, not a request to slow down
        // A 429 that does not say how long: 1 s, doubling with each wait.
        wait = std::int64_t(1) << std::min(slot.WaitNumber, 6);
    }
    if (*wait > kMaxRetryAfterSeconds || slot.WaitNumber >= kMaxServerWaits) return false;
    const std::string url = slot.Url.GetUrl();
    const std::int64_t now = MonotonicMs();
    const std::int64_t until = now + *wait * 1000;
    Limits().SlowDown(host.empty() ? UrlHostKey(url) : host, now, until);
    QueuedRequest retry = RetryOf(slot);
    retry.RetryNumber = slot.RetryNumber;
    retry.WaitNumber = slot.WaitNumber + 1;
    retry.NotBeforeMs = until;
    Enqueue(url, std::move(retry));
    ++Retries_;
    if (OnProgress) OnProgress(&slot, 0);
    Log("the server asks to wait " + std::to_string(*wait) + " s: " + url);
    return true;
}

// The entry to start next: priority entries first, then the deepest when
// leaves go first, else the oldest. While rate limits are respected only an
// entry whose wait is over and whose host may have one more connection may
// start, and the host limits are asked once per host, not once per entry.
// -1 when none may start now.
std::int64_t DownloadManager::ChooseEntry() {
    UrlQueue::Order order{.PriorityFirst = Queue_.PriorityCount() != 0,
                          .DeepestFirst = LeavesFirst};
    if (!RespectRateLimits) return Queue_.Choose(order);
    order.NowMs = MonotonicMs();
    HostLimits& limits = Limits();
    return Queue_.Choose(
        order, [&](const std::string& host) { return limits.MayOpen(host, order.NowMs); });
}

void DownloadManager::StartNext(RequestSlot& slot) {
    if (slot.State != RequestState::GETHTTP_WAITING) return;
    slot.State = RequestState::GETHTTP_PREPARING;
    if (Queue_.Count() == 0 || Stopping || (MayStart && !MayStart())) {
        slot.State = RequestState::GETHTTP_WAITING;
        return;
    }
    const std::int64_t id = ChooseEntry();
    if (id < 0) {
        slot.State = RequestState::GETHTTP_WAITING;
        return;
    }
    UrlQueue::Item item = Queue_.Take(UrlQueue::Id(id));

    slot.OnLog = OnLog;
    if (OnProgress)
        slot.OnProgress = [this](RequestSlot* get, std::uint32_t bytes) {
            if (OnProgress && !Stopping) OnProgress(get, bytes);
        };
    else
        slot.OnProgress = nullptr;
    slot.Url.Split(item.Url, DownloadPath);
    slot.StorageFolder = DownloadPath;
    slot.SetTimeOut(TimeOut);
    slot.RetryNumber = item.Request.RetryNumber;
    slot.WaitNumber = item.Request.WaitNumber;
    slot.FetchFrom = item.Request.FetchFrom;
    slot.RedirectsLeft = item.Request.RedirectsLeft;
    if (RespectRateLimits)
        slot.OnRedirect = [this](RequestSlot* get, const std::string& url) {
            return FollowRedirect(*get, url);
        };
    else
        slot.OnRedirect = nullptr;
    slot.DepthSearchLevel = item.Request.DepthSearchLevel;
    slot.CountArea = item.Request.CountArea;
    slot.HrefOrSrc = item.Request.HrefOrSrc;
    slot.EntryValue = item.Request.EntryValue;
    slot.GetAction =
        DownloadPath.empty() ? BodyHandling::STORE_TO_DATASTRING : item.Request.GetAction;
    if (Tag == 1) {
        // The page manager wants html; a robots.txt is let through as well.
        const std::string& u = item.Url;
        const bool robots = u.size() >= 11 &&
                            EqualsNoCase(std::string_view(u).substr(u.size() - 11), "/robots.txt");
        slot.BodyWanted = [robots](int status, const std::string& contentType) {
            // An error answer is taken whatever its type, so that it is
            // reported and counted as an error rather than dropped as a
            // file that is not a page. Media types are case-blind: "TEXT/HTML"
            // is a page too.
            return robots || status < 200 || status > 299 ||
                   LowerCase(contentType).find("htm") != std::string::npos;
        };
    } else {
        slot.BodyWanted = BodyWanted;
    }
    // The head travels to this thread only when somebody wants to see it.
    if (Tag != 1 && OnHeadComplete)
        slot.OnHeadComplete = [this](RequestSlot* get, const std::string& url,
                                     const std::string& head, int status, const std::string& type,
                                     std::int64_t length, int depth, bool& ok, int area) {
            HeadHandler(get, url, head, status, type, length, depth, ok, area);
        };
    else
        slot.OnHeadComplete = nullptr;
    slot.Agent = Agent;
    slot.UserName = UserName;
    slot.Password = Password;
    slot.CredentialOrigin.clear();
    if (!UserName.empty()) {
        const std::string origin = slot.Url.Origin();
        if (CredentialOrigins.count(origin) != 0) slot.CredentialOrigin = origin;
    }
    slot.ProxyType = ProxyType;
    slot.ProxyAddress = ProxyAddress;
    slot.ProxyPort = ProxyPort;
    slot.ProxyUser = ProxyUser;
    slot.ProxyPassword = ProxyPassword;
    slot.Cookies = Cookies;
    slot.ReferringUrl = item.Request.ReferringUrl;
    slot.RecordOrigin = RecordOrigin;

    if (Stopping) {
        slot.State = RequestState::GETHTTP_WAITING;
        return;
    }
    Log("starting download for " + item.Url +
        (item.Request.FetchFrom.empty() ? "" : " from " + item.Request.FetchFrom));
    slot.Get(RequestKind::GETHTTP_BODY);
    if (RespectRateLimits && slot.State != RequestState::GETHTTP_WAITING) {
        Limits().Opened(item.Lane);
        SlotHosts_[&slot] = std::move(item.Lane);
    }
}

void DownloadManager::HeadHandler(RequestSlot*, const std::string& url, const std::string& head,
                                  int status, const std::string& contentType, std::int64_t length,
                                  int depth, bool& ok, int countArea) {
    // The page manager's own test ran on the loop (BodyWanted); it raises
    // no head event, so its slots never come here.
    if (Stopping) return;
    if (OnHeadComplete)
        OnHeadComplete(this, Tag, url, head, status, contentType, length, depth, ok, countArea);
}

bool DownloadManager::HasWork() const {
    if (Queue_.Count() != 0 || !Ready_.empty() || InDelivery_ != 0 || HeldOutside != 0) return true;
    for (const auto& slot : Slots_)
        if (slot->State > RequestState::GETHTTP_WAITING) return true;
    return false;
}

bool DownloadManager::UpdateStats() {
    int downloading = 0, toAnalyze = 0;
    for (const auto& slot : Slots_) {
        if (slot->State == RequestState::GETHTTP_GETTING) ++downloading;
        if (slot->State == RequestState::GETHTTP_OK) ++toAnalyze;
    }
    const bool busy = HasWork();
    const DownloadStats now{Tag,   QueueCount(), downloading, toAnalyze,
                            Done_, Retries_,     Errors_,     AlreadyOnDisk_};
    const bool changed = !Last_ || *Last_ != now;
    if (changed) {
        // Remembered even without a handler, so that idleness can be seen.
        Last_ = now;
        if (OnUpdatedStats) OnUpdatedStats(this, now);
    }
    // A change of the statistics counts as activity while quiet ticks are
    // waited for; without them only the work itself does.
    if (busy || (changed && QuietTicksBeforeIdle > 0)) {
        IdleTicks_ = QuietTicksBeforeIdle;
        return true;
    }
    if (IdleTicks_ == 0) return false;
    --IdleTicks_;
    return true;
}
