#include "GVReg.h"

#include <charconv>

int DefaultInteger(const TSettingDef& def) {
    int v = 0;
    std::from_chars(def.Default, def.Default + std::char_traits<char>::length(def.Default), v);
    return v;
}

bool DefaultBool(const TSettingDef& def) { return def.Default[0] == '1'; }

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

std::string TGVReg::KeyPath() const {
    return "\\Software\\" + (AppliName.empty() ? Title_ : AppliName);
}

std::string TGVReg::ReadString(const TGVKeyEntry& entry, const std::string& def) {
    TRegistry& reg = Root(entry);
    std::string result = def;
    if (reg.OpenKey(KeyPath(), true)) {
        if (reg.ValueExists(entry.ValueName))
            result = reg.ReadString(entry.ValueName);
        else if (StoreDefaults)
            reg.WriteString(entry.ValueName, def);
        reg.CloseKey();
    }
    StoreDefaults = true;
    return result;
}

void TGVReg::WriteString(const TGVKeyEntry& entry, const std::string& text) {
    TRegistry& reg = Root(entry);
    if (!reg.OpenKey(KeyPath(), true)) return;
    reg.WriteString(entry.ValueName, text);
    reg.CloseKey();
}

bool TGVReg::ReadBool(const TGVKeyEntry& entry, bool def) {
    TRegistry& reg = Root(entry);
    bool result = def;
    if (reg.OpenKey(KeyPath(), true)) {
        if (reg.ValueExists(entry.ValueName))
            result = reg.ReadBool(entry.ValueName);
        else if (StoreDefaults)
            reg.WriteBool(entry.ValueName, def);
        reg.CloseKey();
    }
    StoreDefaults = true;
    return result;
}

void TGVReg::WriteBool(const TGVKeyEntry& entry, bool value) {
    TRegistry& reg = Root(entry);
    if (!reg.OpenKey(KeyPath(), true)) return;
    reg.WriteBool(entry.ValueName, value);
    reg.CloseKey();
}

int TGVReg::ReadInteger(const TGVKeyEntry& entry, int def) {
    TRegistry& reg = Root(entry);
    int result = def;
    if (reg.OpenKey(KeyPath(), true)) {
        if (reg.ValueExists(entry.ValueName))
            result = reg.ReadInteger(entry.ValueName);
        else if (StoreDefaults)
            reg.WriteInteger(entry.ValueName, def);
        reg.CloseKey();
    }
    StoreDefaults = true;
    return result;
}

void TGVReg::WriteInteger(const TGVKeyEntry& entry, int value) {
    TRegistry& reg = Root(entry);
    if (!reg.OpenKey(KeyPath(), true)) return;
    reg.WriteInteger(entry.ValueName, value);
    reg.CloseKey();
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
    for (const std::string& name : reg.GetValueNames()) reg.DeleteValue(name);
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
