#pragma once

// The state behind the gallery: one tab per scanned page that gave wanted
// links, the page's thumbnails and full-sized links paired by link area, and
// where each thumbnail stands (selected, requested, downloading, on disk).
// No widgets here: whatever the tab pages and tiles must do is asked through
// the hooks below, so the gallery controller connects them to its widgets
// and tests drive the model directly.

#include "crawl/StringList.h"
#include "gallery/FullScreenDisplay.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

enum TTabState : std::uint8_t { tsNew = 0, tsActive = 1, tsDiscarded = 2 };

// What a tile's marker shows.
enum class TMarkerState : std::uint8_t { Unselected, Selected, Requested, Downloading, OnDisk };

struct TThumbEntry {
    int TabId = 0;
    int Position = 0;  // the thumbnail's index in its tab's Thumbs
    int CountArea = 0; // the link area: the pairing key
    std::string Address;
    std::string FullSizeAddress; // the partner, once the page has been decided
    bool Loaded = false;         // the thumbnail arrived and is shown
    bool Selected = false;
    bool Requested = false; // a full-sized download is pending
    bool OnDisk = false;    // the full-sized file exists
    bool NotAThumb = false; // the thumbnail arrived and could not be shown
    TMarkerState Marker = TMarkerState::Unselected;
    std::string MarkerText;   // the progress while downloading
    int RepaintCountdown = 0; // ticks on the front page until the marker is redrawn
    std::string FullSizePath; // the partner's local file, once the thumbnail arrived

    int ThumbPosition() const { return Position; }
};

struct TFullSizeEntry {
    int CountArea = 0;
    std::string LocalPath; // where the storage layout keeps the full-sized file
};

struct TGalleryTab {
    int Id = 0;
    int ShownOrder = -1; // the order of first showing; -1 until then
    TTabState State = tsNew;
    bool Shown = false; // visible as a tab of the page control
    std::string PageAddress;
    std::string Caption = "1";
    // Addresses in order of discovery; each object is an index into the
    // model's thumbnail or full-sized entries.
    TGVStringList Thumbs;
    TGVStringList FullSizes;
};

// A download the gallery wants from the file download manager. Retries,
// depth and get action are the controller's.
struct TGalleryRequest {
    std::string Url;
    std::string ReferringUrl; // the page address
    int UserIndex = -1;       // the thumbnail entry, for full-sized requests
    bool Priority = false;
    int CountArea = 0;
    char HrefOrSrc = ' ';
};

// What the download handlers need to know of a finished, failed or running
// request.
struct TGalleryTransfer {
    std::string ReferringUrl;
    int CountArea = 0;
    char HrefOrSrc = ' ';
    int UserIndex = -1;
    bool Cancelled = false;
    std::string LocalFile;
    std::int64_t ContentLength = 0;
};

// What a click on a thumbnail comes to.
enum class TThumbClick { Ignored, ShowFullScreen, Toggled };

// The cell of a tile in a page of the given width: 113-pixel cells below the
// buttons and the address label; a page narrower than one cell has one column.
struct TTileOrigin {
    int Left = 0;
    int Top = 0;
};
TTileOrigin TileOrigin(int index, int pageWidth);

class TGalleryModel {
public:
    static constexpr int kThreshold = 80; // shared-thumbs percentage that drops a page

    TGalleryModel();
    ~TGalleryModel();
    TGalleryModel(const TGalleryModel&) = delete;
    TGalleryModel& operator=(const TGalleryModel&) = delete;

    // --- settings, set by the controller ---
    bool GetFullSizeFirst = true; // priority of full-sized requests
    bool AutoGetFullSized = false;
    std::string DownloadPath; // the storage folder, for throwing files

    // --- hooks to the widgets and the downloader; each is optional ---
    std::function<void(TGalleryTab&)> OnTabCreated;        // build the page, hidden
    std::function<void(TGalleryTab&)> OnTabCaptionChanged; // the thumbnail count
    std::function<void(TGalleryTab&)> OnShowTab;           // attach the page and show it
    std::function<void(TGalleryTab&)> OnHideTab;
    std::function<void(TGalleryTab&)> OnBringToFront; // make it the active page
    std::function<void(TGalleryTab&)> OnTabDeleting;  // free the page and its tiles
    std::function<bool(const TGalleryTab&)> IsFrontTab;
    // Builds the tile in the given cell and loads the thumbnail file into it;
    // true when it shows. Unset, every thumbnail counts as shown.
    std::function<bool(TGalleryTab&, TThumbEntry&, int cell, const std::string& file)> LoadThumb;
    // The thumbnail was handled: shown (Loaded, maybe OnDisk, with its
    // marker set) or NotAThumb.
    std::function<void(TGalleryTab&, TThumbEntry&)> OnThumbArrived;
    std::function<void(TGalleryTab&, TThumbEntry&)> OnMarkerChanged;
    std::function<void(TGalleryTab&, TThumbEntry&)> OnRepaintMarker;
    std::function<void(const TGalleryRequest&)> QueueRequest;
    // The scanner forgets the file links it visited, so that pictures found
    // again on later pages reach CollectLink again.
    std::function<void()> ForgetFileLinks;
    std::function<void(bool visible)> OnTabVisible;

    // --- link collection and page decision ---
    void CollectLink(const std::string& linkType, const std::string& url,
                     const std::string& localFile, int countArea, char hrefOrSrc,
                     const std::string& pageUrl);
    void PageAnalysed(const std::string& pageUrl);
    // Of a tab's paired thumbnails, how often (in tabs) each appears on the
    // other active tabs, in percent; may exceed 100.
    int SharedThumbsPercent(const TGalleryTab& tab) const;

    // --- download handlers ---
    void FileReceived(const TGalleryTransfer& transfer);
    void FileFailed(const TGalleryTransfer& transfer);
    void ShowProgress(const TGalleryTransfer& transfer, std::int64_t bytesRead);

    // --- tab buttons; false when the tab is gone or not active ---
    bool GetFullSized(int tabId, bool all);
    bool MarkThumbs(int tabId, bool select);
    void ThrowTab(TGalleryTab& tab);
    void CloseTab(TGalleryTab& tab);
    void CloseTabs(bool throwFiles);
    void CancelFullSizedRequests();
    void PurgeTabs();
    void ClearTabs();
    void DeleteTab(int index);
    // The index in Tabs, or -1.
    int FindTab(int id, TGalleryTab*& tab) const;
    TGalleryTab* FindTab(int id) const;
    TGalleryTab* FindPage(const std::string& pageUrl);

    // The marker blinking and the removal of discarded tabs; aborting
    // discards every active tab.
    void Tick(bool aborting);

    // --- full-screen ---
    bool Navigate(TNavigateAction action, std::string& name, std::string& path);
    // A left click on a thumbnail: with its full-sized file on disk the cursor
    // goes to it and name and path say what to show; otherwise the selection
    // toggles unless a download is pending.
    TThumbClick ClickThumb(int tabId, int position, std::string& name, std::string& path);
    int ViewTabId = 0;
    int ViewThumbIndex = 0;

    // --- state ---
    int TabCount() const { return Tabs_.Count(); }
    TGalleryTab& TabAt(int index) const;
    // The thumbnail at a position of a tab; null when out of range.
    TThumbEntry* Thumb(const TGalleryTab& tab, int position) const;
    TThumbEntry* ThumbEntry(int index) const;
    int ThumbEntryCount() const { return int(ThumbEntries_.size()); }
    int FullSizeEntryCount() const { return int(FullSizeEntries_.size()); }
    int VisibleTabs() const { return VisibleTabs_; }
    bool ThumbsFound() const { return ThumbsFound_; }
    void SetThumbsFound(bool found) { ThumbsFound_ = found; }
    bool TickPhase() const { return TickPhase_; }

private:
    // The first full-sized entry of the tab in this area, with its index in
    // FullSizes; null when none.
    TFullSizeEntry* Partner(const TGalleryTab& tab, int countArea, int* index = nullptr) const;
    TThumbEntry* ThumbInArea(const TGalleryTab& tab, int countArea) const;
    // The active tab of a transfer and its thumbnail; null when the transfer
    // no longer names one.
    TGalleryTab* TransferTab(const TGalleryTransfer& transfer, TThumbEntry*& thumb);
    void SetMarker(TGalleryTab& tab, TThumbEntry& thumb, TMarkerState state);
    void QueueFullSized(TGalleryTab& tab, TThumbEntry& thumb);
    int EntryIndex(const TGalleryTab& tab, int position) const;
    bool Qualifies(const TGalleryTab& tab, int position) const;
    // The first qualifying position from `from` in steps of step; -1 when none.
    int Search(const TGalleryTab& tab, int from, int step) const;
    // The active, shown tab next to shownOrder in the given direction.
    TGalleryTab* NeighbourTab(int shownOrder, bool forward) const;
    bool SearchTabs(TGalleryTab* cursorTab, TNavigateAction action, std::string& name,
                    std::string& path);
    bool Found(TGalleryTab& tab, int position, bool otherTab, std::string& name, std::string& path);
    std::string StorageFile(const std::string& url) const;

    TGVStringList Tabs_; // page addresses, sorted; objects: tab ids
    std::unordered_map<int, std::unique_ptr<TGalleryTab>> TabsById_;
    std::vector<std::unique_ptr<TThumbEntry>> ThumbEntries_;
    std::vector<std::unique_ptr<TFullSizeEntry>> FullSizeEntries_;
    int NextTabId_ = 0;
    int ShownCounter_ = 0;
    int VisibleTabs_ = -1; // -1: none, and the tabs' disappearance was told
    bool ThumbsFound_ = false;
    bool TickPhase_ = false;
};
