#include "PersistentGrabber.h"

#include "common/StringTools.h"

#include <climits>
#include <sys/stat.h>

PersistentGrabber::PersistentGrabber(MessageSink* messages, std::string applicationTitle)
    : Grabber(messages),
      Settings_(std::make_unique<SettingsKey>(std::move(applicationTitle), messages)) {
    MaxConnectionsHook = [messages](int n) { SetMaxConnections(n, messages); };
    LoadSettings();
    LoadGrabSettings();
}

int PersistentGrabber::LoadInteger(const SettingDef& def, int lo, int hi) {
    const int fallback = DefaultInteger(def);
    Settings_->ReadInteger(def.Entry, fallback); // writes the default when missing
    const std::optional<int> stored = Settings_->StoredInteger(def.Entry);
    if (!stored || *stored < lo || *stored > hi) return fallback;
    return *stored;
}

int PersistentGrabber::StoredConcurrency(const SettingDef& def) {
    const std::optional<int> stored = Settings_->StoredInteger(def.Entry);
    if (!stored || *stored < 1 || *stored > kMaxConcurrentDownloads) return DefaultInteger(def);
    return *stored;
}

void PersistentGrabber::LoadSettings() {
    using namespace Setting;
    PageDownloader.DepthSearchLevel = LoadInteger(Setting::SearchDepthLevel, 1, INT_MAX);
    PageDownloader.ConcurrentDownloads =
        LoadInteger(Setting::HtmlConcurrentDownloads, 1, kMaxConcurrentDownloads);
    PageDownloader.LeavesFirst = LoadBool(Setting::LeavesFirst);
    InitialReferringUrl = LoadString(Setting::InitialReferringUrl);
    StayOnSite = LoadBool(Setting::StayOnSite);
    ReportExternalLinks = LoadBool(Setting::ReportExternalLinks);
    Grabber::SetModernMarkup(LoadBool(Setting::ModernMarkup));
    Grabber::SetRunPageScripts(LoadBool(Setting::RunPageScripts));
    Grabber::SetFindTextAddresses(LoadBool(Setting::FindTextAddresses));
    Grabber::SetRememberOrigins(LoadBool(Setting::RememberOrigins));
    Grabber::SetRespectRateLimits(LoadBool(Setting::RespectRateLimits));
    Grabber::SetKeepCookies(LoadBool(Setting::KeepCookies));
    UseBrowserLogins_ = LoadBool(Setting::UseBrowserLogins);
    Grabber::SetConnectionsPerHost(
        LoadInteger(Setting::ConnectionsPerHost, 0, DownloadManager::kMaxConnectionsPerHost));
    Grabber::SetRetries(LoadInteger(Setting::RetryCount, 1, INT_MAX));
    Grabber::SetTimeOut(LoadInteger(Setting::TimeOut, 20, INT_MAX));
    SeekRobots = LoadBool(Setting::SeekRobots);
    // Like the storage folder, the default results file is not stored: it
    // follows the storage folder (LoadGrabSettings).
    Settings_->StoreDefaults = false; // for this one read
    Grabber::SetFileOfResults(Settings_->ReadString(Setting::FileOfResults.Entry,
                                                    CurrentFolder() + "/Download/results.txt"));
    SetResultsMode(std::uint8_t(LoadInteger(Setting::ResultsMode, 0, 2)));
    Grabber::SetLogsEnabled(LoadBool(Setting::LogsEnabled));
    Grabber::SetProxyType(ProxyMode(LoadInteger(Setting::ProxyType, 0, 2)));
    Grabber::SetProxyAddress(LoadString(Setting::ProxyAddress));
    Grabber::SetProxyPort(LoadInteger(Setting::ProxyPort, 1, 65535));
    Grabber::SetProxyUser(LoadString(Setting::ProxyUser));
    Grabber::SetProxyPassword(LoadString(Setting::ProxyPassword));
    Grabber::SetUserName(LoadString(Setting::Username));
    Grabber::SetPassword(LoadString(Setting::Password));
    Grabber::SetMaxQueueSize(LoadInteger(Setting::MaxHtmlQueueSize, 10, INT_MAX));
    Grabber::SetHtmlExtensions(LoadString(Setting::HtmlExtensions));
    KeywordsFilterEnabled = LoadBool(Setting::KeywordFilterEnabled);
    Grabber::SetKeywordsFilter(LoadString(Setting::KeywordsFilter));
    KeywordsLimiterEnabled = LoadBool(Setting::KeywordLimiterEnabled);
    Grabber::SetKeywordsLimiter(LoadString(Setting::KeywordsLimiter));
}

void PersistentGrabber::LoadGrabSettings() {
    using namespace Setting;
    // A storage folder the user chose is kept. Without one, files go to
    // ./Download/ under the folder the program was started from, as each
    // run finds it: that default is never stored (a stored default would tie
    // every later run to the first run's folder), and it is created only
    // when it is used.
    const std::string here = CurrentFolder() + "/Download/";
    const auto useHere = [&] {
        const std::string made = EnsureDirectory(here);
        Grabber::SetDownloadPath(made.empty() ? here : made);
    };
    Settings_->StoreDefaults = false; // for this one read
    const std::string chosen = Settings_->ReadString(Setting::StoragePath.Entry, "");
    struct stat st {};
    if (chosen.empty()) {
        useHere();
    } else if (::stat(chosen.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
        Grabber::SetDownloadPath(chosen);
    } else {
        // A folder on a disk that is not attached: the fallback serves this
        // run only, and the missing folder is not created (a detached disk's
        // mount point would fill the disk under it).
        ShowMessage("unable to access to  " + chosen + "\r\ndownload directory set to  " + here +
                    "\r\nfor this run only: the stored folder is kept");
        useHere();
    }
    Settings_->StoreDefaults = false;
    if (Settings_->ReadString(Setting::FileOfResults.Entry, "").empty())
        Grabber::SetFileOfResults(DownloadPath() + "results.txt");
    SetFilesConcurrentDownloads(
        LoadInteger(Setting::FilesConcurrentDownloads, 1, kMaxConcurrentDownloads));
    const bool reuse = LoadBool(Setting::ReuseHtmlFiles);
    const bool pages = LoadBool(Setting::DownloadHtmlPages);
    Grabber::SetDownloadHtmlPages(pages);
    Grabber::SetReuseHtmlFiles(reuse);
    Grabber::SetFileTypes(LoadString(Setting::FileTypes));
    SetDownloadType(DownloadFilter(LoadInteger(Setting::DownloadType, 0, 2)));
    Grabber::SetMaxDownloadQueueSize(LoadInteger(Setting::MaxDownloadQueueSize, 10, INT_MAX));
    Grabber::SetSearchThumbs(LoadBool(Setting::SearchThumbs));
}

void PersistentGrabber::SetDownloadPath(const std::string& path) {
    Grabber::SetDownloadPath(path);
    Settings_->WriteString(Setting::StoragePath.Entry, path);
}

void PersistentGrabber::SetFileTypes(std::string_view text) {
    Grabber::SetFileTypes(text);
    Settings_->WriteString(Setting::FileTypes.Entry, LowerCase(text));
}

void PersistentGrabber::SetReuseHtmlFiles(bool v) {
    Grabber::SetReuseHtmlFiles(v);
    Settings_->WriteBool(Setting::ReuseHtmlFiles.Entry, v);
}

void PersistentGrabber::SetDownloadHtmlPages(bool v) {
    Grabber::SetDownloadHtmlPages(v);
    Settings_->WriteBool(Setting::DownloadHtmlPages.Entry, v);
}

void PersistentGrabber::SetSearchThumbs(bool v) {
    Grabber::SetSearchThumbs(v);
    Settings_->WriteBool(Setting::SearchThumbs.Entry, v);
}

void PersistentGrabber::SetDownloadType(DownloadFilter v) {
    Grabber::SetDownloadType(v);
    Settings_->WriteInteger(Setting::DownloadType.Entry, int(v));
}

void PersistentGrabber::SetMaxDownloadQueueSize(int v) {
    Grabber::SetMaxDownloadQueueSize(v);
    Settings_->WriteInteger(Setting::MaxDownloadQueueSize.Entry, v); // stored whatever it is
}

void PersistentGrabber::SetMaxQueueSize(int v) {
    Grabber::SetMaxQueueSize(v);
    if (v > 9) Settings_->WriteInteger(Setting::MaxHtmlQueueSize.Entry, v);
}

void PersistentGrabber::SetRetries(int v) {
    Grabber::SetRetries(v);
    if (v > 0) Settings_->WriteInteger(Setting::RetryCount.Entry, v);
}

void PersistentGrabber::SetDepthSearchLevel(int v) {
    Grabber::SetDepthSearchLevel(v);
    if (v > 0) Settings_->WriteInteger(Setting::SearchDepthLevel.Entry, v);
}

void PersistentGrabber::SetTimeOut(int v) {
    if (v < 20) return;
    Grabber::SetTimeOut(v);
    Settings_->WriteInteger(Setting::TimeOut.Entry, v);
}

void PersistentGrabber::SetStayOnSite(bool v) {
    Grabber::SetStayOnSite(v);
    Settings_->WriteBool(Setting::StayOnSite.Entry, v);
}

void PersistentGrabber::SetFindTextAddresses(bool v) {
    Grabber::SetFindTextAddresses(v);
    Settings_->WriteBool(Setting::FindTextAddresses.Entry, v);
}

void PersistentGrabber::SetModernMarkup(bool v) {
    Grabber::SetModernMarkup(v);
    Settings_->WriteBool(Setting::ModernMarkup.Entry, v);
}

void PersistentGrabber::SetRunPageScripts(bool v) {
    Grabber::SetRunPageScripts(v);
    Settings_->WriteBool(Setting::RunPageScripts.Entry, v);
}

void PersistentGrabber::SetKeepCookies(bool v) {
    Grabber::SetKeepCookies(v);
    Settings_->WriteBool(Setting::KeepCookies.Entry, v);
}

void PersistentGrabber::SetUseBrowserLogins(bool v) {
    UseBrowserLogins_ = v;
    Settings_->WriteBool(Setting::UseBrowserLogins.Entry, v);
}

void PersistentGrabber::SetRememberOrigins(bool v) {
    Grabber::SetRememberOrigins(v);
    Settings_->WriteBool(Setting::RememberOrigins.Entry, v);
}

void PersistentGrabber::SetRespectRateLimits(bool v) {
    Grabber::SetRespectRateLimits(v);
    Settings_->WriteBool(Setting::RespectRateLimits.Entry, v);
}

void PersistentGrabber::SetConnectionsPerHost(int v) {
    Grabber::SetConnectionsPerHost(v);
    if (ConnectionsPerHost() == v) Settings_->WriteInteger(Setting::ConnectionsPerHost.Entry, v);
}

void PersistentGrabber::SetReportExternalLinks(bool v) {
    Grabber::SetReportExternalLinks(v);
    Settings_->WriteBool(Setting::ReportExternalLinks.Entry, v);
}

void PersistentGrabber::SetSeekRobots(bool v) {
    Grabber::SetSeekRobots(v);
    Settings_->WriteBool(Setting::SeekRobots.Entry, v);
}

void PersistentGrabber::SetLeavesFirst(bool v) {
    Grabber::SetLeavesFirst(v);
    Settings_->WriteBool(Setting::LeavesFirst.Entry, v);
}

void PersistentGrabber::SetKeywordsFilterEnabled(bool v) {
    Grabber::SetKeywordsFilterEnabled(v);
    Settings_->WriteBool(Setting::KeywordFilterEnabled.Entry, v);
}

void PersistentGrabber::SetKeywordsLimiterEnabled(bool v) {
    Grabber::SetKeywordsLimiterEnabled(v);
    Settings_->WriteBool(Setting::KeywordLimiterEnabled.Entry, v);
}

void PersistentGrabber::SetKeywordsFilter(std::string_view text) {
    Grabber::SetKeywordsFilter(text);
    Settings_->WriteString(Setting::KeywordsFilter.Entry, GetKeywordsFilter());
}

void PersistentGrabber::SetKeywordsLimiter(std::string_view text) {
    Grabber::SetKeywordsLimiter(text);
    Settings_->WriteString(Setting::KeywordsLimiter.Entry, GetKeywordsLimiter());
}

void PersistentGrabber::SetHtmlExtensions(std::string_view text) {
    Grabber::SetHtmlExtensions(text);
    Settings_->WriteString(Setting::HtmlExtensions.Entry, GetHtmlExtensions());
}

void PersistentGrabber::SetInitialReferringUrl(const std::string& v) {
    Grabber::SetInitialReferringUrl(v);
    Settings_->WriteString(Setting::InitialReferringUrl.Entry, v);
}

void PersistentGrabber::SetFileOfResults(const std::string& name) {
    Grabber::SetFileOfResults(name);
    Settings_->WriteString(Setting::FileOfResults.Entry, FileOfResults());
}

void PersistentGrabber::SetResultsMode(std::uint8_t v) {
    Grabber::SetResultsMode(v);
    Settings_->WriteInteger(Setting::ResultsMode.Entry, v);
}

void PersistentGrabber::SetLogsEnabled(bool v) {
    Grabber::SetLogsEnabled(v);
    Settings_->WriteBool(Setting::LogsEnabled.Entry, v);
}

void PersistentGrabber::SetProxyType(ProxyMode v) {
    Grabber::SetProxyType(v);
    Settings_->WriteInteger(Setting::ProxyType.Entry, int(v));
}

void PersistentGrabber::SetProxyAddress(const std::string& v) {
    Grabber::SetProxyAddress(v);
    Settings_->WriteString(Setting::ProxyAddress.Entry, v);
}

void PersistentGrabber::SetProxyPort(int v) {
    Grabber::SetProxyPort(v);
    Settings_->WriteInteger(Setting::ProxyPort.Entry, v);
}

void PersistentGrabber::SetProxyUser(const std::string& v) {
    Grabber::SetProxyUser(v);
    Settings_->WriteString(Setting::ProxyUser.Entry, v);
}

void PersistentGrabber::SetProxyPassword(const std::string& v) {
    Grabber::SetProxyPassword(v);
    Settings_->WriteString(Setting::ProxyPassword.Entry, v);
}

void PersistentGrabber::SetUserName(const std::string& v) {
    Grabber::SetUserName(v);
    Settings_->WriteString(Setting::Username.Entry, v);
}

void PersistentGrabber::SetPassword(const std::string& v) {
    Grabber::SetPassword(v);
    Settings_->WriteString(Setting::Password.Entry, v);
}

void PersistentGrabber::SetHtmlConcurrentDownloads(int v) {
    if (v <= 0 || v > kMaxConcurrentDownloads) return;
    PageDownloader.ConcurrentDownloads = v;
    Settings_->WriteInteger(Setting::HtmlConcurrentDownloads.Entry, v);
    SetMaxConnections(v + StoredConcurrency(Setting::FilesConcurrentDownloads), Messages);
}

void PersistentGrabber::SetFilesConcurrentDownloads(int v) {
    if (v <= 0 || v > kMaxConcurrentDownloads) return;
    FileDownloader.ConcurrentDownloads = v;
    Settings_->WriteInteger(Setting::FilesConcurrentDownloads.Entry, v);
    SetMaxConnections(v + StoredConcurrency(Setting::HtmlConcurrentDownloads), Messages);
}
