#include "Grabber.h"

#include "common/StringTools.h"
#include "http/OriginAttributes.h"
#include "http/StaleTemporaries.h"
#include "http/TransferThread.h"

#include <cerrno>
#include <cstdlib>
#include <sys/stat.h>

namespace {

// An html answer in place of a picture; an error status is left to the
// error path so that a missing picture is reported.
bool IsHtmlInPlaceOfFile(int statusCode, const std::string& contentType) {
    // Media types are case-blind: "Text/HTML" is html too.
    return statusCode >= 200 && statusCode <= 299 &&
           LowerCase(contentType.substr(0, 8)) == "text/htm";
}

} // namespace

Grabber::Grabber(MessageSink* messages) : ScanEngine(messages), FileDownloader(messages) {
    AppFolder_ = CurrentFolder() + "/";
    SetFileTypes("gif\r\njpeg\r\njpg");
    DownloadPath_ = CurrentFolder() + "/Download/";

    PageDownloader.Agent = kDefaultAgent;
    FileDownloader.Agent = Agent();
    PageDownloader.ReuseExistingFiles = ReuseHtmlFiles_;
    PageDownloader.DownloadPath = DownloadPath_;
    PageDownloader.RecordOrigin = true;

    FileDownloader.Tag = 2;
    FileDownloader.RecordOrigin = true;
    FileDownloader.SharedHostLimits = &SharedHostLimits;
    FileDownloader.ReuseExistingFiles = true;
    FileDownloader.DownloadPath = DownloadPath_;
    FileDownloader.RetryCount = Retries();
    FileDownloader.OnUpdatedStats = [this](Component*, const DownloadStats& stats) {
        StatsRelay(stats);
    };
    FileDownloader.OnError = [this](Component* s, const DownloadError& error) {
        if (!FileDownloader.Stopping && OnFileDownloadError) OnFileDownloadError(s, error);
    };
    // An html answer in place of a picture is refused on the transfer's
    // worker; the head is handed to this thread only for the log lines.
    FileDownloader.BodyWanted = [](int statusCode, const std::string& contentType) {
        return !IsHtmlInPlaceOfFile(statusCode, contentType);
    };
    ConnectFileHeadCheck();
    FileDownloader.OnWorking = [this](Component* s, bool w) {
        if (FileWorkingHook) FileWorkingHook(s, w);
        if (!w) {
            FileDownloader.CredentialOrigins.clear();
            EndJournalWhenIdle();
        }
    };
    // File statistics restart with each scan, but not while pages are still fetched.
    FileDownloader.OnCanReinit = [this](Component*, bool& can) { can = !PageDownloader.Working(); };

    // A full disk takes no more files: none starts once it was seen, and the
    // next tick stops the file downloads (not inside a manager's round).
    FileDownloader.MayStart = [this] { return DiskFull_.empty(); };
    const auto diskFull = [this](Component*, const std::string& reason) {
        if (DiskFull_.empty()) DiskFull_ = reason;
    };
    FileDownloader.OnDiskFull = diskFull;
    FileDownloader.OnOutOfWork = [this] { TickSoon(); };
    PageDownloader.OnDiskFull = diskFull;

    LinkHook = [this](const LinkHookArgs& link) { GrabLink(link); };
    AreaHook = MarkCountedAreas;
    TickHook = [this](ScanEngine&, bool closing) { GrabberTick(closing); };
}

BodyHandling Grabber::PageGetAction() const {
    return DownloadHtmlPages_ ? BodyHandling::STORE_TO_DATASTRING_AND_FILE
                              : BodyHandling::STORE_TO_DATASTRING;
}

void Grabber::SetFilesConcurrentDownloads(int v) {
    if (v <= 0 || v > kMaxConcurrentDownloads) return;
    FileDownloader.ConcurrentDownloads = v;
    if (MaxConnectionsHook) MaxConnectionsHook(v + HtmlConcurrentDownloads());
}

void Grabber::SetRememberOrigins(bool v) {
    PageDownloader.RecordOrigin = v;
    FileDownloader.RecordOrigin = v;
}

void Grabber::SetFileTypes(std::string_view text) {
    FileTypes_.SetText(text);
    FileTypes_.Sort();
    LowerFileTypes_.clear();
    for (int i = 0; i < FileTypes_.Count(); ++i)
        LowerFileTypes_.push_back(LowerCase(FileTypes_[i]));
}

void Grabber::SetDownloadPath(const std::string& path) {
    DownloadPath_ = path;
    PageDownloader.DownloadPath = path;
    FileDownloader.DownloadPath = path;
}

void Grabber::SetReuseHtmlFiles(bool v) {
    PageDownloader.ReuseExistingFiles = DownloadHtmlPages_ ? v : false;
    ReuseHtmlFiles_ = v;
}

void Grabber::SetDownloadHtmlPages(bool v) {
    DownloadHtmlPages_ = v;
    SetReuseHtmlFiles(ReuseHtmlFiles_);
}

void Grabber::SetMaxDownloadQueueSize(int v) {
    if (v > 9) MaxDownloadQueueSize_ = v;
}

void Grabber::SetSearchThumbs(bool v) {
    SearchThumbs_ = v;
    if (v) {
        FileLinkHook = [this](const LinkHookArgs& link) {
            CollectThumb(link.UrlFound, link.CountArea, link.HrefOrSrc);
        };
        PageParsedHook = [this](PageProcessor&, PageInfo& page) { PairThumbs(page); };
    } else {
        FileLinkHook = nullptr;
        PageParsedHook = nullptr;
    }
}

void Grabber::SetRetries(int v) {
    ScanEngine::SetRetries(v);
    if (v > 0) FileDownloader.RetryCount = v;
}

// One time-out for every transfer, pages and files alike.
void Grabber::SetTimeOut(int v) {
    ScanEngine::SetTimeOut(v);
    FileDownloader.TimeOut = TimeOut();
}

void Grabber::SetLogsEnabled(bool v) {
    ScanEngine::SetLogsEnabled(v);
    if (v)
        FileDownloader.OnLog = [this](Component* s, const std::string& m) { LogRelay(s, m); };
    else
        FileDownloader.OnLog = nullptr;
    ConnectFileHeadCheck();
}

void Grabber::ConnectFileHeadCheck() {
    if (LogsEnabled())
        FileDownloader.OnHeadComplete = [this](Component*, int, const std::string& url,
                                               const std::string&, int status,
                                               const std::string& type, std::int64_t, int, bool& ok,
                                               int) { FileHeadCheck(url, status, type, ok); };
    else
        FileDownloader.OnHeadComplete = nullptr;
}

void Grabber::SetProxyType(ProxyMode v) {
    ScanEngine::SetProxyType(v);
    FileDownloader.ProxyType = v;
}
void Grabber::SetProxyAddress(const std::string& v) {
    ScanEngine::SetProxyAddress(v);
    FileDownloader.ProxyAddress = v;
}
void Grabber::SetProxyPort(int v) {
    ScanEngine::SetProxyPort(v);
    FileDownloader.ProxyPort = v;
}
void Grabber::SetProxyUser(const std::string& v) {
    ScanEngine::SetProxyUser(v);
    FileDownloader.ProxyUser = v;
}
void Grabber::SetProxyPassword(const std::string& v) {
    ScanEngine::SetProxyPassword(v);
    FileDownloader.ProxyPassword = v;
}
void Grabber::SetUserName(const std::string& v) {
    ScanEngine::SetUserName(v);
    FileDownloader.UserName = v;
}
void Grabber::SetPassword(const std::string& v) {
    ScanEngine::SetPassword(v);
    FileDownloader.Password = v;
}
void Grabber::SetAgent(const std::string& v) {
    ScanEngine::SetAgent(v);
    FileDownloader.Agent = v;
}
void Grabber::SetRespectRateLimits(bool v) {
    ScanEngine::SetRespectRateLimits(v);
    FileDownloader.RespectRateLimits = v;
}

bool Grabber::StartScan(const std::string& url) {
    DiskFull_.clear();
    DiskFullTold_ = false;
    PageDownloader.SetStopping(false);
    FileDownloader.SetStopping(false);
    if (!UserName().empty() || !Password().empty()) {
        FileDownloader.UserName = UserName();
        FileDownloader.Password = Password();
    }
    const bool ok = ScanEngine::StartScan(url);
    if (ok) FileDownloader.CredentialOrigins.insert(StartUrlParts.Origin());
    return ok;
}

void Grabber::NewCookies() {
    ScanEngine::NewCookies();
    FileDownloader.Cookies = PageDownloader.Cookies;
}

bool Grabber::StopScan() {
    ScanEngine::StopScan();
    FileDownloader.SetStopping(true);
    Journal.Flush();
    EndJournalWhenIdle();
    return true;
}

bool Grabber::ResumeScan(const std::string& url) {
    if (!url.empty()) StartingUrl = url;
    JournalState state;
    std::string why;
    if (ScanJournal::Load(DownloadPath_, StartingUrl, state, why)) {
        ApplyJournalSettings(state.Settings);
        Resumed_ = std::move(state);
    } else {
        ShowMessage(why + ". The scan starts afresh.");
    }
    const bool ok = StartScan(StartingUrl);
    Resumed_.reset();
    return ok;
}

void Grabber::QueueStartPage() {
    // A start page added to a running scan joins its journal.
    if (!DownloadPath_.empty() && !Journal.IsOpen()) {
        // Temporaries of transfers whose process was killed are of no use.
        RemoveStaleTemporaries(DownloadPath_);
        std::string why;
        const bool open = Resumed_
                              ? Journal.Continue(DownloadPath_, why)
                              : Journal.Begin(DownloadPath_, StartingUrl, JournalSettings(), why);
        if (!open && OnLog) OnLog(this, "the scan is not journaled and cannot be resumed: " + why);
    }
    if (!Resumed_) {
        ScanEngine::QueueStartPage();
        return;
    }
    const JournalState state = std::move(*Resumed_);
    Resumed_.reset();
    // Killed before its first batch reached the disk: nothing was journaled
    // but the heading, and the scan begins at its starting page.
    if (state.PendingPages.empty() && state.DonePages.empty()) {
        ScanEngine::QueueStartPage();
        for (const auto& file : state.Files)
            QueueFileRequest(file.Url, file.Request);
        return;
    }
    // Every address the interrupted scan met is known, so that no page or
    // file is queued twice; what it had left to do is queued again.
    if (!state.PendingPages.empty())
        for (const std::string& page : state.DonePages) {
            VisitedUrls.FindOrInsert(page, true);
            VisitedUrls.SetMark(page, 1);
        }
    for (const auto& page : state.PendingPages) {
        VisitedUrls.FindOrInsert(page.Url, true);
        VisitedUrls.SetMark(page.Url, 1);
    }
    for (const auto& file : state.Files)
        VisitedUrls.FindOrInsert(file.Url, true);
    for (const auto& page : state.PendingPages) {
        QueuedRequest request = page.Request;
        request.GetAction = PageGetAction();
        PageDownloader.AddDownload(page.Url, std::move(request));
    }
    // Files already stored are delivered from the disk, not fetched again.
    for (const auto& file : state.Files)
        FileDownloader.AddDownload(file.Url, file.Request);
    if (state.PendingPages.empty() && state.Files.empty()) Journal.Finish();
}

void Grabber::PageQueued(const std::string& url, const QueuedRequest& request) {
    Journal.PageQueued(url, request);
}

// After the links it yielded: a page that is done in the journal has had its
// links journaled.
void Grabber::PageProcessed(const std::string& url) {
    Journal.PageDone(url);
}

// The file queue's limit bounds memory without losing links: while the queue
// is full no new page is started; pages already on their way still queue
// their links, and pages resume once the queue has drained below it.
bool Grabber::MayStartPage() const {
    return FileDownloader.QueueCount() < MaxDownloadQueueSize_ && ScanEngine::MayStartPage();
}

void Grabber::EndJournalWhenIdle() {
    if (!Journal.IsOpen() || PageDownloader.Working() || FileDownloader.Working()) return;
    if (PageDownloader.Stopping || FileDownloader.Stopping || Closing)
        Journal.Close();
    else
        Journal.Finish();
}

std::vector<std::pair<std::string, std::string>> Grabber::JournalSettings() const {
    const char* download = DownloadType_ == DownloadFilter::DOWNLOAD_SRC    ? "src"
                           : DownloadType_ == DownloadFilter::DOWNLOAD_HREF ? "href"
                                                                            : "both";
    return {{"depth", std::to_string(DepthSearchLevel())},
            {"types", FileTypes()},
            {"download", download},
            {"thumbs", SearchThumbs_ ? "1" : "0"},
            {"store-pages", DownloadHtmlPages_ ? "1" : "0"},
            {"stay-on-site", StayOnSite ? "1" : "0"},
            {"external", ReportExternalLinks ? "1" : "0"},
            {"modern-markup", ModernMarkup ? "1" : "0"},
            {"leaves-first", LeavesFirst() ? "1" : "0"}};
}

void Grabber::ApplyJournalSettings(
    const std::vector<std::pair<std::string, std::string>>& settings) {
    for (const auto& [name, value] : settings) {
        const bool on = value == "1";
        if (name == "depth")
            SetDepthSearchLevel(std::atoi(value.c_str()));
        else if (name == "types")
            SetFileTypes(value);
        else if (name == "download")
            SetDownloadType(value == "src"    ? DownloadFilter::DOWNLOAD_SRC
                            : value == "href" ? DownloadFilter::DOWNLOAD_HREF
                                              : DownloadFilter::DOWNLOAD_HREF_SRC);
        else if (name == "thumbs")
            SetSearchThumbs(on);
        else if (name == "store-pages")
            SetDownloadHtmlPages(on);
        else if (name == "stay-on-site")
            SetStayOnSite(on);
        else if (name == "external")
            ReportExternalLinks = on;
        else if (name == "modern-markup")
            SetModernMarkup(on);
        else if (name == "leaves-first")
            SetLeavesFirst(on);
    }
}

void Grabber::Shutdown() {
    Journal.Close();
    FileDownloader.Enabled = false;
    FileDownloader.OnDataReceived = nullptr;
    FileDownloader.OnUpdatedStats = nullptr;
    FileDownloader.OnLog = nullptr;
    FileDownloader.OnError = nullptr;
    FileDownloader.OnHeadComplete = nullptr;
    FileDownloader.OnProgress = nullptr;
    FileDownloader.SetStopping(true);
    ScanEngine::Shutdown();
}

void Grabber::GrabberTick(bool closing) {
    Journal.Flush();
    if (OriginAttributes::RefusalToReport() && OnLog)
        OnLog(this, "this file system keeps no origin attributes: files are stored without them");
    if (closing) return;
    if (!DiskFull_.empty() && !DiskFullTold_) {
        DiskFullTold_ = true;
        ShowMessage("disk full: " + DownloadPath_ + " (" + DiskFull_ +
                    "): no more files are fetched");
        StopFiles();
    }
    if (FileDownloader.Working()) {
        FileDownloader.Tick();
        if (!FileDownloader.UpdateStats()) FileDownloader.SetWorking(false);
    }
}

std::string Grabber::EnsureDirectory(const std::string& path) {
    std::string p = path;
    if (p.empty() || p.back() != '/') p += '/';
    struct stat st {};
    if (::stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return p;
    if (::mkdir(p.c_str(), 0777) != 0 && errno != EEXIST) {
        ShowMessage("unable to create directory: " + path);
        return {};
    }
    return p;
}

bool Grabber::Allows(char hrefOrSrc) const {
    switch (DownloadType_) {
    case DownloadFilter::DOWNLOAD_SRC:
        return hrefOrSrc == 'S';
    case DownloadFilter::DOWNLOAD_HREF:
        return hrefOrSrc == 'H';
    case DownloadFilter::DOWNLOAD_HREF_SRC:
        return true;
    }
    return true;
}

void Grabber::QueueFileRequest(const std::string& url, QueuedRequest request) {
    Journal.FileQueued(url, request);
    FileDownloader.AddDownload(url, std::move(request));
}

void Grabber::QueueFile(const std::string& url, const std::string& referringUrl, char hrefOrSrc) {
    QueueFileRequest(url, {.DepthSearchLevel = -1,
                           .HrefOrSrc = hrefOrSrc,
                           .GetAction = BodyHandling::STORE_TO_FILE,
                           .ReferringUrl = referringUrl});
}

void Grabber::GrabLink(const LinkHookArgs& link) {
    if (FileDownloader.Stopping) return;
    const std::string type = LowerCase(link.TypeLink);
    bool wanted = false;
    for (std::size_t i = 0; i < LowerFileTypes_.size() && !wanted; ++i)
        wanted = type.find(LowerFileTypes_[i]) != std::string::npos;
    if (!wanted) return;
    if (FileLinkHook) {
        FileLinkHook(link);
        return;
    }
    if (link.Flag && !Allows(link.HrefOrSrc)) return;
    QueueFileRequest(link.UrlFound, {.DepthSearchLevel = -1,
                                     .CountArea = link.CountArea,
                                     .HrefOrSrc = link.HrefOrSrc,
                                     .GetAction = BodyHandling::STORE_TO_FILE,
                                     .ReferringUrl = link.FromUrl});
}

void Grabber::CollectThumb(const std::string& url, int countArea, char hrefOrSrc) {
    if (countArea == 0) return;
    if (hrefOrSrc != 'H' && hrefOrSrc != 'S') return;
    auto& list = hrefOrSrc == 'H' ? HrefList_ : SrcList_;
    auto& seen = hrefOrSrc == 'H' ? HrefSeen_ : SrcSeen_;
    // A page of many links must not cost a search of the list per link.
    if (!seen.insert(url).second) return;
    list.emplace_back(url, countArea);
}

void Grabber::PairThumbs(const PageInfo& page) {
    // The first link of each area pairs with every picture of that area.
    std::unordered_map<int, const std::string*> firstHref;
    for (const auto& href : HrefList_)
        firstHref.try_emplace(href.second, &href.first);
    for (const auto& src : SrcList_) {
        const auto href = firstHref.find(src.second);
        if (href == firstHref.end()) continue;
        if (Allows('S')) QueueFile(src.first, page.Url, 'S');
        if (Allows('H')) QueueFile(*href->second, page.Url, 'H');
    }
    HrefList_.clear();
    SrcList_.clear();
    HrefSeen_.clear();
    SrcSeen_.clear();
}

void Grabber::FileHeadCheck(const std::string& url, int statusCode, const std::string& contentType,
                            bool& okToGetData) {
    if (FileDownloader.Stopping) return;
    if (LogsEnabled() && OnLog) OnLog(this, "file head complete:" + url);
    if (IsHtmlInPlaceOfFile(statusCode, contentType)) {
        okToGetData = false;
        if (LogsEnabled() && OnLog) OnLog(this, "the jpg file is an html file: " + url);
    }
}
