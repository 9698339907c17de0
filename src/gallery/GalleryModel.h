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

enum TabState : std::uint8_t { tsNew = 0, tsActive = 1, tsDiscarded = 2 };

// What a tile's marker shows.
enum class MarkerState : std::uint8_t { Unselected, Selected, Requested, Downloading, OnDisk };

struct ThumbEntry {
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
    MarkerState Marker = MarkerState::Unselected;
    std::string MarkerText;   // the progress while downloading
    int RepaintCountdown = 0; // ticks on the front page until the marker is redrawn
    std::string FullSizePath; // the partner's local file, once the thumbnail arrived

    int ThumbPosition() const { return Position; }
};

struct FullSizeEntry {
    int CountArea = 0;
    std::string LocalPath; // where the storage layout keeps the full-sized file
};

struct GalleryTab {
    int Id = 0;
    int ShownOrder = -1; // the order of first showing; -1 until then
    TabState State = tsNew;
    bool Shown = false; // visible as a tab of the page control
    std::string PageAddress;
    std::string Caption = "1";
    // Addresses in order of discovery; each object is an index into the
    // model's thumbnail or full-sized entries.
    StringList Thumbs;
    StringList FullSizes;
    // Look-ups into the lists above, so that a page of many links is
    // collected and paired in linear time: each address with its letter case
    // folded to its index, and each link area to the index of its first entry.
    std::unordered_map<std::string, int> ThumbIndex, FullSizeIndex;
    std::unordered_map<int, int> FirstThumbInArea, FirstFullSizeInArea;
};

// A download the gallery wants from the file download manager. Retries,
// depth and get action are the controller's.
struct GalleryRequest {
    std::string Url;
    std::string ReferringUrl; // the page address
    int UserIndex = -1;       // the thumbnail entry, for full-sized requests
    bool Priority = false;
    int CountArea = 0;
    char HrefOrSrc = ' ';
};

// What the download handlers need to know of a finished, failed or running
// request.
struct GalleryTransfer {
    std::string ReferringUrl;
    int CountArea = 0;
    char HrefOrSrc = ' ';
    int UserIndex = -1;
    bool Cancelled = false;
    std::string LocalFile;
    std::int64_t ContentLength = 0;
};

// How the loading of an arrived thumbnail into its tile began: decided at
// once, or pending until its picture is decoded.
enum class ThumbLoad { NotShown, Shown, Pending };

// What a click on a thumbnail comes to.
enum class ThumbClick { Ignored, ShowFullScreen, Toggled };

// The cell of a tile in a page of the given width: 113-pixel cells below the
// buttons and the address label; a page narrower than one cell has one column.
struct TileOrigin {
    int Left = 0;
    int Top = 0;
};
TileOrigin TileOriginAt(int index, int pageWidth);
int TileColumns(int pageWidth);

class GalleryModel {
public:
    static constexpr int kThreshold = 80; // shared-thumbs percentage that drops a page

    GalleryModel();
    ~GalleryModel();
    GalleryModel(const GalleryModel&) = delete;
    GalleryModel& operator=(const GalleryModel&) = delete;

    // --- settings, set by the controller ---
    bool GetFullSizeFirst = true; // priority of full-sized requests
    bool AutoGetFullSized = false;
    // Video links (MPEG) count as full-sized pictures.
    bool GetVideos = true;
    // Beyond this many shown tabs, showing one more closes the oldest idle
    // ones (see CloseTabsBeyondLimit).
    int MaxNumberOfTabs = 10;
    std::string DownloadPath; // the storage folder, for throwing files

    // --- hooks to the widgets and the downloader; each is optional ---
    std::function<void(GalleryTab&)> OnTabCreated;        // build the page, hidden
    std::function<void(GalleryTab&)> OnTabCaptionChanged; // the thumbnail count
    std::function<void(GalleryTab&)> OnShowTab;           // attach the page and show it
    std::function<void(GalleryTab&)> OnHideTab;
    std::function<void(GalleryTab&)> OnBringToFront; // make it the active page
    std::function<void(GalleryTab&)> OnTabDeleting;  // free the page and its tiles
    std::function<bool(const GalleryTab&)> IsFrontTab;
    // Builds the tile in the given cell and starts loading the thumbnail
    // file into it. Pending is ended by ThumbLoaded. Unset, every thumbnail
    // counts as shown.
    std::function<ThumbLoad(GalleryTab&, ThumbEntry&, int cell, const std::string& file)> LoadThumb;
    // The thumbnail was handled: shown (Loaded, maybe OnDisk, with its
    // marker set) or NotAThumb.
    std::function<void(GalleryTab&, ThumbEntry&)> OnThumbArrived;
    std::function<void(GalleryTab&, ThumbEntry&)> OnMarkerChanged;
    std::function<void(GalleryTab&, ThumbEntry&)> OnRepaintMarker;
    std::function<void(const GalleryRequest&)> QueueRequest;
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
    int SharedThumbsPercent(const GalleryTab& tab) const;

    // --- download handlers ---
    void FileReceived(const GalleryTransfer& transfer);
    void FileFailed(const GalleryTransfer& transfer);
    void ShowProgress(const GalleryTransfer& transfer, std::int64_t bytesRead);
    // A pending thumbnail load ended: its tile shows it, or not. Ignored when
    // the tab is no longer active or the thumbnail already shows.
    void ThumbLoaded(int tabId, int position, bool shown);

    // --- tab buttons; false when the tab is gone or not active ---
    bool GetFullSized(int tabId, bool all);
    bool MarkThumbs(int tabId, bool select);
    void ThrowTab(GalleryTab& tab);
    void CloseTab(GalleryTab& tab);
    void CloseTabs(bool throwFiles);
    void CancelFullSizedRequests();
    void PurgeTabs();
    // Closes the oldest shown tabs, as their "close" button does, while more
    // than MaxNumberOfTabs are shown. Only idle tabs go: none of their
    // thumbnails waits for its full-sized picture or is selected without it,
    // and the tab is neither in front nor the one just shown.
    void CloseTabsBeyondLimit(const GalleryTab& justShown);
    // Nothing of the tab is selected or being fetched.
    bool IsIdle(const GalleryTab& tab) const;
    void ClearTabs();
    void DeleteTab(int index);
    // The index in Tabs, or -1.
    int FindTab(int id, GalleryTab*& tab) const;
    GalleryTab* FindTab(int id) const;
    GalleryTab* FindPage(const std::string& pageUrl);

    // The marker blinking and the removal of discarded tabs; aborting
    // discards every active tab.
    void Tick(bool aborting);

    // --- full-screen ---
    bool Navigate(NavigateAction action, std::string& name, std::string& path);
    // A left click on a thumbnail: with its full-sized file on disk the cursor
    // goes to it and name and path say what to show; otherwise the selection
    // toggles unless a download is pending.
    ThumbClick ClickThumb(int tabId, int position, std::string& name, std::string& path);
    int ViewTabId = 0;
    int ViewThumbIndex = 0;

    // --- state ---
    int TabCount() const { return Tabs_.Count(); }
    GalleryTab& TabAt(int index) const;
    // The thumbnail at a position of a tab; null when out of range.
    ThumbEntry* Thumb(const GalleryTab& tab, int position) const;
    ThumbEntry* ThumbAt(int index) const;
    int ThumbEntryCount() const { return int(ThumbEntries_.size()); }
    int FullSizeEntryCount() const { return int(FullSizeEntries_.size()); }
    int VisibleTabs() const { return VisibleTabs_; }
    bool ThumbsFound() const { return ThumbsFound_; }
    void SetThumbsFound(bool found) { ThumbsFound_ = found; }
    bool TickPhase() const { return TickPhase_; }

private:
    // The first full-sized entry of the tab in this area, with its index in
    // FullSizes; null when none.
    FullSizeEntry* Partner(const GalleryTab& tab, int countArea, int* index = nullptr) const;
    ThumbEntry* ThumbInArea(const GalleryTab& tab, int countArea) const;
    // The active tab of a transfer and its thumbnail; null when the transfer
    // no longer names one.
    GalleryTab* TransferTab(const GalleryTransfer& transfer, ThumbEntry*& thumb);
    // The thumbnail is in its tile, or could not be shown there.
    void ThumbSettled(GalleryTab& tab, ThumbEntry& thumb, bool shown);
    void SetMarker(GalleryTab& tab, ThumbEntry& thumb, MarkerState state);
    void QueueFullSized(GalleryTab& tab, ThumbEntry& thumb);
    int EntryIndex(const GalleryTab& tab, int position) const;
    bool Qualifies(const GalleryTab& tab, int position) const;
    // The first qualifying position from `from` in steps of step; -1 when none.
    int Search(const GalleryTab& tab, int from, int step) const;
    // The active, shown tab next to shownOrder in the given direction.
    GalleryTab* NeighbourTab(int shownOrder, bool forward) const;
    bool SearchTabs(GalleryTab* cursorTab, NavigateAction action, std::string& name,
                    std::string& path);
    bool Found(GalleryTab& tab, int position, bool otherTab, std::string& name, std::string& path);
    std::string StorageFile(const std::string& url) const;

    StringList Tabs_; // page addresses, sorted; objects: tab ids
    std::unordered_map<int, std::unique_ptr<GalleryTab>> TabsById_;
    std::vector<std::unique_ptr<ThumbEntry>> ThumbEntries_;
    std::vector<std::unique_ptr<FullSizeEntry>> FullSizeEntries_;
    int NextTabId_ = 0;
    int ShownCounter_ = 0;
    int VisibleTabs_ = -1; // -1: none, and the tabs' disappearance was told
    bool ThumbsFound_ = false;
    bool TickPhase_ = false;
};
