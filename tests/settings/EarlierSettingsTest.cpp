// Settings files written by an earlier release, kept as they were written
// (data/earlier), are read back value for value: the stored names, roots and
// numbers are what users' files hold, whatever the code calls them.
#include "SettingsSandbox.h"
#include "TempDir.h"
#include "settings/PersistentGrabber.h"

#include <filesystem>

namespace fs = std::filesystem;

namespace {

const std::string kDataDir = TESSELLON_SETTINGS_DATA "/earlier";

} // namespace

class EarlierSettingsTest : public SettingsSandbox {
protected:
    void SetUp() override {
        SettingsSandbox::SetUp();
        fs::create_directories(Config);
        // The user's storage disk stands at /media/pictures in the files;
        // here it is a folder of the test's own, so that the stored path is
        // found and kept.
        Pictures = Work + "/pictures";
        fs::create_directories(Pictures + "/Download");
        for (const char* name : {"CurrentUser.ini", "LocalMachine.ini"}) {
            std::string text = ReadFile(kDataDir + "/" + name);
            ASSERT_FALSE(text.empty()) << name;
            for (std::size_t at; (at = text.find("/media/pictures")) != std::string::npos;)
                text.replace(at, 15, Pictures);
            WriteFile(Config + "/" + name, text);
        }
    }

    std::string Pictures;
    RecordingSink Sink;
};

TEST_F(EarlierSettingsTest, TheGrabberLoadsEveryStoredValue) {
    PersistentGrabber grab(&Sink);
    EXPECT_TRUE(Sink.Texts.empty()) << Sink.Texts.front();
    EXPECT_EQ(grab.DownloadPath(), Pictures + "/Download/");
    EXPECT_EQ(grab.FileOfResults(), Pictures + "/results.txt");
    EXPECT_EQ(grab.FileTypes(), "jpg\r\npng\r\nwebm\r\n"); // kept sorted
    EXPECT_TRUE(grab.ReuseHtmlFiles());
    EXPECT_FALSE(grab.DownloadHtmlPages());
    EXPECT_TRUE(grab.SearchThumbs());
    EXPECT_EQ(grab.DownloadType(), DownloadFilter(2));
    EXPECT_EQ(grab.MaxDownloadQueueSize(), 1234);
    EXPECT_EQ(grab.MaxQueueSize(), 2345);
    EXPECT_EQ(grab.Retries(), 7);
    EXPECT_EQ(grab.DepthSearchLevel(), 5);
    EXPECT_EQ(grab.TimeOut(), 45);
    EXPECT_FALSE(grab.StayOnSite);
    EXPECT_TRUE(grab.ModernMarkup);
    EXPECT_TRUE(grab.RespectRateLimits());
    EXPECT_EQ(grab.ConnectionsPerHost(), 3);
    EXPECT_FALSE(grab.ReportExternalLinks);
    EXPECT_TRUE(grab.SeekRobots);
    EXPECT_TRUE(grab.LeavesFirst());
    EXPECT_TRUE(grab.KeywordsFilterEnabled);
    EXPECT_TRUE(grab.KeywordsLimiterEnabled);
    EXPECT_EQ(grab.GetKeywordsFilter(), "ads\r\nbanner\r\n");
    EXPECT_EQ(grab.GetKeywordsLimiter(), "gallery\r\n");
    EXPECT_EQ(grab.GetHtmlExtensions(), "html\r\nphp\r\n");
    EXPECT_EQ(grab.InitialReferringUrl, "http://referrer.example/start.html");
    EXPECT_EQ(grab.ResultsMode, 2);
    EXPECT_TRUE(grab.LogsEnabled());
    EXPECT_EQ(grab.ProxyType(), ProxyMode(1));
    EXPECT_EQ(grab.ProxyAddress(), "proxy.example");
    EXPECT_EQ(grab.ProxyPort(), 3128);
    EXPECT_EQ(grab.ProxyUser(), "puser");
    EXPECT_EQ(grab.ProxyPassword(), "ppass");
    EXPECT_EQ(grab.UserName(), "user");
    EXPECT_EQ(grab.Password(), "secret");
    EXPECT_EQ(grab.HtmlConcurrentDownloads(), 6);
    EXPECT_EQ(grab.FilesConcurrentDownloads(), 5);
}

TEST_F(EarlierSettingsTest, WindowAndLibraryValuesReadUnderTheirStoredNames) {
    SettingsKey key("Tessellon", &Sink);
    auto integer = [&](const SettingDef& def) { return key.ReadInteger(def.Entry, -1); };
    auto boolean = [&](const SettingDef& def) { return key.ReadBool(def.Entry, true); };
    auto text = [&](const SettingDef& def) { return key.ReadString(def.Entry, "?"); };
    EXPECT_EQ(integer(Setting::Variant), 2);
    EXPECT_EQ(text(Setting::ScanHistory), "http://gallery.example/index.html");
    EXPECT_EQ(text(Setting::LastBrowserUrl), "http://gallery.example/");
    EXPECT_FALSE(boolean(Setting::GetFullSizeFirst));
    EXPECT_TRUE(key.ReadBool(Setting::AutoGetFullSized.Entry, false));
    EXPECT_FALSE(boolean(Setting::GetVideos));
    EXPECT_EQ(integer(Setting::MaxNumberOfTabs), 25);
    EXPECT_TRUE(key.ReadBool(Setting::DisableNoPicsWarning.Entry, false));
    EXPECT_TRUE(key.ReadBool(Setting::DisableWelcomeMessage.Entry, false));
    EXPECT_FALSE(boolean(Setting::AddToAddressHistory));
    EXPECT_FALSE(boolean(Setting::ViewerShowFullScreenComments));
    EXPECT_EQ(integer(Setting::ViewerSortType), 3);
    EXPECT_TRUE(key.ReadBool(Setting::ViewerSortDescending.Entry, false));
    EXPECT_EQ(integer(Setting::ViewerDisplayedSize), 2);
    EXPECT_TRUE(key.ReadBool(Setting::ViewerUnviewedOnly.Entry, false));
    EXPECT_EQ(text(Setting::ViewerListedTypes), "jpg\r\nmp4");
    EXPECT_TRUE(Sink.Texts.empty()) << Sink.Texts.front();

    RegistryStore typed(RegistryRoot::CurrentUser);
    ASSERT_TRUE(typed.OpenKey("Software\\Microsoft\\Internet Explorer\\TypedURLs", false));
    EXPECT_EQ(typed.ReadString("Url1"), "http://gallery.example/index.html");
    EXPECT_EQ(typed.ReadString("Url2"), "http://other.example/page%E9.html");
    EXPECT_EQ(typed.ReadString("Url3"), "");
    EXPECT_EQ(ConnectionLimits(), "8 10");
}
