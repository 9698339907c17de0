#pragma once

// The gallery controller: the application's one scanning component. It is
// the persistent grabber turned picture gallery: while a scan runs it
// collects each page's thumbnails and full-sized links, pairs them, gives a
// page with pairs a tab of the main window's page control, downloads its
// thumbnails into tiles and, on request, the full-sized pictures; the
// full-screen display walks the pictures on disk through it.

#include "gallery/GalleryModel.h"
#include "settings/PersistentGrabber.h"

#include <QPointer>
#include <QString>

#include <functional>
#include <memory>
#include <string>
#include <unordered_map>

class QTabWidget;
class GalleryTabPage;
class FullScreenDisplay;
class ThumbTile;
class VideoPlayback;

// The application variants.
enum AppVariant { APP_SCRIVANE = 0, APP_HARVELLO = 1, APP_MISSIVANT = 2, APP_TESSELLON = 3 };

class GalleryController : public PersistentGrabber {
public:
    explicit GalleryController(MessageSink* messages = nullptr,
                               std::string applicationTitle = "Tessellon");
    ~GalleryController() override;

    // --- the page control the tabs go to; set by the main window ---
    QTabWidget* TabWidget() const { return TabWidget_; }
    void SetTabWidget(QTabWidget* pageControl);

    // --- persisted settings ---
    bool GetFullSizeFirst() const { return Model_.GetFullSizeFirst; }
    void SetGetFullSizeFirst(bool v);
    // Whether video links (MPEG) are taken as full-sized pictures, when the
    // file types let them through.
    bool GetVideos() const { return Model_.GetVideos; }
    void SetGetVideos(bool v);
    bool AutoGetFullSized() const { return Model_.AutoGetFullSized; }
    void SetAutoGetFullSized(bool v);
    // The main window's scan addresses, one per line.
    const std::string& ScanHistory() const { return ScanHistory_; }
    void SetHistoryScanner(const std::string& v);
    // How many tabs stay shown before the oldest idle ones close; values
    // below 5 are ignored.
    int MaxNumberOfTabs() const { return Model_.MaxNumberOfTabs; }
    void SetMaxNumberOfTabs(int v);
    const std::string& LastBrowserUrl() const { return LastBrowserUrl_; }
    void SetLastBrowserUrl(const std::string& v);
    AppVariant Variant() const { return Variant_; }
    void SetVariant(AppVariant v);

    // --- events and hooks ---
    std::function<void(Component* sender, bool aborting)> OnUserTimer;
    std::function<void(bool visible)> OnTabVisible;
    std::function<void(const std::string& pageAddress)> OnAddressClick;
    std::function<void(const std::string& pageAddress)> OnReloadPage;

    // --- operations ---
    void LoadGallerySettings();
    // Sets the component up for a variant, without storing anything; false
    // with a message while downloads run.
    bool ConfigureFor(AppVariant variant);
    // Refuses the embedded browser's own pages and other addresses that are
    // not on the web.
    bool StartScan(const std::string& url = {}) override;
    void GrabberTick(bool aborting) override;

    // The download handlers, installed on the file download manager.
    void GalleryFileReceived(Component* sender, RequestSlot* request);
    void GalleryFileFailed(Component* sender, RequestSlot* request, int kind);
    void ShowProgress(RequestSlot* request, std::int64_t bytesRead);
    // The link and page hooks of the gallery variant.
    void CollectLink(const LinkHookArgs& link);
    void PageAnalysed(PageProcessor& scanner, PageInfo& page);

    // The tab buttons and the main window's buttons.
    bool GetFullSized(int tabId, bool all) { return Model_.GetFullSized(tabId, all); }
    bool MarkThumbs(int tabId, bool select) { return Model_.MarkThumbs(tabId, select); }
    void CloseTabs(bool throwFiles) {
        Model_.DownloadPath = DownloadPath();
        Model_.CloseTabs(throwFiles);
    }
    void CancelFullSizedRequests() { Model_.CancelFullSizedRequests(); }
    void PurgeTabs() { Model_.PurgeTabs(); }
    void ClearTabs() { Model_.ClearTabs(); }
    bool ThumbsFound() const { return Model_.ThumbsFound(); }

    // The full-screen navigation hook; path is the file's bytes.
    bool Navigate(NavigateAction action, QString& name, std::string& path);
    // A mouse button down on a tile: a picture on disk goes full screen,
    // otherwise the selection toggles.
    void ThumbMouseDown(ThumbTile& tile, Qt::MouseButton button);

    // The full-screen display thumbnails open in; made on first use when the
    // main window gives none. Not owned when given.
    void SetDisplay(FullScreenDisplay* display);
    // mainWindow: whose screen the display covers, when it is made here
    // (else the page control's window).
    FullScreenDisplay* Display(QWidget* mainWindow = nullptr);

    GalleryModel& Model() { return Model_; }
    // The tab page of a tab; null once it is gone.
    GalleryTabPage* Page(int tabId) const;

private:
    void ConnectModel();
    void OnButton(int which, int tabId);
    QString PageTitle(const GalleryTab& tab) const;
    static GalleryTransfer Transfer(const RequestSlot& request);

    GalleryModel Model_;
    QPointer<QTabWidget> TabWidget_;
    std::unordered_map<int, QPointer<GalleryTabPage>> Pages_;
    QPointer<FullScreenDisplay> Display_;
    std::unique_ptr<FullScreenDisplay> OwnDisplay_;
    std::unique_ptr<VideoPlayback> OwnPlayer_;
    std::string ScanHistory_;
    std::string LastBrowserUrl_;
    AppVariant Variant_ = APP_SCRIVANE;
};
