#include "GalleryController.h"

#include "common/StringTools.h"
#include "crawl/HtmlMarkup.h"
#include "gallery/ExceptionGuard.h"
#include "gallery/FullScreenDisplay.h"
#include "gallery/GalleryTabPage.h"
#include "gallery/MediaPlayer.h"
#include "gallery/VideoPlayback.h"
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

} // namespace

TGVThumb::TGVThumb(IMessageSink* messages, std::string applicationTitle)
    : TRegHttpGrab(messages, std::move(applicationTitle)) {
    ConnectModel();
    LoadGallerySettings();
}

TGVThumb::~TGVThumb() {
    // The tabs' widgets go first, while the page control may still be there.
    Model_.ClearTabs();
    if (OwnDisplay_) OwnDisplay_->SetVideoPlayer(nullptr);
    OwnDisplay_.reset();
    OwnPlayer_.reset();
}

// --- settings ---

void TGVThumb::LoadGallerySettings() {
    TGVReg& reg = Store();
    const auto integer = [&](const TSettingDef& def) {
        return reg.ReadInteger(def.Entry, DefaultInteger(def));
    };
    const auto boolean = [&](const TSettingDef& def) {
        return reg.ReadBool(def.Entry, DefaultBool(def));
    };
    const int appli = integer(Setting::AppliType);
    AppliType_ = appli >= APP_SCRIVANE && appli <= APP_TESSELLON ? TAppli(appli) : APP_SCRIVANE;
    const int tabs = integer(Setting::MaxNumberOfTabs);
    MaxNumberOfTabs_ = tabs >= 5 ? tabs : DefaultInteger(Setting::MaxNumberOfTabs);
    Model_.GetFullSizeFirst = boolean(Setting::GetFullSizeFirst);
    Model_.AutoGetFullSized = boolean(Setting::AutoGetFullSized);
    GetVideos_ = boolean(Setting::GetVideos);
    HistoryScanner_ =
        reg.ReadString(Setting::HistoryScanner.Entry, Setting::HistoryScanner.Default);
    LastBrowserUrl_ =
        reg.ReadString(Setting::LastBrowserUrl.Entry, Setting::LastBrowserUrl.Default);
}

void TGVThumb::SetGetFullSizeFirst(bool v) {
    Store().WriteBool(Setting::GetFullSizeFirst.Entry, v);
    Model_.GetFullSizeFirst = v;
}

void TGVThumb::SetGetVideos(bool v) {
    Store().WriteBool(Setting::GetVideos.Entry, v);
    GetVideos_ = v;
}

void TGVThumb::SetAutoGetFullSized(bool v) {
    Store().WriteBool(Setting::AutoGetFullSized.Entry, v);
    Model_.AutoGetFullSized = v;
}

void TGVThumb::SetHistoryScanner(const std::string& v) {
    Store().WriteString(Setting::HistoryScanner.Entry, v);
    HistoryScanner_ = v;
}

void TGVThumb::SetMaxNumberOfTabs(int v) {
    if (v < 5) return;
    Store().WriteInteger(Setting::MaxNumberOfTabs.Entry, v);
    MaxNumberOfTabs_ = v;
}

void TGVThumb::SetLastBrowserUrl(const std::string& v) {
    Store().WriteString(Setting::LastBrowserUrl.Entry, v);
    LastBrowserUrl_ = v;
}

void TGVThumb::SetAppliType(TAppli v) {
    Store().WriteInteger(Setting::AppliType.Entry, int(v));
    AppliType_ = v;
}

// --- variants ---

bool TGVThumb::ConfigureFor(TAppli appli) {
    if (PageDownloader.Working() || FileDownloader.Working()) {
        ShowMessage("First stop the current processes");
        return false;
    }
    LoadSettings();
    LoadGrabSettings();
    LoadGallerySettings();

    // Live settings only: nothing below is stored.
    const bool grabs = appli == APP_HARVELLO || appli == APP_TESSELLON;
    LinkHook = grabs ? std::function<void(const TLinkHookArgs&)>(
                           [this](const TLinkHookArgs& link) { GrabLink(link); })
                     : nullptr;
    AreaHook = grabs ? MarkCountedAreas : CloseAreas;
    if (appli == APP_TESSELLON) {
        FileDownloader.OnProgress = [this](TGVHttpGet* get, std::uint32_t bytes) {
            // The start value is all bits set.
            ShowProgress(get, bytes == UINT32_MAX ? -1 : std::int64_t(bytes));
        };
        FileDownloader.OnDataReceived = [this](TComponent* s, TGVHttpGet* get, bool) {
            TessellonDwnldFileReceived(s, get);
        };
        FileDownloader.OnFileFailed = [this](TComponent* s, TGVHttpGet* get, int kind) {
            TessellonDwnldFileError(s, get, kind);
        };
    } else {
        FileDownloader.OnProgress = nullptr;
        FileDownloader.OnDataReceived = nullptr;
    }

    switch (appli) {
    case APP_SCRIVANE:
    case APP_MISSIVANT:
        THttpGrab::SetSearchThumbs(false);
        FileLinkHook = nullptr;
        PageParsedHook = nullptr;
        break;
    case APP_HARVELLO:
        break;
    case APP_TESSELLON:
        THttpGrab::SetSearchThumbs(true);
        FileLinkHook = [this](const std::string& type, const std::string& url, bool flag,
                              const std::string& local, int area, char kind,
                              const std::string& page, const std::string& host) {
            CollectLink(type, url, flag, local, area, kind, page, host);
        };
        PageParsedHook = [this](TScanCore& scanner, TPageInfo& page) {
            PageAnalysed(scanner, page);
        };
        break;
    }
    if (appli != APP_SCRIVANE) ResultsFile = 0;

    if (appli == APP_TESSELLON) {
        THttpGrab::SetDownloadType(TDownloadType::DOWNLOAD_HREF_SRC);
        THttpGrab::SetFileOfResults("");
        THttpGrab::SetFileTypes("gif\r\njpeg\r\njpg");
        THttpGrab::SetKeywordsFilter("track\r\nhitbox\r\nreferer\r\nstat\r\ncount");
        KeywordsFilterEnabled = true;
        StayOnSite = true;
        ReportExternalLinks = true;
    }
    return true;
}

// --- scanning ---

bool TGVThumb::StartScan(const std::string& url) {
    if (IsInternalAddress(url.empty() ? StartingUrl : url)) return false;
    if (!PageDownloader.Working() && !FileDownloader.Working()) Model_.SetThumbsFound(false);
    return TRegHttpGrab::StartScan(url);
}

void TGVThumb::GrabberTick(bool aborting) {
    TRegHttpGrab::GrabberTick(aborting);
    Model_.Tick(aborting);
    if (OnUserTimer) OnUserTimer(this, aborting);
}

void TGVThumb::CollectLink(const std::string& linkType, const std::string& url, bool,
                           const std::string& localFile, int countArea, char hrefOrSrc,
                           const std::string& pageUrl, const std::string&) {
    Model_.CollectLink(linkType, url, localFile, countArea, hrefOrSrc, pageUrl);
}

void TGVThumb::PageAnalysed(TScanCore&, TPageInfo& page) {
    Model_.PageAnalysed(page.Url);
}

TGalleryTransfer TGVThumb::Transfer(const TGVHttpGet& request) {
    TGalleryTransfer t;
    t.ReferringUrl = request.ReferringUrl;
    t.CountArea = request.CountArea;
    t.HrefOrSrc = request.HrefOrSrc;
    t.UserIndex = request.EntryValue;
    t.Cancelled = request.Cancelled;
    t.LocalFile = request.Url.LocalFileName();
    t.ContentLength = request.ContentLength;
    return t;
}

void TGVThumb::TessellonDwnldFileReceived(TComponent*, TGVHttpGet* request) {
    if (request != nullptr) Model_.FileReceived(Transfer(*request));
}

void TGVThumb::TessellonDwnldFileError(TComponent*, TGVHttpGet* request, int) {
    if (request != nullptr) Model_.FileFailed(Transfer(*request));
}

void TGVThumb::ShowProgress(TGVHttpGet* request, std::int64_t bytesRead) {
    if (request != nullptr) Model_.ShowProgress(Transfer(*request), bytesRead);
}

// --- the tab pages ---

void TGVThumb::SetPageControl(QTabWidget* pageControl) {
    PageControl_ = pageControl;
}

TGalleryTabPage* TGVThumb::Page(int tabId) const {
    const auto it = Pages_.find(tabId);
    return it == Pages_.end() ? nullptr : it->second.data();
}

QString TGVThumb::PageTitle(const TGalleryTab& tab) const {
    return Q(tab.Caption);
}

void TGVThumb::ConnectModel() {
    Model_.DownloadPath = DownloadPath();
    Model_.QueueRequest = [this](const TGalleryRequest& r) {
        FileDownloader.AddDownload(r.Url, r.ReferringUrl, r.UserIndex, r.Priority, r.CountArea,
                                   TGetAction::STORE_TO_FILE, r.HrefOrSrc, Retries(), -1);
    };
    Model_.ForgetFileLinks = [this] { ForgetNonPageUrls(); };
    Model_.OnTabVisible = [this](bool visible) {
        if (OnTabVisible) OnTabVisible(visible);
    };

    Model_.OnTabCreated = [this](TGalleryTab& tab) {
        auto* page = new TGalleryTabPage(tab.Id, Q(tab.PageAddress));
        page->hide();
        // Handlers run from the event loop: nothing may be thrown through it.
        page->OnButton = [this](TGalleryTabPage::TButton which, int id) {
            RunGuarded([&] { OnButton(which, id); }, Messages);
        };
        page->OnAddressClick = [this](const QString& address) {
            RunGuarded(
                [&] {
                    if (OnAddressClick) OnAddressClick(address.toStdString());
                },
                Messages);
        };
        page->OnTileMouseDown = [this](TThumbPanel& tile, Qt::MouseButton button) {
            RunGuarded([&] { ThumbMouseDown(tile, button); }, Messages);
        };
        Pages_[tab.Id] = page;
    };
    Model_.OnTabCaptionChanged = [this](TGalleryTab& tab) {
        TGalleryTabPage* page = Page(tab.Id);
        if (page == nullptr || PageControl_ == nullptr) return;
        const int index = PageControl_->indexOf(page);
        if (index >= 0) PageControl_->setTabText(index, PageTitle(tab));
    };
    Model_.OnShowTab = [this](TGalleryTab& tab) {
        TGalleryTabPage* page = Page(tab.Id);
        if (page == nullptr || PageControl_ == nullptr) return;
        const int index = PageControl_->addTab(page, PageTitle(tab));
        PageControl_->tabBar()->setAccessibleTabName(index, Q(tab.PageAddress));
        // The page control shows the page when its tab is chosen; showing it
        // here would lay a page of the wrong size over the current one.
    };
    Model_.OnHideTab = [this](TGalleryTab& tab) {
        TGalleryTabPage* page = Page(tab.Id);
        if (page == nullptr) return;
        if (PageControl_ != nullptr) {
            const int index = PageControl_->indexOf(page);
            if (index >= 0) PageControl_->removeTab(index);
        }
        page->hide();
    };
    Model_.OnBringToFront = [this](TGalleryTab& tab) {
        TGalleryTabPage* page = Page(tab.Id);
        if (page != nullptr && PageControl_ != nullptr && PageControl_->indexOf(page) >= 0)
            PageControl_->setCurrentWidget(page);
    };
    Model_.IsFrontTab = [this](const TGalleryTab& tab) {
        TGalleryTabPage* page = Page(tab.Id);
        return page != nullptr && PageControl_ != nullptr && PageControl_->currentWidget() == page;
    };
    Model_.OnTabDeleting = [this](TGalleryTab& tab) {
        const auto it = Pages_.find(tab.Id);
        if (it == Pages_.end()) return;
        if (TGalleryTabPage* page = it->second.data()) {
            if (PageControl_ != nullptr) {
                const int index = PageControl_->indexOf(page);
                if (index >= 0) PageControl_->removeTab(index);
            }
            page->hide();
            // A button of the page may be what called us.
            page->setParent(nullptr);
            page->deleteLater();
        }
        Pages_.erase(it);
    };

    Model_.LoadThumb = [this](TGalleryTab& tab, TThumbEntry& thumb, int cell,
                              const std::string& file) {
        TGalleryTabPage* page = Page(tab.Id);
        if (page == nullptr) return false;
        const int width = PageControl_ != nullptr ? PageControl_->width() : page->width();
        TThumbPanel* tile =
            page->AddTile(thumb.Position, cell, width, Q(thumb.Address), Q(tab.FullSizes[cell]));
        return tile->LoadThumb(Q(file));
    };
    Model_.OnThumbArrived = [this](TGalleryTab& tab, TThumbEntry& thumb) {
        TGalleryTabPage* page = Page(tab.Id);
        TThumbPanel* tile = page != nullptr ? page->Tile(thumb.Position) : nullptr;
        if (tile == nullptr) return;
        if (thumb.NotAThumb) return; // the tile says so already
        if (thumb.OnDisk) tile->ShowOnDisk();
        tile->ShowState(thumb);
    };
    Model_.OnMarkerChanged = [this](TGalleryTab& tab, TThumbEntry& thumb) {
        TGalleryTabPage* page = Page(tab.Id);
        if (TThumbPanel* tile = page != nullptr ? page->Tile(thumb.Position) : nullptr)
            tile->ShowState(thumb);
    };
    Model_.OnRepaintMarker = [this](TGalleryTab& tab, TThumbEntry& thumb) {
        TGalleryTabPage* page = Page(tab.Id);
        if (TThumbPanel* tile = page != nullptr ? page->Tile(thumb.Position) : nullptr)
            tile->RepaintMarker();
    };
}

void TGVThumb::OnButton(int which, int tabId) {
    TGalleryTab* tab = nullptr;
    switch (TGalleryTabPage::TButton(which)) {
    case TGalleryTabPage::GetAll:
        Model_.GetFullSized(tabId, true);
        break;
    case TGalleryTabPage::GetSelected:
        Model_.GetFullSized(tabId, false);
        break;
    case TGalleryTabPage::SelectAll:
        Model_.MarkThumbs(tabId, true);
        break;
    case TGalleryTabPage::UnselectAll:
        Model_.MarkThumbs(tabId, false);
        break;
    case TGalleryTabPage::Throw:
        if (Model_.FindTab(tabId, tab) < 0 || tab->State != tsActive) return;
        Model_.DownloadPath = DownloadPath();
        Model_.ThrowTab(*tab);
        Model_.CloseTab(*tab);
        break;
    case TGalleryTabPage::Close:
        if (Model_.FindTab(tabId, tab) < 0) return;
        Model_.CloseTab(*tab);
        break;
    case TGalleryTabPage::Reload:
        if (TGalleryTabPage* page = Page(tabId); page != nullptr && OnReloadPage)
            OnReloadPage(page->PageAddress().toStdString());
        break;
    case TGalleryTabPage::ButtonCount:
        break;
    }
}

// --- full screen ---

bool TGVThumb::Navigate(TNavigateAction action, QString& name, QString& path) {
    std::string n, p;
    if (!Model_.Navigate(action, n, p)) return false;
    name = Q(n);
    path = Q(p);
    return true;
}

void TGVThumb::ThumbMouseDown(TThumbPanel& tile, Qt::MouseButton button) {
    if (button != Qt::LeftButton) return;
    std::string name, path;
    const TThumbClick click = Model_.ClickThumb(tile.TabId, tile.ThumbPosition(), name, path);
    if (click != TThumbClick::ShowFullScreen) return;
    TImgDisp* display = FullScreenDisplay();
    display->SetNavigateHook(
        [this](TNavigateAction action, QString& n, QString& p) { return Navigate(action, n, p); });
    display->ShowMedia(Q(name), Q(path));
}

void TGVThumb::SetFullScreenDisplay(TImgDisp* display) {
    Display_ = display;
}

TImgDisp* TGVThumb::FullScreenDisplay(QWidget* mainWindow) {
    if (Display_ != nullptr) return Display_;
    if (!OwnDisplay_) {
        if (mainWindow == nullptr && PageControl_ != nullptr) mainWindow = PageControl_->window();
        OwnDisplay_ = std::make_unique<TImgDisp>(mainWindow);
        auto* player = new TSmartMediaPlayer(OwnDisplay_.get(), Messages);
        player->SetDisplay(OwnDisplay_->Panel1());
        OwnPlayer_ = std::make_unique<TSmartPlayerPlayback>(*player);
        OwnDisplay_->SetVideoPlayer(OwnPlayer_.get());
    }
    return OwnDisplay_.get();
}
