#include "PersistentGrabber.h"

#include "common/StringTools.h"

#include <climits>
#include <sys/stat.h>

TRegHttpGrab::TRegHttpGrab(IMessageSink* messages, std::string applicationTitle)
    : THttpGrab(messages), Reg_(std::make_unique<TGVReg>(std::move(applicationTitle), messages)) {
    MaxConnectionsHook = [messages](int n) { SetMaxConnections(n, messages); };
    LoadSettings();
    LoadGrabSettings();
}

int TRegHttpGrab::LoadInteger(const TSettingDef& def, int lo, int hi) {
    const int fallback = DefaultInteger(def);
    Reg_->ReadInteger(def.Entry, fallback); // writes the default when missing
    const std::optional<int> stored = Reg_->StoredInteger(def.Entry);
    if (!stored || *stored < lo || *stored > hi) return fallback;
    return *stored;
}

int TRegHttpGrab::StoredConcurrency(const TSettingDef& def) {
    const std::optional<int> stored = Reg_->StoredInteger(def.Entry);
    if (!stored || *stored < 1 || *stored > kMaxConcurrentDownloads) return DefaultInteger(def);
    return *stored;
}

void TRegHttpGrab::LoadSettings() {
    using namespace Setting;
    PageDownloader.DepthSearchLevel = LoadInteger(Setting::SearchDepthLevel, 1, INT_MAX);
    PageDownloader.ConcurrentDownloads =
        LoadInteger(Setting::HtmlConcurrentDownloads, 1, kMaxConcurrentDownloads);
    PageDownloader.LeavesFirst = LoadBool(Setting::LeavesFirst);
    InitialReferringUrl = LoadString(Setting::InitialReferringUrl);
    StayOnSite = LoadBool(Setting::StayOnSite);
    ReportExternalLinks = LoadBool(Setting::ReportExternalLinks);
    THttpGrab::SetModernMarkup(LoadBool(Setting::ModernMarkup));
    THttpGrab::SetRespectRateLimits(LoadBool(Setting::RespectRateLimits));
    THttpGrab::SetConnectionsPerHost(
        LoadInteger(Setting::ConnectionsPerHost, 0, TGVDwnld::kMaxConnectionsPerHost));
    THttpGrab::SetRetries(LoadInteger(Setting::RetryCount, 1, INT_MAX));
    THttpGrab::SetTimeOut(LoadInteger(Setting::TimeOut, 20, INT_MAX));
    SeekRobots = LoadBool(Setting::SeekRobots);
    THttpGrab::SetFileOfResults(
        Reg_->ReadString(Setting::FileOfResults.Entry, CurrentFolder() + "/Download/results.txt"));
    SetResultsFile(std::uint8_t(LoadInteger(Setting::ResultsFile, 0, 2)));
    THttpGrab::SetLogsEnabled(LoadBool(Setting::LogsEnabled));
    THttpGrab::SetProxyType(TProxyType(LoadInteger(Setting::ProxyType, 0, 2)));
    THttpGrab::SetProxyAddress(LoadString(Setting::ProxyAddress));
    THttpGrab::SetProxyPort(LoadInteger(Setting::ProxyPort, 1, 65535));
    THttpGrab::SetProxyUser(LoadString(Setting::ProxyUser));
    THttpGrab::SetProxyPassword(LoadString(Setting::ProxyPassword));
    THttpGrab::SetUserName(LoadString(Setting::Username));
    THttpGrab::SetPassword(LoadString(Setting::Password));
    THttpGrab::SetMaxQueueSize(LoadInteger(Setting::MaxHtmlQueueSize, 10, INT_MAX));
    THttpGrab::SetHtmlExtensions(LoadString(Setting::HtmlExtensions));
    KeywordsFilterEnabled = LoadBool(Setting::KeywordFilterEnabled);
    THttpGrab::SetKeywordsFilter(LoadString(Setting::KeywordsFilter));
    KeywordsLimiterEnabled = LoadBool(Setting::KeywordLimiterEnabled);
    THttpGrab::SetKeywordsLimiter(LoadString(Setting::KeywordsLimiter));
}

void TRegHttpGrab::LoadGrabSettings() {
    using namespace Setting;
    const std::string fallback = CurrentFolder() + "/Download/";
    std::string d = EnsureDirectory(AppFolder() + "Download/");
    if (d.empty()) d = fallback;
    const std::string stored = Reg_->ReadString(Setting::StoragePath.Entry, d);
    struct stat st {};
    if (::stat(stored.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
        THttpGrab::SetDownloadPath(stored);
    } else {
        ShowMessage("unable to access to  " + stored + "\r\ndownload directory set to  " +
                    fallback);
        SetDownloadPath(fallback);
    }
    SetFilesConcurrentDownloads(
        LoadInteger(Setting::FilesConcurrentDownloads, 1, kMaxConcurrentDownloads));
    const bool reuse = LoadBool(Setting::ReuseHtmlFiles);
    const bool pages = LoadBool(Setting::DownloadHtmlPages);
    THttpGrab::SetDownloadHtmlPages(pages);
    THttpGrab::SetReuseHtmlFiles(reuse);
    THttpGrab::SetFileTypes(LoadString(Setting::FileTypes));
    SetDownloadType(TDownloadType(LoadInteger(Setting::DownloadType, 0, 2)));
    THttpGrab::SetMaxDownloadQueueSize(LoadInteger(Setting::MaxDownloadQueueSize, 10, INT_MAX));
    THttpGrab::SetSearchThumbs(LoadBool(Setting::SearchThumbs));
}

void TRegHttpGrab::SetDownloadPath(const std::string& path) {
    THttpGrab::SetDownloadPath(path);
    Reg_->WriteString(Setting::StoragePath.Entry, path);
}

void TRegHttpGrab::SetFileTypes(std::string_view text) {
    THttpGrab::SetFileTypes(text);
    Reg_->WriteString(Setting::FileTypes.Entry, LowerCase(text));
}

void TRegHttpGrab::SetReuseHtmlFiles(bool v) {
    THttpGrab::SetReuseHtmlFiles(v);
    Reg_->WriteBool(Setting::ReuseHtmlFiles.Entry, v);
}

void TRegHttpGrab::SetDownloadHtmlPages(bool v) {
    THttpGrab::SetDownloadHtmlPages(v);
    Reg_->WriteBool(Setting::DownloadHtmlPages.Entry, v);
}

void TRegHttpGrab::SetSearchThumbs(bool v) {
    THttpGrab::SetSearchThumbs(v);
    Reg_->WriteBool(Setting::SearchThumbs.Entry, v);
}

void TRegHttpGrab::SetDownloadType(TDownloadType v) {
    THttpGrab::SetDownloadType(v);
    Reg_->WriteInteger(Setting::DownloadType.Entry, int(v));
}

void TRegHttpGrab::SetMaxDownloadQueueSize(int v) {
    THttpGrab::SetMaxDownloadQueueSize(v);
    Reg_->WriteInteger(Setting::MaxDownloadQueueSize.Entry, v); // stored whatever it is
}

void TRegHttpGrab::SetMaxQueueSize(int v) {
    THttpGrab::SetMaxQueueSize(v);
    if (v > 9) Reg_->WriteInteger(Setting::MaxHtmlQueueSize.Entry, v);
}

void TRegHttpGrab::SetRetries(int v) {
    THttpGrab::SetRetries(v);
    if (v > 0) Reg_->WriteInteger(Setting::RetryCount.Entry, v);
}

void TRegHttpGrab::SetDepthSearchLevel(int v) {
    THttpGrab::SetDepthSearchLevel(v);
    if (v > 0) Reg_->WriteInteger(Setting::SearchDepthLevel.Entry, v);
}

void TRegHttpGrab::SetTimeOut(int v) {
    if (v < 20) return;
    THttpGrab::SetTimeOut(v);
    Reg_->WriteInteger(Setting::TimeOut.Entry, v);
}

void TRegHttpGrab::SetStayOnSite(bool v) {
    THttpGrab::SetStayOnSite(v);
    Reg_->WriteBool(Setting::StayOnSite.Entry, v);
}

void TRegHttpGrab::SetModernMarkup(bool v) {
    THttpGrab::SetModernMarkup(v);
    Reg_->WriteBool(Setting::ModernMarkup.Entry, v);
}

void TRegHttpGrab::SetRespectRateLimits(bool v) {
    THttpGrab::SetRespectRateLimits(v);
    Reg_->WriteBool(Setting::RespectRateLimits.Entry, v);
}

void TRegHttpGrab::SetConnectionsPerHost(int v) {
    THttpGrab::SetConnectionsPerHost(v);
    if (ConnectionsPerHost() == v) Reg_->WriteInteger(Setting::ConnectionsPerHost.Entry, v);
}

void TRegHttpGrab::SetReportExternalLinks(bool v) {
    THttpGrab::SetReportExternalLinks(v);
    Reg_->WriteBool(Setting::ReportExternalLinks.Entry, v);
}

void TRegHttpGrab::SetSeekRobots(bool v) {
    THttpGrab::SetSeekRobots(v);
    Reg_->WriteBool(Setting::SeekRobots.Entry, v);
}

void TRegHttpGrab::SetLeavesFirst(bool v) {
    THttpGrab::SetLeavesFirst(v);
    Reg_->WriteBool(Setting::LeavesFirst.Entry, v);
}

void TRegHttpGrab::SetKeywordsFilterEnabled(bool v) {
    THttpGrab::SetKeywordsFilterEnabled(v);
    Reg_->WriteBool(Setting::KeywordFilterEnabled.Entry, v);
}

void TRegHttpGrab::SetKeywordsLimiterEnabled(bool v) {
    THttpGrab::SetKeywordsLimiterEnabled(v);
    Reg_->WriteBool(Setting::KeywordLimiterEnabled.Entry, v);
}

void TRegHttpGrab::SetKeywordsFilter(std::string_view text) {
    THttpGrab::SetKeywordsFilter(text);
    Reg_->WriteString(Setting::KeywordsFilter.Entry, GetKeywordsFilter());
}

void TRegHttpGrab::SetKeywordsLimiter(std::string_view text) {
    THttpGrab::SetKeywordsLimiter(text);
    Reg_->WriteString(Setting::KeywordsLimiter.Entry, GetKeywordsLimiter());
}

void TRegHttpGrab::SetHtmlExtensions(std::string_view text) {
    THttpGrab::SetHtmlExtensions(text);
    Reg_->WriteString(Setting::HtmlExtensions.Entry, GetHtmlExtensions());
}

void TRegHttpGrab::SetInitialReferringUrl(const std::string& v) {
    THttpGrab::SetInitialReferringUrl(v);
    Reg_->WriteString(Setting::InitialReferringUrl.Entry, v);
}

void TRegHttpGrab::SetFileOfResults(const std::string& name) {
    THttpGrab::SetFileOfResults(name);
    Reg_->WriteString(Setting::FileOfResults.Entry, FileOfResults());
}

void TRegHttpGrab::SetResultsFile(std::uint8_t v) {
    THttpGrab::SetResultsFile(v);
    Reg_->WriteInteger(Setting::ResultsFile.Entry, v);
}

void TRegHttpGrab::SetLogsEnabled(bool v) {
    THttpGrab::SetLogsEnabled(v);
    Reg_->WriteBool(Setting::LogsEnabled.Entry, v);
}

void TRegHttpGrab::SetProxyType(TProxyType v) {
    THttpGrab::SetProxyType(v);
    Reg_->WriteInteger(Setting::ProxyType.Entry, int(v));
}

void TRegHttpGrab::SetProxyAddress(const std::string& v) {
    THttpGrab::SetProxyAddress(v);
    Reg_->WriteString(Setting::ProxyAddress.Entry, v);
}

void TRegHttpGrab::SetProxyPort(int v) {
    THttpGrab::SetProxyPort(v);
    Reg_->WriteInteger(Setting::ProxyPort.Entry, v);
}

void TRegHttpGrab::SetProxyUser(const std::string& v) {
    THttpGrab::SetProxyUser(v);
    Reg_->WriteString(Setting::ProxyUser.Entry, v);
}

void TRegHttpGrab::SetProxyPassword(const std::string& v) {
    THttpGrab::SetProxyPassword(v);
    Reg_->WriteString(Setting::ProxyPassword.Entry, v);
}

void TRegHttpGrab::SetUserName(const std::string& v) {
    THttpGrab::SetUserName(v);
    Reg_->WriteString(Setting::Username.Entry, v);
}

void TRegHttpGrab::SetPassword(const std::string& v) {
    THttpGrab::SetPassword(v);
    Reg_->WriteString(Setting::Password.Entry, v);
}

void TRegHttpGrab::SetHtmlConcurrentDownloads(int v) {
    if (v <= 0 || v > kMaxConcurrentDownloads) return;
    PageDownloader.ConcurrentDownloads = v;
    Reg_->WriteInteger(Setting::HtmlConcurrentDownloads.Entry, v);
    SetMaxConnections(v + StoredConcurrency(Setting::FilesConcurrentDownloads), Messages);
}

void TRegHttpGrab::SetFilesConcurrentDownloads(int v) {
    if (v <= 0 || v > kMaxConcurrentDownloads) return;
    FileDownloader.ConcurrentDownloads = v;
    Reg_->WriteInteger(Setting::FilesConcurrentDownloads.Entry, v);
    SetMaxConnections(v + StoredConcurrency(Setting::HtmlConcurrentDownloads), Messages);
}
