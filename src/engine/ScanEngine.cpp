#include "ScanEngine.h"

#include "common/StringTools.h"
#include "http/TransferThread.h"

#include <QCoreApplication>

namespace {
// One tick at a time in the whole process: a tick that lets pending events
// run must not find another tick inside it.
bool gTickRunning = false;
} // namespace

THttpBase::THttpBase(IMessageSink* messages) : PageDownloader(messages) {
    Messages = messages;
    PageDownloader.Tag = 1;
    PageDownloader.DepthSearchLevel = 3;
    PageDownloader.ConcurrentDownloads = 6;
    PageDownloader.LeavesFirst = false;
    PageDownloader.Agent = Agent_;
    PageDownloader.RetryCount = Retries_;
    PageDownloader.TimeOut = TimeOut_;
    PageDownloader.HostLimits = &HostLimits;
    ConnectPageDownloader();
    PageDownloader.OnWorking = [this](TComponent* s, bool w) { WorkingHandler(s, w); };
    ProcessMessages = [] { QCoreApplication::processEvents(); };
    TerminateApplication = [] { QCoreApplication::quit(); };
    Timer_.setInterval(200);
    QObject::connect(&Timer_, &QTimer::timeout, [this] { TimerTick(); });
    Timer_.start();
}

THttpBase::~THttpBase() {
    Timer_.stop();
    CloseResultsFile();
}

void THttpBase::ConnectPageDownloader() {
    PageDownloader.OnDataReceived = [this](TComponent* s, TGVHttpGet* g, bool onDisk) {
        PageReceived(s, g, onDisk);
    };
    PageDownloader.OnHeadComplete = [this](TComponent*, int, const std::string& url,
                                           const std::string&, int status, const std::string&,
                                           std::int64_t, int, bool&, int) {
        if (LogsEnabled_ && OnLog)
            OnLog(this, "html head complete (" + std::to_string(status) + "):" + url);
    };
    PageDownloader.OnError = [this](TComponent* s, int, const std::string& url, std::uint32_t code,
                                    const std::string& msg, const std::string&) {
        if (OnError) OnError(s, url, code, msg);
    };
    PageDownloader.OnUpdatedStats = [this](TComponent* s, int tag, int a, int b, int c, int d,
                                           int e, int f,
                                           int g) { StatsRelay(s, tag, a, b, c, d, e, f, g); };
    if (LogsEnabled_)
        PageDownloader.OnLog = [this](TComponent* s, const std::string& m) { LogRelay(s, m); };
}

void THttpBase::SetTimerEnabled(bool on) {
    if (on)
        Timer_.start();
    else
        Timer_.stop();
}

void THttpBase::SetDepthSearchLevel(int v) {
    if (v > 0) PageDownloader.DepthSearchLevel = v;
}

void THttpBase::SetMaxQueueSize(int v) {
    if (v > 9) MaxQueueSize_ = v;
}

void THttpBase::SetRetries(int v) {
    if (v <= 0) return;
    Retries_ = v;
    PageDownloader.RetryCount = v;
}

void THttpBase::SetTimeOut(int v) {
    if (v <= 9) return;
    TimeOut_ = v;
    PageDownloader.TimeOut = v;
}

void THttpBase::SetHtmlConcurrentDownloads(int v) {
    if (v <= 0 || v > kMaxConcurrentDownloads) return;
    PageDownloader.ConcurrentDownloads = v;
    if (MaxConnectionsHook) MaxConnectionsHook(v);
}

void THttpBase::SetConnectionsPerHost(int v) {
    if (v >= 0 && v <= TGVDwnld::kMaxConnectionsPerHost) HostLimits.Cap = v;
}

void THttpBase::SetLogsEnabled(bool v) {
    LogsEnabled_ = v;
    if (v)
        PageDownloader.OnLog = [this](TComponent* s, const std::string& m) { LogRelay(s, m); };
    else
        PageDownloader.OnLog = nullptr;
}

void THttpBase::SetUserName(const std::string& v) {
    UserName_ = PageDownloader.UserName = v;
}
void THttpBase::SetPassword(const std::string& v) {
    Password_ = PageDownloader.Password = v;
}
void THttpBase::SetAgent(const std::string& v) {
    Agent_ = PageDownloader.Agent = v;
}
void THttpBase::SetProxyType(TProxyType v) {
    ProxyType_ = PageDownloader.ProxyType = v;
}
void THttpBase::SetProxyAddress(const std::string& v) {
    ProxyAddress_ = PageDownloader.ProxyAddress = v;
}
void THttpBase::SetProxyPort(int v) {
    ProxyPort_ = PageDownloader.ProxyPort = v;
}
void THttpBase::SetProxyUser(const std::string& v) {
    ProxyUser_ = PageDownloader.ProxyUser = v;
}
void THttpBase::SetProxyPassword(const std::string& v) {
    ProxyPassword_ = PageDownloader.ProxyPassword = v;
}

bool THttpBase::StartScan(const std::string& url) {
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
    if (!StartUrlParts.Crack(StartingUrl, PageDownloader.DownloadPath)) {
        ShowMessage("Invalid Url : " + StartingUrl);
        return false;
    }
    PagesNotQueued_ = 0;
    if (!PageDownloader.Stopping && !ResultsOpen() && !OpenResultsFile()) return false;
    // Hosts slowed down in an earlier scan start afresh.
    HostLimits.Reset();
    HostLimits.Ceiling = TotalSlots();

    if (!UserName_.empty() || !Password_.empty()) {
        PageDownloader.UserName = UserName_;
        PageDownloader.Password = Password_;
    }
    // The user's credentials are meant for the site the scan starts on.
    PageDownloader.CredentialOrigins.insert(StartUrlParts.Origin());

    if (!VisitedUrls.FindOrInsert(StartingUrl, true)) {
        VisitedUrls.SetMark(StartingUrl, 1);
        const std::string& referrer =
            InitialReferringUrl.empty() ? StartingUrl : InitialReferringUrl;
        PageDownloader.AddDownload(StartingUrl, referrer, -1, false, 0, PageGetAction(), ' ', 1, 1);
    }
    return true;
}

bool THttpBase::StopScan() {
    CloseResultsFile();
    PageDownloader.SetStopping(true);
    return true;
}

void THttpBase::Shutdown() {
    Closing = true;
    PageDownloader.Enabled = false;
    PageDownloader.OnDataReceived = nullptr;
    PageDownloader.OnUpdatedStats = nullptr;
    PageDownloader.OnLog = nullptr;
    PageDownloader.OnError = nullptr;
    PageDownloader.OnHeadComplete = nullptr;
    PageDownloader.OnProgress = nullptr;
    PageDownloader.SetStopping(true);
    ShutdownCountdown = ShutdownTicks;
}

void THttpBase::TimerTick() {
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

void THttpBase::PageReceived(TComponent*, TGVHttpGet* get, bool) {
    TPageInfo page;
    page.Url = get->Url.GetUrl();
    page.ReferringUrl = get->ReferringUrl;
    page.Head = get->Head;
    page.Body = std::move(get->Body);
    page.DepthLevel = get->DepthSearchLevel;
    page.Request = get;
    // Relative links of a redirected page resolve against where it landed.
    if (!get->EffectiveUrl.empty() && get->EffectiveUrl != page.Url &&
        page.Parts.Crack(get->EffectiveUrl, PageDownloader.DownloadPath)) {
    } else {
        page.Parts = get->Url;
    }

    if (OnPageReceived) OnPageReceived(this, get->Url.HostName(), page.Url, page.Head, page.Body);
    if (OnMetaTag) ParseHead(page);
    if (LogsEnabled_ && OnLog) OnLog(this, "page received, processing:" + page.Url);
    ProcessPage(page);
}

void THttpBase::QueuePage(TPageInfo& page, const std::string& url, int tagKind, int countArea) {
    if (page.DepthLevel >= PageDownloader.DepthSearchLevel || PageDownloader.Stopping) return;
    if (PageDownloader.QueueCount() >= MaxQueueSize_) {
        ++PagesNotQueued_; // counted so that the loss can be told
        return;
    }
    PageDownloader.AddDownload(url, page.Url, -1, false, countArea, PageGetAction(), char(tagKind),
                               1, page.DepthLevel + 1);
}

void THttpBase::QueueRobots(TPageInfo& page, const std::string& robotsUrl, int tagKind,
                            int countArea) {
    PageDownloader.AddDownload(robotsUrl, "", -1, false, countArea, PageGetAction(), char(tagKind),
                               1, page.DepthLevel + 1);
}

void THttpBase::StatsRelay(TComponent*, int tag, int inQueue, int downloading, int toAnalyze,
                           int done, int retries, int errors, int alreadyOnDisk) {
    if (StatsHook)
        StatsHook(*this, tag, inQueue, downloading, toAnalyze, done, retries, errors,
                  alreadyOnDisk);
    if (OnUpdatedStats)
        OnUpdatedStats(this, inQueue, downloading, toAnalyze, done, retries, errors);
}

void THttpBase::LogRelay(TComponent* sender, const std::string& message) {
    if (PageDownloader.Stopping || !OnLog) return;
    const auto* manager = dynamic_cast<TGVDwnld*>(sender);
    OnLog(this, (manager != nullptr && manager->Tag == 1 ? "HTML: " : "OTHER: ") + message);
}

void THttpBase::WorkingHandler(TComponent* sender, bool working) {
    if (WorkingHook) WorkingHook(static_cast<TGVDwnld*>(sender), working);
    if (!working) {
        VisitedUrls.Clear();
        KnownHosts.Clear();
        PageDownloader.CredentialOrigins.clear();
    }
}

void THttpBase::ForgetNonPageUrls() {
    VisitedUrls.ForgetUnmarked();
}
