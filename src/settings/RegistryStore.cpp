#include "RegistryStore.h"

#include "settings/SettingsFileHealth.h"

#include <QByteArray>
#include <QSettings>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <charconv>
#include <climits>
#include <cstdlib>
#include <functional>
#include <map>
#include <optional>
#include <pwd.h>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

using SettingsFileHealth::CheckFile;
using SettingsFileHealth::ErrnoText;
using SettingsFileHealth::FileSignature;
using SettingsFileHealth::Inspect;
using SettingsFileHealth::IsUtf8;
using SettingsFileHealth::MoveAside;
using SettingsFileHealth::PrepareFile;

namespace {

// Stored in every key created through OpenKey, so that a key without values
// still exists. No encoded value name can take this form (see EncodeName).
const QString kKeyMarker = QStringLiteral("%key");

// QSettings cannot hold '/' or '\' in a key or group name (both separate
// groups), so names are escaped: '%', '/' and '\' become %XX, as does every
// byte above 0x7F when the name is not UTF-8. The empty name is a lone "%".
// An encoded name therefore never holds a '%' that is not followed by two
// upper-case hex digits, apart from that lone "%".
QString EncodeName(const std::string& name) {
    if (name.empty()) return QStringLiteral("%");
    const bool utf8 = IsUtf8(name);
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(name.size());
    for (char ch : name) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '%' || c == '/' || c == '\\' || (c >= 0x80 && !utf8)) {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 0xF];
        } else {
            out += ch;
        }
    }
    return QString::fromUtf8(out.data(), static_cast<qsizetype>(out.size()));
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

std::string DecodeName(const QString& encoded) {
    if (encoded == QLatin1String("%")) return {};
    const QByteArray in = encoded.toUtf8();
    std::string out;
    out.reserve(static_cast<std::size_t>(in.size()));
    for (qsizetype i = 0; i < in.size(); ++i) {
        if (in[i] == '%' && i + 2 < in.size() && HexValue(in[i + 1]) >= 0 &&
            HexValue(in[i + 2]) >= 0) {
            out += static_cast<char>(HexValue(in[i + 1]) * 16 + HexValue(in[i + 2]));
            i += 2;
        } else {
            out += in[i];
        }
    }
    return out;
}

std::vector<std::string> SplitPath(const std::string& path) {
    std::vector<std::string> parts;
    std::string part;
    for (char c : path) {
        if (c == '\\') {
            if (!part.empty()) parts.push_back(std::move(part));
            part.clear();
        } else {
            part += c;
        }
    }
    if (!part.empty()) parts.push_back(std::move(part));
    return parts;
}

QString JoinKey(const QString& group, const QString& name) {
    return group.isEmpty() ? name : group + QLatin1Char('/') + name;
}

QVariant ToVariant(const std::string& value) {
    // Text that is not UTF-8 is kept byte for byte as a byte array.
    if (IsUtf8(value)) return QString::fromUtf8(value.data(), static_cast<qsizetype>(value.size()));
    return QByteArray(value.data(), static_cast<qsizetype>(value.size()));
}

std::string FromVariant(const QVariant& v) {
    if (v.typeId() == QMetaType::QByteArray) return v.toByteArray().toStdString();
    // A hand-written value with bare commas comes back from QSettings as a list.
    if (v.typeId() == QMetaType::QStringList)
        return v.toStringList().join(QStringLiteral(", ")).toStdString();
    return v.toString().toStdString();
}

std::optional<int> ParseInteger(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    if (text.empty()) return std::nullopt;
    long long v = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    if (v < INT_MIN || v > INT_MAX) return std::nullopt;
    return static_cast<int>(v);
}

std::string StatusText(QSettings::Status status) {
    return status == QSettings::FormatError ? "it is not a valid settings file"
                                            : "it cannot be accessed";
}

} // namespace

struct RegistryStore::Store {
    explicit Store(std::string path) : Path(std::move(path)) {}

    const std::string Path;
    std::unique_ptr<QSettings> Settings; // set whenever the store is usable
    bool Broken = false;                 // unusable: reads give defaults, writes are skipped
    bool Checked = false;
    FileSignature Seen;
    int SeenErr = 0;
    bool WriteFailReported = false;
    std::string Pending; // message for the next object that has a sink

    void Refresh();
    bool Modify(const std::function<void(QSettings&)>& change);
    // Whether the file already holds this value under key (re-read first
    // when another process changed it).
    bool Holds(const QString& key, const QVariant& value);
    std::optional<QString> Find(const QString& group, const QString& encoded, bool subkey);

private:
    void SetAside(const std::string& reason);
    void NewSettings() {
        Settings = std::make_unique<QSettings>(QString::fromStdString(Path), QSettings::IniFormat);
    }
};

// Looks at the file again when it has changed since last seen (another
// object's write updates what was seen, so only outside changes count).
void RegistryStore::Store::Refresh() {
    int err = 0;
    const FileSignature now = Inspect(Path, err);
    if (Checked && now == Seen && err == SeenErr) return;
    Checked = true;
    Seen = now;
    SeenErr = err;

    std::string reason;
    if (err != 0)
        reason = ErrnoText(err);
    else if (now.Exists)
        reason = CheckFile(Path);
    if (reason.empty()) {
        if (Settings)
            Settings->sync();
        else
            NewSettings();
        if (Settings->status() != QSettings::NoError) reason = StatusText(Settings->status());
    }
    if (reason.empty()) {
        Broken = false;
        return;
    }
    SetAside(reason);
}

// Moves the unusable file aside and starts afresh; when it cannot be moved,
// the store is broken until the file is looked at again.
void RegistryStore::Store::SetAside(const std::string& reason) {
    std::string message =
        "settings file " + Path + " could not be read (" + reason + "); defaults are used";
    int err = 0;
    const std::string bad = MoveAside(Path, err);
    if (bad.empty()) {
        Settings.reset();
        Broken = true;
        Pending = message + " and changes are not saved, as it could not be moved aside (" +
                  ErrnoText(err) + ")";
        return;
    }
    // Start afresh: an empty file with the right mode, read by a new
    // QSettings (a former one would keep its error status).
    Settings.reset();
    PrepareFile(Path, err);
    NewSettings();
    Broken = false;
    Seen = Inspect(Path, SeenErr);
    Pending = message + "; the file was kept as " + bad;
}

// Applies a change and writes the file at once. On failure the user is told
// once, until a later write succeeds.
bool RegistryStore::Store::Modify(const std::function<void(QSettings&)>& change) {
    int err = 0;
    std::string reason;
    // The folder and the file exist, the file with mode 0600, before
    // QSettings writes it.
    if (!PrepareFile(Path, err)) {
        reason = ErrnoText(err);
    } else {
        change(*Settings);
        Settings->sync();
        ::chmod(Path.c_str(), 0600);
        if (Settings->status() != QSettings::NoError) {
            reason = StatusText(Settings->status());
            NewSettings(); // the status sticks to the object
        }
    }
    Seen = Inspect(Path, SeenErr);
    if (reason.empty()) {
        WriteFailReported = false;
        return true;
    }
    if (!WriteFailReported)
        Pending = "settings file " + Path + " could not be written (" + reason +
                  "); the change is not saved";
    WriteFailReported = true;
    return false;
}

bool RegistryStore::Store::Holds(const QString& key, const QVariant& value) {
    if (Broken || !Settings) return false;
    Settings->sync();
    return Settings->status() == QSettings::NoError && Settings->contains(key) &&
           Settings->value(key) == value;
}

// The stored spelling of a value name (or, with subkey, of a subkey name)
// under the group, matched without regard to case.
std::optional<QString> RegistryStore::Store::Find(const QString& group, const QString& encoded,
                                                  bool subkey) {
    if (!group.isEmpty()) Settings->beginGroup(group);
    const QStringList names = subkey ? Settings->childGroups() : Settings->childKeys();
    if (!group.isEmpty()) Settings->endGroup();
    if (names.contains(encoded)) return encoded;
    for (const QString& n : names)
        if (n.compare(encoded, Qt::CaseInsensitive) == 0) return n;
    return std::nullopt;
}

namespace {

std::shared_ptr<RegistryStore::Store> StoreFor(const std::string& path) {
    static std::map<std::string, std::weak_ptr<RegistryStore::Store>> stores;
    for (auto it = stores.begin(); it != stores.end();)
        it = it->second.expired() ? stores.erase(it) : std::next(it);
    if (auto found = stores[path].lock()) return found;
    auto store = std::make_shared<RegistryStore::Store>(path);
    stores[path] = store;
    return store;
}

} // namespace

RegistryStore::RegistryStore(RegistryRoot root, MessageSink* messages)
    : Messages_(messages), Store_(StoreFor(FileFor(root))) {}

RegistryStore::~RegistryStore() = default;

std::string RegistryStore::ConfigFolder() {
    auto set = [](const char* name) -> const char* {
        const char* v = std::getenv(name);
        return v != nullptr && *v != '\0' ? v : nullptr;
    };
    if (const char* dir = set("TESSELLON_CONFIG_DIR")) {
        std::string folder = dir;
        while (folder.size() > 1 && folder.back() == '/')
            folder.pop_back();
        return folder;
    }
    std::string base;
    if (const char* xdg = set("XDG_CONFIG_HOME"); xdg != nullptr && xdg[0] == '/') {
        base = xdg; // a relative value is to be ignored
    } else {
        const char* home = set("HOME");
        if (home == nullptr) {
            const passwd* pw = ::getpwuid(::getuid());
            home = pw != nullptr && pw->pw_dir != nullptr ? pw->pw_dir : "/tmp";
        }
        base = std::string(home) + "/.config";
    }
    while (base.size() > 1 && base.back() == '/')
        base.pop_back();
    return base + "/Tessellon";
}

std::string RegistryStore::FileFor(RegistryRoot root) {
    return ConfigFolder() +
           (root == RegistryRoot::CurrentUser ? "/CurrentUser.ini" : "/LocalMachine.ini");
}

// Brings the store up to date with the file and hands on any message.
// False when the store cannot be used.
bool RegistryStore::Ready() {
    Store_->Refresh();
    if (!Store_->Pending.empty() && Messages_ != nullptr) {
        const std::string text = std::move(Store_->Pending);
        Store_->Pending.clear();
        Messages_->ShowMessage(text);
    }
    return !Store_->Broken;
}

bool RegistryStore::OpenKey(const std::string& path, bool canCreate) {
    CloseKey();
    if (!Ready()) return false;
    QString group;
    std::vector<QString> created; // the keys on the path that are new
    for (const std::string& part : SplitPath(path)) {
        const QString encoded = EncodeName(part);
        std::optional<QString> stored;
        if (created.empty())
            stored = Store_->Find(group, encoded, true); // nothing is below a new key
        const bool isNew = !stored;
        if (isNew && !canCreate) return false;
        group = JoinKey(group, stored.value_or(encoded));
        if (isNew) created.push_back(group);
    }
    if (!created.empty()) {
        const bool ok = Store_->Modify([&](QSettings& s) {
            for (const QString& key : created)
                s.setValue(JoinKey(key, kKeyMarker), QString());
        });
        Ready();
        if (!ok) return false;
    }
    Open_ = true;
    Group_ = group.toStdString();
    return true;
}

void RegistryStore::CloseKey() {
    Open_ = false;
    Group_.clear();
}

std::string RegistryStore::Read(const std::string& name, bool& found) {
    found = false;
    if (!Open_ || !Ready()) return {};
    const QString group = QString::fromStdString(Group_);
    const std::optional<QString> stored = Store_->Find(group, EncodeName(name), false);
    if (!stored) return {};
    found = true;
    return FromVariant(Store_->Settings->value(JoinKey(group, *stored)));
}

bool RegistryStore::ValueExists(const std::string& name) {
    bool found = false;
    Read(name, found);
    return found;
}

std::string RegistryStore::ReadString(const std::string& name) {
    bool found = false;
    return Read(name, found);
}

int RegistryStore::ReadInteger(const std::string& name) {
    bool found = false;
    return ParseInteger(Read(name, found)).value_or(0);
}

bool RegistryStore::ReadBool(const std::string& name) {
    return ReadInteger(name) != 0;
}

void RegistryStore::Write(const std::string& name, const std::string& value) {
    if (!Open_ || !Ready()) return;
    const QString group = QString::fromStdString(Group_);
    const QString encoded = EncodeName(name);
    const QString key = JoinKey(group, Store_->Find(group, encoded, false).value_or(encoded));
    const QVariant v = ToVariant(value);
    // A value written again unchanged costs a durable rewrite of the file:
    // start-up stores dozens of defaults that are already there.
    if (Store_->Holds(key, v)) return;
    Store_->Modify([&](QSettings& s) { s.setValue(key, v); });
    Ready(); // hands on a failure message
}

void RegistryStore::WriteString(const std::string& name, const std::string& value) {
    Write(name, value);
}

void RegistryStore::WriteInteger(const std::string& name, int value) {
    Write(name, std::to_string(value));
}

void RegistryStore::WriteBool(const std::string& name, bool value) {
    Write(name, value ? "1" : "0");
}

std::vector<std::string> RegistryStore::GetValueNames() {
    std::vector<std::string> names;
    if (!Open_ || !Ready()) return names;
    const QString group = QString::fromStdString(Group_);
    QSettings& s = *Store_->Settings;
    if (!group.isEmpty()) s.beginGroup(group);
    const QStringList keys = s.childKeys();
    if (!group.isEmpty()) s.endGroup();
    for (const QString& k : keys)
        if (k != kKeyMarker) names.push_back(DecodeName(k));
    return names;
}

bool RegistryStore::DeleteValue(const std::string& name) {
    if (!Open_ || !Ready()) return false;
    const QString group = QString::fromStdString(Group_);
    const std::optional<QString> stored = Store_->Find(group, EncodeName(name), false);
    if (!stored) return false;
    const QString key = JoinKey(group, *stored);
    const bool ok = Store_->Modify([&](QSettings& s) { s.remove(key); });
    Ready();
    return ok;
}

std::optional<QString> RegistryStore::FindKey(const std::string& path) {
    if (!Ready()) return std::nullopt;
    QString group;
    for (const std::string& part : SplitPath(path)) {
        const std::optional<QString> stored = Store_->Find(group, EncodeName(part), true);
        if (!stored) return std::nullopt;
        group = JoinKey(group, *stored);
    }
    return group;
}

bool RegistryStore::KeyExists(const std::string& path) {
    return FindKey(path).has_value();
}

bool RegistryStore::DeleteKey(const std::string& path) {
    const std::optional<QString> found = FindKey(path);
    if (!found || found->isEmpty()) return false;
    const QString& group = *found;
    const bool ok = Store_->Modify([&](QSettings& s) { s.remove(group); });
    const std::string removed = group.toStdString();
    if (Open_ && (Group_ == removed || Group_.starts_with(removed + "/"))) CloseKey();
    Ready();
    return ok;
}
