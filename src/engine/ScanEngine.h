#pragma once

#include "crawl/PageProcessor.h"
#include "download/DownloadManager.h"
#include "engine/PageRenderer.h"

#include <QTimer>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// The scan engine: from a starting address it fetches the page, reports its
// links, and fetches the html pages among them level by level down to the
// chosen depth. Pages are fetched by its own download manager; a 200 ms
// timer steps that manager and detects the end of the scan.
class ScanEngine : public PageProcessor {
public:
    explicit ScanEngine(MessageSink* messages = nullptr);
    ~ScanEngine() override;

    // --- settings (setters ignore values outside their range) ---
    std::string StartingUrl;
    int DepthSearchLevel() const { return PageDownloader.DepthSearchLevel; }
    virtual void SetDepthSearchLevel(int v);
    bool LeavesFirst() const { return PageDownloader.LeavesFirst; }
    virtual void SetLeavesFirst(bool v) { PageDownloader.LeavesFirst = v; }
    int MaxQueueSize() const { return MaxQueueSize_; }
    // Pages of this scan left out because the page queue was full.
    int PagesNotQueued() const { return PagesNotQueued_; }
    virtual void SetMaxQueueSize(int v);
    int Retries() const { return Retries_; }
    virtual void SetRetries(int v);
    int TimeOut() const { return TimeOut_; }
    virtual void SetTimeOut(int v);
    int HtmlConcurrentDownloads() const { return PageDownloader.ConcurrentDownloads; }
    virtual void SetHtmlConcurrentDownloads(int v);
    bool LogsEnabled() const { return LogsEnabled_; }
    virtual void SetLogsEnabled(bool v);
    // Waiting for servers that answer "slow down", and the connections per
    // host of both managers together (0: no cap); see DownloadManager.
    bool RespectRateLimits() const { return PageDownloader.RespectRateLimits; }
    virtual void SetRespectRateLimits(bool v) { PageDownloader.RespectRateLimits = v; }
    int ConnectionsPerHost() const { return SharedHostLimits.Cap; }
    virtual void SetConnectionsPerHost(int v);

    const std::string& UserName() const { return UserName_; }
    const std::string& Password() const { return Password_; }
    const std::string& Agent() const { return Agent_; }
    ProxyMode ProxyType() const { return ProxyType_; }
    const std::string& ProxyAddress() const { return ProxyAddress_; }
    int ProxyPort() const { return ProxyPort_; }
    const std::string& ProxyUser() const { return ProxyUser_; }
    const std::string& ProxyPassword() const { return ProxyPassword_; }
    virtual void SetUserName(const std::string& v);
    virtual void SetPassword(const std::string& v);
    virtual void SetAgent(const std::string& v);
    virtual void SetProxyType(ProxyMode v);
    virtual void SetProxyAddress(const std::string& v);
    virtual void SetProxyPort(int v);
    virtual void SetProxyUser(const std::string& v);
    virtual void SetProxyPassword(const std::string& v);

    // Cookies: each scan keeps those its sites set and sends them back
    // where they belong, in both managers. Off: no cookie is sent or kept,
    // not even the preset ones.
    bool KeepCookies() const { return KeepCookies_; }
    virtual void SetKeepCookies(bool v) { KeepCookies_ = v; }
    // Netscape cookie lines every scan starts with (a cookies file).
    std::vector<std::string> PresetCookies;
    // Asked at each scan's start for more Netscape lines (the browser's
    // logins); unset: none.
    std::function<std::vector<std::string>()> CookieSource;
    // The cookies of the last scan started; null before one, or with
    // KeepCookies off.
    const std::shared_ptr<CookieShare>& Cookies() const { return PageDownloader.Cookies; }

    // The document the next scan of this address starts from instead of
    // fetching it (the page as the embedded browser shows it, after a login
    // or scrolling); the pages below it are fetched. Used once.
    struct GivenPage {
        std::string Url, Html;
    };
    std::optional<GivenPage> GivenStartPage;

    // Each fetched html page is handed to Renderer, its scripts run, and its
    // document as it then stands is what the page's links are read from (a
    // start page given as shown, and robots.txt, are read as they are). The
    // renderer is not owned; null: pages are read as fetched.
    PageRenderer* Renderer = nullptr;
    bool RunPageScripts() const { return RunPageScripts_; }
    virtual void SetRunPageScripts(bool v) { RunPageScripts_ = v; }

    std::string InitialReferringUrl;
    virtual void SetInitialReferringUrl(const std::string& v) { InitialReferringUrl = v; }
    std::string Referer; // kept; no effect on the scan
    bool ReuseCache = false;
    int HttpPort = 80;

    // --- closing state ---
    bool Closing = false;
    int ShutdownCountdown = 0;
    int ShutdownTicks = 10;

    // Shared by the page manager and, in a grabber, the file manager.
    HostLimits SharedHostLimits;
    DownloadManager PageDownloader;
    UrlParts StartUrlParts;

    // --- events ---
    std::function<void(Component*, const std::string& hostName, const std::string& url,
                       const std::string& head, const std::string& body)>
        OnPageReceived;
    // The statistics of either manager, as they change.
    std::function<void(Component*, const DownloadStats& stats)> OnUpdatedStats;
    // A page given up on.
    std::function<void(Component*, const DownloadError& error)> OnError;

    // --- hooks for descendants and owners ---
    std::function<void(ScanEngine&, bool closing)> TickHook;
    std::function<void(ScanEngine&, const DownloadStats& stats)> StatsHook;
    std::function<void(DownloadManager*, bool working)> WorkingHook;
    // Raises the per-server connection limit; set by the persistent engine.
    std::function<void(int)> MaxConnectionsHook;
    // Ends the application when the shutdown countdown runs out.
    std::function<void()> TerminateApplication;

    // --- operations ---
    virtual BodyHandling PageGetAction() const { return BodyHandling::STORE_TO_DATASTRING; }
    virtual bool StartScan(const std::string& url = {});
    virtual bool StopScan();
    virtual void Shutdown();
    virtual void TimerTick();
    // A tick as soon as the event loop is free: a manager without quiet
    // ticks ran out of work, and the end of the scan need not wait.
    void TickSoon();
    virtual void PageReceived(Component* sender, RequestSlot* get, bool alreadyOnDisk);
    void ForgetNonPageUrls();
    // Runs the timer (200 ms); on by default.
    void SetTimerEnabled(bool on);

protected:
    // The request slots of all managers, where a slowed-down host's
    // connections stop growing back when there is no cap.
    virtual int TotalSlots() const { return PageDownloader.ConcurrentDownloads; }
    bool IsStopping() const override { return PageDownloader.Stopping; }
    bool LogsWanted() const override { return LogsEnabled_; }
    std::string StorageFolder() const override { return PageDownloader.DownloadPath; }
    void QueuePage(PageInfo& page, const std::string& url, int tagKind, int countArea) override;
    void QueueRobots(PageInfo& page, const std::string& robotsUrl, int tagKind,
                     int countArea) override;
    // Queues the starting page; a resumed scan queues what was left instead.
    virtual void QueueStartPage();
    // Every page queued passes here first (a journal records it).
    virtual void PageQueued(const std::string& /*url*/, const QueuedRequest& /*request*/) {}
    // The page manager fell idle; the scan may be over.
    virtual void PagesIdle() {}
    // A received page's links have all been reported (after its render, when
    // it had one).
    virtual void PageProcessed(const std::string& /*url*/) {}
    // Whether the page manager may start another page: while pages render,
    // renders and transfers together stay within the page slots.
    virtual bool MayStartPage() const;
    bool RendersPages() const { return Renderer != nullptr && RunPageScripts_; }
    void StatsRelay(const DownloadStats& stats);
    void LogRelay(Component* sender, const std::string& message);
    void ConnectPageDownloader();
    // A fresh cookie jar for a new scan, filled with the preset cookies.
    virtual void NewCookies();

private:
    void WorkingHandler(Component* sender, bool working);
    bool WantsRender(const RequestSlot& get) const;
    void PrepareRenderer();
    void RenderPage(PageInfo page, std::string hostName, const std::string& base);
    void ProcessReceived(PageInfo& page, const std::string& hostName);
    // Drops the renders under way; their pages stay unprocessed.
    void CancelRenders();

    int MaxQueueSize_ = 5000;
    int PagesNotQueued_ = 0;
    int Retries_ = 3;
    int TimeOut_ = 300;
    bool LogsEnabled_ = false;
    std::string UserName_, Password_, Agent_ = kDefaultAgent;
    ProxyMode ProxyType_ = ProxyMode::PROXY_DEFAULT;
    std::string ProxyAddress_, ProxyUser_, ProxyPassword_;
    int ProxyPort_ = 80;
    bool InStartScan_ = false;
    bool KeepCookies_ = true;
    bool RunPageScripts_ = false;
    // Bumped when renders are cancelled, so that a late answer is ignored.
    unsigned RenderGeneration_ = 0;
    bool RendererPrepared_ = false; // for the running scan
    QTimer Timer_;
};
