#include "SettingsKey.h"

#include <QCoreApplication>
#include <QVariant>

#include <charconv>

int DefaultInteger(const TSettingDef& def) {
    int v = 0;
    std::from_chars(def.Default, def.Default + std::char_traits<char>::length(def.Default), v);
    return v;
}

bool DefaultBool(const TSettingDef& def) {
    return def.Default[0] == '1';
}

TGVReg::TGVReg(std::string applicationTitle, IMessageSink* messages)
    : Title_(std::move(applicationTitle)), User_(TRegRoot::HKEY_CURRENT_USER, messages),
      Machine_(TRegRoot::HKEY_LOCAL_MACHINE, messages) {}

TGVReg::~TGVReg() {
    for (TRegRoot root : {TRegRoot::HKEY_LOCAL_MACHINE, TRegRoot::HKEY_CURRENT_USER}) {
        TRegistry& reg = root == TRegRoot::HKEY_CURRENT_USER ? User_ : Machine_;
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

std::string TGVReg::KeyPath() const {
    return "\\Software\\" + (AppliName.empty() ? CurrentTitle(Title_) : AppliName);
}

// A value of the key, or def when it is missing (def is then written back,
// unless StoreDefaults was cleared for this one read).
template <class T, class Read, class Write>
T TGVReg::ReadValue(const TGVKeyEntry& entry, const T& def, Read read, Write write) {
    TRegistry& reg = Root(entry);
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
void TGVReg::WriteValue(const TGVKeyEntry& entry, const T& value, Write write) {
    TRegistry& reg = Root(entry);
    if (!reg.OpenKey(KeyPath(), true)) return;
    (reg.*write)(entry.ValueName, value);
    reg.CloseKey();
}

std::string TGVReg::ReadString(const TGVKeyEntry& entry, const std::string& def) {
    return ReadValue(entry, def, &TRegistry::ReadString, &TRegistry::WriteString);
}

void TGVReg::WriteString(const TGVKeyEntry& entry, const std::string& text) {
    WriteValue(entry, text, &TRegistry::WriteString);
}

bool TGVReg::ReadBool(const TGVKeyEntry& entry, bool def) {
    return ReadValue(entry, def, &TRegistry::ReadBool, &TRegistry::WriteBool);
}

void TGVReg::WriteBool(const TGVKeyEntry& entry, bool value) {
    WriteValue(entry, value, &TRegistry::WriteBool);
}

int TGVReg::ReadInteger(const TGVKeyEntry& entry, int def) {
    return ReadValue(entry, def, &TRegistry::ReadInteger, &TRegistry::WriteInteger);
}

void TGVReg::WriteInteger(const TGVKeyEntry& entry, int value) {
    WriteValue(entry, value, &TRegistry::WriteInteger);
}

std::optional<int> TGVReg::StoredInteger(const TGVKeyEntry& entry) {
    TRegistry& reg = Root(entry);
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

void TGVReg::ClearKey(TRegRoot root) {
    TRegistry& reg = root == TRegRoot::HKEY_CURRENT_USER ? User_ : Machine_;
    if (!reg.OpenKey(KeyPath(), false)) return;
    for (const std::string& name : reg.GetValueNames())
        reg.DeleteValue(name);
    reg.CloseKey();
}

int CheckIntegerText(const std::string& text, bool showMessage, int def, IMessageSink* messages) {
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

void SetMaxConnections(int n, IMessageSink* messages) {
    TRegistry reg(TRegRoot::HKEY_CURRENT_USER, messages);
    if (!reg.OpenKey("\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings", true))
        return;
    if (n == -1) n = 2;
    reg.WriteInteger("MaxConnectionsPerServer", n);
    reg.WriteInteger("MaxConnectionsPer1_0Server", n + 2);
    reg.CloseKey();
}
