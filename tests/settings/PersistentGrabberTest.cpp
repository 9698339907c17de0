// The persistent grabber: what a first start writes, what each setter
// stores and refuses, and how loading copes with a reset, a vanished storage
// folder and a damaged or foreign settings file.
#include "settings/PersistentGrabber.h"
#include "SettingsSandbox.h"

#include "EventLoop.h"
#include "TempDir.h"
#include "TestHttpServer.h"

#include <algorithm>
#include <filesystem>
#include <functional>
#include <set>

namespace fs = std::filesystem;

namespace {

// Every value the two loaders read; the rest of the table belongs to the
// gallery, the main window and the viewer.
const std::set<std::string> kLoadedByGrabber = {"StoragePath",
                                                "RememberOrigins",
                                                "FileTypes",
                                                "ReuseHtmlFiles",
                                                "DownloadHtmlPages",
                                                "DownloadType",
                                                "MaxDownloadQueueSize",
                                                "SearchThumbs",
                                                "ModernMarkup",
                                                "RunPageScripts",
                                                "FindTextAddresses",
                                                "RespectRateLimits",
                                                "KeepCookies",
                                                "UseBrowserLogins",
                                                "ConnectionsPerHost",
                                                "StayOnSite",
                                                "ReportExternalLinks",
                                                "FileOfResults",
                                                "LogsEnabled",
                                                "SeekRobots",
                                                "SearchDepthLevel",
                                                "HtmlConcurrentDownloads",
                                                "FilesConcurrentDownloads",
                                                "RetryCount",
                                                "TimeOut",
                                                "ProxyType",
                                                "ProxyAddress",
                                                "Username",
                                                "Password",
                                                "ProxyPort",
                                                "ProxyUser",
                                                "ProxyPassword",
                                                "MaxHtmlQueueSize",
                                                "KeywordsFilter",
                                                "KeywordsLimiter",
                                                "HtmlExtensions",
                                                "KeywordFilterEnabled",
                                                "KeywordLimiterEnabled",
                                                "LeavesFirst",
                                                "ResultsFile",
                                                "InitialReferringUrl"};

std::vector<std::string> Sorted(std::vector<std::string> v) {
    std::sort(v.begin(), v.end());
    return v;
}

} // namespace

class PersistentGrabberTest : public SettingsSandbox {
protected:
    std::string DefaultFolder() const { return Work + "/Download/"; }

    // The text a first start stores for a value.
    std::string DefaultText(const SettingDef& def) const {
        if (&def == &Setting::StoragePath) return DefaultFolder();
        if (&def == &Setting::FileOfResults) return DefaultFolder() + "results.txt";
        return def.Default;
    }

    // Stores values before a start, the way an earlier run would have.
    static void Preset(const SettingEntry& entry, const std::string& text) {
        RegistryStore reg(RootOf(entry));
        ASSERT_TRUE(reg.OpenKey(kAppKey, true));
        reg.WriteString(entry.ValueName, text);
    }

    RecordingSink Sink;
};

// ---------------------------------------------------------------------------
// First start

TEST_F(PersistentGrabberTest, FirstStartWritesEveryLoadedValueWithItsDefaultInItsRoot) {
    {
        PersistentGrabber grab(&Sink);
        EXPECT_TRUE(Sink.Texts.empty()) << Sink.Texts.front();
        EXPECT_EQ(grab.DownloadPath(), DefaultFolder());
        EXPECT_TRUE(fs::is_directory(DefaultFolder())) << "the default storage folder is created";
    }
    std::vector<std::string> user, machine;
    for (const SettingDef* def : Setting::All) {
        const std::string name = def->Entry.ValueName;
        if (!kLoadedByGrabber.contains(name)) {
            EXPECT_EQ(Stored(RegistryRoot::CurrentUser, name), std::nullopt) << name;
            EXPECT_EQ(Stored(RegistryRoot::LocalMachine, name), std::nullopt) << name;
            continue;
        }
        // The defaults that follow the current folder are not stored.
        if (def == &Setting::StoragePath || def == &Setting::FileOfResults) {
            EXPECT_EQ(Stored(*def), std::nullopt);
            continue;
        }
        (def->Entry.CurrentUser ? user : machine).push_back(name);
        EXPECT_EQ(Stored(*def), DefaultText(*def)) << name;
        EXPECT_EQ(Stored(OtherRoot(def->Entry), name), std::nullopt)
            << name << " in the wrong root";
    }
    EXPECT_EQ(Sorted(machine),
              Sorted({"ProxyType", "ProxyAddress", "ProxyPort", "ProxyUser", "ProxyPassword"}));
    // Nothing else is in either key: in particular no reset marker.
    EXPECT_EQ(Sorted(ValueNames(RegistryRoot::CurrentUser)), Sorted(user));
    EXPECT_EQ(Sorted(ValueNames(RegistryRoot::LocalMachine)), Sorted(machine));
    // Loading the file downloads raises the connection limit to both defaults together.
    EXPECT_EQ(ConnectionLimits(), "7 9");
}

TEST_F(PersistentGrabberTest, FirstStartRunsOnTheDefaults) {
    PersistentGrabber grab(&Sink);
    EXPECT_EQ(grab.DepthSearchLevel(), 3);
    EXPECT_EQ(grab.HtmlConcurrentDownloads(), 4);
    EXPECT_EQ(grab.FilesConcurrentDownloads(), 3);
    EXPECT_EQ(grab.Retries(), 3);
    EXPECT_EQ(grab.FileDownloader.RetryCount, 3);
    EXPECT_EQ(grab.TimeOut(), 300);
    EXPECT_EQ(grab.PageDownloader.TimeOut, 300);
    EXPECT_EQ(grab.MaxQueueSize(), 5000);
    EXPECT_EQ(grab.MaxDownloadQueueSize(), 5000);
    EXPECT_EQ(grab.DownloadType(), DownloadFilter::DOWNLOAD_HREF);
    EXPECT_EQ(grab.FileTypes(), "gif\r\njpeg\r\njpg\r\n");
    EXPECT_TRUE(grab.DownloadHtmlPages());
    EXPECT_FALSE(grab.ReuseHtmlFiles());
    EXPECT_FALSE(grab.SearchThumbs());
    EXPECT_TRUE(grab.StayOnSite);
    EXPECT_TRUE(grab.ReportExternalLinks);
    EXPECT_EQ(grab.ResultsMode, 1);
    EXPECT_EQ(grab.FileOfResults(), DefaultFolder() + "results.txt");
    EXPECT_EQ(grab.ProxyType(), ProxyMode::PROXY_DEFAULT);
    EXPECT_EQ(grab.ProxyPort(), 80);
    EXPECT_EQ(grab.FileDownloader.ProxyType, ProxyMode::PROXY_DEFAULT);
}

// ---------------------------------------------------------------------------
// Setters

TEST_F(PersistentGrabberTest, SettersStoreTheirValueInTheirRoot) {
    struct Case {
        const char* What;
        std::function<void(PersistentGrabber&)> Set;
        const SettingDef& Def;
        std::string Expected;
    };
    using G = PersistentGrabber;
    const std::vector<Case> cases = {
        {"download path", [&](G& g) { g.SetDownloadPath(Work + "/pics/"); }, Setting::StoragePath,
         Work + "/pics/"},
        {"file types keep their order, lower-cased",
         [](G& g) { g.SetFileTypes("PNG\r\nGif\r\nJPG"); }, Setting::FileTypes,
         "png\r\ngif\r\njpg"},
        {"reuse html files", [](G& g) { g.SetReuseHtmlFiles(true); }, Setting::ReuseHtmlFiles, "1"},
        {"download html pages", [](G& g) { g.SetDownloadHtmlPages(false); },
         Setting::DownloadHtmlPages, "0"},
        {"search thumbs", [](G& g) { g.SetSearchThumbs(true); }, Setting::SearchThumbs, "1"},
        {"today's markup", [](G& g) { g.SetModernMarkup(true); }, Setting::ModernMarkup, "1"},
        {"page scripts", [](G& g) { g.SetRunPageScripts(true); }, Setting::RunPageScripts, "1"},
        {"addresses in the text", [](G& g) { g.SetFindTextAddresses(false); },
         Setting::FindTextAddresses, "0"},
        {"rate limits", [](G& g) { g.SetRespectRateLimits(true); }, Setting::RespectRateLimits,
         "1"},
        {"keep cookies", [](G& g) { g.SetKeepCookies(false); }, Setting::KeepCookies, "0"},
        {"browser's logins", [](G& g) { g.SetUseBrowserLogins(false); },
         Setting::UseBrowserLogins, "0"},
        {"connections per host", [](G& g) { g.SetConnectionsPerHost(2); },
         Setting::ConnectionsPerHost, "2"},
        {"download type", [](G& g) { g.SetDownloadType(DownloadFilter::DOWNLOAD_HREF_SRC); },
         Setting::DownloadType, "2"},
        {"stay on site", [](G& g) { g.SetStayOnSite(false); }, Setting::StayOnSite, "0"},
        {"report external links", [](G& g) { g.SetReportExternalLinks(false); },
         Setting::ReportExternalLinks, "0"},
        {"seek robots", [](G& g) { g.SetSeekRobots(true); }, Setting::SeekRobots, "1"},
        {"leaves first", [](G& g) { g.SetLeavesFirst(true); }, Setting::LeavesFirst, "1"},
        {"filter enabled", [](G& g) { g.SetKeywordsFilterEnabled(true); },
         Setting::KeywordFilterEnabled, "1"},
        {"limiter enabled", [](G& g) { g.SetKeywordsLimiterEnabled(true); },
         Setting::KeywordLimiterEnabled, "1"},
        {"filter words sorted, lower-cased",
         [](G& g) { g.SetKeywordsFilter("Zeta\r\nalpha\r\nMid"); }, Setting::KeywordsFilter,
         "alpha\r\nmid\r\nzeta\r\n"},
        {"limiter words sorted, lower-cased", [](G& g) { g.SetKeywordsLimiter("Pics\r\nGallery"); },
         Setting::KeywordsLimiter, "gallery\r\npics\r\n"},
        {"page types sorted, lower-cased", [](G& g) { g.SetHtmlExtensions("PHP\r\nhtm\r\nAsp"); },
         Setting::HtmlExtensions, "asp\r\nhtm\r\nphp\r\n"},
        {"initial referring url",
         [](G& g) { g.SetInitialReferringUrl("http://example.test/Start"); },
         Setting::InitialReferringUrl, "http://example.test/Start"},
        {"bare results name goes to the storage folder",
         [](G& g) { g.SetFileOfResults("links.txt"); }, Setting::FileOfResults,
         DefaultFolder() + "links.txt"},
        {"results path is kept", [&](G& g) { g.SetFileOfResults(Base + "/out/links.txt"); },
         Setting::FileOfResults, Base + "/out/links.txt"},
        {"results file mode", [](G& g) { g.SetResultsMode(2); }, Setting::ResultsMode, "2"},
        {"logs", [](G& g) { g.SetLogsEnabled(true); }, Setting::LogsEnabled, "1"},
        {"proxy type", [](G& g) { g.SetProxyType(ProxyMode::PROXY_USEPROXY); }, Setting::ProxyType,
         "1"},
        {"proxy address", [](G& g) { g.SetProxyAddress("proxy.test"); }, Setting::ProxyAddress,
         "proxy.test"},
        {"proxy port", [](G& g) { g.SetProxyPort(3128); }, Setting::ProxyPort, "3128"},
        {"proxy user", [](G& g) { g.SetProxyUser("pu"); }, Setting::ProxyUser, "pu"},
        {"proxy password", [](G& g) { g.SetProxyPassword("p w;d"); }, Setting::ProxyPassword,
         "p w;d"},
        {"user name", [](G& g) { g.SetUserName("Ann"); }, Setting::Username, "Ann"},
        {"password", [](G& g) { g.SetPassword("s3cret="); }, Setting::Password, "s3cret="},
    };
    PersistentGrabber grab(&Sink);
    for (const Case& c : cases) {
        c.Set(grab);
        EXPECT_EQ(Stored(c.Def), c.Expected) << c.What;
        EXPECT_EQ(Stored(OtherRoot(c.Def.Entry), c.Def.Entry.ValueName), std::nullopt) << c.What;
    }
    EXPECT_TRUE(Sink.Texts.empty()) << Sink.Texts.front();
}

TEST_F(PersistentGrabberTest, RangedSettersRefuseWithoutStoringAndStoreWhatTheyAccept) {
    struct Case {
        const char* What;
        std::function<void(PersistentGrabber&, int)> Set;
        std::function<int(const PersistentGrabber&)> Get;
        const SettingDef& Def;
        std::vector<int> Refused;
        int Accepted;
    };
    using G = PersistentGrabber;
    const std::vector<Case> cases = {
        {"page queue size",
         [](G& g, int v) { g.SetMaxQueueSize(v); },
         [](const G& g) { return g.MaxQueueSize(); },
         Setting::MaxHtmlQueueSize,
         {9, 0, -10},
         10},
        {"retries",
         [](G& g, int v) { g.SetRetries(v); },
         [](const G& g) { return g.FileDownloader.RetryCount; },
         Setting::RetryCount,
         {0, -1},
         1},
        {"depth",
         [](G& g, int v) { g.SetDepthSearchLevel(v); },
         [](const G& g) { return g.DepthSearchLevel(); },
         Setting::SearchDepthLevel,
         {0, -2},
         1},
        {"time-out",
         [](G& g, int v) { g.SetTimeOut(v); },
         [](const G& g) { return g.PageDownloader.TimeOut; },
         Setting::TimeOut,
         {19, 15, 10, 0, -5},
         20},
        {"page downloads",
         [](G& g, int v) { g.SetHtmlConcurrentDownloads(v); },
         [](const G& g) { return g.PageDownloader.ConcurrentDownloads; },
         Setting::HtmlConcurrentDownloads,
         {0, -1, 101},
         100},
        {"file downloads",
         [](G& g, int v) { g.SetFilesConcurrentDownloads(v); },
         [](const G& g) { return g.FileDownloader.ConcurrentDownloads; },
         Setting::FilesConcurrentDownloads,
         {0, -3, 101},
         1},
    };
    PersistentGrabber grab(&Sink);
    for (const Case& c : cases) {
        const int before = c.Get(grab);
        const std::string limits = ConnectionLimits();
        ASSERT_EQ(std::to_string(before), c.Def.Default) << c.What;
        for (int v : c.Refused) {
            c.Set(grab, v);
            EXPECT_EQ(c.Get(grab), before) << c.What << " " << v;
            EXPECT_EQ(Stored(c.Def), c.Def.Default) << c.What << " " << v;
            EXPECT_EQ(ConnectionLimits(), limits) << c.What << " " << v;
        }
        c.Set(grab, c.Accepted);
        EXPECT_EQ(c.Get(grab), c.Accepted) << c.What;
        EXPECT_EQ(Stored(c.Def), std::to_string(c.Accepted)) << c.What;
    }
}

TEST_F(PersistentGrabberTest, TimeOutBelowTwentyChangesNothingAndTwentyReachesPagesAndFiles) {
    PersistentGrabber grab(&Sink);
    grab.SetTimeOut(15); // the engine alone would take it
    EXPECT_EQ(grab.TimeOut(), 300);
    EXPECT_EQ(grab.PageDownloader.TimeOut, 300);
    EXPECT_EQ(Stored(Setting::TimeOut), "300");

    grab.SetTimeOut(20);
    EXPECT_EQ(grab.TimeOut(), 20);
    EXPECT_EQ(grab.PageDownloader.TimeOut, 20);
    EXPECT_EQ(grab.FileDownloader.TimeOut, 20) << "one time-out for pages and files";
    EXPECT_EQ(Stored(Setting::TimeOut), "20");
}

TEST_F(PersistentGrabberTest, ConcurrencySettersRaiseTheConnectionLimitForBothSidesTogether) {
    PersistentGrabber grab(&Sink);
    grab.SetFilesConcurrentDownloads(5); // with 4 page downloads stored
    EXPECT_EQ(ConnectionLimits(), "9 11");
    grab.SetHtmlConcurrentDownloads(10);
    EXPECT_EQ(ConnectionLimits(), "15 17");
    EXPECT_EQ(Stored(Setting::HtmlConcurrentDownloads), "10");
    EXPECT_EQ(Stored(Setting::FilesConcurrentDownloads), "5");

    // The other side's count is read without storing its default.
    {
        RegistryStore reg(RegistryRoot::CurrentUser);
        ASSERT_TRUE(reg.OpenKey(kAppKey, false));
        ASSERT_TRUE(reg.DeleteValue("FilesConcurrentDownloads"));
    }
    grab.SetHtmlConcurrentDownloads(6);
    EXPECT_EQ(ConnectionLimits(), "9 11");
    EXPECT_EQ(Stored(Setting::FilesConcurrentDownloads), std::nullopt);
}

TEST_F(PersistentGrabberTest, RefusedDownloadQueueSizeIsStoredButNotApplied) {
    PersistentGrabber grab(&Sink);
    grab.SetMaxDownloadQueueSize(200);
    EXPECT_EQ(grab.MaxDownloadQueueSize(), 200);
    EXPECT_EQ(Stored(Setting::MaxDownloadQueueSize), "200");
    grab.SetMaxDownloadQueueSize(5);
    EXPECT_EQ(grab.MaxDownloadQueueSize(), 200) << "the running value stays";
    EXPECT_EQ(Stored(Setting::MaxDownloadQueueSize), "5");
}

TEST_F(PersistentGrabberTest, WhatOneStartStoresTheNextStartLoads) {
    fs::create_directories(Work + "/pics");
    {
        PersistentGrabber grab(&Sink);
        grab.SetDownloadPath(Work + "/pics/");
        grab.SetTimeOut(45);
        grab.SetRetries(7);
        grab.SetDepthSearchLevel(5);
        grab.SetHtmlConcurrentDownloads(8);
        grab.SetFilesConcurrentDownloads(6);
        grab.SetMaxQueueSize(900);
        grab.SetMaxDownloadQueueSize(300);
        grab.SetDownloadType(DownloadFilter::DOWNLOAD_SRC);
        grab.SetFileTypes("PNG\r\njpg");
        grab.SetSearchThumbs(true);
        grab.SetModernMarkup(true);
        grab.SetRunPageScripts(true);
        grab.SetRespectRateLimits(true);
        grab.SetConnectionsPerHost(3);
        grab.SetConnectionsPerHost(999); // out of range: ignored, not stored
        grab.SetReuseHtmlFiles(true);
        grab.SetDownloadHtmlPages(false);
        grab.SetStayOnSite(false);
        grab.SetReportExternalLinks(false);
        grab.SetSeekRobots(true);
        grab.SetLeavesFirst(true);
        grab.SetLogsEnabled(true);
        grab.SetResultsMode(0);
        grab.SetFileOfResults("found.txt");
        grab.SetInitialReferringUrl("http://example.test/");
        grab.SetKeywordsFilterEnabled(true);
        grab.SetKeywordsFilter("Ads\r\nbanner");
        grab.SetKeywordsLimiterEnabled(true);
        grab.SetKeywordsLimiter("pics");
        grab.SetHtmlExtensions("html\r\nPHP");
        grab.SetProxyType(ProxyMode::PROXY_USEPROXY);
        grab.SetProxyAddress("proxy.test");
        grab.SetProxyPort(3128);
        grab.SetProxyUser("pu");
        grab.SetProxyPassword("pp");
        grab.SetUserName("Ann");
        grab.SetPassword("pw");
    }
    PersistentGrabber grab(&Sink);
    EXPECT_TRUE(Sink.Texts.empty()) << Sink.Texts.front();
    EXPECT_EQ(grab.DownloadPath(), Work + "/pics/");
    EXPECT_EQ(grab.FileDownloader.DownloadPath, Work + "/pics/");
    EXPECT_EQ(grab.TimeOut(), 45);
    EXPECT_EQ(grab.PageDownloader.TimeOut, 45);
    EXPECT_EQ(grab.Retries(), 7);
    EXPECT_EQ(grab.FileDownloader.RetryCount, 7);
    EXPECT_EQ(grab.DepthSearchLevel(), 5);
    EXPECT_EQ(grab.HtmlConcurrentDownloads(), 8);
    EXPECT_EQ(grab.FilesConcurrentDownloads(), 6);
    EXPECT_EQ(ConnectionLimits(), "14 16");
    EXPECT_EQ(grab.MaxQueueSize(), 900);
    EXPECT_EQ(grab.MaxDownloadQueueSize(), 300);
    EXPECT_EQ(grab.DownloadType(), DownloadFilter::DOWNLOAD_SRC);
    EXPECT_EQ(grab.FileTypes(), "jpg\r\npng\r\n");
    EXPECT_TRUE(grab.SearchThumbs());
    EXPECT_TRUE(grab.ModernMarkup);
    EXPECT_TRUE(grab.RunPageScripts());
    EXPECT_TRUE(grab.PageDownloader.RespectRateLimits);
    EXPECT_TRUE(grab.FileDownloader.RespectRateLimits);
    EXPECT_EQ(grab.ConnectionsPerHost(), 3);
    EXPECT_EQ(grab.PageDownloader.SharedHostLimits, &grab.SharedHostLimits);
    EXPECT_EQ(grab.FileDownloader.SharedHostLimits, &grab.SharedHostLimits);
    EXPECT_TRUE(grab.FileLinkHook) << "thumbnail collection is installed";
    EXPECT_TRUE(grab.PageParsedHook);
    EXPECT_TRUE(grab.ReuseHtmlFiles());
    EXPECT_FALSE(grab.DownloadHtmlPages());
    EXPECT_FALSE(grab.PageDownloader.ReuseExistingFiles)
        << "pages that are not stored cannot be reused";
    EXPECT_FALSE(grab.StayOnSite);
    EXPECT_FALSE(grab.ReportExternalLinks);
    EXPECT_TRUE(grab.SeekRobots);
    EXPECT_TRUE(grab.LeavesFirst());
    EXPECT_TRUE(grab.LogsEnabled());
    EXPECT_EQ(grab.ResultsMode, 0);
    EXPECT_EQ(grab.FileOfResults(), Work + "/Download/found.txt");
    EXPECT_EQ(grab.InitialReferringUrl, "http://example.test/");
    EXPECT_TRUE(grab.KeywordsFilterEnabled);
    EXPECT_EQ(grab.GetKeywordsFilter(), "ads\r\nbanner\r\n");
    EXPECT_TRUE(grab.KeywordsLimiterEnabled);
    EXPECT_EQ(grab.GetKeywordsLimiter(), "pics\r\n");
    EXPECT_EQ(grab.GetHtmlExtensions(), "html\r\nphp\r\n");
    EXPECT_EQ(grab.ProxyType(), ProxyMode::PROXY_USEPROXY);
    EXPECT_EQ(grab.ProxyAddress(), "proxy.test");
    EXPECT_EQ(grab.ProxyPort(), 3128);
    EXPECT_EQ(grab.FileDownloader.ProxyPort, 3128);
    EXPECT_EQ(grab.ProxyUser(), "pu");
    EXPECT_EQ(grab.ProxyPassword(), "pp");
    EXPECT_EQ(grab.UserName(), "Ann");
    EXPECT_EQ(grab.Password(), "pw");
}

// ---------------------------------------------------------------------------
// Reset to defaults

TEST_F(PersistentGrabberTest, ResetMarkerEmptiesTheUserKeyAtExitAndTheNextStartWritesDefaults) {
    {
        PersistentGrabber grab(&Sink);
        grab.SetTimeOut(60);
        grab.SetFileTypes("png");
        grab.SetProxyPort(8080);
        grab.Store().WriteBool(Setting::ResetAll.Entry, true);
    }
    EXPECT_TRUE(ValueNames(RegistryRoot::CurrentUser).empty());
    EXPECT_EQ(Stored(Setting::ProxyPort), "8080") << "only the key holding the marker is wiped";

    PersistentGrabber grab(&Sink);
    EXPECT_EQ(grab.TimeOut(), 300);
    EXPECT_EQ(grab.FileTypes(), "gif\r\njpeg\r\njpg\r\n");
    EXPECT_EQ(grab.ProxyPort(), 8080);
    EXPECT_EQ(Stored(Setting::TimeOut), "300");
    EXPECT_EQ(Stored(Setting::FileTypes), "gif\r\njpeg\r\njpg");
    EXPECT_EQ(Stored(Setting::ResetAll), std::nullopt);
    EXPECT_TRUE(Sink.Texts.empty()) << Sink.Texts.front();
}

// ---------------------------------------------------------------------------
// Loading what is there

TEST_F(PersistentGrabberTest, MissingStorageFolderFallsBackForThisRunOnlyWithoutCreatingIt) {
    const std::string gone = Base + "/gone/pics/";
    Preset(Setting::StoragePath.Entry, gone);
    const std::vector<std::string> said{"unable to access to  " + gone +
                                        "\r\ndownload directory set to  " + DefaultFolder() +
                                        "\r\nfor this run only: the stored folder is kept"};
    {
        PersistentGrabber grab(&Sink);
        EXPECT_EQ(Sink.Texts, said);
        EXPECT_EQ(grab.DownloadPath(), DefaultFolder());
        EXPECT_EQ(grab.PageDownloader.DownloadPath, DefaultFolder());
        EXPECT_EQ(grab.FileDownloader.DownloadPath, DefaultFolder());
        EXPECT_EQ(Stored(Setting::StoragePath), gone);
        EXPECT_TRUE(fs::is_directory(DefaultFolder()));
        EXPECT_FALSE(fs::exists(Base + "/gone"));
    }
    Sink.Texts.clear();
    {
        PersistentGrabber again(&Sink); // the disk is still not there
        EXPECT_EQ(Sink.Texts, said);
    }
    Sink.Texts.clear();
    fs::create_directories(gone); // the disk is back
    PersistentGrabber attached(&Sink);
    EXPECT_TRUE(Sink.Texts.empty()) << Sink.Texts.front();
    EXPECT_EQ(attached.DownloadPath(), gone);
}

TEST_F(PersistentGrabberTest, TheStorageFolderFollowsTheCurrentFolderUntilTheUserChoosesOne) {
    { PersistentGrabber first(&Sink); }
    const std::string elsewhere = Base + "/elsewhere";
    fs::create_directories(elsewhere);
    fs::current_path(elsewhere);
    {
        PersistentGrabber second(&Sink);
        EXPECT_EQ(second.DownloadPath(), elsewhere + "/Download/");
        EXPECT_TRUE(fs::is_directory(elsewhere + "/Download"));
        fs::create_directories(Base + "/pics");
        second.SetDownloadPath(Base + "/pics/"); // the user's choice
    }
    const std::string third = Base + "/third";
    fs::create_directories(third);
    fs::current_path(third);
    PersistentGrabber chosen(&Sink);
    EXPECT_EQ(chosen.DownloadPath(), Base + "/pics/");
    EXPECT_FALSE(fs::exists(third + "/Download")) << "a folder nobody stores into";
    EXPECT_TRUE(Sink.Texts.empty()) << Sink.Texts.front();
}

TEST_F(PersistentGrabberTest, StoredStorageFolderThatExistsIsUsedSilently) {
    fs::create_directories(Base + "/pics");
    Preset(Setting::StoragePath.Entry, Base + "/pics/");
    PersistentGrabber grab(&Sink);
    EXPECT_TRUE(Sink.Texts.empty()) << Sink.Texts.front();
    EXPECT_EQ(grab.DownloadPath(), Base + "/pics/");
    EXPECT_EQ(grab.FileDownloader.DownloadPath, Base + "/pics/");
}

class PersistentGrabberDamagedTest : public PersistentGrabberTest {
protected:
    // Settings as a user might leave them after editing the files by hand:
    // values the setters would refuse, a word where a number belongs, and
    // some good values among them.
    void WriteDamagedFiles(const std::string& htmlConcurrent = "0") {
        fs::create_directories(Base + "/pics");
        WriteFile(UserFile(), "[Software]\n"
                              "Tessellon\\HtmlConcurrentDownloads=" +
                                  htmlConcurrent +
                                  "\n"
                                  "Tessellon\\FilesConcurrentDownloads=-3\n"
                                  "Tessellon\\SearchDepthLevel=abc\n"
                                  "Tessellon\\RetryCount=0\n"
                                  "Tessellon\\TimeOut=15\n"
                                  "Tessellon\\MaxHtmlQueueSize=5\n"
                                  "Tessellon\\DownloadType=7\n"
                                  "Tessellon\\ResultsFile=3\n"
                                  "Tessellon\\MaxDownloadQueueSize=250\n"
                                  "Tessellon\\StayOnSite=0\n"
                                  "Tessellon\\FileTypes=png\\r\\ngif\n"
                                  "Tessellon\\SeekRobots=1\n"
                                  "Tessellon\\StoragePath=" +
                                  Base + "/pics/\n");
        WriteFile(MachineFile(), "[Software]\n"
                                 "Tessellon\\ProxyPort=99999999\n"
                                 "Tessellon\\ProxyType=9\n"
                                 "Tessellon\\ProxyAddress=proxy.test\n");
    }
};

TEST_F(PersistentGrabberDamagedTest, RefusableValuesLoadAsDefaultsAndGoodOnesAreKept) {
    WriteDamagedFiles();
    PersistentGrabber grab(&Sink);
    EXPECT_TRUE(Sink.Texts.empty()) << Sink.Texts.front();
    // refused: the defaults
    EXPECT_EQ(grab.HtmlConcurrentDownloads(), 4);
    EXPECT_EQ(grab.FilesConcurrentDownloads(), 3);
    EXPECT_EQ(grab.DepthSearchLevel(), 3);
    EXPECT_EQ(grab.Retries(), 3);
    EXPECT_EQ(grab.FileDownloader.RetryCount, 3);
    EXPECT_EQ(grab.TimeOut(), 300);
    EXPECT_EQ(grab.PageDownloader.TimeOut, 300);
    EXPECT_EQ(grab.MaxQueueSize(), 5000);
    EXPECT_EQ(grab.DownloadType(), DownloadFilter::DOWNLOAD_HREF);
    EXPECT_EQ(grab.ResultsMode, 1);
    EXPECT_EQ(grab.ProxyPort(), 80);
    EXPECT_EQ(grab.FileDownloader.ProxyPort, 80);
    EXPECT_EQ(grab.ProxyType(), ProxyMode::PROXY_DEFAULT);
    // kept
    EXPECT_EQ(grab.MaxDownloadQueueSize(), 250);
    EXPECT_FALSE(grab.StayOnSite);
    EXPECT_TRUE(grab.SeekRobots);
    EXPECT_EQ(grab.FileTypes(), "gif\r\npng\r\n");
    EXPECT_EQ(grab.ProxyAddress(), "proxy.test");
    EXPECT_EQ(grab.DownloadPath(), Base + "/pics/");
    // The connection limit follows the counts in use, not the damaged text.
    EXPECT_EQ(ConnectionLimits(), "7 9");
    grab.SetFilesConcurrentDownloads(5);
    EXPECT_EQ(ConnectionLimits(), "9 11");
}

TEST_F(PersistentGrabberDamagedTest, ConnectionLimitIgnoresAnyDamagedPageCount) {
    for (const char* text : {"0", "-3", "101", "abc", "2147483647", "99999999999"}) {
        fs::remove_all(Config);
        WriteDamagedFiles(text);
        PersistentGrabber grab(&Sink);
        EXPECT_EQ(grab.HtmlConcurrentDownloads(), 4) << text;
        EXPECT_EQ(ConnectionLimits(), "7 9") << text;
        grab.SetFilesConcurrentDownloads(5);
        EXPECT_EQ(ConnectionLimits(), "9 11") << text;
    }
}

TEST_F(PersistentGrabberDamagedTest, AScanRunsOnTheLoadedSettings) {
    TestHttpServer site;
    site.Serve("/g.html", "text/html", "<a href=\"big.jpg\"><img src=\"small.jpg\"></a>");
    site.Serve("/big.jpg", "image/jpeg", "JPEG big");
    site.Serve("/small.jpg", "image/jpeg", "JPEG small");
    WriteDamagedFiles();
    PersistentGrabber grab(&Sink);
    grab.SetFileTypes("jpg");
    ASSERT_TRUE(grab.StartScan(site.Url("/g.html")));
    ASSERT_TRUE(RunUntil([&] { return !grab.IsWorking(); }, 60000));
    EXPECT_EQ(ReadFile(Base + "/pics/" + site.HostFolder() + "/big.jpg"), "JPEG big");
    EXPECT_FALSE(fs::exists(Base + "/pics/" + site.HostFolder() + "/small.jpg"))
        << "only links are taken by default";
    EXPECT_TRUE(Sink.Texts.empty()) << Sink.Texts.front();
}

TEST_F(PersistentGrabberTest, ForeignSettingsFileIsKeptAsideAndDefaultsAreUsed) {
    const std::string foreign = "<html>\n<body>not a settings file</body>\n</html>\n";
    WriteFile(UserFile(), foreign);
    PersistentGrabber grab(&Sink);
    ASSERT_EQ(Sink.Texts.size(), 1u);
    EXPECT_NE(Sink.Texts[0].find(UserFile()), std::string::npos) << Sink.Texts[0];
    EXPECT_NE(Sink.Texts[0].find("defaults are used"), std::string::npos) << Sink.Texts[0];
    EXPECT_NE(Sink.Texts[0].find(UserFile() + ".bad"), std::string::npos) << Sink.Texts[0];
    EXPECT_EQ(ReadFile(UserFile() + ".bad"), foreign);
    EXPECT_EQ(grab.TimeOut(), 300);
    EXPECT_EQ(grab.HtmlConcurrentDownloads(), 4);
    EXPECT_EQ(grab.DownloadPath(), DefaultFolder());
    EXPECT_EQ(Stored(Setting::TimeOut), "300") << "a fresh file holds the defaults";
}
