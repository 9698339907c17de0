#pragma once

#include "engine/ScanEngine.h"
#include "engine/ScanJournal.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

enum class DownloadFilter : std::uint8_t { DOWNLOAD_SRC, DOWNLOAD_HREF, DOWNLOAD_HREF_SRC };

// The scan engine extended into a file grabber: wanted file links found by
// the scan are downloaded into the storage folder by a second download
// manager, optionally only as thumbnail / full-size pairs.
class Grabber : public ScanEngine {
public:
    explicit Grabber(MessageSink* messages = nullptr);
    ~Grabber() override = default;

    DownloadManager FileDownloader;

    // --- settings ---
    int HtmlDepthSearchLevel() const { return DepthSearchLevel(); }
    int FilesConcurrentDownloads() const { return FileDownloader.ConcurrentDownloads; }
    virtual void SetFilesConcurrentDownloads(int v);
    int RetryCount() const { return Retries(); }
    std::string FileTypes() const { return FileTypes_.Text(); }
    virtual void SetFileTypes(std::string_view text);
    const std::string& DownloadPath() const { return DownloadPath_; }
    virtual void SetDownloadPath(const std::string& path);
    bool ReuseHtmlFiles() const { return ReuseHtmlFiles_; }
    virtual void SetReuseHtmlFiles(bool v);
    bool DownloadHtmlPages() const { return DownloadHtmlPages_; }
    virtual void SetDownloadHtmlPages(bool v);
    DownloadFilter DownloadType() const { return DownloadType_; }
    virtual void SetDownloadType(DownloadFilter v) { DownloadType_ = v; }
    int MaxDownloadQueueSize() const { return MaxDownloadQueueSize_; }
    virtual void SetMaxDownloadQueueSize(int v);
    bool SearchThumbs() const { return SearchThumbs_; }
    virtual void SetSearchThumbs(bool v);
    const std::string& AppFolder() const { return AppFolder_; }
    // Stored files carry their address and referrer as attributes (on by default).
    bool RememberOrigins() const { return FileDownloader.RecordOrigin; }
    virtual void SetRememberOrigins(bool v);

    // --- overrides that keep both managers in step ---
    BodyHandling PageGetAction() const override;
    void SetRetries(int v) override;
    void SetTimeOut(int v) override;
    void SetLogsEnabled(bool v) override;
    void SetProxyType(ProxyMode v) override;
    void SetProxyAddress(const std::string& v) override;
    void SetProxyPort(int v) override;
    void SetProxyUser(const std::string& v) override;
    void SetProxyPassword(const std::string& v) override;
    void SetUserName(const std::string& v) override;
    void SetPassword(const std::string& v) override;
    void SetAgent(const std::string& v) override;
    void SetRespectRateLimits(bool v) override;
    bool StartScan(const std::string& url = {}) override;
    bool StopScan() override;
    // Continues the unfinished scan of url journaled in the storage folder.
    // A journal that is missing, damaged, from another version or of another
    // address is refused with a message, and the scan starts afresh.
    bool ResumeScan(const std::string& url);
    // The journal of the running scan; see ScanJournal.
    ScanJournal Journal;
    void Shutdown() override;

    virtual void GrabberTick(bool closing);
    bool IsWorking() const { return PageDownloader.Working() || FileDownloader.Working(); }
    void StopPages() { PageDownloader.SetStopping(true); }
    void StopFiles() { FileDownloader.SetStopping(true); }
    // Why the storage folder's disk refused a page or a file in this scan
    // (full, over quota, past the file size limit); empty while it has not.
    // From then on no file is started, and at the next tick the file
    // downloads stop and the user is told.
    const std::string& DiskFull() const { return DiskFull_; }
    // The folder with a trailing "/", created (one level) when missing; empty
    // with a message when it cannot be.
    std::string EnsureDirectory(const std::string& path);

    // --- events and hooks ---
    // A file given up on (not raised while the file downloads stop).
    std::function<void(Component*, const DownloadError& error)> OnFileDownloadError;
    std::function<void(Component*, bool working)> FileWorkingHook;
    // Takes the wanted file links instead of the file downloads.
    std::function<void(const LinkHookArgs& link)> FileLinkHook;

    // Queues a file with the grabber's usual request parameters.
    void QueueFile(const std::string& url, const std::string& referringUrl, char hrefOrSrc);
    bool Allows(char hrefOrSrc) const;

protected:
    // The file manager shares the page manager's cookies.
    void NewCookies() override;
    int TotalSlots() const override {
        return PageDownloader.ConcurrentDownloads + FileDownloader.ConcurrentDownloads;
    }
    void GrabLink(const LinkHookArgs& link);
    void QueueStartPage() override;
    void PageQueued(const std::string& url, const QueuedRequest& request) override;
    void PageProcessed(const std::string& url) override;
    bool MayStartPage() const override;
    void PagesIdle() override { EndJournalWhenIdle(); }
    void EndJournalWhenIdle();
    void QueueFileRequest(const std::string& url, QueuedRequest request);
    // The settings that shape a scan's tree, as the journal keeps them.
    std::vector<std::pair<std::string, std::string>> JournalSettings() const;
    void ApplyJournalSettings(const std::vector<std::pair<std::string, std::string>>& settings);
    void CollectThumb(const std::string& url, int countArea, char hrefOrSrc);
    void PairThumbs(const PageInfo& page);
    // The head of a file answer reaches this thread only while logs are on.
    void ConnectFileHeadCheck();
    void FileHeadCheck(const std::string& url, int statusCode, const std::string& contentType,
                       bool& okToGetData);

    std::vector<std::pair<std::string, int>> HrefList_, SrcList_;
    std::unordered_set<std::string> HrefSeen_, SrcSeen_;

private:
    StringList FileTypes_;
    std::vector<std::string> LowerFileTypes_; // the same, lowered once for GrabLink
    std::string DownloadPath_;
    bool ReuseHtmlFiles_ = false;
    bool DownloadHtmlPages_ = true;
    DownloadFilter DownloadType_ = DownloadFilter::DOWNLOAD_HREF;
    int MaxDownloadQueueSize_ = 5000;
    bool SearchThumbs_ = false;
    std::string AppFolder_;
    std::string DiskFull_;
    bool DiskFullTold_ = false;
    std::optional<JournalState> Resumed_; // set while a resumed scan starts
};
