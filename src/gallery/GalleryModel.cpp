#include "GalleryModel.h"

#include "common/StringTools.h"
#include "crawl/UrlParts.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace {

constexpr int kCell = 113;    // a 110-pixel tile and a 3-pixel gap
constexpr int kFirstRow = 52; // below the buttons and the address label

// Appends url to list unless an address differing only in letter case is
// there already; keys holds the list's addresses case-folded, with their
// indexes, and firstInArea the first index of each link area. False when
// the address was there.
bool AddOnce(StringList& list, std::unordered_map<std::string, int>& keys,
             std::unordered_map<int, int>& firstInArea, const std::string& url, int countArea,
             std::intptr_t object) {
    const int index = list.Count();
    if (!keys.try_emplace(LowerCase(url), index).second) return false;
    firstInArea.try_emplace(countArea, index);
    list.Add(url, object);
    return true;
}

bool IsFile(const std::string& path) {
    if (path.empty()) return false;
    std::error_code ec;
    return std::filesystem::is_regular_file(path, ec);
}

void RemoveFile(const std::string& path) {
    std::error_code ec;
    std::filesystem::remove(path, ec);
}

// Full-sized pictures are JPEG pictures or, when videos are wanted, MPEG
// videos; thumbnails are JPEG or GIF pictures. The type is the link's
// extension, compared as it is.
bool WantedType(const std::string& linkType, char hrefOrSrc, bool videos) {
    if (hrefOrSrc == 'H')
        return linkType == "jpg" || linkType == "jpeg" ||
               (videos && (linkType == "mpeg" || linkType == "mpg"));
    if (hrefOrSrc == 'S') return linkType == "jpg" || linkType == "gif" || linkType == "jpeg";
    return false;
}

} // namespace

int TileColumns(int pageWidth) {
    return std::max(pageWidth / kCell, 1);
}

TileOrigin TileOriginAt(int index, int pageWidth) {
    const int columns = TileColumns(pageWidth);
    return {(index % columns) * kCell, (index / columns) * kCell + kFirstRow};
}

GalleryModel::GalleryModel() {
    ThumbEntries_.reserve(1000);
    FullSizeEntries_.reserve(1000);
}

GalleryModel::~GalleryModel() = default;

// --- link collection and page decision ---

void GalleryModel::CollectLink(const std::string& linkType, const std::string& url,
                               const std::string& localFile, int countArea, char hrefOrSrc,
                               const std::string& pageUrl) {
    if (countArea == 0 || !WantedType(linkType, hrefOrSrc, GetVideos)) return;
    int found = -1, insert = -1;
    GalleryTab* tab = nullptr;
    if (Tabs_.FindOrInsert(pageUrl, found, insert, true)) {
        tab = &TabAt(found);
    } else {
        auto fresh = std::make_unique<GalleryTab>();
        tab = fresh.get();
        tab->State = tsNew;
        tab->Id = ++NextTabId_;
        tab->PageAddress = pageUrl;
        Tabs_.SetObject(insert, tab->Id);
        TabsById_[tab->Id] = std::move(fresh);
        tab->State = tsActive;
        if (OnTabCreated) OnTabCreated(*tab);
    }
    if (tab->State != tsActive) return;

    if (hrefOrSrc == 'S') {
        const int position = tab->Thumbs.Count();
        if (!AddOnce(tab->Thumbs, tab->ThumbIndex, tab->FirstThumbInArea, url, countArea,
                     std::intptr_t(ThumbEntries_.size())))
            return;
        auto thumb = std::make_unique<ThumbEntry>();
        thumb->TabId = tab->Id;
        thumb->Position = position;
        thumb->CountArea = countArea;
        thumb->Address = url;
        ThumbEntries_.push_back(std::move(thumb));
    } else {
        if (!AddOnce(tab->FullSizes, tab->FullSizeIndex, tab->FirstFullSizeInArea, url, countArea,
                     std::intptr_t(FullSizeEntries_.size())))
            return;
        auto full = std::make_unique<FullSizeEntry>();
        full->CountArea = countArea;
        full->LocalPath = localFile;
        FullSizeEntries_.push_back(std::move(full));
    }
}

void GalleryModel::PageAnalysed(const std::string& pageUrl) {
    GalleryTab* tab = FindPage(pageUrl);
    if (tab != nullptr && tab->State == tsActive) {
        int queued = 0;
        if (tab->Thumbs.Count() > 0 && SharedThumbsPercent(*tab) < kThreshold) {
            for (int i = 0; i < tab->Thumbs.Count(); ++i) {
                ThumbEntry& thumb = *ThumbEntries_[std::size_t(tab->Thumbs.Object(i))];
                int partner = -1;
                if (Partner(*tab, thumb.CountArea, &partner) == nullptr) continue;
                thumb.FullSizeAddress = tab->FullSizes[partner];
                ThumbsFound_ = true;
                if (QueueRequest)
                    QueueRequest(
                        {tab->Thumbs[i], tab->PageAddress, -1, false, thumb.CountArea, 'S'});
                ++queued;
            }
            tab->Caption = std::to_string(queued);
            if (OnTabCaptionChanged) OnTabCaptionChanged(*tab);
        }
        if (queued == 0) tab->State = tsDiscarded;
    }
    if (ForgetFileLinks) ForgetFileLinks();
}

int GalleryModel::SharedThumbsPercent(const GalleryTab& tab) const {
    int paired = 0, shared = 0;
    for (int i = 0; i < tab.Thumbs.Count(); ++i) {
        const ThumbEntry& thumb = *ThumbEntries_[std::size_t(tab.Thumbs.Object(i))];
        if (Partner(tab, thumb.CountArea) == nullptr) continue;
        ++paired;
        const std::string key = LowerCase(tab.Thumbs[i]);
        for (const auto& [id, other] : TabsById_) {
            if (other.get() == &tab || other->State != tsActive) continue;
            // Letter case counts here: only the very same address is a repeat.
            // A tab holds one address per folded key, so the one found is the
            // only candidate.
            const auto found = other->ThumbIndex.find(key);
            if (found != other->ThumbIndex.end() && other->Thumbs[found->second] == tab.Thumbs[i])
                ++shared;
        }
    }
    return paired == 0 ? 0 : shared * 100 / paired;
}

// --- download handlers ---

void GalleryModel::FileReceived(const GalleryTransfer& transfer) {
    if (transfer.CountArea == 0 || transfer.Cancelled) return;
    ThumbEntry* thumb = nullptr;
    GalleryTab* tab = TransferTab(transfer, thumb);
    if (tab == nullptr) return;

    if (transfer.HrefOrSrc == 'H') {
        thumb->OnDisk = true;
        thumb->Requested = false;
        SetMarker(*tab, *thumb, MarkerState::OnDisk);
        return;
    }
    if (transfer.HrefOrSrc != 'S' || thumb->Loaded) return;

    if (!tab->Shown) {
        tab->Shown = true;
        tab->ShownOrder = ++ShownCounter_;
        if (OnShowTab) OnShowTab(*tab);
        if (VisibleTabs_ == -1) {
            VisibleTabs_ = 1;
            if (OnTabVisible) OnTabVisible(true);
        } else {
            ++VisibleTabs_;
        }
        CloseTabsBeyondLimit(*tab);
    }
    // Tiles follow the page's order of full-sized links.
    int cell = -1;
    Partner(*tab, transfer.CountArea, &cell);
    const ThumbLoad load =
        LoadThumb ? LoadThumb(*tab, *thumb, cell, transfer.LocalFile) : ThumbLoad::Shown;
    if (load != ThumbLoad::Pending) ThumbSettled(*tab, *thumb, load == ThumbLoad::Shown);
}

void GalleryModel::ThumbLoaded(int tabId, int position, bool shown) {
    GalleryTab* tab = FindTab(tabId);
    if (tab == nullptr || tab->State != tsActive) return;
    ThumbEntry* thumb = Thumb(*tab, position);
    if (thumb == nullptr || thumb->Loaded) return;
    ThumbSettled(*tab, *thumb, shown);
}

void GalleryModel::ThumbSettled(GalleryTab& tab, ThumbEntry& thumb, bool shown) {
    const FullSizeEntry* partner = Partner(tab, thumb.CountArea);
    if (shown && partner != nullptr) {
        thumb.NotAThumb = false;
        thumb.FullSizePath = partner->LocalPath;
        thumb.RepaintCountdown = 3;
        thumb.Loaded = true;
        if (IsFile(thumb.FullSizePath)) {
            thumb.OnDisk = true;
            thumb.Marker = MarkerState::OnDisk;
        } else {
            thumb.OnDisk = false;
            if (AutoGetFullSized) {
                thumb.Selected = true;
                thumb.Requested = true;
                thumb.Marker = MarkerState::Requested;
                QueueFullSized(tab, thumb);
            }
        }
    } else {
        thumb.NotAThumb = true;
    }
    if (OnThumbArrived) OnThumbArrived(tab, thumb);
}

void GalleryModel::FileFailed(const GalleryTransfer& transfer) {
    if (transfer.CountArea == 0 || transfer.Cancelled || transfer.HrefOrSrc != 'H') return;
    ThumbEntry* thumb = nullptr;
    GalleryTab* tab = TransferTab(transfer, thumb);
    if (tab == nullptr) return;
    // Still selected: "get selected" asks again.
    thumb->Requested = false;
    SetMarker(*tab, *thumb, MarkerState::Unselected);
}

void GalleryModel::ShowProgress(const GalleryTransfer& transfer, std::int64_t bytesRead) {
    ThumbEntry* thumb = ThumbAt(transfer.UserIndex);
    if (thumb == nullptr) return;
    GalleryTab* tab = FindTab(thumb->TabId);
    if (tab == nullptr || tab->State != tsActive) return;
    if (transfer.Cancelled) {
        thumb->Requested = false;
        SetMarker(*tab, *thumb, MarkerState::Unselected);
        return;
    }
    // Before the first bytes (-1) the count starts at nothing.
    const std::int64_t bytes = std::max<std::int64_t>(bytesRead, 0);
    thumb->MarkerText = transfer.ContentLength != 0
                            ? std::to_string(bytes * 100 / transfer.ContentLength) + "%"
                            : std::to_string(bytes / 1024) + "k";
    SetMarker(*tab, *thumb, MarkerState::Downloading);
}

// --- tab buttons ---

bool GalleryModel::GetFullSized(int tabId, bool all) {
    GalleryTab* tab = FindTab(tabId);
    if (tab == nullptr || tab->State != tsActive) return false;
    for (int i = 0; i < tab->Thumbs.Count(); ++i) {
        ThumbEntry& thumb = *Thumb(*tab, i);
        if (!thumb.Loaded || thumb.OnDisk || thumb.Requested || !(all || thumb.Selected)) continue;
        thumb.Selected = true;
        thumb.Requested = true;
        SetMarker(*tab, thumb, MarkerState::Requested);
        QueueFullSized(*tab, thumb);
    }
    return true;
}

bool GalleryModel::MarkThumbs(int tabId, bool select) {
    GalleryTab* tab = FindTab(tabId);
    if (tab == nullptr || tab->State != tsActive) return false;
    for (int i = 0; i < tab->Thumbs.Count(); ++i) {
        ThumbEntry& thumb = *Thumb(*tab, i);
        if (!thumb.Loaded || thumb.OnDisk || thumb.Requested) continue;
        thumb.Selected = select;
        SetMarker(*tab, thumb, select ? MarkerState::Selected : MarkerState::Unselected);
    }
    return true;
}

void GalleryModel::ThrowTab(GalleryTab& tab) {
    for (int i = 0; i < tab.Thumbs.Count(); ++i) {
        const ThumbEntry& thumb = *Thumb(tab, i);
        if (thumb.Loaded && thumb.OnDisk) RemoveFile(thumb.FullSizePath);
        // Stored thumbnails are read-only.
        const std::string stored = StorageFile(tab.Thumbs[i]);
        if (IsFile(stored)) {
            std::error_code ec;
            std::filesystem::permissions(stored, std::filesystem::perms::owner_write,
                                         std::filesystem::perm_options::add, ec);
            RemoveFile(stored);
        }
    }
    const std::string page = StorageFile(tab.PageAddress);
    if (!page.empty()) RemoveFile(page);
}

void GalleryModel::CloseTab(GalleryTab& tab) {
    if (tab.State != tsActive) return;
    if (OnHideTab) OnHideTab(tab);
    tab.State = tsDiscarded;
    if (tab.Shown) {
        tab.Shown = false;
        --VisibleTabs_;
    }
}

void GalleryModel::CloseTabs(bool throwFiles) {
    for (int i = 0; i < Tabs_.Count(); ++i) {
        GalleryTab& tab = TabAt(i);
        if (tab.State != tsActive) continue;
        if (throwFiles) ThrowTab(tab);
        CloseTab(tab);
    }
}

void GalleryModel::CancelFullSizedRequests() {
    for (int i = 0; i < Tabs_.Count(); ++i) {
        GalleryTab& tab = TabAt(i);
        if (tab.State != tsActive) continue;
        for (int j = 0; j < tab.Thumbs.Count(); ++j) {
            ThumbEntry& thumb = *Thumb(tab, j);
            if (!thumb.Loaded || !thumb.Requested) continue;
            thumb.Requested = false;
            thumb.Selected = false;
            SetMarker(tab, thumb, MarkerState::Unselected);
        }
    }
}

bool GalleryModel::IsIdle(const GalleryTab& tab) const {
    for (int i = 0; i < tab.Thumbs.Count(); ++i) {
        const ThumbEntry* thumb = Thumb(tab, i);
        // A picture on disk needs nothing more, selected or not.
        if (thumb != nullptr && (thumb->Requested || (thumb->Selected && !thumb->OnDisk)))
            return false;
    }
    return true;
}

void GalleryModel::CloseTabsBeyondLimit(const GalleryTab& justShown) {
    while (VisibleTabs_ > MaxNumberOfTabs) {
        GalleryTab* oldest = nullptr;
        for (const auto& [id, tab] : TabsById_) {
            if (tab.get() == &justShown || tab->State != tsActive || !tab->Shown) continue;
            if (oldest != nullptr && tab->ShownOrder > oldest->ShownOrder) continue;
            if (!IsIdle(*tab) || (IsFrontTab && IsFrontTab(*tab))) continue;
            oldest = tab.get();
        }
        if (oldest == nullptr) return; // the limit waits until a tab is idle
        CloseTab(*oldest);
    }
}

void GalleryModel::PurgeTabs() {
    for (int i = 0; i < Tabs_.Count();) {
        const GalleryTab& tab = TabAt(i);
        if (!tab.Shown || tab.State == tsDiscarded)
            DeleteTab(i);
        else
            ++i;
    }
}

void GalleryModel::ClearTabs() {
    while (Tabs_.Count() > 0)
        DeleteTab(0);
    Tabs_.Clear();
    NextTabId_ = 0;
    ShownCounter_ = 0;
}

void GalleryModel::DeleteTab(int index) {
    const int id = int(Tabs_.Object(index));
    GalleryTab& tab = TabAt(index);
    if (OnTabDeleting) OnTabDeleting(tab);
    // The slots stay: indexes into the entry lists hold for the whole run.
    for (int i = 0; i < tab.Thumbs.Count(); ++i)
        ThumbEntries_[std::size_t(tab.Thumbs.Object(i))].reset();
    for (int i = 0; i < tab.FullSizes.Count(); ++i)
        FullSizeEntries_[std::size_t(tab.FullSizes.Object(i))].reset();
    Tabs_.Delete(index);
    TabsById_.erase(id);
}

int GalleryModel::FindTab(int id, GalleryTab*& tab) const {
    tab = nullptr;
    for (int i = 0; i < Tabs_.Count(); ++i) {
        if (int(Tabs_.Object(i)) == id) {
            tab = &TabAt(i);
            return i;
        }
    }
    return -1;
}

GalleryTab* GalleryModel::FindTab(int id) const {
    const auto it = TabsById_.find(id);
    return it == TabsById_.end() ? nullptr : it->second.get();
}

GalleryTab* GalleryModel::FindPage(const std::string& pageUrl) {
    int found = -1, insert = -1;
    return Tabs_.FindOrInsert(pageUrl, found, insert, false) ? &TabAt(found) : nullptr;
}

// --- the tick ---

void GalleryModel::Tick(bool aborting) {
    TickPhase_ = !TickPhase_;
    if (VisibleTabs_ == 0) {
        VisibleTabs_ = -1;
        if (OnTabVisible) OnTabVisible(false);
    }
    for (int i = 0; i < Tabs_.Count();) {
        GalleryTab& tab = TabAt(i);
        if (tab.State == tsDiscarded) {
            DeleteTab(i); // the next tab moves into its place
            continue;
        }
        ++i;
        if (tab.State != tsActive) continue;
        if (aborting) {
            if (OnHideTab) OnHideTab(tab);
            tab.Shown = false;
            tab.State = tsDiscarded;
            continue;
        }
        if (!TickPhase_) continue;
        const bool front = IsFrontTab && IsFrontTab(tab);
        for (int j = 0; j < tab.Thumbs.Count(); ++j) {
            ThumbEntry& thumb = *Thumb(tab, j);
            if (!thumb.Loaded) continue;
            if (front && thumb.RepaintCountdown > 0 && --thumb.RepaintCountdown == 0 &&
                OnRepaintMarker)
                OnRepaintMarker(tab, thumb);
            // Selected and requested thumbnails blink every second tick.
            if (thumb.Marker == MarkerState::Requested)
                SetMarker(tab, thumb, MarkerState::Selected);
            else if (thumb.Marker == MarkerState::Selected)
                SetMarker(tab, thumb, MarkerState::Requested);
        }
    }
}

// --- full-screen navigation ---

bool GalleryModel::Navigate(NavigateAction action, std::string& name, std::string& path) {
    GalleryTab* tab = FindTab(ViewTabId);
    if (tab == nullptr) return false;
    const bool active = tab->State == tsActive;
    switch (action) {
    case naCurrent:
        return active && Qualifies(*tab, ViewThumbIndex) &&
               Found(*tab, ViewThumbIndex, false, name, path);
    case naNext: {
        const int p = active ? Search(*tab, ViewThumbIndex + 1, 1) : -1;
        if (p >= 0) return Found(*tab, p, false, name, path);
        return SearchTabs(tab, naNextTab, name, path);
    }
    case naPrevious: {
        const int p = active ? Search(*tab, ViewThumbIndex - 1, -1) : -1;
        if (p >= 0) return Found(*tab, p, false, name, path);
        return SearchTabs(tab, naPreviousTabLast, name, path);
    }
    case naNextTab:
    case naPreviousTab:
    case naPreviousTabLast:
        return SearchTabs(tab, action, name, path);
    }
    return false;
}

ThumbClick GalleryModel::ClickThumb(int tabId, int position, std::string& name, std::string& path) {
    GalleryTab* tab = FindTab(tabId);
    if (tab == nullptr || tab->State != tsActive) return ThumbClick::Ignored;
    ThumbEntry* thumb = Thumb(*tab, position);
    if (thumb == nullptr || !thumb->Loaded) return ThumbClick::Ignored;
    ViewTabId = tabId;
    ViewThumbIndex = position;
    if (Navigate(naCurrent, name, path)) return ThumbClick::ShowFullScreen;
    if (thumb->Requested) return ThumbClick::Ignored;
    thumb->Selected = !thumb->Selected;
    SetMarker(*tab, *thumb, thumb->Selected ? MarkerState::Selected : MarkerState::Unselected);
    return ThumbClick::Toggled;
}

bool GalleryModel::SearchTabs(GalleryTab* cursorTab, NavigateAction action, std::string& name,
                              std::string& path) {
    const bool forward = action == naNextTab;
    const bool fromLast = action == naPreviousTabLast;
    const GalleryTab* first = nullptr;
    int order = cursorTab->ShownOrder;
    while (GalleryTab* tab = NeighbourTab(order, forward)) {
        if (first == nullptr) first = tab;
        const int p = fromLast ? Search(*tab, tab->Thumbs.Count() - 1, -1) : Search(*tab, 0, 1);
        if (p >= 0) return Found(*tab, p, true, name, path);
        order = tab->ShownOrder;
    }
    // A tab move that finds nothing leaves the cursor on the first tab tried.
    if (first != nullptr) ViewTabId = first->Id;
    return false;
}

GalleryTab* GalleryModel::NeighbourTab(int shownOrder, bool forward) const {
    GalleryTab* best = nullptr;
    for (const auto& [id, tab] : TabsById_) {
        if (tab->State != tsActive) continue;
        const int order = tab->ShownOrder;
        if (forward) {
            if (order != -1 && order > shownOrder && (best == nullptr || order < best->ShownOrder))
                best = tab.get();
        } else if (order > 0 && order < shownOrder &&
                   (best == nullptr || order > best->ShownOrder)) {
            best = tab.get();
        }
    }
    return best;
}

bool GalleryModel::Found(GalleryTab& tab, int position, bool otherTab, std::string& name,
                         std::string& path) {
    ViewTabId = tab.Id;
    ViewThumbIndex = position;
    name = tab.Thumbs[position];
    path = Thumb(tab, position)->FullSizePath;
    if (otherTab && OnBringToFront) OnBringToFront(tab);
    return true;
}

bool GalleryModel::Qualifies(const GalleryTab& tab, int position) const {
    const ThumbEntry* thumb = Thumb(tab, position);
    return thumb != nullptr && thumb->Loaded && thumb->OnDisk;
}

int GalleryModel::Search(const GalleryTab& tab, int from, int step) const {
    if (step < 0) from = std::min(from, tab.Thumbs.Count() - 1);
    for (int i = from; i >= 0 && i < tab.Thumbs.Count(); i += step)
        if (Qualifies(tab, i)) return i;
    return -1;
}

// --- state ---

GalleryTab& GalleryModel::TabAt(int index) const {
    return *TabsById_.at(int(Tabs_.Object(index)));
}

ThumbEntry* GalleryModel::Thumb(const GalleryTab& tab, int position) const {
    if (position < 0 || position >= tab.Thumbs.Count()) return nullptr;
    return ThumbAt(int(tab.Thumbs.Object(position)));
}

ThumbEntry* GalleryModel::ThumbAt(int index) const {
    if (index < 0 || index >= int(ThumbEntries_.size())) return nullptr;
    return ThumbEntries_[std::size_t(index)].get();
}

FullSizeEntry* GalleryModel::Partner(const GalleryTab& tab, int countArea, int* index) const {
    const auto found = tab.FirstFullSizeInArea.find(countArea);
    if (found == tab.FirstFullSizeInArea.end()) return nullptr;
    if (index != nullptr) *index = found->second;
    return FullSizeEntries_[std::size_t(tab.FullSizes.Object(found->second))].get();
}

ThumbEntry* GalleryModel::ThumbInArea(const GalleryTab& tab, int countArea) const {
    const auto found = tab.FirstThumbInArea.find(countArea);
    return found == tab.FirstThumbInArea.end() ? nullptr : Thumb(tab, found->second);
}

GalleryTab* GalleryModel::TransferTab(const GalleryTransfer& transfer, ThumbEntry*& thumb) {
    thumb = nullptr;
    GalleryTab* tab = FindPage(transfer.ReferringUrl);
    if (tab == nullptr || tab->State != tsActive) return nullptr;
    if (Partner(*tab, transfer.CountArea) == nullptr) return nullptr;
    thumb = ThumbInArea(*tab, transfer.CountArea);
    return thumb == nullptr ? nullptr : tab;
}

void GalleryModel::SetMarker(GalleryTab& tab, ThumbEntry& thumb, MarkerState state) {
    thumb.Marker = state;
    if (state != MarkerState::Downloading) thumb.MarkerText.clear();
    if (OnMarkerChanged) OnMarkerChanged(tab, thumb);
}

void GalleryModel::QueueFullSized(GalleryTab& tab, ThumbEntry& thumb) {
    int partner = -1;
    if (Partner(tab, thumb.CountArea, &partner) == nullptr) return;
    thumb.FullSizeAddress = tab.FullSizes[partner];
    if (QueueRequest)
        QueueRequest({thumb.FullSizeAddress, tab.PageAddress,
                      int(tab.Thumbs.Object(thumb.Position)), GetFullSizeFirst, thumb.CountArea,
                      'H'});
}

std::string GalleryModel::StorageFile(const std::string& url) const {
    if (DownloadPath.empty()) return {};
    UrlParts parts;
    return parts.Split(url, DownloadPath) ? parts.LocalFileName() : std::string();
}
