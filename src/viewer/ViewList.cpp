#include "ViewList.h"

#include "common/StringTools.h"
#include "gallery/FilePath.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMetaMethod>
#include <QStandardPaths>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <dirent.h>
#include <exception>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr std::size_t kPreSize = 50000;

// Closes a directory stream (and with it its descriptor) on every way out.
struct DirCloser {
    DIR* Dir;
    ~DirCloser() {
        if (Dir) ::closedir(Dir);
    }
};

std::string Canonical(const std::string& path) {
    char* resolved = ::realpath(path.c_str(), nullptr);
    if (!resolved) return {};
    std::string out(resolved);
    std::free(resolved);
    return out;
}

bool IsFolder(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Whether a file that could not be moved to the Trash failed for want of
// one: it lies on another file system than the home's Trash, and the top of
// its own file system holds no Trash folder of this user (".Trash/<uid>" or
// ".Trash-<uid>", which the move creates wherever it can).
// Whether a file lies on the file system of the home's Trash.
bool OnHomeFileSystem(const struct stat& st) {
    for (const QString& home :
         {QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation),
          QDir::homePath()}) {
        struct stat h {};
        if (!home.isEmpty() && ::stat(QFile::encodeName(home).constData(), &h) == 0)
            return h.st_dev == st.st_dev;
    }
    return false;
}

// The top of a file's file system, "/" ended: the highest folder on its device.
std::string FileSystemTop(const std::string& file, dev_t device) {
    std::string top = file;
    for (;;) {
        const std::size_t slash = top.rfind('/');
        if (slash == std::string::npos) break;
        const std::string up = slash == 0 ? "/" : top.substr(0, slash);
        struct stat u {};
        if (up == top || ::stat(up.c_str(), &u) != 0 || u.st_dev != device) break;
        top = up;
    }
    if (top.back() != '/') top += '/';
    return top;
}

bool LacksTrash(const std::string& file) {
    struct stat st {};
    if (::stat(file.c_str(), &st) != 0 || OnHomeFileSystem(st)) return false;
    const std::string top = FileSystemTop(file, st.st_dev);
    const std::string uid = std::to_string(::getuid());
    return !IsFolder(top + ".Trash-" + uid) && !IsFolder(top + ".Trash/" + uid);
}

// Whether a folder is a Trash of this user: the home's ($XDG_DATA_HOME/Trash)
// or a file system's own (.Trash-<uid>, or <uid> inside .Trash).
bool IsTrash(const QFileInfo& trash) {
    const QString uid = QString::number(::getuid());
    if (trash.fileName() == QStringLiteral(".Trash-") + uid) return true;
    if (trash.fileName() == uid && QFileInfo(trash.absolutePath()).fileName() == ".Trash")
        return true;
    const QFileInfo home(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
                         "/Trash");
    return home.exists() && home.canonicalFilePath() == trash.canonicalFilePath();
}

// The home's Trash is made inside the data folder, which a fresh account
// may not have yet: QFile makes the Trash but not the folders above it.
void MakeDataFolder() {
    const std::string data =
        QFile::encodeName(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation))
            .toStdString();
    if (data.empty()) return;
    std::error_code ec;
    if (std::filesystem::create_directories(data, ec))
        std::filesystem::permissions(data, std::filesystem::perms::owner_all, ec);
}

bool MakeFolder(const std::string& path) {
    return ::mkdir(path.c_str(), 0700) == 0 || (errno == EEXIST && IsFolder(path));
}

// The Trash folder of a file whose name QFile cannot take, made when
// missing: the home's for a file on the home's file system, else
// .Trash-<uid> at the top of the file's own; "" when there is none.
std::string TrashFolderFor(const std::string& file) {
    struct stat st {};
    if (::stat(file.c_str(), &st) != 0) return {};
    std::string trash;
    if (OnHomeFileSystem(st)) {
        trash =
            QFile::encodeName(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation))
                .toStdString();
        if (trash.empty()) return {};
        trash += "/Trash";
    } else {
        trash = FileSystemTop(file, st.st_dev) + ".Trash-" + std::to_string(::getuid());
    }
    if (!MakeFolder(trash) || !MakeFolder(trash + "/files") || !MakeFolder(trash + "/info"))
        return {};
    return trash;
}

// Moves such a file to the Trash as QFile does with the others: its
// .trashinfo is made first, under a name no other takes (the path's bytes
// percent-encoded in it), then the file is renamed into files/ under the
// same name, never over another; a rename that fails takes the .trashinfo
// back.
TrashOutcome TrashByBytes(const std::string& file) {
    const std::string trash = TrashFolderFor(file);
    if (trash.empty()) return TrashOutcome::NoTrash;
    const std::string name = file.substr(file.rfind('/') + 1);
    const std::size_t dot = name.rfind('.');
    const std::string stem = dot == std::string::npos ? name : name.substr(0, dot);
    const std::string extension = dot == std::string::npos ? "" : name.substr(dot);
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    char date[32] = {};
    if (::localtime_r(&now, &local) != nullptr)
        std::strftime(date, sizeof date, "%Y-%m-%dT%H:%M:%S", &local);
    const QByteArray path = QByteArray(file.data(), qsizetype(file.size())).toPercentEncoding("/");
    const std::string text =
        "[Trash Info]\nPath=" + path.toStdString() + "\nDeletionDate=" + date + "\n";
    for (int n = 0; n < 1000; ++n) {
        const std::string trashed = n == 0 ? name : stem + "-" + std::to_string(n) + extension;
        const std::string info = trash + "/info/" + trashed + ".trashinfo";
        const std::string target = trash + "/files/" + trashed;
        struct stat st {};
        if (::lstat(target.c_str(), &st) == 0) continue;
        const int fd = ::open(info.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0) {
            if (errno == EEXIST) continue;
            return TrashOutcome::Failed;
        }
        const bool written = ::write(fd, text.data(), text.size()) == ssize_t(text.size());
        if (::close(fd) != 0 || !written ||
            ::renameat2(AT_FDCWD, file.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) != 0) {
            const bool taken = errno == EEXIST;
            ::unlink(info.c_str());
            if (taken) continue;
            return TrashOutcome::Failed;
        }
        return TrashOutcome::Moved;
    }
    return TrashOutcome::Failed;
}

} // namespace

ViewList::ViewList(MessageSink* messages, std::string applicationTitle, QObject* parent)
    : QAbstractListModel(parent), Messages_(messages),
      Settings_(std::make_unique<SettingsKey>(std::move(applicationTitle), messages)) {
    ProcessMessages = [] {
        if (QCoreApplication::instance()) QCoreApplication::processEvents();
    };
    const int sortType = Settings_->ReadInteger(Setting::ViewerSortType.Entry,
                                                DefaultInteger(Setting::ViewerSortType));
    if (sortType >= VIEWSORT_DATE && sortType <= VIEWSORT_FILENAME) SortType_ = sortType;
    SortDescending_ = Settings_->ReadBool(Setting::ViewerSortDescending.Entry,
                                          DefaultBool(Setting::ViewerSortDescending));
    UnviewedOnly_ = Settings_->ReadBool(Setting::ViewerUnviewedOnly.Entry,
                                        DefaultBool(Setting::ViewerUnviewedOnly));
    const int size = Settings_->ReadInteger(Setting::ViewerDisplayedSize.Entry,
                                            DefaultInteger(Setting::ViewerDisplayedSize));
    if (size >= 0 && size <= 2) DisplayedSize_ = size;
    SetListedTypes(Settings_->ReadString(Setting::ViewerListedTypes.Entry,
                                         Setting::ViewerListedTypes.Default));
    Records_.reserve(kPreSize);
    Lines_.reserve(kPreSize);
}

ViewList::~ViewList() = default;

// --- settings ---

void ViewList::SetSortType(int v) {
    if (v < VIEWSORT_DATE || v > VIEWSORT_FILENAME) return;
    SortType_ = v;
    Settings_->WriteInteger(Setting::ViewerSortType.Entry, v);
}

void ViewList::SetSortDescending(bool v) {
    SortDescending_ = v;
    Settings_->WriteBool(Setting::ViewerSortDescending.Entry, v);
}

void ViewList::SetUnviewedOnly(bool v) {
    UnviewedOnly_ = v;
    Settings_->WriteBool(Setting::ViewerUnviewedOnly.Entry, v);
}

void ViewList::SetDisplayedSize(int v) {
    if (v < 0 || v > 2) return;
    DisplayedSize_ = v;
    Settings_->WriteInteger(Setting::ViewerDisplayedSize.Entry, v);
}

void ViewList::SetListedTypes(std::string_view text) {
    Types_.SetText(LowerCase(text));
    Types_.Sort();
}

bool ViewList::ExtensionListed(std::string_view type) const {
    return std::binary_search(Extensions_.begin(), Extensions_.end(), type,
                              [](std::string_view a, std::string_view b) { return a < b; });
}

// --- building ---

int ViewList::Build() {
    if (Building_) return FoundCount_;
    Building_ = true;
    bool busy = false;
    try {
        DoClearRecords();
        Types_.Sort();
        Extensions_.clear();
        for (int i = 0; i < Types_.Count(); ++i)
            Extensions_.push_back("." + Types_[i]);
        std::sort(Extensions_.begin(), Extensions_.end());
        if (RootFolder.empty()) {
            Building_ = false;
            return FoundCount_;
        }
        if (RootFolder.back() != '/') RootFolder += '/';
        SearchText = LowerCase(SearchText);
        FoundCount_ = 0;
        UnreadableFolders_ = 0;
        Busy(busy = true);
        const int root = ::open(RootFolder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (root < 0) {
            DoFilter();
            DoShowLines();
            Busy(busy = false);
            Message("directory " + RootFolder + " not available");
            Building_ = false;
            return FoundCount_;
        }
        ScanFolder(root, "");
        BuildIndex();
        DoFilter();
        DoShowLines();
        Busy(busy = false);
        std::string text;
        if (FoundCount_ == 0)
            text = SearchText.empty() ? "No files found.\nFist download files"
                                      : "No files found.\nCheck or disable the search option.";
        if (UnreadableFolders_ > 0) {
            if (!text.empty()) text += "\n";
            text += std::to_string(UnreadableFolders_) + (UnreadableFolders_ == 1
                                                              ? " unreadable folder skipped."
                                                              : " unreadable folders skipped.");
        }
        if (!text.empty()) Message(text);
    } catch (const std::exception& e) {
        if (busy) Busy(false);
        Message(e.what());
    }
    Building_ = false;
    return FoundCount_;
}

void ViewList::ScanFolder(int folder, const std::string& relative) {
    DIR* dir = ::fdopendir(folder);
    if (!dir) {
        ::close(folder);
        ++UnreadableFolders_;
        return;
    }
    DirCloser closer{dir};
    // Names in byte order, so that the records (and the placing of equal
    // sort keys) do not depend on the file system's enumeration order.
    struct DirEntry {
        std::string Name;
        unsigned char Type;
    };
    std::vector<DirEntry> entries;
    errno = 0;
    while (const dirent* e = ::readdir(dir)) {
        if (e->d_name[0] == '.') continue; // ".", ".." and hidden entries
        entries.push_back({e->d_name, e->d_type});
    }
    std::sort(entries.begin(), entries.end(),
              [](const DirEntry& a, const DirEntry& b) { return a.Name < b.Name; });

    for (DirEntry& entry : entries) {
        unsigned char type = entry.Type;
        struct stat st {};
        bool statted = false;
        if (type == DT_UNKNOWN) {
            if (::fstatat(folder, entry.Name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
            statted = true;
            type = S_ISDIR(st.st_mode) ? DT_DIR : S_ISREG(st.st_mode) ? DT_REG : DT_LNK;
        }
        if (type == DT_DIR) {
            // O_NOFOLLOW: a folder swapped for a link since readdir is not entered.
            const int sub = ::openat(folder, entry.Name.c_str(),
                                     O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (sub < 0) {
                ++UnreadableFolders_;
                continue;
            }
            ScanFolder(sub, relative + entry.Name + "/");
            continue;
        }
        if (type != DT_REG) continue; // links, devices, sockets
        const std::size_t dot = entry.Name.rfind('.');
        if (dot == std::string::npos) continue;
        if (!ExtensionListed(LowerCase(std::string_view(entry.Name).substr(dot)))) continue;
        if (!statted && ::fstatat(folder, entry.Name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
        if (!S_ISREG(st.st_mode)) continue;
        AddFile(relative + entry.Name, std::uint64_t(st.st_size), st.st_mtime, st.st_mode);
    }
    if (CountLabel) CountLabel(std::to_string(FoundCount_) + " files selected.");
    if (ProcessMessages) ProcessMessages();
}

void ViewList::AddFile(const std::string& relative, std::uint64_t size, std::time_t lastWrite,
                       unsigned mode) {
    ViewRecord& record = Records_.emplace_back();
    record.Path = relative;
    record.Key = LowerCase(relative);
    record.SizeKiB = size >> 10;
    record.Thumbnail = (mode & S_IWUSR) == 0;
    SetRecordTime(record, lastWrite);
    ++FoundCount_;
}

void ViewList::BuildIndex() {
    ByKey_.resize(Records_.size());
    for (std::uint32_t i = 0; i < ByKey_.size(); ++i)
        ByKey_[i] = i;
    std::stable_sort(ByKey_.begin(), ByKey_.end(), [this](std::uint32_t a, std::uint32_t b) {
        return Records_[a].Key < Records_[b].Key;
    });
}

// --- lines ---

bool ViewList::Filter() {
    if (Building_) return false;
    DoFilter();
    return true;
}

void ViewList::DoFilter() {
    beginResetModel();
    Lines_.clear();
    const std::string search = LowerCase(SearchText);
    for (std::uint32_t i = 0; i < Records_.size(); ++i) {
        const ViewRecord& r = Records_[i];
        if (UnviewedOnly_ && r.Viewed) continue;
        if (SearchActive && r.Key.find(search) == std::string::npos) continue;
        if (DisplayedSize_ == 0 && !r.Thumbnail) continue;
        if (DisplayedSize_ == 1 && r.Thumbnail) continue;
        Lines_.push_back(MakeLine(r, i));
    }
    if (Lines_.empty()) Lines_.emplace_back();
    endResetModel();
    DoSortLines();
}

bool ViewList::SortLines() {
    if (Building_) return false;
    DoSortLines();
    return true;
}

void ViewList::DoSortLines() {
    if (Lines_.empty()) return;
    Busy(true);
    // The rows keep their numbers, so a view's current row stays where it was.
    emit layoutAboutToBeChanged();
    SortViewLines(Lines_, SortType_, SortDescending_);
    emit layoutChanged();
    Busy(false);
}

bool ViewList::ShowLines() {
    if (Building_) return false;
    DoShowLines();
    return true;
}

void ViewList::DoShowLines() {
    static const QMetaMethod reset = QMetaMethod::fromSignal(&QAbstractItemModel::modelReset);
    if (!isSignalConnected(reset)) {
        Message("External Grid not assigned");
        return;
    }
    if (!Lines_.empty())
        emit dataChanged(index(0), index(int(Lines_.size()) - 1), {Qt::DisplayRole});
}

bool ViewList::ClearRecords() {
    if (Building_) return false;
    DoClearRecords();
    return true;
}

void ViewList::DoClearRecords() {
    beginResetModel();
    Records_.clear();
    ByKey_.clear();
    Lines_.clear();
    endResetModel();
}

std::string ViewList::LinePath(int line) const {
    if (line < 0 || std::size_t(line) >= Lines_.size()) return {};
    const std::uint32_t r = Lines_[std::size_t(line)].Record;
    return r < Records_.size() ? Records_[r].Path : std::string();
}

std::string ViewList::LineFullPath(int line) const {
    const std::string path = LinePath(line);
    if (path.empty()) return {};
    std::string root = RootFolder;
    if (!root.empty() && root.back() != '/') root += '/';
    return root + path;
}

int ViewList::FindRecordIndex(const std::string& relativePath) const {
    const std::string key = LowerCase(relativePath);
    auto [first, last] =
        std::equal_range(ByKey_.begin(), ByKey_.end(), key, [this](const auto& a, const auto& b) {
            if constexpr (std::is_same_v<std::decay_t<decltype(a)>, std::string>)
                return a < Records_[b].Key;
            else
                return Records_[a].Key < b;
        });
    if (first == last) return -1;
    for (auto it = first; it != last; ++it)
        if (Records_[*it].Path == relativePath) return int(*it);
    return int(*first);
}

const ViewRecord* ViewList::FindRecord(const std::string& relativePath) const {
    const int i = FindRecordIndex(relativePath);
    return i < 0 ? nullptr : &Records_[std::size_t(i)];
}

// --- files ---

std::string ViewList::ContainedFile(const std::string& relative) const {
    if (relative.empty() || RootFolder.empty()) return {};
    std::string root = Canonical(RootFolder);
    if (root.empty()) return {};
    if (root.back() != '/') root += '/';
    std::string full = RootFolder;
    if (full.back() != '/') full += '/';
    full += relative;
    struct stat st {};
    if (::lstat(full.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return {};
    const std::string canonical = Canonical(full);
    if (canonical.size() <= root.size() || canonical.compare(0, root.size(), root) != 0) return {};
    return canonical;
}

bool ViewList::MarkViewed(const std::string& relativePath) {
    const int i = FindRecordIndex(relativePath);
    if (i >= 0) Records_[std::size_t(i)].Viewed = true;
    // A path given by its key still reaches the file under its real name.
    const std::string file = ContainedFile(i >= 0 ? Records_[std::size_t(i)].Path : relativePath);
    struct stat st {};
    std::tm local{};
    if (file.empty() || ::stat(file.c_str(), &st) != 0 ||
        ::localtime_r(&st.st_mtime, &local) == nullptr) {
        Message("unable to open " + relativePath);
        return false;
    }
    // Date, hour and daylight-saving state stay; only minute and second change.
    local.tm_min = 58;
    local.tm_sec = 58;
    const std::time_t marked = std::mktime(&local);
    const struct timespec times[2] = {{0, UTIME_OMIT}, {marked, 0}};
    if (marked == std::time_t(-1) || ::utimensat(AT_FDCWD, file.c_str(), times, 0) != 0) {
        Message("unable to open " + relativePath);
        return false;
    }
    return true;
}

TrashOutcome ViewList::TrashFile(const std::string& relativePath) {
    if (Building_) return TrashOutcome::Failed;
    const std::string file = ContainedFile(relativePath);
    if (file.empty()) return TrashOutcome::Failed;
    // QFile renames the file into the Trash after writing its .trashinfo,
    // and takes the .trashinfo back when the rename fails; it never copies
    // across file systems. Renaming needs no write permission on the file
    // itself, so read-only thumbnails go as they are.
    MakeDataFolder();
    if (!QtReaches(file)) return TrashByBytes(file);
    QFile target(QFile::decodeName(file.c_str()));
    if (!target.moveToTrash())
        return LacksTrash(file) ? TrashOutcome::NoTrash : TrashOutcome::Failed;
    // Where it can make no Trash at all, Qt 6.4 uses "files" and "info" in
    // the current folder instead and reports success: the file goes back to
    // where it was, and its .trashinfo goes.
    const QFileInfo trashed(target.fileName());
    const QFileInfo trash(QFileInfo(trashed.absolutePath()).absolutePath());
    if (IsTrash(trash)) return TrashOutcome::Moved;
    if (::rename(QFile::encodeName(trashed.absoluteFilePath()).constData(), file.c_str()) != 0)
        return TrashOutcome::Failed; // not expected: the same folder took it a moment ago
    QFile::remove(trash.absoluteFilePath() + "/info/" + trashed.fileName() + ".trashinfo");
    return TrashOutcome::NoTrash;
}

// --- model ---

int ViewList::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(Lines_.size());
}

QVariant ViewList::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() < 0 || std::size_t(index.row()) >= Lines_.size()) return {};
    if (role == Qt::DisplayRole)
        return QString::fromStdString(Lines_[std::size_t(index.row())].Text);
    if (role == PathRole) {
        const std::string path = LinePath(index.row());
        return QByteArray(path.data(), qsizetype(path.size()));
    }
    return {};
}

void ViewList::Message(std::string text) const {
    if (Messages_) Messages_->ShowMessage(text);
}
