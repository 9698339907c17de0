// The gallery's state without widgets: which links are recorded, how a page's
// thumbnails pair with its full-sized links, when a page repeating other tabs
// is dropped, how thumbnails move through selection and download, and how the
// full-screen cursor walks the pictures on disk across tabs.
#include "gallery/GalleryModel.h"

#include "crawl/UrlParts.h"

#include "TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace {

class GalleryModelTest : public ::testing::Test {
protected:
    GalleryModelTest() {
        model.QueueRequest = [this](const GalleryRequest& r) { requests.push_back(r); };
        model.OnTabVisible = [this](bool visible) { visibility.push_back(visible); };
        model.OnBringToFront = [this](GalleryTab& tab) { fronts.push_back(tab.Id); };
        model.ForgetFileLinks = [this] { ++forgets; };
    }

    // Pictures of a page lie on a picture host, in a folder named after the
    // page's file.
    static std::string Folder(const std::string& page) {
        return "http://img.example/" + page.substr(page.rfind('/') + 1);
    }
    static std::string Thumb(const std::string& page, int i) {
        return Folder(page) + "/t" + std::to_string(i) + ".jpg";
    }
    static std::string Big(const std::string& page, int i) {
        return Folder(page) + "/big" + std::to_string(i) + ".jpg";
    }
    std::string BigFile(const std::string& page, int i) const {
        return dir.Sub(std::to_string(std::hash<std::string>{}(page)) + "/big" + std::to_string(i) +
                       ".jpg");
    }

    // A page whose thumbnails each have a full-sized partner in their own
    // link area (areas 1, 2, ...), then decided.
    void AddPage(const std::string& page, const std::vector<std::string>& thumbs) {
        for (std::size_t i = 0; i < thumbs.size(); ++i) {
            const int area = int(i) + 1;
            model.CollectLink("jpg", thumbs[i], "", area, 'S', page);
            model.CollectLink("jpg", Big(page, area), BigFile(page, area), area, 'H', page);
        }
        model.PageAnalysed(page);
    }
    void AddPage(const std::string& page, int count) {
        std::vector<std::string> thumbs;
        for (int i = 1; i <= count; ++i)
            thumbs.push_back(Thumb(page, i));
        AddPage(page, thumbs);
    }

    void Arrive(const std::string& page, int area, char hrefOrSrc) {
        model.FileReceived({page, area, hrefOrSrc, -1, false, dir.Sub("thumb.jpg"), 0});
    }
    // Every thumbnail of the page arrives; those in onDisk get their
    // full-sized picture too.
    void Show(const std::string& page, int count, const std::vector<int>& onDisk) {
        for (int area = 1; area <= count; ++area)
            Arrive(page, area, 'S');
        for (int area : onDisk)
            Arrive(page, area, 'H');
    }

    GalleryTab& Tab(const std::string& page) {
        GalleryTab* tab = model.FindPage(page);
        EXPECT_NE(tab, nullptr) << page;
        return *tab;
    }
    ThumbEntry& Entry(const std::string& page, int position) {
        return *model.Thumb(Tab(page), position);
    }

    TempDir dir;
    GalleryModel model;
    std::vector<GalleryRequest> requests;
    std::vector<bool> visibility;
    std::vector<int> fronts;
    int forgets = 0;
};

const std::string kPage = "http://pics.example/gallery.html";

} // namespace

TEST_F(GalleryModelTest, RecordsOnlyWantedTypesInsideLinkAreas) {
    model.CollectLink("jpg", "http://x/outside.jpg", "", 0, 'S', kPage);
    model.CollectLink("png", "http://x/t.png", "", 1, 'S', kPage);
    model.CollectLink("gif", "http://x/big.gif", "", 1, 'H', kPage);
    model.CollectLink("JPG", "http://x/upper.JPG", "", 1, 'S', kPage);
    model.CollectLink("jpg", "http://x/neither.jpg", "", 1, ' ', kPage);
    EXPECT_EQ(model.TabCount(), 0);

    for (const char* type : {"jpg", "gif", "jpeg"})
        model.CollectLink(type, std::string("http://x/t.") + type, "", 1, 'S', kPage);
    for (const char* type : {"jpg", "jpeg", "mpeg", "mpg"})
        model.CollectLink(type, std::string("http://x/big.") + type, "", 1, 'H', kPage);
    ASSERT_EQ(model.TabCount(), 1);
    EXPECT_EQ(Tab(kPage).Thumbs.Count(), 3);
    EXPECT_EQ(Tab(kPage).FullSizes.Count(), 4);
    EXPECT_EQ(Tab(kPage).Id, 1);
    EXPECT_EQ(Tab(kPage).State, tsActive);
}

TEST_F(GalleryModelTest, SameAddressOnOnePageIsRecordedOnceWhateverItsCase) {
    std::vector<int> created;
    model.OnTabCreated = [&](GalleryTab& tab) { created.push_back(tab.Id); };
    model.CollectLink("jpg", "http://x/A.jpg", "", 1, 'S', kPage);
    model.CollectLink("jpg", "http://X/a.JPG", "", 2, 'S', kPage);
    model.CollectLink("jpg", "http://x/big.jpg", "/s/big.jpg", 1, 'H', kPage);
    model.CollectLink("jpg", "http://x/BIG.jpg", "/s/BIG.jpg", 2, 'H', kPage);
    model.CollectLink("jpg", "http://x/other.jpg", "", 1, 'S', "http://pics.example/two.html");
    EXPECT_EQ(created, (std::vector<int>{1, 2}));
    const GalleryTab& tab = Tab(kPage);
    ASSERT_EQ(tab.Thumbs.Count(), 1);
    EXPECT_EQ(model.Thumb(tab, 0)->CountArea, 1);
    EXPECT_EQ(model.Thumb(tab, 0)->Address, "http://x/A.jpg");
    EXPECT_EQ(tab.FullSizes.Count(), 1);
}

TEST_F(GalleryModelTest, PairedThumbnailsAreQueuedAndTheRestIsNot) {
    // Areas 1 and 3 pair; area 2 has no full-sized link, area 4 no thumbnail.
    model.CollectLink("gif", "http://x/t1.gif", "", 1, 'S', kPage);
    model.CollectLink("jpg", "http://x/t2.jpg", "", 2, 'S', kPage);
    model.CollectLink("jpg", "http://x/t3.jpg", "", 3, 'S', kPage);
    model.CollectLink("jpg", "http://x/b4.jpg", "/s/b4.jpg", 4, 'H', kPage);
    model.CollectLink("jpg", "http://x/b3.jpg", "/s/b3.jpg", 3, 'H', kPage);
    model.CollectLink("mpg", "http://x/b1.mpg", "/s/b1.mpg", 1, 'H', kPage);
    model.PageAnalysed(kPage);

    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].Url, "http://x/t1.gif");
    EXPECT_EQ(requests[0].ReferringUrl, kPage);
    EXPECT_EQ(requests[0].UserIndex, -1);
    EXPECT_FALSE(requests[0].Priority);
    EXPECT_EQ(requests[0].CountArea, 1);
    EXPECT_EQ(requests[0].HrefOrSrc, 'S');
    EXPECT_EQ(requests[1].Url, "http://x/t3.jpg");
    EXPECT_EQ(requests[1].CountArea, 3);
    EXPECT_TRUE(model.ThumbsFound());
    EXPECT_EQ(Tab(kPage).Caption, "2");
    EXPECT_EQ(Tab(kPage).State, tsActive);
    EXPECT_EQ(Entry(kPage, 0).FullSizeAddress, "http://x/b1.mpg");
    EXPECT_EQ(forgets, 1);

    // The tile goes to the cell of the partner among the full-sized links.
    std::vector<int> cells;
    model.LoadThumb = [&](GalleryTab&, ThumbEntry&, int cell, const std::string&) {
        cells.push_back(cell);
        return ThumbLoad::Shown;
    };
    Arrive(kPage, 3, 'S');
    Arrive(kPage, 1, 'S');
    EXPECT_EQ(cells, (std::vector<int>{1, 2}));
    EXPECT_EQ(Entry(kPage, 2).FullSizePath, "/s/b3.jpg");
}

TEST_F(GalleryModelTest, PageWithoutPairsIsDiscardedAndGoneAfterTheNextTick) {
    model.CollectLink("jpg", "http://x/t1.jpg", "", 1, 'S', kPage);
    model.CollectLink("jpg", "http://x/b2.jpg", "", 2, 'H', kPage);
    model.PageAnalysed(kPage);
    EXPECT_TRUE(requests.empty());
    EXPECT_FALSE(model.ThumbsFound());
    EXPECT_EQ(Tab(kPage).State, tsDiscarded);
    EXPECT_EQ(forgets, 1);

    // A discarded tab takes no more links.
    model.CollectLink("jpg", "http://x/b1.jpg", "", 1, 'H', kPage);
    EXPECT_EQ(Tab(kPage).FullSizes.Count(), 1);

    model.Tick(false);
    EXPECT_EQ(model.TabCount(), 0);
    EXPECT_EQ(model.ThumbAt(0), nullptr);
    EXPECT_EQ(model.ThumbEntryCount(), 1); // the slot stays

    // A page without any wanted link has no tab, and the scanner still forgets.
    model.PageAnalysed("http://x/empty.html");
    EXPECT_EQ(forgets, 2);
}

TEST_F(GalleryModelTest, PageRepeatingOtherTabsIsDroppedAtEightyPercent) {
    const std::string index = "http://x/index.html";
    AddPage(index, 100);
    ASSERT_EQ(requests.size(), 100u);

    auto pageSharing = [&](const std::string& page, int shared, int total) {
        std::vector<std::string> thumbs;
        for (int i = 1; i <= total; ++i)
            thumbs.push_back(i <= shared ? Thumb(index, i) : Thumb(page, i));
        AddPage(page, thumbs);
    };
    requests.clear();
    pageSharing("http://x/a.html", 80, 100);
    EXPECT_TRUE(requests.empty());
    EXPECT_EQ(Tab("http://x/a.html").State, tsDiscarded);

    pageSharing("http://x/b.html", 79, 100);
    EXPECT_EQ(requests.size(), 100u);
    EXPECT_EQ(Tab("http://x/b.html").State, tsActive);

    // Every tab that repeats a thumbnail counts: one found on two tabs is 200 %.
    model.CollectLink("jpg", Thumb(index, 1), "", 1, 'S', "http://x/c.html");
    const GalleryTab& c = Tab("http://x/c.html");
    EXPECT_EQ(model.SharedThumbsPercent(c), 0); // no partner, nothing counts
    model.CollectLink("jpg", Big("http://x/c.html", 1), "", 1, 'H', "http://x/c.html");
    EXPECT_EQ(model.SharedThumbsPercent(c), 200);
}

TEST_F(GalleryModelTest, OnlyTheSameAddressOnAnActiveTabIsARepeat) {
    const std::string index = "http://x/index.html";
    AddPage(index, 5);
    std::vector<std::string> upper;
    for (int i = 1; i <= 5; ++i) {
        std::string t = Thumb(index, i);
        t[t.size() - 6] = 'T'; // ".../T1.jpg" is not ".../t1.jpg"
        upper.push_back(t);
    }
    requests.clear();
    AddPage("http://x/upper.html", upper);
    EXPECT_EQ(requests.size(), 5u);

    // A closed tab no longer counts.
    model.CloseTab(Tab(index));
    model.CloseTab(Tab("http://x/upper.html"));
    requests.clear();
    AddPage("http://x/again.html", 5);
    std::vector<std::string> same;
    for (int i = 1; i <= 5; ++i)
        same.push_back(Thumb(index, i));
    AddPage("http://x/same.html", same);
    EXPECT_EQ(requests.size(), 10u);
}

TEST_F(GalleryModelTest, FirstThumbnailShowsTheTabAndClosingTheLastHidesOnTheNextTick) {
    std::vector<int> shown;
    model.OnShowTab = [&](GalleryTab& tab) { shown.push_back(tab.Id); };
    AddPage("http://x/1.html", 2);
    AddPage("http://x/2.html", 1);
    AddPage("http://x/3.html", 1); // never gets a thumbnail
    EXPECT_EQ(model.VisibleTabs(), -1);
    Arrive("http://x/2.html", 1, 'S');
    Arrive("http://x/1.html", 2, 'S');
    Arrive("http://x/1.html", 1, 'S');
    EXPECT_EQ(shown, (std::vector<int>{2, 1}));
    EXPECT_EQ(visibility, std::vector<bool>{true});
    EXPECT_EQ(model.VisibleTabs(), 2);
    EXPECT_EQ(Tab("http://x/2.html").ShownOrder, 1);
    EXPECT_EQ(Tab("http://x/1.html").ShownOrder, 2);
    EXPECT_EQ(Tab("http://x/3.html").ShownOrder, -1);

    model.CloseTabs(false);
    EXPECT_EQ(model.VisibleTabs(), 0);
    EXPECT_EQ(visibility.size(), 1u);
    model.Tick(false);
    EXPECT_EQ(visibility, (std::vector<bool>{true, false}));
    EXPECT_EQ(model.VisibleTabs(), -1);
    EXPECT_EQ(model.TabCount(), 0);

    // A request of a page that is gone changes nothing.
    Arrive("http://x/1.html", 1, 'H');
    EXPECT_EQ(model.TabCount(), 0);
}

TEST_F(GalleryModelTest, ThumbnailThatCannotBeShownStaysOutOfSelection) {
    AddPage(kPage, 2);
    model.LoadThumb = [](GalleryTab&, ThumbEntry& thumb, int, const std::string&) {
        return thumb.CountArea != 1 ? ThumbLoad::Shown : ThumbLoad::NotShown;
    };
    int arrived = 0;
    model.OnThumbArrived = [&](GalleryTab&, ThumbEntry&) { ++arrived; };
    Arrive(kPage, 1, 'S');
    Arrive(kPage, 2, 'S');
    Arrive(kPage, 2, 'S'); // a loaded thumbnail is not loaded again
    EXPECT_EQ(arrived, 2);
    EXPECT_TRUE(Entry(kPage, 0).NotAThumb);
    EXPECT_FALSE(Entry(kPage, 0).Loaded);
    EXPECT_TRUE(Entry(kPage, 1).Loaded);

    model.MarkThumbs(Tab(kPage).Id, true);
    EXPECT_FALSE(Entry(kPage, 0).Selected);
    EXPECT_TRUE(Entry(kPage, 1).Selected);
    requests.clear();
    model.GetFullSized(Tab(kPage).Id, true);
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].Url, Big(kPage, 2));
}

TEST_F(GalleryModelTest, FullSizedFileAlreadyStoredIsOnDiskAndNeverRequested) {
    WriteFile(BigFile(kPage, 1), "stored");
    model.AutoGetFullSized = true;
    model.GetFullSizeFirst = false;
    AddPage(kPage, 2);
    requests.clear();
    Show(kPage, 2, {});
    EXPECT_TRUE(Entry(kPage, 0).OnDisk);
    EXPECT_EQ(Entry(kPage, 0).Marker, MarkerState::OnDisk);
    EXPECT_FALSE(Entry(kPage, 0).Requested);
    // The other one is fetched at once.
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].Url, Big(kPage, 2));
    EXPECT_EQ(requests[0].HrefOrSrc, 'H');
    EXPECT_FALSE(requests[0].Priority);
    EXPECT_EQ(model.ThumbAt(requests[0].UserIndex), &Entry(kPage, 1));
    EXPECT_TRUE(Entry(kPage, 1).Requested);
    EXPECT_TRUE(Entry(kPage, 1).Selected);

    requests.clear();
    model.GetFullSized(Tab(kPage).Id, true);
    EXPECT_TRUE(requests.empty());
}

TEST_F(GalleryModelTest, SelectAllSparesRequestedAndStoredThumbnails) {
    AddPage(kPage, 4);
    Show(kPage, 4, {4});
    const int id = Tab(kPage).Id;
    // The first thumbnail selected and requested, the second selected only.
    std::string name, path;
    EXPECT_EQ(model.ClickThumb(id, 0, name, path), ThumbClick::Toggled);
    requests.clear();
    model.GetFullSized(id, false);
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_TRUE(requests[0].Priority);
    EXPECT_EQ(model.ClickThumb(id, 1, name, path), ThumbClick::Toggled);
    EXPECT_EQ(model.ClickThumb(id, 0, name, path), ThumbClick::Ignored); // requested

    model.MarkThumbs(id, false);
    EXPECT_TRUE(Entry(kPage, 0).Selected);
    EXPECT_EQ(Entry(kPage, 0).Marker, MarkerState::Requested);
    EXPECT_FALSE(Entry(kPage, 1).Selected);
    EXPECT_EQ(Entry(kPage, 3).Marker, MarkerState::OnDisk);

    model.MarkThumbs(id, true);
    for (int i : {1, 2})
        EXPECT_EQ(Entry(kPage, i).Marker, MarkerState::Selected);
    EXPECT_FALSE(Entry(kPage, 3).Selected);
    EXPECT_EQ(Entry(kPage, 3).Marker, MarkerState::OnDisk);
    EXPECT_EQ(Entry(kPage, 0).Marker, MarkerState::Requested);

    // A click on a stored picture opens it and leaves the selection alone.
    EXPECT_EQ(model.ClickThumb(id, 3, name, path), ThumbClick::ShowFullScreen);
    EXPECT_EQ(name, Thumb(kPage, 4));
    EXPECT_EQ(path, BigFile(kPage, 4));
    EXPECT_FALSE(Entry(kPage, 3).Selected);
}

TEST_F(GalleryModelTest, FailureAndCancellationEndTheRequest) {
    AddPage(kPage, 3);
    Show(kPage, 3, {});
    const int id = Tab(kPage).Id;
    model.GetFullSized(id, true);
    ASSERT_EQ(requests.size(), 6u);

    // Progress in percent when the length is known, else in kilobytes.
    const GalleryRequest& first = requests[3];
    GalleryTransfer running{kPage, first.CountArea, 'H', first.UserIndex, false, "", 2000};
    model.ShowProgress(running, -1);
    EXPECT_EQ(Entry(kPage, 0).Marker, MarkerState::Downloading);
    EXPECT_EQ(Entry(kPage, 0).MarkerText, "0%");
    model.ShowProgress(running, 1500);
    EXPECT_EQ(Entry(kPage, 0).MarkerText, "75%");
    running.ContentLength = 0;
    model.ShowProgress(running, 5000);
    EXPECT_EQ(Entry(kPage, 0).MarkerText, "4k");

    // A failed full-sized picture stays selected, so "get selected" asks again.
    model.FileFailed(running);
    EXPECT_FALSE(Entry(kPage, 0).Requested);
    EXPECT_TRUE(Entry(kPage, 0).Selected);
    EXPECT_EQ(Entry(kPage, 0).Marker, MarkerState::Unselected);
    EXPECT_TRUE(Entry(kPage, 0).MarkerText.empty());
    // A failed thumbnail changes nothing.
    model.FileFailed({kPage, 2, 'S', -1, false, "", 0});
    EXPECT_TRUE(Entry(kPage, 1).Requested);

    // A cancelled transfer is no longer pending.
    GalleryTransfer cancelled{kPage, 3, 'H', requests[5].UserIndex, true, "", 0};
    model.ShowProgress(cancelled, 10);
    EXPECT_FALSE(Entry(kPage, 2).Requested);
    EXPECT_EQ(Entry(kPage, 2).Marker, MarkerState::Unselected);

    // Stopping the downloads also drops the selection of what was pending.
    model.CancelFullSizedRequests();
    EXPECT_FALSE(Entry(kPage, 1).Requested);
    EXPECT_FALSE(Entry(kPage, 1).Selected);
    EXPECT_EQ(Entry(kPage, 1).Marker, MarkerState::Unselected);
    EXPECT_TRUE(Entry(kPage, 0).Selected); // was no longer pending

    requests.clear();
    model.GetFullSized(id, false);
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].Url, Big(kPage, 1));
    EXPECT_EQ(requests[1].Url, Big(kPage, 3));
    Arrive(kPage, 1, 'H');
    EXPECT_TRUE(Entry(kPage, 0).OnDisk);
    EXPECT_FALSE(Entry(kPage, 0).Requested);
    EXPECT_EQ(Entry(kPage, 0).Marker, MarkerState::OnDisk);
}

TEST_F(GalleryModelTest, SelectedAndRequestedMarkersBlinkEverySecondTick) {
    AddPage(kPage, 3);
    Show(kPage, 3, {3});
    const int id = Tab(kPage).Id;
    std::string name, path;
    model.ClickThumb(id, 0, name, path);
    model.Tick(false);
    ASSERT_TRUE(model.TickPhase());
    EXPECT_EQ(Entry(kPage, 0).Marker, MarkerState::Requested);
    model.Tick(false);
    EXPECT_EQ(Entry(kPage, 0).Marker, MarkerState::Requested);
    model.Tick(false);
    EXPECT_EQ(Entry(kPage, 0).Marker, MarkerState::Selected);
    EXPECT_EQ(Entry(kPage, 1).Marker, MarkerState::Unselected);
    EXPECT_EQ(Entry(kPage, 2).Marker, MarkerState::OnDisk);

    model.Tick(true);
    EXPECT_EQ(Tab(kPage).State, tsDiscarded);
    model.Tick(true);
    EXPECT_EQ(model.TabCount(), 0);
}

TEST_F(GalleryModelTest, ThrowingATabDeletesItsStoredFiles) {
    model.DownloadPath = dir.Path() + "/store/";
    AddPage(kPage, 2);
    Show(kPage, 2, {1});
    WriteFile(BigFile(kPage, 1), "big");
    WriteFile(BigFile(kPage, 2), "big, but not known to be on disk");
    // The model finds the stored files where the storage layout puts them.
    UrlParts parts;
    ASSERT_TRUE(parts.Split(Thumb(kPage, 1), model.DownloadPath));
    WriteFile(parts.LocalFileName(), "thumb");
    std::filesystem::permissions(parts.LocalFileName(), std::filesystem::perms::owner_read);
    ASSERT_TRUE(parts.Split(kPage, model.DownloadPath));
    WriteFile(parts.LocalFileName(), "<html>");

    model.CloseTabs(true);
    EXPECT_FALSE(FileExists(BigFile(kPage, 1)));
    EXPECT_TRUE(FileExists(BigFile(kPage, 2)));
    EXPECT_FALSE(FileExists(parts.LocalFileName()));
    ASSERT_TRUE(parts.Split(Thumb(kPage, 1), model.DownloadPath));
    EXPECT_FALSE(FileExists(parts.LocalFileName()));
    EXPECT_EQ(Tab(kPage).State, tsDiscarded);
}

TEST(GalleryTileOrigin, FillsRowsOfWholeCells) {
    EXPECT_EQ(TileOriginAt(6, 700).Left, 0);
    EXPECT_EQ(TileOriginAt(6, 700).Top, 165);
    EXPECT_EQ(TileOriginAt(5, 700).Left, 565);
    EXPECT_EQ(TileOriginAt(2, 50).Left, 0); // narrower than a cell: one column
    EXPECT_EQ(TileOriginAt(2, 50).Top, 278);
}

// Three shown tabs: the first with pictures on disk at 0 and 2 of 4, the
// second with none of 2, the third at 1 and 2 of 3.
class GalleryNavigationTest : public GalleryModelTest {
protected:
    void SetUp() override {
        AddPage(p1, 4);
        AddPage(p2, 2);
        AddPage(p3, 3);
        Show(p1, 4, {1, 3});
        Show(p2, 2, {});
        Show(p3, 3, {2, 3});
        fronts.clear();
        model.ViewTabId = Tab(p1).Id;
        model.ViewThumbIndex = 0;
    }

    // Navigates and answers "<tab id>:<position>" of the cursor, or "false".
    std::string Go(NavigateAction action) {
        std::string name, path;
        if (!model.Navigate(action, name, path)) return "false";
        const GalleryTab* tab = model.FindTab(model.ViewTabId);
        EXPECT_EQ(name, tab->Thumbs[model.ViewThumbIndex]);
        EXPECT_EQ(path, model.Thumb(*tab, model.ViewThumbIndex)->FullSizePath);
        return At(model.ViewTabId, model.ViewThumbIndex);
    }
    std::string At(const std::string& page, int position) { return At(Tab(page).Id, position); }
    static std::string At(int id, int position) {
        return std::to_string(id) + ":" + std::to_string(position);
    }
    std::string Cursor() const { return At(model.ViewTabId, model.ViewThumbIndex); }

    const std::string p1 = "http://x/1.html", p2 = "http://x/2.html", p3 = "http://x/3.html";
};

TEST_F(GalleryNavigationTest, StepsThroughPicturesOnDiskAcrossTabs) {
    EXPECT_EQ(Go(naCurrent), At(p1, 0));
    EXPECT_EQ(Go(naNext), At(p1, 2));
    EXPECT_TRUE(fronts.empty());
    EXPECT_EQ(Go(naNext), At(p3, 1)); // the second tab has nothing on disk
    EXPECT_EQ(fronts, std::vector<int>{Tab(p3).Id});
    EXPECT_EQ(Go(naNext), At(p3, 2));
    EXPECT_EQ(Go(naPrevious), At(p3, 1));
    EXPECT_EQ(Go(naPrevious), At(p1, 2)); // the last one of the previous tab
    EXPECT_EQ(Go(naNextTab), At(p3, 1));
    EXPECT_EQ(Go(naNext), At(p3, 2));
    EXPECT_EQ(Go(naPreviousTab), At(p1, 0)); // the first one of the previous tab
    EXPECT_EQ(Go(naPreviousTabLast), "false");
}

TEST_F(GalleryNavigationTest, EndsKeepTheCursor) {
    EXPECT_EQ(Go(naPrevious), "false");
    EXPECT_EQ(Cursor(), At(p1, 0));
    model.ViewTabId = Tab(p3).Id;
    model.ViewThumbIndex = 2;
    EXPECT_EQ(Go(naNext), "false");
    EXPECT_EQ(Go(naNextTab), "false");
    EXPECT_EQ(Cursor(), At(p3, 2));

    // The cursor on a picture that is not on disk is no current picture.
    model.ViewThumbIndex = 0;
    EXPECT_EQ(Go(naCurrent), "false");
    EXPECT_EQ(Go(naNext), At(p3, 1));
}

TEST_F(GalleryNavigationTest, ClosedTabsArePassedOverAndADeletedOneEndsTheWalk) {
    model.CloseTab(Tab(p3));
    model.ViewThumbIndex = 2;
    // Nothing after the first tab: the cursor stays on the tab it tried.
    EXPECT_EQ(Go(naNext), "false");
    EXPECT_EQ(model.ViewTabId, Tab(p2).Id);

    // From a closed tab the walk goes on among the open ones.
    model.ViewTabId = Tab(p3).Id;
    model.ViewThumbIndex = 1;
    EXPECT_EQ(Go(naCurrent), "false");
    EXPECT_EQ(Go(naPrevious), At(p1, 2));

    model.ViewTabId = Tab(p3).Id;
    model.Tick(false); // deletes the closed tab
    for (NavigateAction action :
         {naCurrent, naNext, naPrevious, naNextTab, naPreviousTab, naPreviousTabLast})
        EXPECT_EQ(Go(action), "false") << action;
    std::string name, path;
    EXPECT_EQ(model.ClickThumb(model.ViewTabId, 1, name, path), ThumbClick::Ignored);
    EXPECT_FALSE(model.GetFullSized(model.ViewTabId, true));
    EXPECT_FALSE(model.MarkThumbs(model.ViewTabId, true));
}
