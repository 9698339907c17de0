#include "GalleryController.h"

#include "common/StringTools.h"
#include "crawl/HtmlMarkup.h"
#include "gallery/ExceptionGuard.h"
#include "gallery/FilePath.h"
#include "gallery/FullScreenDisplay.h"
#include "gallery/GalleryTabPage.h"
#include "gallery/MediaPlayer.h"
#include "gallery/MediaPlayerPlayback.h"
#include "settings/SettingsTable.h"

#include <QTabBar>
#include <QTabWidget>

#include <array>
#include <climits>
#include <cstdint>
#include <string_view>

namespace {

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

// Addresses a scan must not start from: the embedded browser's own pages
// and whatever is not on the web.
bool IsInternalAddress(const std::string& url) {
    static constexpr std::array<std::string_view, 6> kPrefixes{
        "res:", "about:", "chrome:", "chrome-error:", "qrc:", "data:"};
    const std::string lower = LowerCase(url.substr(0, 16));
    for (std::string_view prefix : kPrefixes)
        if (lower.compare(0, prefix.size(), prefix) == 0) return true;
    return false;
}

// What the model says of a thumbnail that shows: "[on disk]" and its marker.
void ShowThumbState(ThumbTile& tile, const ThumbEntry& thumb) {
    if (thumb.OnDisk) tile.ShowOnDisk();
    tile.ShowState(thumb);
}

} // namespace

GalleryController::GalleryController(MessageSink* messages, std::string applicationTitle)
    : PersistentGrabber(messages, std::move(applicationTitle)) {
    ConnectModel();
    LoadGallerySettings();
}

GalleryController::~GalleryController() {
    // The tabs' widgets go first, while the page control may still be there.
    Model_.ClearTabs();
    if (OwnDisplay_) OwnDisplay_->SetVideoPlayer(nullptr);
    OwnDisplay_.reset();
    OwnPlayer_.reset();
}

// --- settings ---

void GalleryController::LoadGallerySettings() {
    SettingsKey& reg = Store();
    const auto integer = [&](const SettingDef& def) {
        return reg.ReadInteger(def.Entry, DefaultInteger(def));
    };
    const auto boolean = [&](const SettingDef& def) {
        return reg.ReadBool(def.Entry, DefaultBool(def));
    };
    const int variant = integer(Setting::Variant);
    Variant_ =
        variant >= APP_SCRIVANE && variant <= APP_TESSELLON ? AppVariant(variant) : APP_SCRIVANE;
    const int tabs = integer(Setting::MaxNumberOfTabs);
    Model_.MaxNumberOfTabs = tabs >= 5 ? tabs : DefaultInteger(Setting::MaxNumberOfTabs);
    Model_.GetFullSizeFirst = boolean(Setting::GetFullSizeFirst);
    Model_.AutoGetFullSized = boolean(Setting::AutoGetFullSized);
    Model_.GetVideos = boolean(Setting::GetVideos);
    ScanHistory_ = reg.ReadString(Setting::ScanHistory.Entry, Setting::ScanHistory.Default);
    LastBrowserUrl_ =
        reg.ReadString(Setting::LastBrowserUrl.Entry, Setting::LastBrowserUrl.Default);
}

void GalleryController::SetGetFullSizeFirst(bool v) {
    Store().WriteBool(Setting::GetFullSizeFirst.Entry, v);
    Model_.GetFullSizeFirst = v;
}

void GalleryController::SetGetVideos(bool v) {
    Store().WriteBool(Setting::GetVideos.Entry, v);
    Model_.GetVideos = v;
}

void GalleryController::SetAutoGetFullSized(bool v) {
    Store().WriteBool(Setting::AutoGetFullSized.Entry, v);
    Model_.AutoGetFullSized = v;
}

void GalleryController::SetHistoryScanner(const std::string& v) {
    Store().WriteString(Setting::ScanHistory.Entry, v);
    ScanHistory_ = v;
}

void GalleryController::SetMaxNumberOfTabs(int v) {
    if (v < 5) return;
    Store().WriteInteger(Setting::MaxNumberOfTabs.Entry, v);
    Model_.MaxNumberOfTabs = v;
}

void GalleryController::SetLastBrowserUrl(const std::string& v) {
    Store().WriteString(Setting::LastBrowserUrl.Entry, v);
    LastBrowserUrl_ = v;
}

void GalleryController::SetVariant(AppVariant v) {
    Store().WriteInteger(Setting::Variant.Entry, int(v));
    Variant_ = v;
}

// --- variants ---

bool GalleryController::ConfigureFor(AppVariant variant) {
    if (PageDownloader.Working() || FileDownloader.Working()) {
        ShowMessage("First stop the current processes");
        return false;
    }
    LoadSettings();
    LoadGrabSettings();
    LoadGallerySettings();

    // Live settings only: nothing below is stored.
    const bool grabs = variant == APP_HARVELLO || variant == APP_TESSELLON;
    LinkHook = grabs ? std::function<void(const LinkHookArgs&)>(
                           [this](const LinkHookArgs& link) { GrabLink(link); })
                     : nullptr;
    AreaHook = grabs ? MarkCountedAreas : CloseAreas;
    if (variant == APP_TESSELLON) {
        FileDownloader.OnProgress = [this](RequestSlot* get, std::uint32_t bytes) {
            // The start value is all bits set.
            ShowProgress(get, bytes == UINT32_MAX ? -1 : std::int64_t(bytes));
        };
        FileDownloader.OnDataReceived = [this](Component* s, RequestSlot* get, bool) {
            GalleryFileReceived(s, get);
        };
        FileDownloader.OnFileFailed = [this](Component* s, RequestSlot* get, int kind) {
            GalleryFileFailed(s, get, kind);
        };
    } else {
        FileDownloader.OnProgress = nullptr;
        FileDownloader.OnDataReceived = nullptr;
    }

    switch (variant) {
    case APP_SCRIVANE:
    case APP_MISSIVANT:
        Grabber::SetSearchThumbs(false);
        FileLinkHook = nullptr;
        PageParsedHook = nullptr;
        break;
    case APP_HARVELLO:
        break;
    case APP_TESSELLON:
        Grabber::SetSearchThumbs(true);
        FileLinkHook = [this](const LinkHookArgs& link) { CollectLink(link); };
        PageParsedHook = [this](PageProcessor& scanner, PageInfo& page) {
            PageAnalysed(scanner, page);
        };
        break;
    }
    // The link and mail faces write their results file; the others none.
    if (variant == APP_HARVELLO || variant == APP_TESSELLON) ResultsMode = 0;
    // Addresses in the text are the mail face's alone: elsewhere they would
    // be listed among the links.
    if (variant != APP_MISSIVANT) Grabber::SetFindTextAddresses(false);

    if (variant == APP_TESSELLON) {
        Grabber::SetDownloadType(DownloadFilter::DOWNLOAD_HREF_SRC);
        Grabber::SetFileOfResults("");
        Grabber::SetFileTypes("gif\r\njpeg\r\njpg");
        Grabber::SetKeywordsFilter("track\r\nhitbox\r\nreferer\r\nstat\r\ncount");
        KeywordsFilterEnabled = true;
        StayOnSite = true;
        ReportExternalLinks = true;
    }
    return true;
}

// --- scanning ---

bool GalleryController::StartScan(const std::string& url) {
    if (IsInternalAddress(url.empty() ? StartingUrl : url)) return false;
    if (!PageDownloader.Working() && !FileDownloader.Working()) Model_.SetThumbsFound(false);
    return PersistentGrabber::StartScan(url);
}

void GalleryController::GrabberTick(bool aborting) {
    PersistentGrabber::GrabberTick(aborting);
    Model_.Tick(aborting);
    if (OnUserTimer) OnUserTimer(this, aborting);
}

void GalleryController::CollectLink(const LinkHookArgs& link) {
    Model_.CollectLink(link.TypeLink, link.UrlFound, link.LocalFileName(), link.CountArea,
                       link.HrefOrSrc, link.FromUrl);
}

void GalleryController::PageAnalysed(PageProcessor&, PageInfo& page) {
    Model_.PageAnalysed(page.Url);
}

GalleryTransfer GalleryController::Transfer(const RequestSlot& request) {
    GalleryTransfer t;
    t.ReferringUrl = request.ReferringUrl;
    t.CountArea = request.CountArea;
    t.HrefOrSrc = request.HrefOrSrc;
    t.UserIndex = request.EntryValue;
    t.Cancelled = request.Cancelled;
    t.LocalFile = request.Url.LocalFileName();
    t.ContentLength = request.ContentLength;
    return t;
}

void GalleryController::GalleryFileReceived(Component*, RequestSlot* request) {
    if (request != nullptr) Model_.FileReceived(Transfer(*request));
}

void GalleryController::GalleryFileFailed(Component*, RequestSlot* request, int) {
    if (request != nullptr) Model_.FileFailed(Transfer(*request));
}

void GalleryController::ShowProgress(RequestSlot* request, std::int64_t bytesRead) {
    if (request != nullptr) Model_.ShowProgress(Transfer(*request), bytesRead);
}

// --- the tab pages ---

void GalleryController::SetTabWidget(QTabWidget* pageControl) {
    TabWidget_ = pageControl;
}

GalleryTabPage* GalleryController::Page(int tabId) const {
    const auto it = Pages_.find(tabId);
    return it == Pages_.end() ? nullptr : it->second.data();
}

QString GalleryController::PageTitle(const GalleryTab& tab) const {
    return Q(tab.Caption);
}

void GalleryController::ConnectModel() {
    Model_.DownloadPath = DownloadPath();
    Model_.QueueRequest = [this](const GalleryRequest& r) {
        FileDownloader.AddDownload(r.Url, {.DepthSearchLevel = -1,
                                           .Priority = r.Priority,
                                           .CountArea = r.CountArea,
                                           .HrefOrSrc = r.HrefOrSrc,
                                           .GetAction = BodyHandling::STORE_TO_FILE,
                                           .RetryNumber = Retries(),
                                           .ReferringUrl = r.ReferringUrl,
                                           .EntryValue = r.UserIndex});
    };
    Model_.ForgetFileLinks = [this] { ForgetNonPageUrls(); };
    Model_.OnTabVisible = [this](bool visible) {
        if (OnTabVisible) OnTabVisible(visible);
    };

    Model_.OnTabCreated = [this](GalleryTab& tab) {
        auto* page = new GalleryTabPage(tab.Id, Q(tab.PageAddress));
        page->hide();
        // Handlers run from the event loop: nothing may be thrown through it.
        page->OnButton = [this](GalleryTabPage::TabButton which, int id) {
            RunGuarded([&] { OnButton(which, id); }, Messages);
        };
        page->OnAddressClick = [this](const QString& address) {
            RunGuarded(
                [&] {
                    if (OnAddressClick) OnAddressClick(address.toStdString());
                },
                Messages);
        };
        page->OnTileMouseDown = [this](ThumbTile& tile, Qt::MouseButton button) {
            RunGuarded([&] { ThumbMouseDown(tile, button); }, Messages);
        };
        page->OnThumbLoaded = [this, id = tab.Id](int position, bool shown) {
            RunGuarded([&] { Model_.ThumbLoaded(id, position, shown); }, Messages);
        };
        page->OnTileMade = [this, id = tab.Id](ThumbTile& tile) {
            RunGuarded(
                [&] {
                    GalleryTab* modelTab = Model_.FindTab(id);
                    const ThumbEntry* thumb = modelTab != nullptr
                                                  ? Model_.Thumb(*modelTab, tile.ThumbPosition())
                                                  : nullptr;
                    if (thumb != nullptr && !thumb->NotAThumb) ShowThumbState(tile, *thumb);
                },
                Messages);
        };
        Pages_[tab.Id] = page;
    };
    Model_.OnTabCaptionChanged = [this](GalleryTab& tab) {
        GalleryTabPage* page = Page(tab.Id);
        if (page == nullptr || TabWidget_ == nullptr) return;
        const int index = TabWidget_->indexOf(page);
        if (index >= 0) TabWidget_->setTabText(index, PageTitle(tab));
    };
    Model_.OnShowTab = [this](GalleryTab& tab) {
        GalleryTabPage* page = Page(tab.Id);
        if (page == nullptr || TabWidget_ == nullptr) return;
        const int index = TabWidget_->addTab(page, PageTitle(tab));
        TabWidget_->tabBar()->setAccessibleTabName(index, Q(tab.PageAddress));
        // The page control shows the page when its tab is chosen; showing it
        // here would lay a page of the wrong size over the current one.
    };
    Model_.OnHideTab = [this](GalleryTab& tab) {
        GalleryTabPage* page = Page(tab.Id);
        if (page == nullptr) return;
        if (TabWidget_ != nullptr) {
            const int index = TabWidget_->indexOf(page);
            if (index >= 0) TabWidget_->removeTab(index);
        }
        page->hide();
    };
    Model_.OnBringToFront = [this](GalleryTab& tab) {
        GalleryTabPage* page = Page(tab.Id);
        if (page != nullptr && TabWidget_ != nullptr && TabWidget_->indexOf(page) >= 0)
            TabWidget_->setCurrentWidget(page);
    };
    Model_.IsFrontTab = [this](const GalleryTab& tab) {
        GalleryTabPage* page = Page(tab.Id);
        return page != nullptr && TabWidget_ != nullptr && TabWidget_->currentWidget() == page;
    };
    Model_.OnTabDeleting = [this](GalleryTab& tab) {
        const auto it = Pages_.find(tab.Id);
        if (it == Pages_.end()) return;
        if (GalleryTabPage* page = it->second.data()) {
            if (TabWidget_ != nullptr) {
                const int index = TabWidget_->indexOf(page);
                if (index >= 0) TabWidget_->removeTab(index);
            }
            page->hide();
            // A button of the page may be what called us.
            page->setParent(nullptr);
            page->deleteLater();
        }
        Pages_.erase(it);
    };

    Model_.LoadThumb = [this](GalleryTab& tab, ThumbEntry& thumb, int cell,
                              const std::string& file) {
        GalleryTabPage* page = Page(tab.Id);
        if (page == nullptr) return ThumbLoad::NotShown;
        const int width = TabWidget_ != nullptr ? TabWidget_->width() : page->width();
        switch (page->PlaceThumb(thumb.Position, cell, width, Q(thumb.Address),
                                 Q(tab.FullSizes[cell]), file)) {
        case MediaLoad::Shown:
            return ThumbLoad::Shown;
        case MediaLoad::Pending:
            return ThumbLoad::Pending;
        case MediaLoad::Failed:
            break;
        }
        return ThumbLoad::NotShown;
    };
    Model_.OnThumbArrived = [this](GalleryTab& tab, ThumbEntry& thumb) {
        GalleryTabPage* page = Page(tab.Id);
        if (page == nullptr || thumb.NotAThumb) return; // the tile says so already
        // A tile not made yet shows all this when it is.
        if (ThumbTile* tile = page->MadeTile(thumb.Position)) ShowThumbState(*tile, thumb);
    };
    Model_.OnMarkerChanged = [this](GalleryTab& tab, ThumbEntry& thumb) {
        GalleryTabPage* page = Page(tab.Id);
        if (ThumbTile* tile = page != nullptr ? page->MadeTile(thumb.Position) : nullptr)
            tile->ShowState(thumb);
    };
    Model_.OnRepaintMarker = [this](GalleryTab& tab, ThumbEntry& thumb) {
        GalleryTabPage* page = Page(tab.Id);
        if (ThumbTile* tile = page != nullptr ? page->MadeTile(thumb.Position) : nullptr)
            tile->RepaintMarker();
    };
}

void GalleryController::OnButton(int which, int tabId) {
    GalleryTab* tab = nullptr;
    switch (GalleryTabPage::TabButton(which)) {
    case GalleryTabPage::GetAll:
        Model_.GetFullSized(tabId, true);
        break;
    case GalleryTabPage::GetSelected:
        Model_.GetFullSized(tabId, false);
        break;
    case GalleryTabPage::SelectAll:
        Model_.MarkThumbs(tabId, true);
        break;
    case GalleryTabPage::UnselectAll:
        Model_.MarkThumbs(tabId, false);
        break;
    case GalleryTabPage::Throw:
        if (Model_.FindTab(tabId, tab) < 0 || tab->State != tsActive) return;
        Model_.DownloadPath = DownloadPath();
        Model_.ThrowTab(*tab);
        Model_.CloseTab(*tab);
        break;
    case GalleryTabPage::Close:
        if (Model_.FindTab(tabId, tab) < 0) return;
        Model_.CloseTab(*tab);
        break;
    case GalleryTabPage::Reload:
        if (GalleryTabPage* page = Page(tabId); page != nullptr && OnReloadPage)
            OnReloadPage(page->PageAddress().toStdString());
        break;
    case GalleryTabPage::ButtonCount:
        break;
    }
}

// --- full screen ---

bool GalleryController::Navigate(NavigateAction action, QString& name, std::string& path) {
    std::string n;
    if (!Model_.Navigate(action, n, path)) return false;
    name = DisplayPath(n);
    return true;
}

void GalleryController::ThumbMouseDown(ThumbTile& tile, Qt::MouseButton button) {
    if (button != Qt::LeftButton) return;
    std::string name, path;
    const ThumbClick click = Model_.ClickThumb(tile.TabId, tile.ThumbPosition(), name, path);
    if (click != ThumbClick::ShowFullScreen) return;
    FullScreenDisplay* display = Display();
    display->SetNavigateHook([this](NavigateAction action, QString& n, std::string& p) {
        return Navigate(action, n, p);
    });
    display->ShowMedia(DisplayPath(name), path);
}

void GalleryController::SetDisplay(FullScreenDisplay* display) {
    Display_ = display;
}

FullScreenDisplay* GalleryController::Display(QWidget* mainWindow) {
    if (Display_ != nullptr) return Display_;
    if (!OwnDisplay_) {
        if (mainWindow == nullptr && TabWidget_ != nullptr) mainWindow = TabWidget_->window();
        OwnDisplay_ = std::make_unique<FullScreenDisplay>(mainWindow);
        auto* player = new MediaPlayer(OwnDisplay_.get(), Messages);
        player->SetDisplay(OwnDisplay_->VideoPanel());
        OwnPlayer_ = std::make_unique<MediaPlayerPlayback>(*player);
        OwnDisplay_->SetVideoPlayer(OwnPlayer_.get());
    }
    return OwnDisplay_.get();
}
