#include "ScanEngine.h"

#include "common/StringTools.h"
#include "http/CookieShare.h"
#include "http/TransferThread.h"

#include <QCoreApplication>
#include <QElapsedTimer>

namespace {
// One tick at a time in the whole process: a tick that lets pending events
// run must not find another tick inside it.
bool gTickRunning = false;
// The least time between two turns of the event loop inside a page.
constexpr qint64 kBreatheIntervalMs = 40;
} // namespace

ScanEngine::ScanEngine(MessageSink* messages) : PageDownloader(messages) {
    Messages = messages;
    PageDownloader.Tag = 1;
    PageDownloader.DepthSearchLevel = 3;
    PageDownloader.ConcurrentDownloads = 6;
    PageDownloader.LeavesFirst = false;
    PageDownloader.Agent = Agent_;
    PageDownloader.RetryCount = Retries_;
    PageDownloader.TimeOut = TimeOut_;
    PageDownloader.SharedHostLimits = &SharedHostLimits;
    ConnectPageDownloader();
    PageDownloader.OnWorking = [this](Component* s, bool w) { WorkingHandler(s, w); };
    PageDownloader.MayStart = [this] { return MayStartPage(); };
    // A long page lets the window's events through a few times a second, not
    // after every link: each turn of the event loop repaints what changed,
    // which costs far more than a link.
    ProcessMessages = [since = QElapsedTimer()]() mutable {
        if (since.isValid() && since.elapsed() < kBreatheIntervalMs) return;
        QCoreApplication::processEvents();
        since.start();
    };
    TerminateApplication = [] { QCoreApplication::quit(); };
    Timer_.setInterval(200);
    QObject::connect(&Timer_, &QTimer::timeout, [this] { TimerTick(); });
    Timer_.start();
}

ScanEngine::~ScanEngine() {
    Timer_.stop();
    // No answer may reach an engine that is gone.
    if (PageDownloader.HeldOutside != 0) CancelRenders();
    CloseResultsFile();
}

void ScanEngine::ConnectPageDownloader() {
    PageDownloader.OnOutOfWork = [this] { TickSoon(); };
    PageDownloader.OnDataReceived = [this](Component* s, RequestSlot* g, bool onDisk) {
        PageReceived(s, g, onDisk);
    };
    PageDownloader.OnHeadComplete = [this](Component*, int, const std::string& url,
                                           const std::string&, int status, const std::string&,
                                           std::int64_t, int, bool&, int) {
        if (LogsEnabled_ && OnLog)
            OnLog(this, "html head complete (" + std::to_string(status) + "):" + url);
    };
    PageDownloader.OnError = [this](Component* s, const DownloadError& error) {
        if (OnError) OnError(s, error);
    };
    PageDownloader.OnUpdatedStats = [this](Component*, const DownloadStats& stats) {
        StatsRelay(stats);
    };
    if (LogsEnabled_)
        PageDownloader.OnLog = [this](Component* s, const std::string& m) { LogRelay(s, m); };
}

void ScanEngine::SetTimerEnabled(bool on) {
    if (on)
        Timer_.start();
    else
        Timer_.stop();
}

void ScanEngine::SetDepthSearchLevel(int v) {
    if (v > 0) PageDownloader.DepthSearchLevel = v;
}

void ScanEngine::SetMaxQueueSize(int v) {
    if (v > 9) MaxQueueSize_ = v;
}

void ScanEngine::SetRetries(int v) {
    if (v <= 0) return;
    Retries_ = v;
    PageDownloader.RetryCount = v;
}

void ScanEngine::SetTimeOut(int v) {
    if (v <= 9) return;
    TimeOut_ = v;
    PageDownloader.TimeOut = v;
}

void ScanEngine::SetHtmlConcurrentDownloads(int v) {
    if (v <= 0 || v > kMaxConcurrentDownloads) return;
    PageDownloader.ConcurrentDownloads = v;
    if (MaxConnectionsHook) MaxConnectionsHook(v);
}

void ScanEngine::SetConnectionsPerHost(int v) {
    if (v >= 0 && v <= DownloadManager::kMaxConnectionsPerHost) SharedHostLimits.Cap = v;
}

void ScanEngine::SetLogsEnabled(bool v) {
    LogsEnabled_ = v;
    if (v)
        PageDownloader.OnLog = [this](Component* s, const std::string& m) { LogRelay(s, m); };
    else
        PageDownloader.OnLog = nullptr;
}

void ScanEngine::SetUserName(const std::string& v) {
    UserName_ = PageDownloader.UserName = v;
}
void ScanEngine::SetPassword(const std::string& v) {
    Password_ = PageDownloader.Password = v;
}
void ScanEngine::SetAgent(const std::string& v) {
    Agent_ = PageDownloader.Agent = v;
}
void ScanEngine::SetProxyType(ProxyMode v) {
    ProxyType_ = PageDownloader.ProxyType = v;
}
void ScanEngine::SetProxyAddress(const std::string& v) {
    ProxyAddress_ = PageDownloader.ProxyAddress = v;
}
void ScanEngine::SetProxyPort(int v) {
    ProxyPort_ = PageDownloader.ProxyPort = v;
}
void ScanEngine::SetProxyUser(const std::string& v) {
    ProxyUser_ = PageDownloader.ProxyUser = v;
}
void ScanEngine::SetProxyPassword(const std::string& v) {
    ProxyPassword_ = PageDownloader.ProxyPassword = v;
}

bool ScanEngine::StartScan(const std::string& url) {
    if (InStartScan_) return true;
    InStartScan_ = true;
    struct Guard {
        bool& flag;
        ~Guard() { flag = false; }
    } guard{InStartScan_};

    // The address is checked before anything is created or truncated.
    if (!url.empty()) StartingUrl = url;
    if (StartingUrl.empty()) {
        ShowMessage("no URL specified");
        return false;
    }
    if (!StartUrlParts.Split(StartingUrl, PageDownloader.DownloadPath)) {
        ShowMessage("Invalid Url : " + StartingUrl);
        return false;
    }
    PagesNotQueued_ = 0;
    if (!PageDownloader.Stopping && !ResultsOpen() && !OpenResultsFile()) return false;
    NewCookies();
    // Each start collects its mail addresses afresh, as the window counts them.
    MailAddresses.Clear();
    // Hosts slowed down in an earlier scan start afresh.
    SharedHostLimits.Reset();
    SharedHostLimits.Ceiling = TotalSlots();

    if (!UserName_.empty() || !Password_.empty()) {
        PageDownloader.UserName = UserName_;
        PageDownloader.Password = Password_;
    }
    // The user's credentials are meant for the site the scan starts on.
    PageDownloader.CredentialOrigins.insert(StartUrlParts.Origin());

    RendererPrepared_ = false;
    if (RendersPages()) PrepareRenderer();
    QueueStartPage();
    return true;
}

void ScanEngine::NewCookies() {
    PageDownloader.Cookies.reset();
    if (!KeepCookies_) return;
    auto jar = std::make_shared<CookieShare>();
    if (!jar->Valid()) {
        ShowMessage("cookies cannot be kept: libcurl could not share them");
        return;
    }
    for (const std::string& line : PresetCookies)
        jar->AddNetscapeLine(line);
    if (CookieSource)
        for (const std::string& line : CookieSource())
            jar->AddNetscapeLine(line);
    PageDownloader.Cookies = std::move(jar);
}

void ScanEngine::QueueStartPage() {
    if (VisitedUrls.FindOrInsert(StartingUrl, true)) {
        GivenStartPage.reset();
        return;
    }
    VisitedUrls.SetMark(StartingUrl, 1);
    const std::string& referrer = InitialReferringUrl.empty() ? StartingUrl : InitialReferringUrl;
    QueuedRequest request{
        .DepthSearchLevel = 1, .GetAction = PageGetAction(), .ReferringUrl = referrer};
    PageQueued(StartingUrl, request);
    if (GivenStartPage && GivenStartPage->Url == StartingUrl) {
        std::string html = std::move(GivenStartPage->Html);
        GivenStartPage.reset();
        PageDownloader.AddReceived(StartingUrl, std::move(html), std::move(request));
        return;
    }
    GivenStartPage.reset();
    PageDownloader.AddDownload(StartingUrl, std::move(request));
}

bool ScanEngine::StopScan() {
    CloseResultsFile();
    PageDownloader.SetStopping(true);
    CancelRenders();
    return true;
}

void ScanEngine::Shutdown() {
    Closing = true;
    PageDownloader.Enabled = false;
    PageDownloader.OnDataReceived = nullptr;
    PageDownloader.OnUpdatedStats = nullptr;
    PageDownloader.OnLog = nullptr;
    PageDownloader.OnError = nullptr;
    PageDownloader.OnHeadComplete = nullptr;
    PageDownloader.OnProgress = nullptr;
    PageDownloader.SetStopping(true);
    CancelRenders();
    ShutdownCountdown = ShutdownTicks;
}

void ScanEngine::TickSoon() {
    // Outside the manager's round that asked for it; dropped with the timer.
    QTimer::singleShot(0, &Timer_, [this] { TimerTick(); });
}

void ScanEngine::TimerTick() {
    if (gTickRunning) return;
    gTickRunning = true;
    if (PageDownloader.Working()) {
        PageDownloader.Tick();
        if (!PageDownloader.UpdateStats()) {
            PageDownloader.SetWorking(false);
            CloseResultsFile();
        }
    }
    if (ShutdownCountdown != 0) {
        if (TickHook) TickHook(*this, true);
        if (--ShutdownCountdown == 0) {
            Closing = false;
            gTickRunning = false;
            if (TerminateApplication) TerminateApplication();
            return;
        }
    } else if (TickHook) {
        TickHook(*this, false);
    }
    gTickRunning = false;
}

void ScanEngine::PageReceived(Component*, RequestSlot* get, bool) {
    PageInfo page;
    page.Url = get->Url.GetUrl();
    page.ReferringUrl = get->ReferringUrl;
    page.Head = get->Head;
    page.Body = std::move(get->Body);
    page.DepthLevel = get->DepthSearchLevel;
    page.Request = get;
    // Relative links of a redirected page resolve against where it landed.
    const bool redirected = !get->EffectiveUrl.empty() && get->EffectiveUrl != page.Url &&
                            page.Parts.Split(get->EffectiveUrl, PageDownloader.DownloadPath);
    if (!redirected) page.Parts = get->Url;

    if (WantsRender(*get)) {
        // The slot is reused at once: the page keeps its own copy of what
        // processing needs.
        page.Request = nullptr;
        RenderPage(std::move(page), get->Url.HostName(),
                   redirected ? get->EffectiveUrl : get->Url.GetUrl());
        return;
    }
    ProcessReceived(page, get->Url.HostName());
}

void ScanEngine::ProcessReceived(PageInfo& page, const std::string& hostName) {
    if (OnPageReceived) OnPageReceived(this, hostName, page.Url, page.Head, page.Body);
    if (OnMetaTag) ParseHead(page);
    if (LogsEnabled_ && OnLog) OnLog(this, "page received, processing:" + page.Url);
    ProcessPage(page);
    PageProcessed(page.Url);
}

bool ScanEngine::WantsRender(const RequestSlot& get) const {
    if (!RendersPages() || get.BodyGiven) return false;
    const std::string url = get.Url.GetUrl();
    constexpr std::string_view robots = "/robots.txt";
    return !(url.size() >= robots.size() &&
             EqualsNoCase(std::string_view(url).substr(url.size() - robots.size()), robots));
}

// The setting may be turned on while a scan runs: its first render prepares.
void ScanEngine::PrepareRenderer() {
    Renderer->Prepare({.Capacity = PageDownloader.ConcurrentDownloads,
                       .Agent = Agent_,
                       .ProxyType = ProxyType_,
                       .ProxyAddress = ProxyAddress_,
                       .ProxyPort = ProxyPort_,
                       .ProxyUser = ProxyUser_,
                       .ProxyPassword = ProxyPassword_});
    RendererPrepared_ = true;
}

void ScanEngine::RenderPage(PageInfo page, std::string hostName, const std::string& base) {
    if (!RendererPrepared_) PrepareRenderer();
    if (LogsEnabled_ && OnLog) OnLog(this, "page received, running its scripts:" + page.Url);
    ++PageDownloader.HeldOutside;
    auto held = std::make_shared<PageInfo>(std::move(page));
    Renderer->Render(base, held->Body,
                     [this, generation = RenderGeneration_, held,
                      hostName = std::move(hostName)](PageRenderer::Result result) {
                         if (generation != RenderGeneration_) return;
                         PageInfo& page = *held;
                         if (!result.Problem.empty() && PageDownloader.OnError)
                             PageDownloader.OnError(&PageDownloader,
                                                    {PageDownloader.Tag, page.Url, 0,
                                                     result.Problem, page.ReferringUrl});
                         if (!result.Html.empty()) page.Body = std::move(result.Html);
                         // Still held while it is processed: the events it lets through
                         // must not find the manager idle.
                         if (!PageDownloader.Stopping) ProcessReceived(page, hostName);
                         if (generation != RenderGeneration_) return;
                         --PageDownloader.HeldOutside;
                         PageDownloader.RequestRound();
                     });
}

void ScanEngine::CancelRenders() {
    if (Renderer != nullptr) Renderer->CancelAll();
    ++RenderGeneration_;
    PageDownloader.HeldOutside = 0;
}

bool ScanEngine::MayStartPage() const {
    if (!RendersPages()) return true;
    // A transfer under way becomes a render when it ends: both count. The
    // slot being filled is still preparing and does not.
    int transfers = 0;
    for (int i = 0; i < PageDownloader.SlotCount(); ++i)
        if (PageDownloader.Slot(i).State > RequestState::GETHTTP_PREPARING) ++transfers;
    return Renderer->Pending() + transfers < PageDownloader.ConcurrentDownloads;
}

void ScanEngine::QueuePage(PageInfo& page, const std::string& url, int tagKind, int countArea) {
    if (page.DepthLevel >= PageDownloader.DepthSearchLevel || PageDownloader.Stopping) return;
    if (PageDownloader.QueueCount() >= MaxQueueSize_) {
        ++PagesNotQueued_; // counted so that the loss can be told
        return;
    }
    QueuedRequest request{.DepthSearchLevel = page.DepthLevel + 1,
                          .CountArea = countArea,
                          .HrefOrSrc = char(tagKind),
                          .GetAction = PageGetAction(),
                          .ReferringUrl = page.Url};
    PageQueued(url, request);
    PageDownloader.AddDownload(url, std::move(request));
}

void ScanEngine::QueueRobots(PageInfo& page, const std::string& robotsUrl, int tagKind,
                             int countArea) {
    QueuedRequest request{.DepthSearchLevel = page.DepthLevel + 1,
                          .CountArea = countArea,
                          .HrefOrSrc = char(tagKind),
                          .GetAction = PageGetAction()};
    PageQueued(robotsUrl, request);
    PageDownloader.AddDownload(robotsUrl, std::move(request));
}

void ScanEngine::StatsRelay(const DownloadStats& stats) {
    if (StatsHook) StatsHook(*this, stats);
    if (OnUpdatedStats) OnUpdatedStats(this, stats);
}

void ScanEngine::LogRelay(Component* sender, const std::string& message) {
    if (PageDownloader.Stopping || !OnLog) return;
    const auto* manager = dynamic_cast<DownloadManager*>(sender);
    OnLog(this, (manager != nullptr && manager->Tag == 1 ? "HTML: " : "OTHER: ") + message);
}

void ScanEngine::WorkingHandler(Component* sender, bool working) {
    if (WorkingHook) WorkingHook(static_cast<DownloadManager*>(sender), working);
    if (!working) {
        VisitedUrls.Clear();
        KnownHosts.Clear();
        PageDownloader.CredentialOrigins.clear();
        PagesIdle();
    }
}

void ScanEngine::ForgetNonPageUrls() {
    VisitedUrls.ForgetUnmarked();
}
