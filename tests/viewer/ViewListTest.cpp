// The view list over a generated storage tree: rows, filters, settings,
// messages, viewed marks, guarded moves to the Trash and the build's
// refusals. The suite is also registered under TZ=Asia/Kolkata, whose
// offset from UTC is not a whole number of hours.

#include "viewer/ViewList.h"
#include "settings/SettingsKey.h"

#include "TempDir.h"
#include "TestSettings.h"
#include "TrashHome.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <set>
#include <string>
#include <vector>

namespace {

// A local time today at hh:mm:ss.
std::time_t LocalTime(int hour, int minute, int second) {
    std::time_t now = std::time(nullptr);
    std::tm t{};
    ::localtime_r(&now, &t);
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    t.tm_isdst = -1;
    return std::mktime(&t);
}

void SetTime(const std::string& path, std::time_t when) {
    const struct timespec times[2] = {{when, 0}, {when, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW), 0) << path;
}

void WriteSized(const std::string& path, std::size_t bytes) {
    WriteFile(path, std::string(bytes, 'x'));
}

void Sparse(const std::string& path, off_t bytes) {
    WriteFile(path, "");
    ASSERT_EQ(::truncate(path.c_str(), bytes), 0) << path;
}

std::time_t MTime(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
    return st.st_mtime;
}

std::tm Local(std::time_t t) {
    std::tm out{};
    ::localtime_r(&t, &out);
    return out;
}

std::string Cwd() {
    char buf[4096];
    return ::getcwd(buf, sizeof buf) ? buf : "";
}

class ViewListTest : public ::testing::Test {
protected:
    ViewListTest() : list(&messages) {
        // Stands for the grid: a view connects to the model's reset.
        QObject::connect(&list, &QAbstractItemModel::modelReset, [this] { ++resets; });
        root = files.Sub("store");
        outside = files.Sub("outside");
        list.RootFolder = root;
    }

    // The storage tree every case starts from.
    void MakeTree() {
        WriteSized(root + "/Pics.Example/IMG_01.JPG", 3000);     // 2 KiB, full size
        WriteSized(root + "/host/gallery/b99.gif", 99 * 1024);   // 99 KiB
        WriteSized(root + "/host/gallery/c100.gif", 100 * 1024); // 100 KiB
        WriteSized(root + "/host/thumbs/t1.jpg", 1500);          // thumbnails: 0444
        WriteSized(root + "/host/thumbs/T2.JPEG", 2500);
        ::chmod((root + "/host/thumbs/t1.jpg").c_str(), 0444);
        ::chmod((root + "/host/thumbs/T2.JPEG").c_str(), 0444);
        WriteFile(root + "/host/.hidden.jpg", "x");  // dot file
        WriteFile(root + "/.cache/inside.jpg", "x"); // dot folder
        WriteFile(root + "/host/jpg", "x");          // no "."
        WriteFile(root + "/host/readme.txt", "x");   // type not listed
        WriteFile(root + "/host/seen.avi", "x");     // viewed by its time
        SetTime(root + "/host/seen.avi", LocalTime(11, 58, 58));
        Sparse(root + "/host/big/huge.mpg", off_t(100001) * 1024);
        Sparse(root + "/host/big/giant.mpeg", off_t(5) << 30);
        WriteFile(outside + "/secret.jpg", "outside");
        ASSERT_EQ(::symlink(root.c_str(), (root + "/loop").c_str()), 0);   // a cycle
        ASSERT_EQ(::symlink(outside.c_str(), (root + "/out").c_str()), 0); // outside folder
        ASSERT_EQ(::symlink((outside + "/secret.jpg").c_str(), (root + "/link.jpg").c_str()), 0);
        WriteFile(root + "/locked/in.jpg", "x");
        ::chmod((root + "/locked").c_str(), 0);
    }

    // True when the permission-less folder can still be read (root).
    bool LockedIsReadable() const {
        DIR* d = ::opendir((root + "/locked").c_str());
        if (d) ::closedir(d);
        return d != nullptr;
    }

    std::set<std::string> Rows() const {
        std::set<std::string> out;
        for (int i = 0; i < list.rowCount(); ++i)
            out.insert(list.LinePath(i));
        return out;
    }

    int RowOf(const std::string& path) const {
        for (int i = 0; i < list.rowCount(); ++i)
            if (list.LinePath(i) == path) return i;
        return -1;
    }

    ConfigFolder config;
    TrashHome trash;
    TempDir files;
    RecordedMessages messages;
    ViewList list;
    int resets = 0;
    std::string root;
    std::string outside;
};

} // namespace

// --- settings ---

TEST_F(ViewListTest, SettingsStartAtTheirDefaultsAndPersistUnderTheirStoredNames) {
    EXPECT_EQ(list.SortType(), 1);
    EXPECT_FALSE(list.SortDescending());
    EXPECT_FALSE(list.UnviewedOnly());
    EXPECT_EQ(list.DisplayedSize(), 1);
    EXPECT_EQ(list.GetListedTypes(), "asf\r\navi\r\ngif\r\njpeg\r\njpg\r\nmpeg\r\nmpg\r\n");

    list.SetSortType(3);
    list.SetSortType(4); // out of range: ignored
    list.SetSortDescending(true);
    list.SetUnviewedOnly(true);
    list.SetDisplayedSize(2);
    list.SetDisplayedSize(-1);
    SettingsKey reg("Tessellon");
    EXPECT_EQ(reg.StoredInteger({true, "ViewerSortType"}), 3);
    EXPECT_EQ(reg.StoredInteger({true, "ViewedDisplayedSize"}), 2);
    EXPECT_TRUE(reg.ReadBool({true, "ViewerSortDescending"}, false));
    EXPECT_TRUE(reg.ReadBool({true, "ViewerUnviewedOnly"}, false));

    ViewList again;
    EXPECT_EQ(again.SortType(), 3);
    EXPECT_TRUE(again.SortDescending());
    EXPECT_TRUE(again.UnviewedOnly());
    EXPECT_EQ(again.DisplayedSize(), 2);
}

TEST_F(ViewListTest, ListedTypesAreKeptInLowerCaseAndSorted) {
    list.SetListedTypes("PNG\r\nJpg");
    EXPECT_EQ(list.GetListedTypes(), "jpg\r\npng\r\n");
    WriteFile(root + "/h/A.PNG", "x");
    WriteFile(root + "/h/b.gif", "x");
    list.Build();
    EXPECT_EQ(Rows(), (std::set<std::string>{"h/A.PNG"}));
}

// --- building ---

TEST_F(ViewListTest, BuildListsTheRightFilesOfTheTree) {
    MakeTree();
    const bool lockedReadable = LockedIsReadable();
    list.SetDisplayedSize(2);
    const std::string cwd = Cwd();
    std::vector<std::string> progress;
    list.CountLabel = [&](const std::string& t) { progress.push_back(t); };

    const int found = list.Build();

    std::set<std::string> expected = {"Pics.Example/IMG_01.JPG", "host/gallery/b99.gif",
                                      "host/gallery/c100.gif",   "host/thumbs/t1.jpg",
                                      "host/thumbs/T2.JPEG",     "host/seen.avi",
                                      "host/big/huge.mpg",       "host/big/giant.mpeg"};
    if (lockedReadable) expected.insert("locked/in.jpg");
    EXPECT_EQ(Rows(), expected);
    EXPECT_EQ(found, int(expected.size()));
    EXPECT_EQ(Cwd(), cwd); // paths resolve against RootFolder, not the working folder
    EXPECT_EQ(list.RootFolder, root + "/");
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.back(), std::to_string(found) + " files selected.");

    if (lockedReadable) {
        GTEST_LOG_(INFO) << "running as root: a folder of mode 000 is still read";
        EXPECT_EQ(list.UnreadableFolders(), 0);
        EXPECT_TRUE(messages.Texts.empty());
    } else {
        EXPECT_EQ(list.UnreadableFolders(), 1);
        EXPECT_EQ(messages.Texts, (std::vector<std::string>{"1 unreadable folder skipped."}));
    }

    // Lines carry the lower-case key; records keep the real path.
    const int img = RowOf("Pics.Example/IMG_01.JPG");
    ASSERT_GE(img, 0);
    EXPECT_EQ(list.Lines()[std::size_t(img)].KeyText(), "pics.example/img_01.jpg");
    EXPECT_EQ(list.data(list.index(img)).toString().toStdString(),
              "    2 k  " + std::string(list.FindRecord("Pics.Example/IMG_01.JPG")->Date) +
                  "  pics.example/img_01.jpg");
    EXPECT_EQ(list.data(list.index(img), ViewList::PathRole).toString().toStdString(),
              "Pics.Example/IMG_01.JPG");
    EXPECT_EQ(list.LineFullPath(img), root + "/Pics.Example/IMG_01.JPG");

    const ViewRecord* huge = list.FindRecord("host/big/huge.mpg");
    const ViewRecord* giant = list.FindRecord("host/big/giant.mpeg");
    ASSERT_TRUE(huge && giant);
    EXPECT_EQ(huge->SizeKiB, 100001u);
    EXPECT_EQ(giant->SizeKiB, 5u << 20);
    EXPECT_TRUE(list.FindRecord("host/thumbs/t1.jpg")->Thumbnail);
    EXPECT_FALSE(list.FindRecord("host/gallery/b99.gif")->Thumbnail);
    EXPECT_TRUE(list.FindRecord("host/seen.avi")->Viewed);
    EXPECT_FALSE(list.FindRecord("host/gallery/b99.gif")->Viewed);
    EXPECT_EQ(list.FindRecord("HOST/SEEN.AVI")->Path, "host/seen.avi"); // look-up by key
}

TEST_F(ViewListTest, FiltersBySizeViewedAndSearchText) {
    MakeTree();
    list.Build(); // full size only by default
    EXPECT_EQ(Rows().count("host/thumbs/t1.jpg"), 0u);
    EXPECT_EQ(Rows().count("host/gallery/b99.gif"), 1u);

    list.SetDisplayedSize(0);
    ASSERT_TRUE(list.Filter());
    EXPECT_EQ(Rows(), (std::set<std::string>{"host/thumbs/t1.jpg", "host/thumbs/T2.JPEG"}));

    list.SetDisplayedSize(2);
    list.SetUnviewedOnly(true);
    list.Filter();
    EXPECT_EQ(Rows().count("host/seen.avi"), 0u);
    EXPECT_EQ(Rows().count("host/gallery/b99.gif"), 1u);

    list.SearchText = "IMG_"; // upper case still matches the lower-case keys
    list.SearchActive = true;
    list.Filter();
    EXPECT_EQ(Rows(), (std::set<std::string>{"Pics.Example/IMG_01.JPG"}));

    messages.Texts.clear();
    list.SearchText = "no such file";
    list.Filter();
    ASSERT_EQ(list.rowCount(), 1); // one empty line, no message
    EXPECT_EQ(list.data(list.index(0)).toString(), "");
    EXPECT_EQ(list.LinePath(0), "");
    EXPECT_TRUE(messages.Texts.empty());
}

TEST_F(ViewListTest, SortsTheBuiltRowsByTheStoredKey) {
    WriteSized(root + "/a/big.jpg", 100 * 1024);
    WriteSized(root + "/b/small.jpg", 99 * 1024);
    WriteSized(root + "/c/mid.jpg", 99 * 1024 + 10);
    list.SetSortType(VIEWSORT_FILESIZE);
    list.Build();
    ASSERT_EQ(list.rowCount(), 3);
    EXPECT_EQ(list.LinePath(0), "b/small.jpg");
    EXPECT_EQ(list.LinePath(2), "a/big.jpg");
    list.SetSortDescending(true);
    list.SetSortType(VIEWSORT_FILENAME);
    ASSERT_TRUE(list.SortLines());
    EXPECT_EQ(list.LinePath(0), "b/small.jpg");
    EXPECT_EQ(list.LinePath(1), "c/mid.jpg");
    EXPECT_EQ(list.LinePath(2), "a/big.jpg");
}

TEST_F(ViewListTest, NoFilesMessagesKeepTheirTexts) {
    WriteFile(root + "/h/readme.txt", "x");
    EXPECT_EQ(list.Build(), 0);
    ASSERT_EQ(messages.Texts, (std::vector<std::string>{"No files found.\nFist download files"}));
    ASSERT_EQ(list.rowCount(), 1);

    messages.Texts.clear();
    list.SearchText = "Cat"; // counts even when the search is off
    list.Build();
    EXPECT_EQ(list.SearchText, "cat");
    EXPECT_EQ(messages.Texts,
              (std::vector<std::string>{"No files found.\nCheck or disable the search option."}));
}

TEST_F(ViewListTest, MissingRootAndMissingGridBecomeMessages) {
    list.RootFolder = files.Sub("none");
    EXPECT_EQ(list.Build(), 0);
    EXPECT_EQ(messages.Texts,
              (std::vector<std::string>{"directory " + files.Sub("none") + "/ not available"}));

    messages.Texts.clear();
    list.RootFolder.clear();
    EXPECT_EQ(list.Build(), 0); // nothing listed, nothing said
    EXPECT_TRUE(messages.Texts.empty());

    RecordedMessages own;
    ViewList unseen(&own);
    WriteFile(root + "/h/a.jpg", "x");
    unseen.RootFolder = root;
    EXPECT_EQ(unseen.Build(), 1);
    EXPECT_EQ(own.Texts, (std::vector<std::string>{"External Grid not assigned"}));
}

TEST_F(ViewListTest, BuildIsNotReenteredAndRefusesChangesWhileItRuns) {
    MakeTree();
    int calls = 0;
    list.ProcessMessages = [&] {
        ++calls;
        EXPECT_TRUE(list.Building());
        EXPECT_FALSE(list.Filter());
        EXPECT_FALSE(list.SortLines());
        EXPECT_FALSE(list.ShowLines());
        EXPECT_FALSE(list.ClearRecords());
        EXPECT_EQ(list.TrashFile("host/gallery/b99.gif"), TrashOutcome::Failed);
        const int before = list.FoundCount();
        EXPECT_EQ(list.Build(), before);
    };
    list.SetDisplayedSize(2);
    const int found = list.Build();
    EXPECT_GT(calls, 3); // once a folder
    EXPECT_FALSE(list.Building());
    EXPECT_EQ(int(list.Records().size()), found);
    EXPECT_TRUE(FileExists(root + "/host/gallery/b99.gif"));
}

// --- viewed marks ---

TEST_F(ViewListTest, ViewedMarkSurvivesMarkingAndRebuildInLocalTime) {
    if (const char* tz = std::getenv("TZ"); tz && std::string(tz) == "Asia/Kolkata") {
        const std::tm now = Local(std::time(nullptr));
        ASSERT_EQ(now.tm_gmtoff, 19800) << "the zone data for Asia/Kolkata is missing";
    }
    MakeTree();
    const std::string img = root + "/Pics.Example/IMG_01.JPG";
    SetTime(img, LocalTime(9, 13, 7));
    list.SetDisplayedSize(2);
    list.Build();
    ASSERT_FALSE(list.FindRecord("Pics.Example/IMG_01.JPG")->Viewed);

    const int row = RowOf("Pics.Example/IMG_01.JPG");
    ASSERT_TRUE(list.MarkViewed(list.LinePath(row)));
    EXPECT_TRUE(list.FindRecord("Pics.Example/IMG_01.JPG")->Viewed);
    const std::tm marked = Local(MTime(img));
    EXPECT_EQ(marked.tm_hour, 9);
    EXPECT_EQ(marked.tm_min, 58);
    EXPECT_EQ(marked.tm_sec, 58);

    // A read-only thumbnail is marked and stays read-only.
    ASSERT_TRUE(list.MarkViewed("host/thumbs/t1.jpg"));
    struct stat st {};
    ASSERT_EQ(::stat((root + "/host/thumbs/t1.jpg").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0444u);

    list.SetUnviewedOnly(true);
    list.Build();
    EXPECT_TRUE(list.FindRecord("Pics.Example/IMG_01.JPG")->Viewed);
    EXPECT_TRUE(list.FindRecord("host/thumbs/t1.jpg")->Viewed);
    EXPECT_EQ(RowOf("Pics.Example/IMG_01.JPG"), -1);
    EXPECT_EQ(RowOf("host/seen.avi"), -1);
    EXPECT_GE(RowOf("host/gallery/b99.gif"), 0);
}

TEST_F(ViewListTest, MarkViewedOnNoFileShowsUnableToOpen) {
    WriteFile(root + "/h/gone.jpg", "x");
    list.Build();
    ASSERT_EQ(list.rowCount(), 1);
    ASSERT_EQ(::unlink((root + "/h/gone.jpg").c_str()), 0);
    messages.Texts.clear();

    EXPECT_FALSE(list.MarkViewed(list.LinePath(0))); // vanished
    EXPECT_FALSE(list.MarkViewed(""));               // the empty row
    EXPECT_FALSE(list.MarkViewed("h/missing.jpg"));
    EXPECT_FALSE(list.MarkViewed("../outside.jpg"));
    EXPECT_EQ(messages.Texts,
              (std::vector<std::string>{"unable to open h/gone.jpg", "unable to open ",
                                        "unable to open h/missing.jpg",
                                        "unable to open ../outside.jpg"}));
    // The list still shows the mark until the next build.
    EXPECT_TRUE(list.FindRecord("h/gone.jpg")->Viewed);
}

// --- the Trash ---

namespace {

std::string Canonical(const std::string& path) {
    char* resolved = ::realpath(path.c_str(), nullptr);
    std::string out = resolved ? resolved : "";
    std::free(resolved);
    return out;
}

} // namespace

// The test's data folder does not exist yet, as on a fresh account.
TEST_F(ViewListTest, FilesGoToTheTrashWithTheirTrashInfo) {
    MakeTree();
    WriteFile(root + "/other/IMG_01.JPG", "second of the name");
    list.SetDisplayedSize(2);
    list.Build();
    const std::string img = Canonical(root + "/Pics.Example/IMG_01.JPG");
    const int row = RowOf("Pics.Example/IMG_01.JPG");
    ASSERT_GE(row, 0);
    ASSERT_TRUE(list.MarkViewed("pics.example/img_01.jpg")); // by its key
    EXPECT_EQ(list.TrashFile(list.LinePath(row)), TrashOutcome::Moved);
    EXPECT_FALSE(FileExists(img));
    EXPECT_EQ(ReadFile(trash.Files() + "/IMG_01.JPG"), std::string(3000, 'x'));
    const std::string info = ReadFile(trash.Info() + "/IMG_01.JPG.trashinfo");
    EXPECT_EQ(info.rfind("[Trash Info]\n", 0), 0u) << info;
    EXPECT_NE(info.find("\nPath=" + img + "\n"), std::string::npos) << info;
    EXPECT_NE(info.find("\nDeletionDate="), std::string::npos) << info;
    EXPECT_EQ(list.TrashFile(list.LinePath(row)), TrashOutcome::Failed); // gone

    // A second file of the same name, and a read-only thumbnail, go too;
    // neither replaces what the Trash holds.
    EXPECT_EQ(list.TrashFile("other/IMG_01.JPG"), TrashOutcome::Moved);
    EXPECT_EQ(list.TrashFile("host/thumbs/t1.jpg"), TrashOutcome::Moved);
    EXPECT_FALSE(FileExists(root + "/host/thumbs/t1.jpg"));
    EXPECT_EQ(FilesUnder(trash.Files()).size(), 3u);
    EXPECT_EQ(FilesUnder(trash.Info()).size(), 3u);
}

// QFile cannot take a name that is not UTF-8; such files go to the Trash by
// their bytes, with the same rules: a .trashinfo holding the percent-encoded
// path, and a second file of the same name never replacing the first.
TEST_F(ViewListTest, NamesThatAreNotUtf8GoToTheTrashByTheirBytes) {
    for (const char* folder : {"/a/", "/b/"})
        WriteFile(root + folder + "caf\xE9.jpg", folder);
    list.Build();
    EXPECT_EQ(list.TrashFile("a/caf\xE9.jpg"), TrashOutcome::Moved);
    EXPECT_EQ(list.TrashFile("b/caf\xE9.jpg"), TrashOutcome::Moved);
    EXPECT_EQ(list.TrashFile("b/caf\xE9.jpg"), TrashOutcome::Failed); // gone
    EXPECT_EQ(ReadFile(trash.Files() + "/caf\xE9.jpg"), "/a/");
    EXPECT_EQ(ReadFile(trash.Files() + "/caf\xE9-1.jpg"), "/b/");
    const std::string info = ReadFile(trash.Info() + "/caf\xE9-1.jpg.trashinfo");
    EXPECT_EQ(info.rfind("[Trash Info]\nPath=" + Canonical(root) + "/b/caf%E9.jpg\n", 0), 0u)
        << info;
    EXPECT_NE(info.find("\nDeletionDate="), std::string::npos) << info;
    EXPECT_EQ(FilesUnder(trash.Info()).size(), 2u);
}

TEST_F(ViewListTest, TrashNeverReachesOutsideTheRootFolder) {
    MakeTree();
    list.Build();
    for (const char* path :
         {"out/secret.jpg", "link.jpg", "../outside/secret.jpg", "loop/out/secret.jpg", "host", ""})
        EXPECT_EQ(list.TrashFile(path), TrashOutcome::Failed) << path;
    EXPECT_EQ(ReadFile(outside + "/secret.jpg"), "outside");
    EXPECT_TRUE(FileExists(root + "/link.jpg"));
    EXPECT_TRUE(FilesUnder(trash.Files()).empty());
}

// Where no Trash can be made in the home at all (a plain file stands where
// the data folder would go), the file stays where it was and nothing lands
// in the current folder.
TEST_F(ViewListTest, NoHomeTrashLeavesTheFileInPlace) {
    WorkFolder work;
    WriteFile(files.Sub("blocked"), "a file, not a folder");
    ::setenv("XDG_DATA_HOME", files.Sub("blocked/data").c_str(), 1);
    WriteFile(root + "/h/a.jpg", "picture");
    list.Build();
    EXPECT_EQ(list.TrashFile("h/a.jpg"), TrashOutcome::NoTrash);
    EXPECT_EQ(ReadFile(root + "/h/a.jpg"), "picture");
    EXPECT_EQ(FilesUnder(work.Dir.Path()), std::vector<std::string>{});
}
