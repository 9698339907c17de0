#pragma once

#include "engine/Grabber.h"
#include "settings/SettingsKey.h"

#include <memory>

// The grabber whose every setting persists: loaded from the settings store
// at construction, written back the moment a setter changes it.
class PersistentGrabber : public Grabber {
public:
    explicit PersistentGrabber(MessageSink* messages = nullptr,
                               std::string applicationTitle = "Tessellon");
    ~PersistentGrabber() override = default;

    SettingsKey& Store() { return *Settings_; }

    void LoadSettings();
    void LoadGrabSettings();

    void SetDownloadPath(const std::string& path) override;
    void SetFileTypes(std::string_view text) override;
    void SetReuseHtmlFiles(bool v) override;
    void SetDownloadHtmlPages(bool v) override;
    void SetSearchThumbs(bool v) override;
    void SetDownloadType(DownloadFilter v) override;
    void SetMaxDownloadQueueSize(int v) override;
    void SetMaxQueueSize(int v) override;
    void SetRetries(int v) override;
    void SetDepthSearchLevel(int v) override;
    void SetTimeOut(int v) override;
    void SetStayOnSite(bool v) override;
    void SetModernMarkup(bool v) override;
    void SetRunPageScripts(bool v) override;
    void SetFindTextAddresses(bool v) override;
    void SetRememberOrigins(bool v) override;
    void SetRespectRateLimits(bool v) override;
    void SetKeepCookies(bool v) override;
    // The window hands the embedded browser's cookies to its scans.
    bool UseBrowserLogins() const { return UseBrowserLogins_; }
    void SetUseBrowserLogins(bool v);
    void SetConnectionsPerHost(int v) override;
    void SetReportExternalLinks(bool v) override;
    void SetSeekRobots(bool v) override;
    void SetLeavesFirst(bool v) override;
    void SetKeywordsFilterEnabled(bool v) override;
    void SetKeywordsLimiterEnabled(bool v) override;
    void SetKeywordsFilter(std::string_view text) override;
    void SetKeywordsLimiter(std::string_view text) override;
    void SetHtmlExtensions(std::string_view text) override;
    void SetInitialReferringUrl(const std::string& v) override;
    void SetFileOfResults(const std::string& name) override;
    void SetResultsMode(std::uint8_t v) override;
    void SetLogsEnabled(bool v) override;
    void SetProxyType(ProxyMode v) override;
    void SetProxyAddress(const std::string& v) override;
    void SetProxyPort(int v) override;
    void SetProxyUser(const std::string& v) override;
    void SetProxyPassword(const std::string& v) override;
    void SetUserName(const std::string& v) override;
    void SetPassword(const std::string& v) override;
    void SetHtmlConcurrentDownloads(int v) override;
    void SetFilesConcurrentDownloads(int v) override;

private:
    bool UseBrowserLogins_ = true;
    // A stored number within [lo, hi]; the default for a missing, damaged or
    // out-of-range value (a missing one is written back).
    int LoadInteger(const SettingDef& def, int lo, int hi);
    // The other side's download count for the connection limit, as stored;
    // the default when missing or out of range. Stores nothing: a damaged
    // value would otherwise give a limit of 0 or overflow.
    int StoredConcurrency(const SettingDef& def);
    bool LoadBool(const SettingDef& def) {
        return Settings_->ReadBool(def.Entry, DefaultBool(def));
    }
    std::string LoadString(const SettingDef& def) {
        return Settings_->ReadString(def.Entry, def.Default);
    }

    std::unique_ptr<SettingsKey> Settings_;
};
