// The preferences dialog over a gallery controller whose settings live in a
// temporary configuration folder: typing and clicking apply at once through
// the setters and reach the settings files; variants hide their parts.

#include "viewer/PreferencesDialog.h"

#include "AccessibleWalk.h"
#include "TempDir.h"
#include "TestSettings.h"
#include "gallery/HelpContext.h"
#include "settings/SettingsKey.h"

#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QProcessEnvironment>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTest>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace {

// The child process of SecondProcessSeesTheChangedValue prints the value
// named here, read through the settings store, and ends.
constexpr const char* kPrintSetting = "TESSELLON_TEST_PRINT_SETTING";

const char* const kInternetSettings =
    "\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";

class PreferencesDialogTest : public ::testing::Test {
protected:
    PreferencesDialogTest() { gallery.SetTimerEnabled(false); }

    // Built on first use, so that a test can prepare the settings first.
    PreferencesDialog& Dialog() {
        if (!dialog) {
            dialog = std::make_unique<PreferencesDialog>(gallery, &messages);
            dialog->MainWindowVisible = [this] { return mainVisible; };
            dialog->ConfirmReset = [this](const QString& question) {
                questions.push_back(question.toStdString());
                return answerYes;
            };
        }
        return *dialog;
    }
    template <class T> T* Find(const char* name) {
        T* found = Dialog().findChild<T*>(QLatin1String(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }
    // Replaces the whole text of a field by typing, as a user does.
    void Retype(const char* name, const char* text) {
        QLineEdit* edit = Find<QLineEdit>(name);
        edit->selectAll();
        if (*text == '\0')
            QTest::keyClick(edit, Qt::Key_Backspace);
        else
            QTest::keyClicks(edit, QLatin1String(text));
    }
    std::string UserFile() const {
        return ReadFile(RegistryStore::FileFor(RegistryRoot::CurrentUser));
    }
    // What another reader of the store sees, without storing defaults.
    static std::string Stored(const SettingDef& def) {
        SettingsKey reg("Tessellon");
        reg.StoreDefaults = false;
        return reg.ReadString(def.Entry, "<missing>");
    }
    static int ConnectionLimit(const char* name) {
        RegistryStore reg(RegistryRoot::CurrentUser);
        if (!reg.OpenKey(kInternetSettings, false) || !reg.ValueExists(name)) return -1;
        return reg.ReadInteger(name);
    }
    bool HasMessage(const std::string& text) const {
        for (const auto& t : messages.Texts)
            if (t == text) return true;
        return false;
    }

    ConfigFolder config;
    RecordedMessages messages;
    GalleryController gallery{&messages};
    std::unique_ptr<PreferencesDialog> dialog;
    bool mainVisible = false;
    bool answerYes = false;
    std::vector<std::string> questions;
};

// A click on a check box's indicator (its centre may lie beyond its text).
void ClickBox(QCheckBox* box) {
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(6, box->height() / 2));
}

QString AccessibleName(QWidget* w) {
    QAccessibleInterface* node = QAccessible::queryAccessibleInterface(w);
    return node != nullptr ? node->text(QAccessible::Name) : QString();
}

} // namespace

// --- layout, captions, accessibility ---

TEST_F(PreferencesDialogTest, SevenTabsInOrderOpeningOnHtmlScanningWithTheirHelpContexts) {
    QTabWidget* pages = Find<QTabWidget>("pages");
    ASSERT_EQ(pages->count(), 7);
    const char* titles[] = {"General",         "Thumbs", "Viewer",    "HTML Scanning",
                            "Files downloads", "Proxy",  "Connection"};
    const int contexts[] = {6800, 6300, 0, 6400, 6500, 6600, 6700};
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(pages->tabText(i).toStdString(), titles[i]);
        EXPECT_EQ(HelpContextOf(pages->widget(i)), contexts[i]) << titles[i];
    }
    EXPECT_EQ(pages->currentIndex(), 3);
    EXPECT_EQ(Dialog().windowTitle().toStdString(), "Preferences");
    // A control takes its tab's context.
    EXPECT_EQ(HelpContextOf(Find<QLineEdit>("retryCount")), 6700);
    EXPECT_GE(Dialog().width(), 575);
    EXPECT_GE(Dialog().height(), 416);
}

TEST_F(PreferencesDialogTest, LargeFontsGrowTheWindowInsteadOfClippingTexts) {
    const QFont normal = QApplication::font();
    QFont large = normal;
    large.setPointSize(20);
    QApplication::setFont(large);
    Dialog().show();
    QTabWidget* pages = Find<QTabWidget>("pages");
    for (int i = 0; i < pages->count(); ++i) {
        pages->setCurrentIndex(i);
        QApplication::processEvents();
        for (QAbstractButton* b : pages->widget(i)->findChildren<QAbstractButton*>()) {
            if (!b->isVisible()) continue;
            EXPECT_GE(b->width(), b->minimumSizeHint().width()) << b->text().toStdString();
        }
        for (QLabel* l : pages->widget(i)->findChildren<QLabel*>()) {
            if (!l->isVisible() || l->wordWrap()) continue;
            EXPECT_GE(l->width(), l->minimumSizeHint().width()) << l->text().toStdString();
        }
    }
    Dialog().hide();
    QApplication::setFont(normal);
}

TEST_F(PreferencesDialogTest, EveryControlOfEveryTabHasAnAccessibleName) {
    Dialog().show();
    QTabWidget* pages = Find<QTabWidget>("pages");
    for (int i = 0; i < pages->count(); ++i) {
        pages->setCurrentIndex(i);
        QApplication::processEvents();
        const std::vector<std::string> unnamed = UnnamedAccessibleControls(&Dialog());
        EXPECT_TRUE(unnamed.empty()) << pages->tabText(i).toStdString() << ": " << unnamed.front();
    }
    // Fields by their labels, memos by their groups.
    const std::pair<const char*, const char*> names[] = {
        {"retryCount", "retry count"},
        {"timeOut", "timeout"},
        {"proxyPort", "port"},
        {"proxyAddress", "proxy ip address"},
        {"proxyUser", "user name"},
        {"keywordsFilter", "URL must NOT contain"},
        {"keywordsLimiter", "URL must contain"},
        {"htmlExtensions", "html extensions"},
        {"fileTypes", "download these files"},
        {"listedTypes", "listed file types"},
        {"storageFolder", "storage folder"},
        {"chooseFolder", "choose storage directory"},
        {"maxTabs", "max number of tabs opened"},
    };
    for (const auto& [object, name] : names)
        EXPECT_EQ(AccessibleName(Find<QWidget>(object)).toStdString(), name) << object;
    Dialog().hide();
}

// --- number fields ---

TEST_F(PreferencesDialogTest, RetryCountRefusesZeroAndNonDigits) {
    Dialog();
    const std::string before = UserFile();
    Retype("retryCount", "0");
    EXPECT_EQ(gallery.Retries(), 3);
    EXPECT_EQ(UserFile(), before);
    // Only digits can be typed.
    QLineEdit* retries = Find<QLineEdit>("retryCount");
    QTest::keyClicks(retries, "a-");
    EXPECT_EQ(retries->text().toStdString(), "0");
    Retype("retryCount", "7");
    EXPECT_EQ(gallery.Retries(), 7);
    EXPECT_EQ(gallery.FileDownloader.RetryCount, 7);
    EXPECT_EQ(Stored(Setting::RetryCount), "7");
    EXPECT_TRUE(messages.Texts.empty());
}

TEST_F(PreferencesDialogTest, TimeOutTypedAsFourThenFortyFiveStoresFortyFive) {
    Dialog();
    Retype("timeOut", "4");
    EXPECT_EQ(gallery.TimeOut(), 300); // refused: below 20
    EXPECT_EQ(Stored(Setting::TimeOut), "300");
    QTest::keyClicks(Find<QLineEdit>("timeOut"), "5");
    EXPECT_EQ(gallery.TimeOut(), 45);
    EXPECT_EQ(gallery.PageDownloader.TimeOut, 45);
    EXPECT_EQ(Stored(Setting::TimeOut), "45");
}

TEST_F(PreferencesDialogTest, EmptiedPortShowsTheMessageAndStoresEighty) {
    Find<QRadioButton>("proxyOptions1")->click(); // the port can be typed into
    Retype("proxyPort", "8080");
    EXPECT_EQ(Stored(Setting::ProxyPort), "8080");
    EXPECT_TRUE(messages.Texts.empty());
    Retype("proxyPort", "");
    ASSERT_EQ(messages.Texts.size(), 1u);
    EXPECT_EQ(messages.Texts[0], "Incorrect value;  reseted to 80");
    EXPECT_EQ(gallery.ProxyPort(), 80);
    EXPECT_EQ(gallery.FileDownloader.ProxyPort, 80);
    EXPECT_EQ(Stored(Setting::ProxyPort), "80");
}

TEST_F(PreferencesDialogTest, QueueSizesTooLargeForANumberFallBackToTen) {
    Dialog();
    Retype("htmlQueueSize", "123456789012");
    EXPECT_TRUE(HasMessage("Incorrect value;  reseted to 10"));
    EXPECT_EQ(gallery.MaxQueueSize(), 10);
    EXPECT_EQ(Stored(Setting::MaxHtmlQueueSize), "10");

    messages.Texts.clear();
    Retype("filesQueueSize", "12a");
    EXPECT_TRUE(HasMessage("Incorrect value;  reseted to 10"));
    EXPECT_EQ(Stored(Setting::MaxDownloadQueueSize), "10");
}

// --- up-down fields ---

TEST_F(PreferencesDialogTest, ConcurrencyAppliesOnlyWhileTheMainWindowIsVisible) {
    // Filling the dialog leaves the connection limit alone.
    {
        RegistryStore reg(RegistryRoot::CurrentUser);
        ASSERT_TRUE(reg.OpenKey(kInternetSettings, false));
        reg.DeleteValue("MaxConnectionsPerServer");
    }
    mainVisible = true;
    QSpinBox* files = Find<QSpinBox>("filesConcurrent");
    EXPECT_EQ(files->value(), 3);
    EXPECT_EQ(ConnectionLimit("MaxConnectionsPerServer"), -1);

    mainVisible = false;
    files->stepDown();
    EXPECT_EQ(gallery.FilesConcurrentDownloads(), 3);
    EXPECT_EQ(Stored(Setting::FilesConcurrentDownloads), "3");

    mainVisible = true;
    files->stepDown();
    EXPECT_EQ(gallery.FilesConcurrentDownloads(), 1);
    EXPECT_EQ(ConnectionLimit("MaxConnectionsPerServer"), 5); // 1 + the 4 page downloads
    QTest::mouseClick(Find<QPushButton>("filesConcurrentDefault"), Qt::LeftButton);
    EXPECT_EQ(files->value(), 2);
    EXPECT_EQ(gallery.FilesConcurrentDownloads(), 2);
    EXPECT_EQ(Stored(Setting::FilesConcurrentDownloads), "2");
    EXPECT_EQ(ConnectionLimit("MaxConnectionsPerServer"), 6);
    EXPECT_EQ(ConnectionLimit("MaxConnectionsPer1_0Server"), 8);

    QTest::mouseClick(Find<QPushButton>("htmlConcurrentDefault"), Qt::LeftButton);
    EXPECT_EQ(gallery.HtmlConcurrentDownloads(), 2);
    EXPECT_EQ(ConnectionLimit("MaxConnectionsPerServer"), 4);
}

TEST_F(PreferencesDialogTest, TabLimitAndVideosApplyOnlyWhileTheMainWindowIsVisible) {
    QSpinBox* tabs = Find<QSpinBox>("maxTabs");
    EXPECT_EQ(tabs->value(), 10);
    EXPECT_EQ(tabs->minimum(), 5);
    // Typing is blocked.
    QTest::keyClicks(tabs, "7");
    EXPECT_EQ(tabs->value(), 10);
    tabs->stepUp();
    EXPECT_EQ(gallery.MaxNumberOfTabs(), 10);
    Dialog().show();
    Find<QTabWidget>("pages")->setCurrentIndex(1);
    QCheckBox* videos = Find<QCheckBox>("getVideos");
    ClickBox(videos);
    EXPECT_FALSE(videos->isChecked());
    EXPECT_TRUE(gallery.GetVideos());

    mainVisible = true;
    tabs->stepUp();
    EXPECT_EQ(gallery.MaxNumberOfTabs(), 12);
    EXPECT_EQ(Stored(Setting::MaxNumberOfTabs), "12");
    ClickBox(videos); // on again
    ClickBox(videos); // and off
    EXPECT_FALSE(gallery.GetVideos());
    EXPECT_EQ(Stored(Setting::GetVideos), "0");
    Dialog().hide();
}

// --- check boxes, radio groups, memos ---

TEST_F(PreferencesDialogTest, ProxyParametersAreEnabledOnlyForUseProxy) {
    Dialog().show();
    Find<QTabWidget>("pages")->setCurrentIndex(5);
    QGroupBox* parameters = Find<QGroupBox>("proxyParameters");
    EXPECT_FALSE(parameters->isEnabled()); // stored: system defaults
    QTest::mouseClick(Find<QRadioButton>("proxyOptions1"), Qt::LeftButton);
    EXPECT_TRUE(parameters->isEnabled());
    EXPECT_EQ(gallery.ProxyType(), ProxyMode::PROXY_USEPROXY);
    EXPECT_EQ(gallery.FileDownloader.ProxyType, ProxyMode::PROXY_USEPROXY);
    EXPECT_EQ(Stored(Setting::ProxyType), "1");
    QTest::mouseClick(Find<QRadioButton>("proxyOptions0"), Qt::LeftButton);
    EXPECT_FALSE(parameters->isEnabled());
    EXPECT_EQ(Stored(Setting::ProxyType), "0");
    QTest::mouseClick(Find<QRadioButton>("proxyOptions1"), Qt::LeftButton);
    QTest::mouseClick(Find<QRadioButton>("proxyOptions2"), Qt::LeftButton);
    EXPECT_FALSE(parameters->isEnabled());
    EXPECT_EQ(Stored(Setting::ProxyType), "2");
    Dialog().hide();

    // A second dialog over the stored "use proxy" opens with the group on.
    gallery.SetProxyType(ProxyMode::PROXY_USEPROXY);
    PreferencesDialog again(gallery, &messages);
    EXPECT_TRUE(again.findChild<QGroupBox*>("proxyParameters")->isEnabled());
}

TEST_F(PreferencesDialogTest, FillingPushesStoredConnectionValuesIntoBothDownloadManagers) {
    gallery.SetProxyAddress("10.0.0.1");
    gallery.SetUserName("site-user");
    gallery.SetTimeOut(60);
    // Managers that lost their values get them back when the dialog fills.
    for (DownloadManager* manager : {&gallery.PageDownloader, &gallery.FileDownloader}) {
        manager->ProxyAddress.clear();
        manager->UserName.clear();
        manager->RetryCount = 0;
    }
    gallery.PageDownloader.TimeOut = 1;
    Dialog();
    for (DownloadManager* manager : {&gallery.PageDownloader, &gallery.FileDownloader}) {
        EXPECT_EQ(manager->ProxyAddress, "10.0.0.1");
        EXPECT_EQ(manager->UserName, "site-user");
        EXPECT_EQ(manager->RetryCount, 3);
    }
    // The file manager keeps its own time-out.
    EXPECT_EQ(gallery.PageDownloader.TimeOut, 60);
    EXPECT_EQ(Find<QLineEdit>("proxyAddress")->text().toStdString(), "10.0.0.1");
    EXPECT_EQ(Find<QLineEdit>("timeOut")->text().toStdString(), "60");
}

TEST_F(PreferencesDialogTest, MemosApplyEachKeystrokeAndShowTheNormalisedListsAfterClosing) {
    QString status;
    Dialog().StatusText = [&](const QString& text) { status = text; };
    Dialog().show();
    Find<QTabWidget>("pages")->setCurrentIndex(4);
    QPlainTextEdit* types = Find<QPlainTextEdit>("fileTypes");
    types->moveCursor(QTextCursor::Start);
    QTest::keyClicks(types, "PNG");
    QTest::keyClick(types, Qt::Key_Return);
    EXPECT_EQ(gallery.FileTypes(), "gif\r\njpeg\r\njpg\r\npng\r\n");
    EXPECT_EQ(Stored(Setting::FileTypes), "png\r\ngif\r\njpeg\r\njpg\r\n");
    EXPECT_EQ(types->toPlainText().toStdString(), "PNG\ngif\njpeg\njpg\n");

    QTest::mouseClick(Find<QPushButton>("ok"), Qt::LeftButton);
    EXPECT_FALSE(Dialog().isVisible());
    EXPECT_EQ(types->toPlainText().toStdString(), "gif\njpeg\njpg\npng\n");
    EXPECT_EQ(status.toStdString(), " " + gallery.DownloadPath());
}

TEST_F(PreferencesDialogTest, HistoryAndCommentsCheckBoxesStoreAndTellTheirOwners) {
    std::vector<bool> history, comments;
    Dialog().AddToHistoryHook = [&](bool add) { history.push_back(add); };
    Dialog().OnShowComments = [&](bool on) { comments.push_back(on); };
    Dialog().show();
    Find<QTabWidget>("pages")->setCurrentIndex(0);
    QCheckBox* add = Find<QCheckBox>("addToHistory");
    EXPECT_TRUE(add->isChecked());
    ClickBox(add);
    EXPECT_EQ(history, std::vector<bool>{false});
    EXPECT_EQ(Stored(Setting::AddToAddressHistory), "0"); // false: not added

    Find<QTabWidget>("pages")->setCurrentIndex(2);
    QCheckBox* show = Find<QCheckBox>("showComments");
    ClickBox(show);
    EXPECT_EQ(comments, std::vector<bool>{false});
    EXPECT_EQ(Stored(Setting::ViewerShowFullScreenComments), "0");
    // Today's markup is read as soon as the box is ticked, and kept.
    Find<QTabWidget>("pages")->setCurrentIndex(3);
    ClickBox(Find<QCheckBox>("modernMarkup"));
    EXPECT_TRUE(gallery.ModernMarkup);
    EXPECT_EQ(Stored(Setting::ModernMarkup), "1");
    // So is running page scripts, off until ticked.
    QCheckBox* scripts = Find<QCheckBox>("runPageScripts");
    EXPECT_EQ(scripts->text(), "Run page scripts before looking for pictures");
    EXPECT_EQ(AccessibleName(scripts).toStdString(),
              "run page scripts before looking for pictures");
    EXPECT_FALSE(scripts->isChecked());
    ClickBox(scripts);
    EXPECT_TRUE(gallery.RunPageScripts());
    EXPECT_EQ(Stored(Setting::RunPageScripts), "1");
    // The viewer's menu item sets the box without being called back.
    Dialog().SetShowComments(true);
    EXPECT_TRUE(Dialog().ShowComments());
    EXPECT_EQ(comments.size(), 1u);
    Dialog().hide();
}

// Rate limits apply to both managers at once and are kept; the per-host cap
// is offered only while they are respected.
TEST_F(PreferencesDialogTest, RateLimitsBoxAndPerHostCapApplyToBothManagersAndAreKept) {
    Dialog().show();
    Find<QTabWidget>("pages")->setCurrentIndex(4);
    QCheckBox* polite = Find<QCheckBox>("respectRateLimits");
    QSpinBox* perHost = Find<QSpinBox>("connectionsPerHost");
    EXPECT_EQ(polite->text().toStdString(), "Respect server rate limits");
    EXPECT_FALSE(polite->isChecked());
    EXPECT_FALSE(perHost->isEnabled());
    EXPECT_EQ(perHost->text().toStdString(), "no limit");
    ClickBox(polite);
    EXPECT_TRUE(gallery.PageDownloader.RespectRateLimits);
    EXPECT_TRUE(gallery.FileDownloader.RespectRateLimits);
    EXPECT_EQ(Stored(Setting::RespectRateLimits), "1");
    ASSERT_TRUE(perHost->isEnabled());
    perHost->setValue(2);
    EXPECT_EQ(gallery.SharedHostLimits.Cap, 2);
    EXPECT_EQ(Stored(Setting::ConnectionsPerHost), "2");
    Dialog().hide();
}

// --- storage folder and reset ---

TEST_F(PreferencesDialogTest, ChosenFolderBecomesTheStorageAndHoldsTheResultsFile) {
    TempDir pics;
    QString caption;
    Dialog().ChooseFolder = [&](const QString& c, const QString&) {
        caption = c;
        return QString();
    };
    const std::string before = gallery.DownloadPath();
    Dialog().ChooseStorageFolder();
    EXPECT_EQ(caption.toStdString(), "Please choose the new files storage path:");
    EXPECT_EQ(gallery.DownloadPath(), before); // given up: nothing changes

    Dialog().ChooseFolder = [&](const QString&, const QString&) {
        return QString::fromStdString(pics.Path());
    };
    QTest::mouseClick(Find<QPushButton>("chooseFolder"), Qt::LeftButton);
    EXPECT_EQ(gallery.DownloadPath(), pics.Path());
    EXPECT_EQ(Stored(Setting::StoragePath), pics.Path());
    EXPECT_EQ(gallery.FileOfResults(), pics.Path() + "/results.txt");
    EXPECT_EQ(Find<QLineEdit>("storageFolder")->text().toStdString(), pics.Path());

    EXPECT_EQ(ResultsFileIn("/data/pics/"), "/data/pics/results.txt");
    EXPECT_EQ(ResultsFileIn("/data/pics"), "/data/pics/results.txt");
}

TEST_F(PreferencesDialogTest, ResetAsksAndOnlyYesMarksTheSettingsForWiping) {
    QGuiApplication::setApplicationDisplayName(QStringLiteral("Tessellon"));
    Dialog();
    const std::string before = UserFile();
    answerYes = false;
    QTest::mouseClick(Find<QPushButton>("resetAll"), Qt::LeftButton);
    ASSERT_EQ(questions.size(), 1u);
    EXPECT_EQ(questions[0], "Reset to defaults values ?");
    EXPECT_EQ(UserFile(), before);
    EXPECT_TRUE(messages.Texts.empty());

    answerYes = true;
    QTest::mouseClick(Find<QPushButton>("resetAll"), Qt::LeftButton);
    EXPECT_EQ(Stored(Setting::ResetAll), "1");
    ASSERT_EQ(messages.Texts.size(), 1u);
    EXPECT_EQ(messages.Texts[0],
              "You must restart Tessellon for the default parameters to be effective");
}

TEST_F(PreferencesDialogTest, SecondProcessSeesTheChangedValue) {
    Dialog();
    Retype("timeOut", "45");
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QLatin1String(kPrintSetting), QStringLiteral("TimeOut"));
    child.setProcessEnvironment(env);
    child.start(QCoreApplication::applicationFilePath(), {});
    ASSERT_TRUE(child.waitForFinished(30000));
    EXPECT_EQ(child.exitCode(), 0);
    EXPECT_EQ(child.readAllStandardOutput().toStdString(), "45\n");
}

// --- variants ---

TEST_F(PreferencesDialogTest, VariantsShowTheirOwnParts) {
    QTabWidget* pages = Find<QTabWidget>("pages");
    const auto shown = [&](const char* name) { return !Find<QWidget>(name)->isHidden(); };
    Dialog().ApplyVariant(APP_TESSELLON);
    EXPECT_TRUE(pages->isTabVisible(1)); // Thumbs
    EXPECT_TRUE(pages->isTabVisible(0)); // General
    EXPECT_TRUE(pages->isTabVisible(4)); // Files downloads
    EXPECT_FALSE(shown("resultFileGroup"));
    EXPECT_FALSE(shown("htmlExtensionsGroup"));
    EXPECT_FALSE(shown("fileTypesGroup"));
    EXPECT_FALSE(shown("listedTypesGroup"));
    EXPECT_FALSE(shown("findTextAddresses"));
    EXPECT_TRUE(shown("browserProxyNote"));
    EXPECT_TRUE(shown("storePages"));

    Dialog().ApplyVariant(APP_SCRIVANE);
    EXPECT_FALSE(pages->isTabVisible(0));
    EXPECT_FALSE(pages->isTabVisible(1));
    EXPECT_FALSE(pages->isTabVisible(4));
    EXPECT_TRUE(pages->isTabVisible(2)); // Viewer: left as it was
    EXPECT_TRUE(shown("resultFileGroup"));
    EXPECT_TRUE(shown("htmlExtensionsGroup"));
    EXPECT_FALSE(shown("storePages"));
    EXPECT_FALSE(shown("browserProxyNote"));
    EXPECT_FALSE(shown("fileTypesGroup")); // left as the gallery variant had it

    Dialog().ApplyVariant(APP_MISSIVANT);
    EXPECT_FALSE(pages->isTabVisible(2));
    EXPECT_TRUE(pages->isTabVisible(4));
    EXPECT_TRUE(shown("fileTypesGroup"));
    EXPECT_TRUE(shown("filterDownloads"));
    // The mail face writes its results file and may read addresses in the text.
    EXPECT_TRUE(shown("resultFileGroup"));
    EXPECT_TRUE(shown("findTextAddresses"));
    EXPECT_TRUE(pages->isTabVisible(3)); // HTML Scanning always
}

TEST_F(PreferencesDialogTest, TextAddressesBoxIsNamedByItsCaptionAndKept) {
    Dialog().ApplyVariant(APP_MISSIVANT);
    Dialog().show();
    Find<QTabWidget>("pages")->setCurrentIndex(3);
    QCheckBox* box = Find<QCheckBox>("findTextAddresses");
    EXPECT_EQ(box->text(), "Also find addresses in the page text");
    EXPECT_EQ(box->accessibleName(), box->text());
    const bool before = box->isChecked();
    EXPECT_EQ(before, gallery.FindTextAddresses);
    ClickBox(box);
    EXPECT_EQ(gallery.FindTextAddresses, !before);
    EXPECT_EQ(Stored(Setting::FindTextAddresses), before ? "0" : "1");
    Dialog().hide();
}

// The cookie boxes start on (the defaults), are named by their captions and
// reach the scan's settings and the stored values.
TEST_F(PreferencesDialogTest, CookieBoxesAreNamedByTheirCaptionsAndKept) {
    Dialog().show();
    Find<QTabWidget>("pages")->setCurrentIndex(3);
    QCheckBox* keep = Find<QCheckBox>("keepCookies");
    QCheckBox* logins = Find<QCheckBox>("useBrowserLogins");
    EXPECT_EQ(keep->text(), "Keep cookies during a scan");
    EXPECT_EQ(logins->text(), "Use the browser's logins");
    for (QCheckBox* box : {keep, logins}) {
        EXPECT_EQ(box->accessibleName(), box->text());
        EXPECT_TRUE(box->isChecked());
        EXPECT_TRUE(box->isVisible());
    }
    ClickBox(keep);
    ClickBox(logins);
    EXPECT_FALSE(gallery.KeepCookies());
    EXPECT_FALSE(gallery.UseBrowserLogins());
    EXPECT_EQ(Stored(Setting::KeepCookies), "0");
    EXPECT_EQ(Stored(Setting::UseBrowserLogins), "0");
    Dialog().hide();
}

int main(int argc, char** argv) {
    if (const char* name = std::getenv(kPrintSetting)) {
        SettingsKey reg("Tessellon");
        reg.StoreDefaults = false;
        std::printf("%s\n", reg.ReadString({true, name}, "<missing>").c_str());
        return 0;
    }
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
