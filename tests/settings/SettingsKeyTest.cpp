// The application's key: defaults written on first read, the reset marker
// honoured at exit, and the tolerant number conversion of the number fields.
#include "settings/SettingsKey.h"
#include "SettingsSandbox.h"

#include <climits>

namespace {

const SettingEntry kUserNumber{true, "TimeOut"};
const SettingEntry kMachineText{false, "ProxyAddress"};

} // namespace

TEST(CheckIntegerText, DigitsOnlyTextIsItsNumber) {
    RecordingSink sink;
    EXPECT_EQ(CheckIntegerText("0", true, 10, &sink), 0);
    EXPECT_EQ(CheckIntegerText("20", true, 10, &sink), 20);
    EXPECT_EQ(CheckIntegerText("007", true, 10, &sink), 7);
    EXPECT_EQ(CheckIntegerText("2147483647", true, 10, &sink), INT_MAX);
    EXPECT_TRUE(sink.Texts.empty()) << sink.Texts.front();
}

TEST(CheckIntegerText, AnythingElseGivesTheDefaultAndTellsOnlyWhenAsked) {
    for (const char* text :
         {"", "-3", "+3", "12a", " 5", "5 ", "1.5", "99999999999", "2147483648", "abc"}) {
        RecordingSink told, silent;
        EXPECT_EQ(CheckIntegerText(text, true, 10, &told), 10) << '"' << text << '"';
        EXPECT_EQ(told.Texts, std::vector<std::string>{"Incorrect value;  reseted to 10"})
            << '"' << text << '"';
        EXPECT_EQ(CheckIntegerText(text, false, 300, &silent), 300) << '"' << text << '"';
        EXPECT_TRUE(silent.Texts.empty()) << '"' << text << '"';
    }
    // The default is shown as given, and no sink is no harm.
    RecordingSink sink;
    EXPECT_EQ(CheckIntegerText("x", true, 0, &sink), 0);
    EXPECT_EQ(sink.Texts, std::vector<std::string>{"Incorrect value;  reseted to 0"});
    EXPECT_EQ(CheckIntegerText("x", true, 5), 5);
}

using SettingsKeyTest = SettingsSandbox;

TEST_F(SettingsKeyTest, MissingValuesGiveTheirDefaultAndStoreItInTheirRoot) {
    SettingsKey reg("Tessellon");
    EXPECT_EQ(reg.ReadInteger(kUserNumber, 300), 300);
    EXPECT_EQ(reg.ReadString(kMachineText, "proxy:3128"), "proxy:3128");
    EXPECT_TRUE(reg.ReadBool({true, "StayOnSite"}, true));
    EXPECT_EQ(Stored(kUserNumber), "300");
    EXPECT_EQ(Stored(kMachineText), "proxy:3128");
    EXPECT_EQ(Stored(RegistryRoot::CurrentUser, "StayOnSite"), "1");
    EXPECT_EQ(Stored(RegistryRoot::CurrentUser, "ProxyAddress"), std::nullopt);
    EXPECT_EQ(Stored(RegistryRoot::LocalMachine, "TimeOut"), std::nullopt);

    // A stored value wins over the default and is left as it is.
    reg.WriteInteger(kUserNumber, 60);
    EXPECT_EQ(reg.ReadInteger(kUserNumber, 300), 60);
    reg.WriteBool({true, "StayOnSite"}, false);
    EXPECT_FALSE(reg.ReadBool({true, "StayOnSite"}, true));
    EXPECT_EQ(Stored(kUserNumber), "60");
}

TEST_F(SettingsKeyTest, ClearedStoreDefaultsSkipsTheWriteOfOneReadOnly) {
    SettingsKey reg("Tessellon");
    reg.StoreDefaults = false;
    EXPECT_EQ(reg.ReadInteger(kUserNumber, 4), 4);
    EXPECT_TRUE(reg.StoreDefaults);
    EXPECT_EQ(Stored(kUserNumber), std::nullopt);
    EXPECT_EQ(reg.ReadInteger(kUserNumber, 4), 4);
    EXPECT_EQ(Stored(kUserNumber), "4");
}

TEST_F(SettingsKeyTest, AppliNameNamesTheKeyInsteadOfTheTitle) {
    SettingsKey reg("Tessellon");
    reg.KeyName = "Other";
    reg.WriteInteger(kUserNumber, 42);
    EXPECT_EQ(Stored(RegistryRoot::CurrentUser, "TimeOut", "\\Software\\Other"), "42");
    EXPECT_EQ(Stored(kUserNumber), std::nullopt);
}

TEST_F(SettingsKeyTest, ResetMarkerWipesItsRootAtExitAndTheNextStartWritesDefaults) {
    const SettingEntry userMarker = Setting::ResetAll.Entry;
    const SettingEntry machineMarker{false, "ResetAll"};
    {
        SettingsKey reg("Tessellon");
        reg.WriteInteger(kUserNumber, 60);
        reg.WriteString({true, "FileTypes"}, "png");
        reg.WriteString(kMachineText, "proxy:3128");
        reg.WriteBool(userMarker, true);
    }
    EXPECT_TRUE(ValueNames(RegistryRoot::CurrentUser).empty());
    EXPECT_EQ(Stored(kMachineText), "proxy:3128") << "the machine key has no marker";

    {
        SettingsKey reg("Tessellon");
        EXPECT_EQ(reg.ReadInteger(kUserNumber, 300), 300);
        EXPECT_EQ(Stored(kUserNumber), "300");
        reg.WriteBool(machineMarker, false); // the marker counts by its presence, not its value
    }
    EXPECT_EQ(Stored(kUserNumber), "300") << "the user key has no marker";
    EXPECT_TRUE(ValueNames(RegistryRoot::LocalMachine).empty());

    {
        SettingsKey reg("Tessellon"); // no marker anywhere: nothing is wiped
        reg.WriteString(kMachineText, "p2");
    }
    EXPECT_EQ(Stored(kUserNumber), "300");
    EXPECT_EQ(Stored(kMachineText), "p2");
}
