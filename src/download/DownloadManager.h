#pragma once

#include "common/Component.h"
#include "common/UrlQueue.h"
#include "download/DownloadEvents.h"
#include "download/HostLimits.h"
#include "http/OwnerMailbox.h"
#include "http/RequestSlot.h"

#include <QObject>

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

// Turns a queue of URLs into files on disk (or strings in memory) with a
// fixed number of concurrent request slots, retries, an inactivity time-out,
// reuse of files already on disk and a statistics event. The owner calls
// Tick and UpdateStats every 200 ms while Working; a slot whose transfer
// ends is also judged and refilled at once.
class DownloadManager : public Component {
public:
    explicit DownloadManager(MessageSink* messages = nullptr);
    ~DownloadManager() override;

    // --- settings ---
    int TimeOut = 300; // seconds
    std::string DownloadPath;
    bool LeavesFirst = false;
    bool ReuseCache = false;
    std::string UserName, Password;
    // Origins (UrlOrigin) that may receive UserName and Password.
    std::set<std::string> CredentialOrigins;
    std::string Agent = "Quillmark";
    std::string ReferringUrl;
    int HttpPort = 80;
    int RetryCount = 3;
    int DepthSearchLevel = 2;
    int ConcurrentDownloads = 2;
    bool ReuseExistingFiles = false;
    // Stored files carry their address and referrer as attributes.
    bool RecordOrigin = false;
    ProxyMode ProxyType = ProxyMode::PROXY_DEFAULT;
    std::string ProxyAddress;
    int ProxyPort = 80;
    std::string ProxyUser, ProxyPassword;
    // The cookies the manager's requests send and keep, shared with the
    // scan's other manager; unset: no cookie is sent or kept.
    std::shared_ptr<CookieShare> Cookies;
    bool Stopping = false;
    bool Enabled = true;
    // Consecutive ticks without work and without a change of the statistics
    // after which UpdateStats declares the manager idle. With 0 the manager
    // is idle at the first tick that finds nothing queued, running, ready or
    // being delivered.
    int QuietTicksBeforeIdle = 10;
    // Whether a body is wanted, from the answer's status and content type:
    // tested on the transfer loop's thread, so it must only read its arguments
    // and what it captured. Unset: every body. The page manager (Tag 1) has
    // its own test: html answers and robots.txt only.
    std::function<bool(int statusCode, const std::string& contentType)> BodyWanted;
    // Servers that answer "slow down" are waited for: a 429, or a 503 that
    // says how long to wait (Retry-After), queues the URL again after that
    // wait (at most kMaxRetryAfterSeconds; a longer one is judged as any
    // other answer). A wait counts as a retry but uses up none of the URL's
    // tries: each URL may be waited for kMaxServerWaits times. The host's
    // connections are halved and grow back while it keeps answering (see
    // HostLimits). The connections per host are capped by SharedHostLimits;
    // a transfer counts against the host it talks to, and a redirect to a
    // host that may not have one more connection waits in the queue and goes
    // on from there later. Off: every answer is judged as it comes.
    bool RespectRateLimits = false;
    static constexpr int kMaxRetryAfterSeconds = 120;
    static constexpr int kMaxServerWaits = 10;
    // The highest per-host cap a user may set (pages and files together).
    static constexpr int kMaxConnectionsPerHost = 2 * kMaxConcurrentDownloads;
    // The connections per host, shared with the scan's other manager; unset:
    // the manager's own.
    HostLimits* SharedHostLimits = nullptr;
    // Asked before a queued entry is started or a stored page delivered;
    // false holds the queue where it is until a later round (the owner's
    // back-pressure). Unset: always true.
    std::function<bool()> MayStart;
    // With no quiet ticks to wait, called after a round that left nothing to
    // do, so that the owner need not wait for its next tick to see the end.
    std::function<void()> OnOutOfWork;
    // Bodies OnDataReceived handed on that the owner still works on elsewhere
    // (a page whose scripts run): the manager is not idle while any is held.
    int HeldOutside = 0;

    bool Working() const { return Working_; }
    void SetWorking(bool working);

    // --- events ---
    std::function<void(Component* sender, RequestSlot* get, bool alreadyOnDisk)> OnDataReceived;
    std::function<void(Component* sender, const DownloadStats& stats)> OnUpdatedStats;
    std::function<void(Component* sender, const std::string& message)> OnLog;
    std::function<void(Component* sender, const DownloadError& error)> OnError;
    std::function<void(Component* sender, int tag, const std::string& url, const std::string& head,
                       int statusCode, const std::string& contentType, std::int64_t contentLength,
                       int depthSearchLevel, bool& okToGetData, int countArea)>
        OnHeadComplete;
    std::function<void(RequestSlot* get, std::uint32_t bytesRead)> OnProgress;
    std::function<void()> OnReinit;
    std::function<void(Component* sender, bool working)> OnWorking;
    std::function<void(Component* sender, bool& canReinit)> OnCanReinit;
    // kind 0: time-out, 1: HTTP error status, 2: retries exhausted or not storable
    std::function<void(Component* sender, RequestSlot* get, int kind)> OnFileFailed;
    // The storage folder's disk refused a body (RequestSlot::DiskFull): raised
    // after the file's error, or the page's delivery from memory.
    std::function<void(Component* sender, const std::string& reason)> OnDiskFull;

    // Queues the URL with what its request needs (or, reusing files on disk,
    // hands the stored file over as received). False when disabled.
    bool AddDownload(const std::string& url, QueuedRequest request);
    // Hands over a page whose body is already at hand (the document a
    // browser shows) as if it had been received: no transfer is made.
    bool AddReceived(const std::string& url, std::string body, QueuedRequest request);
    int QueueCount() const { return Queue_.Count(); }
    // A round at the next turn of the event loop (one at a time), while working.
    void RequestRound();
    void SetStopping(bool stopping);
    void Reinit();
    void Tick();
    bool UpdateStats();

    // Read access for the owner and tests.
    int SlotCount() const { return int(Slots_.size()); }
    const RequestSlot& Slot(int i) const { return *Slots_[std::size_t(i)]; }
    int Done() const { return Done_; }
    int Errors() const { return Errors_; }
    int Retries() const { return Retries_; }
    int AlreadyOnDisk() const { return AlreadyOnDisk_; }
    // Something is queued, running, ready or being delivered.
    bool HasWork() const;
    HostLimits& Limits() { return SharedHostLimits != nullptr ? *SharedHostLimits : OwnLimits_; }

private:
    void StartWorking();
    void MakeReady(std::unique_ptr<RequestSlot> get, const QueuedRequest& request);
    static QueuedRequest RetryOf(const RequestSlot& slot);
    void Step();
    void ResizeSlots();
    TransferLoop& LoopFor(std::size_t slot);
    void StartNext(RequestSlot& slot);
    void JudgeSlot(RequestSlot& slot, bool refill);
    void Enqueue(const std::string& url, QueuedRequest request);
    std::int64_t ChooseEntry();
    bool WaitForServer(RequestSlot& slot, const std::string& host);
    bool FollowRedirect(RequestSlot& slot, const std::string& url);
    void QueueHeldRedirect(RequestSlot& slot);
    std::string SlotEnded(RequestSlot& slot);
    void HeadHandler(RequestSlot* get, const std::string& url, const std::string& head, int status,
                     const std::string& contentType, std::int64_t length, int depth, bool& ok,
                     int countArea);
    void DeliverReady();
    void Log(const std::string& text) {
        if (OnLog) OnLog(this, text);
    }
    // Whether the slot ended because the page a scan starts from is not html.
    bool StartPageRefused(const RequestSlot& slot) const;
    void ReportError(RequestSlot& slot, const std::string& url, std::uint32_t code,
                     const std::string& message, int kind);

    MessageSink* Messages_;
    UrlQueue Queue_;
    // Carries the ends of the slots' transfers to this thread in batches, and
    // runs one round after each batch; outlives the slots.
    OwnerMailbox Ends_;
    // Run the slots' transfers, a few slots to a loop (see LoopFor);
    // outlive the slots.
    std::vector<std::unique_ptr<TransferLoop>> Loops_;
    std::vector<std::unique_ptr<RequestSlot>> Slots_;
    // Pages served from disk, delivered by the next step in arrival order.
    std::deque<std::unique_ptr<RequestSlot>> Ready_;
    bool Working_ = false;
    int Done_ = 0, Errors_ = 0, Retries_ = 0, AlreadyOnDisk_ = 0;
    std::optional<DownloadStats> Last_; // none: nothing reported since Reinit
    int IdleTicks_ = 10;
    int InDelivery_ = 0; // bodies being handed to OnDataReceived
    bool InStep_ = false;
    bool StepAgain_ = false;
    bool RoundPosted_ = false;
    QObject Context_; // receives the rounds posted when a transfer ends
    HostLimits OwnLimits_;
    // The host each running slot counts against in the host limits: the one
    // it talks to now, after any redirect.
    std::unordered_map<const RequestSlot*, std::string> SlotHosts_;
};
