#include "SettingsKey.h"

#include <QCoreApplication>
#include <QVariant>

#include <charconv>

int DefaultInteger(const SettingDef& def) {
    int v = 0;
    std::from_chars(def.Default, def.Default + std::char_traits<char>::length(def.Default), v);
    return v;
}

bool DefaultBool(const SettingDef& def) {
    return def.Default[0] == '1';
}

SettingsKey::SettingsKey(std::string applicationTitle, MessageSink* messages)
    : Title_(std::move(applicationTitle)), User_(RegistryRoot::CurrentUser, messages),
      Machine_(RegistryRoot::LocalMachine, messages) {}

SettingsKey::~SettingsKey() {
    for (RegistryRoot root : {RegistryRoot::LocalMachine, RegistryRoot::CurrentUser}) {
        RegistryStore& reg = root == RegistryRoot::CurrentUser ? User_ : Machine_;
        bool reset = false;
        if (reg.OpenKey(KeyPath(), false)) {
            reset = reg.ValueExists(Setting::ResetAll.Entry.ValueName);
            reg.CloseKey();
        }
        if (reset) ClearKey(root);
    }
}

namespace {

// The title the windowed program shows, when it has set one: the display
// name of the application object (a property of the GUI application, read
// here without the GUI library). The key follows it, so the variants keep
// their settings apart. Otherwise the title given at creation.
std::string CurrentTitle(const std::string& given) {
    const QCoreApplication* app = QCoreApplication::instance();
    if (app == nullptr) return given;
    const QString shown = app->property("applicationDisplayName").toString();
    if (shown.isEmpty() || shown == QCoreApplication::applicationName()) return given;
    return shown.toStdString();
}

} // namespace

std::string SettingsKey::KeyPath() const {
    return "\\Software\\" + (KeyName.empty() ? CurrentTitle(Title_) : KeyName);
}

// A value of the key, or def when it is missing (def is then written back,
// unless StoreDefaults was cleared for this one read).
template <class T, class Read, class Write>
T SettingsKey::ReadValue(const SettingEntry& entry, const T& def, Read read, Write write) {
    RegistryStore& reg = Root(entry);
    T result = def;
    if (reg.OpenKey(KeyPath(), true)) {
        if (reg.ValueExists(entry.ValueName))
            result = (reg.*read)(entry.ValueName);
        else if (StoreDefaults)
            (reg.*write)(entry.ValueName, def);
        reg.CloseKey();
    }
    StoreDefaults = true;
    return result;
}

template <class T, class Write>
void SettingsKey::WriteValue(const SettingEntry& entry, const T& value, Write write) {
    RegistryStore& reg = Root(entry);
    if (!reg.OpenKey(KeyPath(), true)) return;
    (reg.*write)(entry.ValueName, value);
    reg.CloseKey();
}

std::string SettingsKey::ReadString(const SettingEntry& entry, const std::string& def) {
    return ReadValue(entry, def, &RegistryStore::ReadString, &RegistryStore::WriteString);
}

void SettingsKey::WriteString(const SettingEntry& entry, const std::string& text) {
    WriteValue(entry, text, &RegistryStore::WriteString);
}

bool SettingsKey::ReadBool(const SettingEntry& entry, bool def) {
    return ReadValue(entry, def, &RegistryStore::ReadBool, &RegistryStore::WriteBool);
}

void SettingsKey::WriteBool(const SettingEntry& entry, bool value) {
    WriteValue(entry, value, &RegistryStore::WriteBool);
}

int SettingsKey::ReadInteger(const SettingEntry& entry, int def) {
    return ReadValue(entry, def, &RegistryStore::ReadInteger, &RegistryStore::WriteInteger);
}

void SettingsKey::WriteInteger(const SettingEntry& entry, int value) {
    WriteValue(entry, value, &RegistryStore::WriteInteger);
}

std::optional<int> SettingsKey::StoredInteger(const SettingEntry& entry) {
    RegistryStore& reg = Root(entry);
    std::optional<int> result;
    if (reg.OpenKey(KeyPath(), false)) {
        if (reg.ValueExists(entry.ValueName)) {
            const std::string text = reg.ReadString(entry.ValueName);
            int v = 0;
            auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
            if (ec == std::errc() && end == text.data() + text.size() && !text.empty()) result = v;
        }
        reg.CloseKey();
    }
    return result;
}

void SettingsKey::ClearKey(RegistryRoot root) {
    RegistryStore& reg = root == RegistryRoot::CurrentUser ? User_ : Machine_;
    if (!reg.OpenKey(KeyPath(), false)) return;
    for (const std::string& name : reg.GetValueNames())
        reg.DeleteValue(name);
    reg.CloseKey();
}

int CheckIntegerText(const std::string& text, bool showMessage, int def, MessageSink* messages) {
    bool digits = !text.empty();
    for (char c : text)
        if (c < '0' || c > '9') digits = false;
    if (digits) {
        int v = 0;
        auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
        if (ec == std::errc()) return v;
    }
    if (showMessage && messages != nullptr)
        messages->ShowMessage("Incorrect value;  reseted to " + std::to_string(def));
    return def;
}

void SetMaxConnections(int n, MessageSink* messages) {
    RegistryStore reg(RegistryRoot::CurrentUser, messages);
    if (!reg.OpenKey("\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings", true))
        return;
    if (n == -1) n = 2;
    reg.WriteInteger("MaxConnectionsPerServer", n);
    reg.WriteInteger("MaxConnectionsPer1_0Server", n + 2);
    reg.CloseKey();
}
