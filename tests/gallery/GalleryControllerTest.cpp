// The gallery controller with its widgets: the variant set-up, the scan
// refusals, the persisted settings, and the tab pages the page control shows
// as thumbnails arrive (tiles, marker colours, clicks, buttons).
#include "gallery/GalleryController.h"

#include "AccessibleWalk.h"
#include "EventLoop.h"
#include "TestPictures.h"
#include "TestSettings.h"
#include "crawl/HtmlMarkup.h"
#include "crawl/UrlParts.h"
#include "gallery/FullScreenDisplay.h"
#include "gallery/GalleryTabPage.h"
#include "gallery/HelpContext.h"
#include "gallery/PictureDecodePool.h"
#include "settings/SettingsTable.h"

#include <QAccessible>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

using namespace testpictures;

namespace {

constexpr const char* kPage = "http://pics.example/gallery/page1.html";

class GalleryControllerTest : public ::testing::Test {
protected:
    GalleryControllerTest() : gallery(&messages) {
        // The test ticks by hand.
        gallery.SetTimerEnabled(false);
        pages.resize(700, 500);
        pages.show();
        gallery.SetTabWidget(&pages);
        gallery.Grabber::SetDownloadPath(files.Path() + "/");
        gallery.Model().QueueRequest = [this](const GalleryRequest& r) { requests.push_back(r); };
    }
    ~GalleryControllerTest() override { gallery.ClearTabs(); }

    static std::string Thumb(int i) {
        return "http://pics.example/thumbs/t" + std::to_string(i) + ".jpg";
    }
    static std::string Big(int i) {
        return "http://pics.example/pics/big" + std::to_string(i) + ".jpg";
    }
    std::string BigFile(int i) const { return files.Sub("big" + std::to_string(i) + ".jpg"); }

    // A page of n pairs, decided; nothing has arrived yet.
    void Page(int n, const std::string& page = kPage) {
        for (int i = 1; i <= n; ++i) {
            gallery.Model().CollectLink("jpg", Thumb(i), "", i, 'S', page);
            gallery.Model().CollectLink("jpg", Big(i), BigFile(i), i, 'H', page);
        }
        gallery.Model().PageAnalysed(page);
    }
    // The thumbnail of pair i arrives as file (a small JPEG by default) and
    // its tile shows it or says "not a thumb".
    void Arrive(int i, std::string file = {}, const std::string& page = kPage) {
        StartArrival(i, std::move(file), page);
        WaitForPictures();
    }
    // The same, without waiting for the picture to be decoded.
    void StartArrival(int i, std::string file = {}, const std::string& page = kPage) {
        if (file.empty()) file = WriteJpeg(files, "t" + std::to_string(i) + ".jpg", 100, 80);
        GalleryTransfer t;
        t.ReferringUrl = page;
        t.CountArea = i;
        t.HrefOrSrc = 'S';
        t.LocalFile = file;
        gallery.Model().FileReceived(t);
    }
    static void WaitForPictures() {
        ASSERT_TRUE(RunUntil([] { return PictureDecodePool::Shared().Pending() == 0; }));
    }
    void FullSizedArrives(int i) {
        GalleryTransfer t;
        t.ReferringUrl = kPage;
        t.CountArea = i;
        t.HrefOrSrc = 'H';
        gallery.Model().FileReceived(t);
    }
    GalleryTabPage* FirstPage() const { return dynamic_cast<GalleryTabPage*>(pages.widget(0)); }
    ThumbTile* Tile(int i) const { return FirstPage()->Tile(i - 1); }
    // The marker's colour as drawn: the middle of the marker in a grab of
    // the page control.
    QColor MarkerShown(int i) {
        ThumbTile* tile = Tile(i);
        const QPoint centre =
            tile->Marker->mapTo(&pages, QPoint(1, 1)); // inside the border, clear of the text
        return pages.grab().toImage().pixelColor(centre);
    }
    void Click(int i, Qt::MouseButton button = Qt::LeftButton) {
        QTest::mousePress(Tile(i)->TileImage, button, {}, QPoint(50, 50));
    }
    GalleryTab& TheTab() { return *gallery.Model().FindPage(kPage); }

    ConfigFolder config;
    TempDir files;
    RecordedMessages messages;
    QTabWidget pages;
    GalleryController gallery;
    std::vector<GalleryRequest> requests;
};

} // namespace

// --- the variant set-up, scans and settings ---

TEST_F(GalleryControllerTest, GalleryVariantSetsHooksAndFiltersWithoutStoringThem) {
    ASSERT_TRUE(gallery.ConfigureFor(APP_TESSELLON));
    EXPECT_TRUE(gallery.SearchThumbs());
    EXPECT_TRUE(gallery.FileLinkHook && gallery.PageParsedHook && gallery.LinkHook);
    EXPECT_TRUE(gallery.FileDownloader.OnProgress && gallery.FileDownloader.OnDataReceived &&
                gallery.FileDownloader.OnFileFailed);
    EXPECT_EQ(*gallery.AreaHook.target<void (*)(std::string&)>(), &MarkCountedAreas);
    EXPECT_EQ(gallery.DownloadType(), DownloadFilter::DOWNLOAD_HREF_SRC);
    EXPECT_EQ(gallery.FileTypes(), "gif\r\njpeg\r\njpg\r\n");
    EXPECT_TRUE(gallery.KeywordsFilterEnabled && gallery.StayOnSite && gallery.ReportExternalLinks);
    EXPECT_EQ(gallery.ResultsMode, 0);
    // Live only: the store keeps what it had (nothing, here).
    SettingsKey& store = gallery.Store();
    EXPECT_FALSE(store.ReadBool(Setting::SearchThumbs.Entry, false));
    EXPECT_EQ(store.ReadInteger(Setting::DownloadType.Entry, 1), 1);
    EXPECT_FALSE(store.ReadBool(Setting::KeywordFilterEnabled.Entry, false));

    ASSERT_TRUE(gallery.ConfigureFor(APP_SCRIVANE));
    EXPECT_FALSE(gallery.SearchThumbs());
    EXPECT_FALSE(gallery.FileLinkHook || gallery.PageParsedHook || gallery.LinkHook);
    EXPECT_FALSE(gallery.FileDownloader.OnProgress || gallery.FileDownloader.OnDataReceived);
    EXPECT_EQ(*gallery.AreaHook.target<void (*)(std::string&)>(), &CloseAreas);
    EXPECT_EQ(gallery.ResultsMode, 1); // stored value, untouched by this variant
}

TEST_F(GalleryControllerTest, NoVariantChangeWhileDownloadsRun) {
    ASSERT_TRUE(gallery.ConfigureFor(APP_TESSELLON));
    gallery.FileDownloader.SetWorking(true);
    EXPECT_FALSE(gallery.ConfigureFor(APP_SCRIVANE));
    EXPECT_EQ(messages.Texts, std::vector<std::string>{"First stop the current processes"});
    EXPECT_TRUE(gallery.SearchThumbs());
    gallery.FileDownloader.SetWorking(false);
}

TEST_F(GalleryControllerTest, BrowserAndLocalAddressesStartNoScan) {
    for (const char* url : {"res://ieframe.dll/navcancl.htm", "about:blank", "chrome://gpu",
                            "chrome-error://chromewebdata/", "qrc:/welcome.htm",
                            "data:text/html,<a href=x.jpg>", "ABOUT:blank"}) {
        EXPECT_FALSE(gallery.StartScan(url)) << url;
        EXPECT_FALSE(gallery.IsWorking()) << url;
    }
    EXPECT_TRUE(messages.Texts.empty());
}

TEST_F(GalleryControllerTest, SettingsPersistAndTooFewTabsAreIgnored) {
    gallery.SetMaxNumberOfTabs(4);
    EXPECT_EQ(gallery.MaxNumberOfTabs(), 10);
    gallery.SetMaxNumberOfTabs(5);
    gallery.SetAutoGetFullSized(true);
    gallery.SetGetFullSizeFirst(false);
    gallery.SetGetVideos(false);
    gallery.SetHistoryScanner("http://a.example/\r\nhttp://b.example/");
    gallery.SetLastBrowserUrl("http://c.example/");
    gallery.SetVariant(APP_TESSELLON);

    GalleryController again(&messages);
    EXPECT_EQ(again.MaxNumberOfTabs(), 5);
    EXPECT_TRUE(again.AutoGetFullSized());
    EXPECT_FALSE(again.GetFullSizeFirst());
    EXPECT_FALSE(again.GetVideos());
    EXPECT_EQ(again.ScanHistory(), "http://a.example/\r\nhttp://b.example/");
    EXPECT_EQ(again.LastBrowserUrl(), "http://c.example/");
    EXPECT_EQ(again.Variant(), APP_TESSELLON);
}

// --- tabs and tiles ---

TEST_F(GalleryControllerTest, FirstThumbnailShowsTheTabWithItsTileInThePairsCell) {
    std::vector<bool> visible;
    gallery.OnTabVisible = [&](bool v) { visible.push_back(v); };
    Page(8);
    EXPECT_EQ(pages.count(), 0); // built, hidden until a thumbnail arrives
    Arrive(7);
    ASSERT_EQ(pages.count(), 1);
    EXPECT_EQ(visible, std::vector<bool>{true});
    EXPECT_EQ(pages.tabText(0), "8");
    EXPECT_EQ(pages.tabBar()->accessibleTabName(0), kPage);

    GalleryTabPage* page = FirstPage();
    EXPECT_EQ(page->AddressLabel()->text(), QString("  ") + kPage + "  ");
    EXPECT_EQ(page->PageAddress(), kPage);
    EXPECT_EQ(page->AddressLabel()->accessibleName(), "page address");
    // 700 pixels hold six columns: the seventh cell starts the second row.
    ThumbTile* tile = Tile(7);
    EXPECT_EQ(tile->pos(), QPoint(0, 165));
    EXPECT_EQ(tile->size(), QSize(110, 110));
    EXPECT_EQ(tile->accessibleName(), "t7.jpg");
    EXPECT_EQ(tile->accessibleDescription(), "unselected");
    EXPECT_EQ(tile->TileImage->cursor().shape(), Qt::PointingHandCursor);
    EXPECT_TRUE(tile->toolTip().contains(Q(Big(7))));
    EXPECT_EQ(HelpContextOf(tile->TileImage), kGalleryHelpContext);
    EXPECT_EQ(HelpContextOf(page->Button(GalleryTabPage::Close)), kGalleryHelpContext);
    EXPECT_EQ(HelpContextOf(&pages), 0);
    // The board grows to the tile, so the scroll area can reach it.
    EXPECT_GE(page->BoardContents()->minimumHeight(), 165 + 110);
    for (int i = 1; i <= 8; ++i)
        EXPECT_EQ(requests[std::size_t(i - 1)].Url, Thumb(i));
}

TEST_F(GalleryControllerTest, MarkersGoRedYellowBlinkingOliveThenLime) {
    Page(2);
    Arrive(1);
    Arrive(2);
    EXPECT_EQ(MarkerShown(1), QColor(Qt::red));
    EXPECT_EQ(Tile(1)->Marker->geometry(), QRect(2, 102, 9, 4));

    FirstPage()->Button(GalleryTabPage::SelectAll)->click();
    EXPECT_EQ(MarkerShown(1), QColor(Qt::yellow));
    EXPECT_EQ(Tile(1)->accessibleDescription(), "selected");

    FirstPage()->Button(GalleryTabPage::GetSelected)->click();
    ASSERT_EQ(requests.size(), 4u); // two thumbnails, two full-sized pictures
    EXPECT_EQ(requests[2].UserIndex, TheTab().Thumbs.Object(0));
    EXPECT_EQ(requests[2].HrefOrSrc, 'H');
    EXPECT_TRUE(requests[2].Priority);
    const QColor olive(0x80, 0x80, 0x00);
    EXPECT_EQ(MarkerShown(1), olive);
    EXPECT_EQ(Tile(1)->accessibleDescription(), "requested");
    // Every second tick (400 ms) the requested markers blink.
    std::vector<QColor> shown;
    for (int tick = 0; tick < 4; ++tick) {
        gallery.GrabberTick(false);
        shown.push_back(MarkerShown(1));
    }
    EXPECT_EQ(shown, (std::vector<QColor>{QColor(Qt::yellow), QColor(Qt::yellow), olive, olive}));

    GalleryTransfer progress;
    progress.UserIndex = int(TheTab().Thumbs.Object(0));
    progress.ContentLength = 40'000'000; // a video: bytes × 100 passes 32 bits
    gallery.Model().ShowProgress(progress, -1);
    EXPECT_EQ(Tile(1)->Marker->geometry(), QRect(2, 89, 25, 17));
    EXPECT_EQ(Tile(1)->Marker->text(), "0%");
    gallery.Model().ShowProgress(progress, 30'000'000);
    EXPECT_EQ(Tile(1)->Marker->text(), "75%");
    EXPECT_EQ(Tile(1)->accessibleDescription(), "downloading 75%");
    EXPECT_EQ(MarkerShown(1), QColor(Qt::white));

    FullSizedArrives(1);
    EXPECT_EQ(MarkerShown(1), QColor(Qt::green));
    EXPECT_EQ(Tile(1)->Marker->geometry(), QRect(2, 102, 9, 4));
    EXPECT_EQ(Tile(1)->accessibleDescription(), "on disk");
}

TEST_F(GalleryControllerTest, StoredPictureShowsOnDiskAtOnceAndIsNeverRequested) {
    WriteJpeg(files, "big1.jpg", 64, 48);
    Page(1);
    Arrive(1);
    EXPECT_TRUE(Tile(1)->text().endsWith("t1.jpg\n\n[on disk]"));
    EXPECT_EQ(MarkerShown(1), QColor(Qt::green));
    FirstPage()->Button(GalleryTabPage::GetAll)->click();
    EXPECT_EQ(requests.size(), 1u); // the thumbnail only
}

TEST_F(GalleryControllerTest, UnreadableThumbnailsSayNotAThumbReadablyAndIgnoreClicks) {
    Page(2);
    WriteFile(files.Sub("garbage.jpg"), "this is no picture");
    WriteFile(files.Sub("empty.jpg"), "");
    Arrive(1, files.Sub("garbage.jpg"));
    Arrive(2, files.Sub("empty.jpg"));
    for (int i : {1, 2}) {
        EXPECT_EQ(Tile(i)->text(), "not a thumb");
        EXPECT_EQ(Tile(i)->accessibleDescription(), "not a thumb");
        EXPECT_FALSE(Tile(i)->TileImage->isVisible());
        EXPECT_GT(Tile(i)->palette().color(QPalette::WindowText).lightness(), 150);
        Click(i);
    }
    FirstPage()->Button(GalleryTabPage::SelectAll)->click();
    EXPECT_FALSE(gallery.Model().Thumb(TheTab(), 0)->Selected);
    EXPECT_FALSE(gallery.Model().Thumb(TheTab(), 1)->Selected);
    // Arriving again readable, the thumbnail's tile takes the old one's place.
    Arrive(1);
    const auto shown = FirstPage()->BoardContents()->findChildren<QWidget*>();
    EXPECT_EQ(
        std::count_if(shown.begin(), shown.end(),
                      [](QWidget* w) { return dynamic_cast<ThumbTile*>(w) && w->isVisible(); }),
        2);
    EXPECT_TRUE(Tile(1)->TileImage->isVisible());
}

// The window goes on while thumbnails decode: an arrival builds the tile and
// returns; the picture, or "not a thumb", follows from the event loop.
TEST_F(GalleryControllerTest, ThumbnailsArriveWithoutWaitingForTheirPictures) {
    Page(3);
    WriteBytes(files.Sub("claims.jpg"), JpegClaimingSize(45000, 45000));
    const QByteArray whole =
        QByteArray::fromStdString(ReadFile(WriteJpeg(files, "w.jpg", 400, 400)));
    WriteBytes(files.Sub("truncated.jpg"), whole.left(whole.size() / 2));
    StartArrival(1);
    StartArrival(2, files.Sub("claims.jpg"));
    StartArrival(3, files.Sub("truncated.jpg"));
    for (int i = 1; i <= 3; ++i) {
        SCOPED_TRACE(i);
        EXPECT_FALSE(gallery.Model().Thumb(TheTab(), i - 1)->Loaded);
        EXPECT_FALSE(gallery.Model().Thumb(TheTab(), i - 1)->NotAThumb);
        ASSERT_NE(Tile(i), nullptr);
        EXPECT_TRUE(Tile(i)->text().endsWith("t" + QString::number(i) + ".jpg"));
        EXPECT_FALSE(Tile(i)->TileImage->isVisible());
    }
    WaitForPictures();
    EXPECT_TRUE(gallery.Model().Thumb(TheTab(), 0)->Loaded);
    EXPECT_TRUE(Tile(1)->TileImage->isVisible());
    EXPECT_EQ(MarkerShown(1), QColor(Qt::red));
    for (int i : {2, 3}) {
        EXPECT_TRUE(gallery.Model().Thumb(TheTab(), i - 1)->NotAThumb);
        EXPECT_EQ(Tile(i)->text(), "not a thumb");
    }
}

TEST_F(GalleryControllerTest, PicturesDecodedForAGoneTileOrTabChangeNothing) {
    Page(3);
    WriteFile(files.Sub("garbage.jpg"), "this is no picture");
    // Arriving again while its first file decodes, a thumbnail gets a new
    // tile: only what that tile shows counts.
    StartArrival(1);
    StartArrival(1, files.Sub("garbage.jpg"));
    WaitForPictures();
    EXPECT_FALSE(gallery.Model().Thumb(TheTab(), 0)->Loaded);
    EXPECT_TRUE(gallery.Model().Thumb(TheTab(), 0)->NotAThumb);
    EXPECT_EQ(Tile(1)->text(), "not a thumb");

    // Closed while its pictures decode, the tab takes none of them.
    StartArrival(2);
    FirstPage()->Button(GalleryTabPage::Close)->click();
    WaitForPictures();
    EXPECT_FALSE(gallery.Model().Thumb(TheTab(), 1)->Loaded);

    // Freed while they decode, its tiles are not touched.
    Page(3, "http://pics.example/gallery/page2.html");
    for (int i = 1; i <= 3; ++i)
        StartArrival(i, {}, "http://pics.example/gallery/page2.html");
    gallery.ClearTabs();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    WaitForPictures();
    EXPECT_EQ(gallery.Model().TabCount(), 0);
}

TEST_F(GalleryControllerTest, ClicksSelectOnPressAndOpenStoredPicturesFullScreen) {
    FullScreenDisplay display;
    gallery.SetDisplay(&display);
    Page(3);
    for (int i = 1; i <= 3; ++i)
        Arrive(i);
    Click(1, Qt::RightButton);
    EXPECT_FALSE(gallery.Model().Thumb(TheTab(), 0)->Selected);
    Click(1);
    EXPECT_EQ(MarkerShown(1), QColor(Qt::yellow));
    Click(1);
    EXPECT_EQ(MarkerShown(1), QColor(Qt::red));

    gallery.GetFullSized(TheTab().Id, true);
    Click(2); // requested: nothing
    EXPECT_TRUE(gallery.Model().Thumb(TheTab(), 1)->Requested);

    WriteJpeg(files, "big3.jpg", 64, 48);
    FullSizedArrives(3);
    Click(3);
    EXPECT_TRUE(display.isVisible());
    EXPECT_EQ(display.NameLine()->text(), Q(Thumb(3)));
    EXPECT_EQ(gallery.Model().ViewThumbIndex, 2);
    display.Exit();
}

// Addresses with "%E9" and "%FF" are stored under the bytes 0xE9 and 0xFF,
// which are not UTF-8. The tile, the full-screen display and its walk open
// those very files; beside each lies a decoy under the name the bytes would
// become as text (U+FFFD), a picture of another size.
TEST_F(GalleryControllerTest, NamesThatAreNotUtf8ShowInTheirTileAndFullScreen) {
    FullScreenDisplay display;
    gallery.SetDisplay(&display);
    UrlParts parts;
    // The stored file of an address, its folders made, with a decoy beside it.
    const auto store = [&](const std::string& url, QSize size) {
        parts.Split(url, files.Path());
        const std::string file = parts.LocalFileName();
        const std::string relative = file.substr(files.Path().size() + 1);
        std::filesystem::create_directories(std::filesystem::path(file).parent_path());
        WriteJpeg(files, relative, size.width(), size.height());
        std::string decoy = relative;
        for (const char* raw : {"\xE9", "\xFF"})
            for (std::size_t at; (at = decoy.find(raw)) != std::string::npos;)
                decoy.replace(at, 1, "\xEF\xBF\xBD");
        WriteJpeg(files, decoy, 8, 8);
        return file;
    };
    const std::string thumbs[] = {"http://pics.example/t/caf%E9%FF.jpg",
                                  "http://pics.example/t/%FF.jpg"};
    const std::string bigs[] = {"http://pics.example/f/caf%E9%FF.jpg",
                                "http://pics.example/f/%FF.jpg"};
    const QSize thumbSize(100, 80), bigSizes[] = {QSize(64, 48), QSize(50, 40)};
    for (int i = 1; i <= 2; ++i) {
        gallery.Model().CollectLink("jpg", thumbs[i - 1], "", i, 'S', kPage);
        gallery.Model().CollectLink("jpg", bigs[i - 1], store(bigs[i - 1], bigSizes[i - 1]), i, 'H',
                                    kPage);
    }
    gallery.Model().PageAnalysed(kPage);
    ASSERT_NE(store(thumbs[0], thumbSize).find("/caf\xE9\xFF.jpg"), std::string::npos);
    for (int i = 1; i <= 2; ++i) {
        Arrive(i, store(thumbs[i - 1], thumbSize));
        EXPECT_NE(Tile(i)->text(), "not a thumb") << i;
        EXPECT_TRUE(Tile(i)->TileImage->isVisible()) << i;
        EXPECT_EQ(Tile(i)->TileImage->DecodedSize(), thumbSize) << i;
        FullSizedArrives(i);
    }

    Click(1);
    ASSERT_TRUE(display.isVisible());
    EXPECT_EQ(display.NameLine()->text(), Q(thumbs[0]));
    EXPECT_EQ(display.Media()->DecodedSize(), bigSizes[0]);
    QTest::keyClick(&display, Qt::Key_Space);
    EXPECT_EQ(display.NameLine()->text(), Q(thumbs[1]));
    EXPECT_EQ(display.Media()->DecodedSize(), bigSizes[1]);
    display.Exit();
}

TEST_F(GalleryControllerTest, CloseAndThrowHideTheTabAndFreeItsPageOnTheNextTick) {
    std::vector<bool> visible;
    gallery.OnTabVisible = [&](bool v) { visible.push_back(v); };
    Page(2);
    Arrive(1);
    WriteJpeg(files, "big1.jpg", 64, 48);
    FullSizedArrives(1);
    QPointer<GalleryTabPage> page = FirstPage();
    const int id = page->TabId();

    std::string reloaded, clicked;
    page->Button(GalleryTabPage::Reload)->click(); // no hook: nothing
    gallery.OnReloadPage = [&](const std::string& a) { reloaded = a; };
    gallery.OnAddressClick = [&](const std::string& a) { clicked = a; };
    page->Button(GalleryTabPage::Reload)->click();
    QTest::mouseClick(page->AddressLabel(), Qt::LeftButton);
    EXPECT_EQ(reloaded, kPage);
    EXPECT_EQ(clicked, kPage);

    page->Button(GalleryTabPage::Throw)->click();
    EXPECT_EQ(pages.count(), 0);
    EXPECT_FALSE(FileExists(BigFile(1)));
    gallery.GrabberTick(false);
    EXPECT_EQ(visible, (std::vector<bool>{true, false}));
    EXPECT_EQ(gallery.Model().FindTab(id), nullptr);
    ASSERT_TRUE(RunUntil([&] { return page.isNull(); }));
    // A button of a tab that is gone does nothing.
    EXPECT_FALSE(gallery.GetFullSized(id, true));
    EXPECT_FALSE(gallery.MarkThumbs(id, true));
}

TEST_F(GalleryControllerTest, EveryControlOfATabHasAnAccessibleName) {
    Page(2);
    Arrive(1);
    WriteFile(files.Sub("garbage.jpg"), "x");
    Arrive(2, files.Sub("garbage.jpg"));
    const std::vector<std::string> unnamed = UnnamedAccessibleControls(&pages);
    EXPECT_TRUE(unnamed.empty()) << ::testing::PrintToString(unnamed);
    // The walk does reach into the board: an edit box without a name shows.
    auto* edit = new QLineEdit(FirstPage()->BoardContents());
    edit->show();
    EXPECT_EQ(UnnamedAccessibleControls(&pages).size(), 1u);
    delete edit;

    // The tile is a button whose press action is a left click.
    QAccessibleInterface* tile = QAccessible::queryAccessibleInterface(Tile(1));
    ASSERT_NE(tile, nullptr);
    EXPECT_EQ(tile->role(), QAccessible::Button);
    EXPECT_EQ(tile->text(QAccessible::Name), "t1.jpg");
    EXPECT_EQ(tile->text(QAccessible::Description), "unselected");
    tile->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_EQ(Tile(1)->accessibleDescription(), "selected");
}

// --- the tab limit and video links ---

namespace {

std::string GalleryPage(int p) {
    return "http://pics.example/gallery/p" + std::to_string(p) + ".html";
}

} // namespace

TEST_F(GalleryControllerTest, BeyondTheTabLimitTheOldestIdleTabClosesAndKeepsItsFiles) {
    gallery.SetMaxNumberOfTabs(5);
    // Page p has one pair of its own, whose thumbnail arrives at once.
    const auto show = [&](int p) {
        const std::string page = GalleryPage(p), n = std::to_string(p);
        gallery.Model().CollectLink("jpg", "http://pics.example/t/" + n + ".jpg", "", 1, 'S', page);
        gallery.Model().CollectLink("jpg", "http://pics.example/b/" + n + ".jpg", BigFile(p), 1,
                                    'H', page);
        gallery.Model().PageAnalysed(page);
        Arrive(1, {}, page);
        return gallery.Model().FindPage(page)->Id;
    };
    std::vector<int> ids{0};
    for (int p = 1; p <= 5; ++p)
        ids.push_back(show(p));
    // Page 1 is in front, page 2 has a selection, page 3 a download pending,
    // page 4 its picture on disk.
    gallery.MarkThumbs(ids[2], true);
    gallery.GetFullSized(ids[3], true);
    WriteJpeg(files, "big4.jpg", 64, 48);
    GalleryTransfer stored;
    stored.ReferringUrl = GalleryPage(4);
    stored.CountArea = 1;
    stored.HrefOrSrc = 'H';
    gallery.Model().FileReceived(stored);

    ids.push_back(show(6));
    EXPECT_EQ(pages.count(), 5);
    EXPECT_EQ(gallery.Model().FindTab(ids[4])->State, tsDiscarded);
    EXPECT_TRUE(FileExists(BigFile(4))); // closed, not thrown
    for (int p : {1, 2, 3, 5, 6})
        EXPECT_EQ(gallery.Model().FindTab(ids[std::size_t(p)])->State, tsActive) << p;

    pages.setCurrentIndex(pages.count() - 1);
    ids.push_back(show(7));
    EXPECT_EQ(pages.count(), 5);
    EXPECT_EQ(gallery.Model().FindTab(ids[1])->State, tsDiscarded);
    gallery.GrabberTick(false);
    EXPECT_EQ(gallery.Model().FindTab(ids[1]), nullptr);
    EXPECT_EQ(gallery.Model().VisibleTabs(), 5);

    // With no idle tab to close the limit waits, and a new tab is never the
    // one to go; the next tab shown closes as many as it takes.
    gallery.MarkThumbs(ids[5], true);
    gallery.MarkThumbs(ids[7], true);
    ids.push_back(show(8));
    EXPECT_EQ(pages.count(), 6);
    gallery.MarkThumbs(ids[5], false);
    gallery.MarkThumbs(ids[7], false);
    ids.push_back(show(9));
    EXPECT_EQ(pages.count(), 5);
    for (int p : {5, 7})
        EXPECT_EQ(gallery.Model().FindTab(ids[std::size_t(p)])->State, tsDiscarded) << p;
}

TEST_F(GalleryControllerTest, WithoutVideosAVideoLinkIsNoFullSizedPicture) {
    const auto collect = [&](const std::string& type, const std::string& url, int area, char kind,
                             const std::string& page) {
        const std::string host = "pics.example", local;
        gallery.CollectLink({type, url, host, page, kind, area, local, false});
    };
    const auto pagePairs = [&](const std::string& page) {
        collect("jpg", page + "/t1.jpg", 1, 'S', page);
        collect("mpg", page + "/clip.mpg", 1, 'H', page);
        collect("jpg", page + "/t2.jpg", 2, 'S', page);
        collect("mpeg", page + "/clip.mpeg", 2, 'H', page);
        collect("jpg", page + "/t3.jpg", 3, 'S', page);
        collect("jpg", page + "/b3.jpg", 3, 'H', page);
        gallery.Model().PageAnalysed(page);
    };
    gallery.SetGetVideos(false);
    pagePairs("http://pics.example/a");
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].Url, "http://pics.example/a/t3.jpg");

    requests.clear();
    gallery.SetGetVideos(true);
    pagePairs("http://pics.example/b");
    EXPECT_EQ(requests.size(), 3u);
}

// --- tiles and the window's width ---

TEST_F(GalleryControllerTest, TilesFollowTheWidthAfterAResizeAndNeverOverlap) {
    Page(20);
    Arrive(1);
    GalleryTabPage* page = FirstPage();
    QWidget* view = page->Board()->viewport();
    // Thumbnails arrive at 700 pixels, then at 400, then at 900 pixels.
    const auto resizeTo = [&](int width) {
        pages.resize(width, 500);
        return RunUntil([&] { return view->width() <= width && view->width() > width - 60; });
    };
    for (int i = 2; i <= 7; ++i)
        Arrive(i);
    ASSERT_TRUE(resizeTo(400));
    for (int i = 8; i <= 14; ++i)
        Arrive(i);
    ASSERT_TRUE(resizeTo(900));
    for (int i = 15; i <= 20; ++i)
        Arrive(i);

    // Each tile sits in its pair's cell for the width shown now.
    const auto followWidth = [&] {
        for (int i = 1; i <= 20; ++i) {
            const TileOrigin cell = TileOriginAt(i - 1, view->width());
            if (Tile(i)->pos() != QPoint(cell.Left, cell.Top)) return false;
        }
        return true;
    };
    // Three rows fit 900 × 500: the board shrinks back and needs no scroll bar.
    QScrollArea* board = page->Board();
    EXPECT_TRUE(RunUntil(
        [&] {
            return !board->verticalScrollBar()->isVisible() &&
                   !board->horizontalScrollBar()->isVisible();
        },
        5000));
    EXPECT_TRUE(RunUntil(followWidth, 5000)) << "columns: " << view->width() / 113;
    for (int i = 1; i <= 20; ++i)
        for (int j = i + 1; j <= 20; ++j)
            EXPECT_FALSE(Tile(i)->geometry().intersects(Tile(j)->geometry())) << i << " " << j;
    // The board reaches the last row and is no wider than its widest row.
    const QRect last = Tile(20)->geometry();
    EXPECT_GE(page->BoardContents()->minimumHeight(), last.bottom() + 1);
    EXPECT_LE(page->BoardContents()->minimumWidth(), std::max(view->width(), 603));

    ASSERT_TRUE(QDir().mkpath(TESSELLON_SCREENSHOTS));
    EXPECT_TRUE(pages.grab().save(TESSELLON_SCREENSHOTS "/gallery-resized.png"));
}

// --- tabs not looked at yet ---

namespace {
constexpr const char* kPage2 = "http://pics.example/gallery/page2.html";
} // namespace

// A tab behind the front one makes no tiles while its thumbnails come in, yet
// each is decoded and decided as before (a full-sized picture is asked for as
// soon as its thumbnail shows); when the tab is first shown its tiles show
// what a tab in front would have shown.
TEST_F(GalleryControllerTest, ATabNotYetShownDecidesItsThumbnailsAndMakesTheirTilesWhenShown) {
    gallery.SetAutoGetFullSized(true);
    Page(1);
    Arrive(1);
    Page(4, kPage2);
    WriteJpeg(files, "big2.jpg", 64, 48);
    WriteFile(files.Sub("garbage.jpg"), "this is no picture");
    StartArrival(1, {}, kPage2);
    StartArrival(2, {}, kPage2);
    StartArrival(3, files.Sub("garbage.jpg"), kPage2);
    // Arriving again while its first file decodes: only the second counts.
    StartArrival(4, {}, kPage2);
    StartArrival(4, files.Sub("garbage.jpg"), kPage2);
    WaitForPictures();

    auto* page = dynamic_cast<GalleryTabPage*>(pages.widget(1));
    ASSERT_NE(page, nullptr);
    GalleryTab& tab = *gallery.Model().FindPage(kPage2);
    const auto madeTiles = [page] {
        const auto children = page->BoardContents()->findChildren<QWidget*>();
        return std::count_if(children.begin(), children.end(),
                             [](QWidget* w) { return dynamic_cast<ThumbTile*>(w) != nullptr; });
    };
    EXPECT_EQ(madeTiles(), 0);
    EXPECT_EQ(page->TileCount(), 4);
    EXPECT_TRUE(gallery.Model().Thumb(tab, 0)->Loaded);
    EXPECT_TRUE(gallery.Model().Thumb(tab, 1)->OnDisk);
    EXPECT_TRUE(gallery.Model().Thumb(tab, 2)->NotAThumb);
    EXPECT_TRUE(gallery.Model().Thumb(tab, 3)->NotAThumb);
    EXPECT_TRUE(std::any_of(requests.begin(), requests.end(), [](const GalleryRequest& r) {
        return r.ReferringUrl == kPage2 && r.Url == Big(1);
    }));
    gallery.GetFullSized(tab.Id, true); // nothing more to ask for
    EXPECT_EQ(gallery.Model().Thumb(tab, 0)->Marker, MarkerState::Requested);

    pages.setCurrentIndex(1);
    ASSERT_EQ(madeTiles(), 4);
    ThumbTile* shown = page->MadeTile(0);
    EXPECT_TRUE(shown->TileImage->isVisible());
    EXPECT_EQ(shown->TileImage->DecodedSize(), QSize(100, 80));
    EXPECT_EQ(shown->accessibleDescription(), "requested");
    EXPECT_TRUE(page->MadeTile(1)->text().endsWith("t2.jpg\n\n[on disk]"));
    EXPECT_EQ(page->MadeTile(1)->accessibleDescription(), "on disk");
    for (int i : {2, 3}) {
        EXPECT_EQ(page->MadeTile(i)->text(), "not a thumb") << i;
        EXPECT_FALSE(page->MadeTile(i)->TileImage->isVisible()) << i;
    }
    ASSERT_TRUE(QDir().mkpath(TESSELLON_SCREENSHOTS));
    EXPECT_TRUE(pages.grab().save(TESSELLON_SCREENSHOTS "/gallery-tab-shown-late.png"));
    // From now on the page makes its tiles as thumbnails come.
    Page(5, kPage2);
    StartArrival(5, {}, kPage2);
    EXPECT_NE(page->MadeTile(4), nullptr);
}

// Asked for its tile while the picture decodes, a page makes it at once; the
// picture reaches that tile, and the thumbnail is decided once.
TEST_F(GalleryControllerTest, ATileMadeWhileItsPictureDecodesTakesThePicture) {
    Page(1);
    Arrive(1);
    Page(2, kPage2);
    StartArrival(1, {}, kPage2);
    auto* page = dynamic_cast<GalleryTabPage*>(pages.widget(1));
    ASSERT_NE(page, nullptr);
    ThumbTile* tile = page->Tile(0);
    ASSERT_NE(tile, nullptr);
    EXPECT_FALSE(gallery.Model().Thumb(*gallery.Model().FindPage(kPage2), 0)->Loaded);
    WaitForPictures();
    EXPECT_TRUE(gallery.Model().Thumb(*gallery.Model().FindPage(kPage2), 0)->Loaded);
    EXPECT_EQ(page->MadeTile(0), tile);
    pages.setCurrentIndex(1);
    EXPECT_TRUE(tile->TileImage->isVisible());
    EXPECT_EQ(tile->accessibleDescription(), "unselected");
}
