#include "settings/RegistryStore.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <sys/stat.h>

namespace fs = std::filesystem;

namespace {

const std::string kApp = "\\Software\\Tessellon";

struct RecordingSink : MessageSink {
    std::vector<std::string> Texts;
    void ShowMessage(std::string_view text) override { Texts.emplace_back(text); }
};

std::optional<std::string> Env(const char* name) {
    const char* v = std::getenv(name);
    return v ? std::optional<std::string>(v) : std::nullopt;
}

void Restore(const char* name, const std::optional<std::string>& value) {
    if (value)
        setenv(name, value->c_str(), 1);
    else
        unsetenv(name);
}

std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

void Spill(const std::string& path, const std::string& data) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << data;
}

unsigned Mode(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0;
}

// Every test gets its own configuration folder, so no real settings are touched.
class RegistryStoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        Saved[0] = Env("TESSELLON_CONFIG_DIR");
        Saved[1] = Env("XDG_CONFIG_HOME");
        Saved[2] = Env("HOME");
        Base = (fs::temp_directory_path() /
                ("tessellon-reg-" + std::to_string(::getpid()) + "-" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name()))
                   .string();
        fs::remove_all(Base);
        fs::create_directories(Base);
        Folder = Base + "/config";
        setenv("TESSELLON_CONFIG_DIR", Folder.c_str(), 1);
        UserFile = Folder + "/CurrentUser.ini";
    }
    void TearDown() override {
        Restore("TESSELLON_CONFIG_DIR", Saved[0]);
        Restore("XDG_CONFIG_HOME", Saved[1]);
        Restore("HOME", Saved[2]);
        fs::remove_all(Base);
    }

    // Points the store at a copy of the current files, so that they are read
    // afresh from disk by objects that share nothing with the earlier ones.
    void ReopenFromCopy() {
        const std::string copy = Base + "/copy";
        fs::copy(Folder, copy, fs::copy_options::recursive);
        setenv("TESSELLON_CONFIG_DIR", copy.c_str(), 1);
    }

    std::optional<std::string> Saved[3];
    std::string Base, Folder, UserFile;
};

TEST_F(RegistryStoreTest, KindsRoundTripAndConvert) {
    {
        RegistryStore reg(RegistryRoot::CurrentUser);
        ASSERT_TRUE(reg.OpenKey(kApp, true));
        reg.WriteString("StoragePath", "/home/u/Download/");
        reg.WriteInteger("TimeOut", 300);
        reg.WriteInteger("Min", INT_MIN);
        reg.WriteInteger("Max", INT_MAX);
        reg.WriteBool("StayOnSite", true);
        reg.WriteBool("LeavesFirst", false);
        reg.WriteInteger("Seven", 7);
        reg.WriteString("Word", "12a");
        reg.WriteString("Padded", " 42 ");
        reg.WriteString("Huge", "4294967296");
        reg.CloseKey();
    }
    ReopenFromCopy();
    RegistryStore reg(RegistryRoot::CurrentUser);
    ASSERT_TRUE(reg.OpenKey(kApp, false));
    EXPECT_EQ(reg.ReadString("StoragePath"), "/home/u/Download/");
    EXPECT_EQ(reg.ReadInteger("TimeOut"), 300);
    EXPECT_EQ(reg.ReadString("TimeOut"), "300");
    EXPECT_EQ(reg.ReadInteger("Min"), INT_MIN);
    EXPECT_EQ(reg.ReadInteger("Max"), INT_MAX);
    EXPECT_TRUE(reg.ReadBool("StayOnSite"));
    EXPECT_FALSE(reg.ReadBool("LeavesFirst"));
    EXPECT_EQ(reg.ReadInteger("StayOnSite"), 1);
    EXPECT_TRUE(reg.ReadBool("Seven")); // any non-zero integer is true
    EXPECT_EQ(reg.ReadInteger("Word"), 0);
    EXPECT_EQ(reg.ReadInteger("Padded"), 42);
    EXPECT_EQ(reg.ReadInteger("Huge"), 0);
    // Missing values read as defaults.
    EXPECT_FALSE(reg.ValueExists("Nothing"));
    EXPECT_EQ(reg.ReadString("Nothing"), "");
    EXPECT_EQ(reg.ReadInteger("Nothing"), 0);
    EXPECT_FALSE(reg.ReadBool("Nothing"));
    // Writing replaces, whatever the earlier kind.
    reg.WriteString("TimeOut", "soon");
    EXPECT_EQ(reg.ReadString("TimeOut"), "soon");
}

TEST_F(RegistryStoreTest, AwkwardValuesAndNamesRoundTripThroughTheFile) {
    const std::vector<std::string> values = {"a,b",
                                             ",",
                                             "a, b",
                                             " lead",
                                             "trail ",
                                             "  ",
                                             "x;y",
                                             ";semi",
                                             "=eq",
                                             "#hash",
                                             "[br]",
                                             "q\"uote\"",
                                             "\"",
                                             "back\\slash\\",
                                             "line\nnext",
                                             "gif\r\njpeg\r\njpg",
                                             "tab\there",
                                             "@at",
                                             "@ByteArray(x)",
                                             "@Invalid()",
                                             std::string("nul\0x", 5),
                                             "\x01"
                                             "abc",
                                             "caf\xc3\xa9 \xe6\xbc\xa2",
                                             "\xff\xfe not utf-8 \x80",
                                             std::string(100000, 'x'),
                                             ""};
    const std::vector<std::string> names = {
        "with space", "a/b", "a\\b", "a=b",     "%",          "%25",      "%key", "",
        "[x]",        ";c",  "#h",   "General", "\xc3\x9cml", "\xff\x01", " pad "};
    {
        RegistryStore reg(RegistryRoot::CurrentUser);
        ASSERT_TRUE(reg.OpenKey(kApp, true));
        for (std::size_t i = 0; i < values.size(); ++i)
            reg.WriteString("v" + std::to_string(i), values[i]);
        for (std::size_t i = 0; i < names.size(); ++i)
            reg.WriteInteger(names[i], static_cast<int>(i));
    }
    ReopenFromCopy();
    RegistryStore reg(RegistryRoot::CurrentUser);
    ASSERT_TRUE(reg.OpenKey(kApp, false));
    for (std::size_t i = 0; i < values.size(); ++i)
        EXPECT_EQ(reg.ReadString("v" + std::to_string(i)), values[i]) << "value " << i;
    for (std::size_t i = 0; i < names.size(); ++i) {
        EXPECT_TRUE(reg.ValueExists(names[i])) << "name " << i;
        EXPECT_EQ(reg.ReadInteger(names[i]), static_cast<int>(i)) << "name " << i;
    }
    std::vector<std::string> listed = reg.GetValueNames();
    EXPECT_EQ(listed.size(), values.size() + names.size());
    for (const std::string& n : names)
        EXPECT_NE(std::find(listed.begin(), listed.end(), n), listed.end());
}

TEST_F(RegistryStoreTest, KeysAreOpenedCreatedAndMatchedWithoutCase) {
    RegistryStore reg(RegistryRoot::CurrentUser);
    EXPECT_FALSE(reg.OpenKey(kApp, false));
    EXPECT_FALSE(fs::exists(UserFile)) << "looking must not create the file";

    // Writes without an open key go nowhere.
    reg.WriteString("Stray", "x");
    EXPECT_FALSE(reg.ValueExists("Stray"));
    EXPECT_FALSE(fs::exists(UserFile));

    ASSERT_TRUE(reg.OpenKey("Software\\Microsoft\\Internet Explorer\\TypedURLs", true));
    reg.CloseKey();
    EXPECT_TRUE(reg.KeyExists("\\Software\\Microsoft")); // parents are keys of their own
    EXPECT_TRUE(reg.OpenKey("\\software\\MICROSOFT\\internet explorer\\TypedURLs\\", false));
    EXPECT_TRUE(reg.GetValueNames().empty());

    // An empty key survives, and so does one emptied of its values.
    ASSERT_TRUE(reg.OpenKey(kApp, true));
    reg.WriteString("ResetAll", "1");
    EXPECT_TRUE(reg.DeleteValue("resetall"));
    EXPECT_FALSE(reg.DeleteValue("ResetAll"));
    EXPECT_TRUE(reg.KeyExists("Software\\Tessellon"));

    // Names keep their first spelling; another spelling replaces the value.
    reg.WriteInteger("ProxyPort", 80);
    reg.WriteInteger("PROXYPORT", 8080);
    EXPECT_EQ(reg.GetValueNames(), std::vector<std::string>{"ProxyPort"});
    EXPECT_EQ(reg.ReadInteger("proxyport"), 8080);

    ASSERT_TRUE(
        reg.OpenKey("\\Soft/ware\\a\\\\b", true)); // '/' is part of a name; "\\" is one step
    EXPECT_TRUE(reg.KeyExists("Soft/ware\\a\\b"));
    EXPECT_FALSE(reg.KeyExists("Soft\\ware"));

    ASSERT_TRUE(reg.OpenKey("", false)); // the root itself
    reg.WriteString("AtRoot", "r");
    EXPECT_EQ(reg.ReadString("AtRoot"), "r");
}

TEST_F(RegistryStoreTest, DeleteKeyRemovesTheWholeBranchOnly) {
    RegistryStore reg(RegistryRoot::CurrentUser);
    ASSERT_TRUE(reg.OpenKey(kApp + "\\Sub\\Deeper", true));
    reg.WriteString("x", "1");
    ASSERT_TRUE(reg.OpenKey(kApp, true));
    reg.WriteString("y", "2");
    ASSERT_TRUE(reg.OpenKey("\\Software\\Other", true));
    reg.WriteString("z", "3");

    ASSERT_TRUE(reg.OpenKey(kApp + "\\Sub", false));
    EXPECT_FALSE(reg.DeleteKey("\\Software\\Missing"));
    EXPECT_FALSE(reg.DeleteKey("\\"));
    EXPECT_TRUE(reg.DeleteKey("software\\tessellon"));
    EXPECT_FALSE(reg.KeyOpen()); // it was inside the removed branch
    reg.WriteString("after", "1");

    EXPECT_FALSE(reg.KeyExists(kApp));
    EXPECT_FALSE(reg.KeyExists(kApp + "\\Sub"));
    EXPECT_TRUE(reg.KeyExists("\\Software"));
    ASSERT_TRUE(reg.OpenKey("\\Software\\Other", false));
    EXPECT_EQ(reg.ReadString("z"), "3");
}

TEST_F(RegistryStoreTest, RootsLiveInSeparatePrivateFiles) {
    const mode_t oldMask = ::umask(0); // the modes must not depend on the umask
    RegistryStore user(RegistryRoot::CurrentUser);
    RegistryStore machine(RegistryRoot::LocalMachine);
    ASSERT_TRUE(user.OpenKey(kApp, true));
    user.WriteString("Password", "secret");
    ASSERT_TRUE(machine.OpenKey(kApp, true));
    machine.WriteInteger("ProxyPort", 80);
    ::umask(oldMask);

    EXPECT_EQ(RegistryStore::FileFor(RegistryRoot::CurrentUser), UserFile);
    EXPECT_EQ(RegistryStore::FileFor(RegistryRoot::LocalMachine), Folder + "/LocalMachine.ini");
    EXPECT_EQ(Mode(Folder), 0700u);
    EXPECT_EQ(Mode(UserFile), 0600u);
    EXPECT_EQ(Mode(Folder + "/LocalMachine.ini"), 0600u);
    EXPECT_FALSE(user.ValueExists("ProxyPort"));
    EXPECT_FALSE(machine.ValueExists("Password"));
    EXPECT_NE(Slurp(UserFile).find("secret"), std::string::npos);

    // Looser bits are taken away again at the next write.
    ::chmod(UserFile.c_str(), 0644);
    user.WriteString("Password", "other");
    EXPECT_EQ(Mode(UserFile), 0600u);
}

TEST_F(RegistryStoreTest, ObjectsAndProcessesSeeEachOthersWrites) {
    RegistryStore a(RegistryRoot::CurrentUser);
    RegistryStore b(RegistryRoot::CurrentUser);
    ASSERT_TRUE(a.OpenKey(kApp, true));
    a.WriteInteger("Depth", 3);
    ASSERT_TRUE(b.OpenKey(kApp, false));
    EXPECT_EQ(b.ReadInteger("Depth"), 3);
    b.WriteInteger("Depth", 5);
    EXPECT_EQ(a.ReadInteger("Depth"), 5);
    a.CloseKey();
    b.CloseKey();

    // Another process rewrites the file: the next OpenKey reads it again.
    Spill(UserFile, "[Software]\nTessellon\\Depth=9\nTessellon\\Added=new text\n");
    ASSERT_TRUE(a.OpenKey(kApp, false));
    EXPECT_EQ(a.ReadInteger("Depth"), 9);
    EXPECT_EQ(a.ReadString("Added"), "new text");
}

TEST_F(RegistryStoreTest, CorruptFileGivesDefaultsOneMessageAndIsKept) {
    fs::create_directories(Folder);
    std::string garbage;
    for (int i = 0; i < 4096; ++i)
        garbage += static_cast<char>((i * 7919 + 13) % 256);
    Spill(UserFile, garbage);

    RegistryStore silent(RegistryRoot::CurrentUser); // no sink: the message waits
    EXPECT_FALSE(silent.OpenKey(kApp, false));
    RecordingSink sink;
    RegistryStore reg(RegistryRoot::CurrentUser, &sink);
    EXPECT_FALSE(reg.OpenKey(kApp, false));
    EXPECT_FALSE(reg.KeyExists(kApp));
    ASSERT_TRUE(reg.OpenKey(kApp, true));
    EXPECT_FALSE(reg.ValueExists("TimeOut"));
    EXPECT_EQ(reg.ReadInteger("TimeOut"), 0);

    ASSERT_EQ(sink.Texts.size(), 1u);
    EXPECT_EQ(
        sink.Texts[0],
        "settings file " + UserFile +
            " could not be read (it holds binary data); defaults are used; the file was kept as " +
            UserFile + ".bad");
    EXPECT_EQ(Slurp(UserFile + ".bad"), garbage);

    // A fresh file takes the writes.
    reg.WriteInteger("TimeOut", 300);
    EXPECT_EQ(reg.ReadInteger("TimeOut"), 300);
    EXPECT_EQ(Mode(UserFile), 0600u);

    // Spoilt again while in use: found at the next access; the first .bad stays.
    reg.CloseKey();
    Spill(UserFile, "[Software]\nTessellon\\TimeOut=20\nthis line means nothing\n");
    EXPECT_FALSE(reg.OpenKey(kApp, false));
    ASSERT_EQ(sink.Texts.size(), 2u);
    EXPECT_NE(sink.Texts[1].find("(line 3 is not a section, a value or a comment)"),
              std::string::npos);
    EXPECT_NE(sink.Texts[1].find(UserFile + ".bad.2"), std::string::npos);
    EXPECT_EQ(Slurp(UserFile + ".bad"), garbage);
}

TEST_F(RegistryStoreTest, UnreadablePathsNeverCrash) {
    // The settings file is a folder: it is moved aside too.
    fs::create_directories(UserFile);
    RecordingSink sink;
    {
        RegistryStore reg(RegistryRoot::CurrentUser, &sink);
        EXPECT_FALSE(reg.OpenKey(kApp, false));
        ASSERT_EQ(sink.Texts.size(), 1u);
        EXPECT_NE(sink.Texts[0].find("(it is a folder)"), std::string::npos);
        EXPECT_TRUE(fs::is_directory(UserFile + ".bad"));
        ASSERT_TRUE(reg.OpenKey(kApp, true));
        reg.WriteBool("GetVideos", true);
        EXPECT_TRUE(reg.ReadBool("GetVideos"));
    }

    // The configuration folder is a file: nothing can be read or moved aside.
    const std::string notAFolder = Base + "/plain";
    Spill(notAFolder, "x");
    setenv("TESSELLON_CONFIG_DIR", notAFolder.c_str(), 1);
    sink.Texts.clear();
    RegistryStore reg(RegistryRoot::CurrentUser, &sink);
    EXPECT_FALSE(reg.OpenKey(kApp, true));
    reg.WriteString("x", "y");
    EXPECT_FALSE(reg.ValueExists("x"));
    EXPECT_FALSE(reg.OpenKey(kApp, true));
    ASSERT_EQ(sink.Texts.size(), 1u);
    EXPECT_NE(sink.Texts[0].find("could not be read (Not a directory); defaults are used"),
              std::string::npos);
    EXPECT_EQ(Slurp(notAFolder), "x");
}

TEST_F(RegistryStoreTest, ConfigFolderFollowsTheEnvironment) {
    EXPECT_EQ(RegistryStore::ConfigFolder(), Folder);
    setenv("TESSELLON_CONFIG_DIR", (Folder + "/").c_str(), 1);
    EXPECT_EQ(RegistryStore::ConfigFolder(), Folder);

    unsetenv("TESSELLON_CONFIG_DIR");
    setenv("XDG_CONFIG_HOME", (Base + "/xdg").c_str(), 1);
    setenv("HOME", (Base + "/home").c_str(), 1);
    EXPECT_EQ(RegistryStore::ConfigFolder(), Base + "/xdg/Tessellon");
    setenv("XDG_CONFIG_HOME", "relative/ignored", 1);
    EXPECT_EQ(RegistryStore::ConfigFolder(), Base + "/home/.config/Tessellon");
    unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(RegistryStore::ConfigFolder(), Base + "/home/.config/Tessellon");

    RegistryStore reg(RegistryRoot::LocalMachine);
    ASSERT_TRUE(reg.OpenKey(kApp, true));
    reg.WriteString("ProxyAddress", "proxy");
    EXPECT_TRUE(fs::exists(Base + "/home/.config/Tessellon/LocalMachine.ini"));
    EXPECT_EQ(Mode(Base + "/home/.config"), 0700u);
}

} // namespace
