#include "Grabber.h"

#include "common/StringTools.h"
#include "http/TransferThread.h"

#include <cerrno>
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

    FileDownloader.Tag = 2;
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
        if (!w) FileDownloader.CredentialOrigins.clear();
    };
    // File statistics restart with each scan, but not while pages are still fetched.
    FileDownloader.OnCanReinit = [this](Component*, bool& can) { can = !PageDownloader.Working(); };

    // The file queue's limit bounds memory without losing links: while the
    // queue is full no new page is started; pages already on their way still
    // queue their links, and pages resume once the queue has drained below it.
    PageDownloader.MayStart = [this] {
        return FileDownloader.QueueCount() < MaxDownloadQueueSize_;
    };

    // A full disk takes no more files: none starts once it was seen, and the
    // next tick stops the file downloads (not inside a manager's round).
    FileDownloader.MayStart = [this] { return DiskFull_.empty(); };
    const auto diskFull = [this](Component*, const std::string& reason) {
        if (DiskFull_.empty()) DiskFull_ = reason;
    };
    FileDownloader.OnDiskFull = diskFull;
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

void Grabber::SetFileTypes(std::string_view text) {
    FileTypes_.SetText(text);
    FileTypes_.Sort();
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

bool Grabber::StopScan() {
    ScanEngine::StopScan();
    FileDownloader.SetStopping(true);
    return true;
}

void Grabber::Shutdown() {
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

void Grabber::QueueFile(const std::string& url, const std::string& referringUrl, char hrefOrSrc) {
    FileDownloader.AddDownload(url, {.DepthSearchLevel = -1,
                                     .HrefOrSrc = hrefOrSrc,
                                     .GetAction = BodyHandling::STORE_TO_FILE,
                                     .ReferringUrl = referringUrl});
}

void Grabber::GrabLink(const LinkHookArgs& link) {
    if (FileDownloader.Stopping) return;
    const std::string type = LowerCase(link.TypeLink);
    bool wanted = false;
    for (int i = 0; i < FileTypes_.Count() && !wanted; ++i)
        wanted = type.find(LowerCase(FileTypes_[i])) != std::string::npos;
    if (!wanted) return;
    if (FileLinkHook) {
        FileLinkHook(link);
        return;
    }
    if (link.Flag && !Allows(link.HrefOrSrc)) return;
    FileDownloader.AddDownload(link.UrlFound, {.DepthSearchLevel = -1,
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
