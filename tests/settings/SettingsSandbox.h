#pragma once

// A private settings folder and working folder for one test, and readers of
// what the settings files hold, so that no real settings are touched and the
// default storage folder ("Download/" in the current folder) lands in a
// temporary place.

#include "common/Component.h"
#include "settings/RegistryStore.h"
#include "settings/SettingsTable.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <unistd.h>
#include <vector>

struct RecordingSink : MessageSink {
    std::vector<std::string> Texts;
    void ShowMessage(std::string_view text) override { Texts.emplace_back(text); }
};

inline const std::string kAppKey = "\\Software\\Tessellon";
inline const std::string kInternetSettingsKey =
    "\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";

class SettingsSandbox : public ::testing::Test {
protected:
    void SetUp() override {
        namespace fs = std::filesystem;
        const char* saved = std::getenv("TESSELLON_CONFIG_DIR");
        if (saved != nullptr) SavedConfig = saved;
        SavedCwd = fs::current_path().string();
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        Base = (fs::temp_directory_path() / ("tessellon-settings-" + std::to_string(::getpid()) +
                                             "-" + info->test_suite_name() + "-" + info->name()))
                   .string();
        fs::remove_all(Base);
        fs::create_directories(Base + "/work");
        Base = fs::canonical(Base).string(); // the current folder is read back resolved
        Config = Base + "/config";
        Work = Base + "/work";
        setenv("TESSELLON_CONFIG_DIR", Config.c_str(), 1);
        fs::current_path(Work);
    }

    void TearDown() override {
        std::filesystem::current_path(SavedCwd);
        if (SavedConfig)
            setenv("TESSELLON_CONFIG_DIR", SavedConfig->c_str(), 1);
        else
            unsetenv("TESSELLON_CONFIG_DIR");
        std::error_code ec;
        std::filesystem::remove_all(Base, ec);
    }

    std::string UserFile() const { return Config + "/CurrentUser.ini"; }
    std::string MachineFile() const { return Config + "/LocalMachine.ini"; }

    // The raw stored text of a value of the application key; nothing when
    // the value (or the key) is missing.
    static std::optional<std::string> Stored(RegistryRoot root, const std::string& name,
                                             const std::string& key = kAppKey) {
        RegistryStore reg(root);
        if (!reg.OpenKey(key, false) || !reg.ValueExists(name)) return std::nullopt;
        return reg.ReadString(name);
    }
    static std::optional<std::string> Stored(const SettingEntry& entry) {
        return Stored(RootOf(entry), entry.ValueName);
    }
    static std::optional<std::string> Stored(const SettingDef& def) { return Stored(def.Entry); }

    static RegistryRoot RootOf(const SettingEntry& entry) {
        return entry.CurrentUser ? RegistryRoot::CurrentUser : RegistryRoot::LocalMachine;
    }
    static RegistryRoot OtherRoot(const SettingEntry& entry) {
        return entry.CurrentUser ? RegistryRoot::LocalMachine : RegistryRoot::CurrentUser;
    }

    static std::vector<std::string> ValueNames(RegistryRoot root,
                                               const std::string& key = kAppKey) {
        RegistryStore reg(root);
        if (!reg.OpenKey(key, false)) return {};
        return reg.GetValueNames();
    }

    // The per-server connection limits last written, as "<per server> <per HTTP/1.0 server>";
    // "-" stands for a missing value.
    static std::string ConnectionLimits() {
        auto v = [](const char* name) {
            return Stored(RegistryRoot::CurrentUser, name, kInternetSettingsKey).value_or("-");
        };
        return v("MaxConnectionsPerServer") + " " + v("MaxConnectionsPer1_0Server");
    }

    std::optional<std::string> SavedConfig;
    std::string SavedCwd;
    std::string Base, Config, Work;
};
