#pragma once

#include "common/Component.h"
#include "settings/RegistryStore.h"
#include "settings/SettingsTable.h"

#include <optional>
#include <string>

// Reads and writes single named values of the application's key, writing a
// value's default on the first read that finds it missing, and wiping a
// root's key at destruction when its "ResetAll" marker is set.
class TGVReg : public TComponent {
public:
    explicit TGVReg(std::string applicationTitle, IMessageSink* messages = nullptr);
    ~TGVReg() override;

    std::string AppliName; // when empty, the application title names the key
    bool StoreDefaults = true;

    std::string ReadString(const TGVKeyEntry& entry, const std::string& def);
    void WriteString(const TGVKeyEntry& entry, const std::string& text);
    bool ReadBool(const TGVKeyEntry& entry, bool def);
    void WriteBool(const TGVKeyEntry& entry, bool value);
    int ReadInteger(const TGVKeyEntry& entry, int def);
    void WriteInteger(const TGVKeyEntry& entry, int value);
    void ClearKey(TRegRoot root);

    // The value as an integer when it is stored as one (a decimal text with
    // an optional minus sign); nothing when missing or not a number. Does
    // not store a default.
    std::optional<int> StoredInteger(const TGVKeyEntry& entry);

    std::string KeyPath() const;

private:
    TRegistry& Root(const TGVKeyEntry& entry) { return entry.CurrentUser ? User_ : Machine_; }
    template <class T, class Read, class Write>
    T ReadValue(const TGVKeyEntry& entry, const T& def, Read read, Write write);
    template <class T, class Write>
    void WriteValue(const TGVKeyEntry& entry, const T& value, Write write);

    std::string Title_;
    TRegistry User_;
    TRegistry Machine_;
};

// A text of digits only as a number; otherwise the default, and with
// showMessage the message "Incorrect value;  reseted to " + default.
int CheckIntegerText(const std::string& text, bool showMessage, int def,
                     IMessageSink* messages = nullptr);

// Writes the per-server connection limits (N, N + 2; -1 means 2) under the
// user's internet settings key.
void SetMaxConnections(int n, IMessageSink* messages = nullptr);
