#pragma once

#include "common/Component.h"
#include "settings/RegistryStore.h"
#include "settings/SettingsTable.h"

#include <optional>
#include <string>

// Reads and writes single named values of the application's key, writing a
// value's default on the first read that finds it missing, and wiping a
// root's key at destruction when its "ResetAll" marker is set.
class SettingsKey : public Component {
public:
    explicit SettingsKey(std::string applicationTitle, MessageSink* messages = nullptr);
    ~SettingsKey() override;

    std::string KeyName; // when empty, the application title names the key
    bool StoreDefaults = true;

    std::string ReadString(const SettingEntry& entry, const std::string& def);
    void WriteString(const SettingEntry& entry, const std::string& text);
    bool ReadBool(const SettingEntry& entry, bool def);
    void WriteBool(const SettingEntry& entry, bool value);
    int ReadInteger(const SettingEntry& entry, int def);
    void WriteInteger(const SettingEntry& entry, int value);
    void ClearKey(RegistryRoot root);

    // The value as an integer when it is stored as one (a decimal text with
    // an optional minus sign); nothing when missing or not a number. Does
    // not store a default.
    std::optional<int> StoredInteger(const SettingEntry& entry);

    std::string KeyPath() const;

private:
    RegistryStore& Root(const SettingEntry& entry) { return entry.CurrentUser ? User_ : Machine_; }
    template <class T, class Read, class Write>
    T ReadValue(const SettingEntry& entry, const T& def, Read read, Write write);
    template <class T, class Write>
    void WriteValue(const SettingEntry& entry, const T& value, Write write);

    std::string Title_;
    RegistryStore User_;
    RegistryStore Machine_;
};

// A text of digits only as a number; otherwise the default, and with
// showMessage the message "Incorrect value;  reseted to " + default.
int CheckIntegerText(const std::string& text, bool showMessage, int def,
                     MessageSink* messages = nullptr);

// Writes the per-server connection limits (N, N + 2; -1 means 2) under the
// user's internet settings key.
void SetMaxConnections(int n, MessageSink* messages = nullptr);
