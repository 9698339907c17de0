#include "ScanJournal.h"

#include "http/HttpTypes.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr std::string_view kMagic = "tessellon scan journal ";
constexpr int kVersion = 1;
constexpr const char* kFolderName = ".tessellon";
constexpr const char* kFileName = "scan-journal";
// A journal is synced to the disk at most this often, so that a power cut
// loses little and the scan does not wait for the disk at every batch.
constexpr std::int64_t kSyncEveryMs = 2000;

std::string FolderIn(const std::string& storageFolder) {
    std::string folder = storageFolder;
    if (!folder.empty() && folder.back() != '/') folder += '/';
    return folder + kFolderName;
}

// Tabs and line ends would split a field: they are escaped, with the
// backslash itself.
void AppendEscaped(std::string& out, std::string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        // Bytes that need no escape go in as one run.
        std::size_t end = i;
        while (end < text.size() && text[end] != '\\' && text[end] != '\t' && text[end] != '\n' &&
               text[end] != '\r')
            ++end;
        out.append(text.substr(i, end - i));
        if (end == text.size()) break;
        i = end;
        const char c = text[i];
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        default:
            out += c;
        }
    }
}

bool Unescape(std::string_view text, std::string& out) {
    out.clear();
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) return false;
        if (c != '\\') {
            out += c;
            continue;
        }
        if (++i == text.size()) return false;
        switch (text[i]) {
        case '\\':
            out += '\\';
            break;
        case 't':
            out += '\t';
            break;
        case 'n':
            out += '\n';
            break;
        case 'r':
            out += '\r';
            break;
        default:
            return false;
        }
    }
    return true;
}

std::vector<std::string_view> SplitTabs(std::string_view line) {
    std::vector<std::string_view> fields;
    std::size_t start = 0;
    for (;;) {
        const std::size_t tab = line.find('\t', start);
        fields.push_back(line.substr(start, tab == std::string_view::npos ? tab : tab - start));
        if (tab == std::string_view::npos) return fields;
        start = tab + 1;
    }
}

bool ParseInt(std::string_view text, int min, int max, int& value) {
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && end == text.data() + text.size() && value >= min && value <= max;
}

bool WriteAll(int fd, const std::string& data) {
    std::size_t off = 0;
    while (off < data.size()) {
        const ssize_t w = ::write(fd, data.data() + off, data.size() - off);
        if (w < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        off += std::size_t(w);
    }
    return true;
}

// One record line into state; false when it is not one.
bool ParseRecord(std::string_view line, JournalState& state) {
    const std::vector<std::string_view> f = SplitTabs(line);
    JournalState::Entry entry;
    int depth = 0, area = 0, kind = 0;
    if (f[0] == "P" && f.size() == 6) {
        if (!ParseInt(f[1], 1, 1000, depth) || !ParseInt(f[2], 0, 1 << 30, area) ||
            !ParseInt(f[3], 0, 255, kind) || !Unescape(f[4], entry.Url) ||
            !Unescape(f[5], entry.Request.ReferringUrl) || entry.Url.empty())
            return false;
        entry.Request.DepthSearchLevel = depth;
        entry.Request.CountArea = area;
        entry.Request.HrefOrSrc = char(kind);
        state.PendingPages.push_back(std::move(entry));
        return true;
    }
    if (f[0] == "F" && f.size() == 5) {
        if (!ParseInt(f[1], 0, 1 << 30, area) || !ParseInt(f[2], 0, 255, kind) ||
            !Unescape(f[3], entry.Url) || !Unescape(f[4], entry.Request.ReferringUrl) ||
            entry.Url.empty())
            return false;
        entry.Request.DepthSearchLevel = -1;
        entry.Request.CountArea = area;
        entry.Request.HrefOrSrc = char(kind);
        entry.Request.GetAction = BodyHandling::STORE_TO_FILE;
        state.Files.push_back(std::move(entry));
        return true;
    }
    if (f[0] == "D" && f.size() == 2) {
        if (!Unescape(f[1], entry.Url) || entry.Url.empty()) return false;
        state.DonePages.push_back(std::move(entry.Url));
        return true;
    }
    return false;
}

} // namespace

ScanJournal::~ScanJournal() {
    Close();
}

std::string ScanJournal::PathIn(const std::string& storageFolder) {
    return FolderIn(storageFolder) + "/" + kFileName;
}

bool ScanJournal::Load(const std::string& storageFolder, const std::string& address,
                       JournalState& state, std::string& why) {
    state = {};
    const std::string path = PathIn(storageFolder);
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        why = "No unfinished scan in " + storageFolder;
        return false;
    }
    std::ostringstream ss;
    ss << in.rdbuf();
    const std::string text = ss.str();
    const auto damaged = [&](const std::string& detail) {
        why = "The unfinished scan's journal is damaged (" + detail + "): " + path;
        state = {};
        return false;
    };
    // A kill may cut the last line short, and a power cut may leave the end
    // of the file zeroed: whatever follows the last line end is ignored.
    const std::size_t end = text.rfind('\n');
    if (end == std::string::npos) return damaged("no complete line");
    const std::string_view lines(text.data(), end + 1);
    std::size_t pos = 0;
    auto nextLine = [&](std::string_view& line) {
        if (pos >= lines.size()) return false;
        const std::size_t nl = lines.find('\n', pos);
        line = lines.substr(pos, nl - pos);
        pos = nl + 1;
        return true;
    };
    std::string_view line;
    nextLine(line);
    if (!line.starts_with(kMagic)) return damaged("not a scan journal");
    int version = 0;
    if (!ParseInt(line.substr(kMagic.size()), 1, 1 << 30, version) || version != kVersion) {
        why = "The unfinished scan's journal was written by another version of Tessellon: " + path;
        state = {};
        return false;
    }
    bool begun = false;
    while (!begun && nextLine(line)) {
        const std::vector<std::string_view> f = SplitTabs(line);
        std::string a, b;
        if (f[0] == "A" && f.size() == 2 && Unescape(f[1], a)) {
            state.Address = std::move(a);
        } else if (f[0] == "S" && f.size() == 3 && Unescape(f[1], a) && Unescape(f[2], b)) {
            state.Settings.emplace_back(std::move(a), std::move(b));
        } else if (f[0] == "B" && f.size() == 1) {
            begun = true;
        } else {
            return damaged("unreadable heading at byte " + std::to_string(pos - line.size() - 1));
        }
    }
    if (!begun || state.Address.empty()) return damaged("the heading is cut short");
    if (state.Address != address) {
        why = "The unfinished scan in " + storageFolder + " is of another address (" +
              state.Address + ")";
        state = {};
        return false;
    }
    while (nextLine(line))
        if (!ParseRecord(line, state))
            return damaged("unreadable line at byte " + std::to_string(pos - line.size() - 1));

    // Pages processed leave the pending list; the order of the rest is kept.
    std::vector<std::string> done = state.DonePages;
    std::sort(done.begin(), done.end());
    std::erase_if(state.PendingPages, [&](const JournalState::Entry& page) {
        return std::binary_search(done.begin(), done.end(), page.Url);
    });
    return true;
}

std::string ScanJournal::UnfinishedAddress(const std::string& storageFolder) {
    std::ifstream in(PathIn(storageFolder), std::ios::binary);
    std::string magic, line;
    if (!in || !std::getline(in, magic) || !std::getline(in, line)) return {};
    if (magic != std::string(kMagic) + std::to_string(kVersion) || !line.starts_with("A\t"))
        return {};
    std::string address;
    if (!Unescape(std::string_view(line).substr(2), address)) return {};
    return address;
}

void ScanJournal::Discard(const std::string& storageFolder) {
    ::unlink(PathIn(storageFolder).c_str());
    ::rmdir(FolderIn(storageFolder).c_str()); // only when nothing else is in it
}

bool ScanJournal::Open(const std::string& storageFolder, bool fresh, std::string& why) {
    Close();
    const std::string folder = FolderIn(storageFolder);
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
        why = std::string(std::strerror(errno)) + ": " + folder;
        return false;
    }
    Path_ = PathIn(storageFolder);
    const int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (fresh ? O_TRUNC : O_APPEND);
    Fd_ = ::open(Path_.c_str(), flags, 0600);
    if (Fd_ < 0) {
        why = std::string(std::strerror(errno)) + ": " + Path_;
        return false;
    }
    LastSyncMs_ = MonotonicMs();
    return true;
}

bool ScanJournal::Begin(const std::string& storageFolder, const std::string& address,
                        const std::vector<std::pair<std::string, std::string>>& settings,
                        std::string& why) {
    if (!Open(storageFolder, true, why)) return false;
    Buffer_ = std::string(kMagic) + std::to_string(kVersion) + "\nA\t";
    AppendEscaped(Buffer_, address);
    Buffer_ += '\n';
    for (const auto& [name, value] : settings) {
        Buffer_ += "S\t";
        AppendEscaped(Buffer_, name);
        Buffer_ += '\t';
        AppendEscaped(Buffer_, value);
        Buffer_ += '\n';
    }
    Buffer_ += "B\n";
    Flush();
    return true;
}

bool ScanJournal::Continue(const std::string& storageFolder, std::string& why) {
    // A line cut short by the kill that ended the last run would run into
    // the first line of this one: the journal goes on after its last whole line.
    const std::string path = PathIn(storageFolder);
    std::ifstream in(path, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    const std::string text = ss.str();
    const std::size_t end = text.rfind('\n');
    if (end != std::string::npos && end + 1 < text.size() &&
        ::truncate(path.c_str(), off_t(end + 1)) != 0) {
        why = std::string(std::strerror(errno)) + ": " + path;
        return false;
    }
    return Open(storageFolder, false, why);
}

void ScanJournal::Append(char kind, const std::string& url, const QueuedRequest* request) {
    if (Fd_ < 0) return;
    Buffer_ += kind;
    Buffer_ += '\t';
    if (request != nullptr) {
        if (kind == 'P') {
            Buffer_ += std::to_string(request->DepthSearchLevel);
            Buffer_ += '\t';
        }
        Buffer_ += std::to_string(request->CountArea);
        Buffer_ += '\t';
        Buffer_ += std::to_string(int(static_cast<unsigned char>(request->HrefOrSrc)));
        Buffer_ += '\t';
    }
    AppendEscaped(Buffer_, url);
    if (request != nullptr) {
        Buffer_ += '\t';
        AppendEscaped(Buffer_, request->ReferringUrl);
    }
    Buffer_ += '\n';
    if (Buffer_.size() >= kBatchBytes) Flush();
}

void ScanJournal::PageQueued(const std::string& url, const QueuedRequest& request) {
    Append('P', url, &request);
}

void ScanJournal::FileQueued(const std::string& url, const QueuedRequest& request) {
    Append('F', url, &request);
}

void ScanJournal::PageDone(const std::string& url) {
    Append('D', url, nullptr);
}

void ScanJournal::Flush() {
    if (Fd_ < 0 || Buffer_.empty()) return;
    // A line that cannot be written is lost to the journal only: the scan
    // goes on, and a resume fetches again what it cannot tell was done.
    WriteAll(Fd_, Buffer_);
    Buffer_.clear();
    const std::int64_t now = MonotonicMs();
    if (now - LastSyncMs_ >= kSyncEveryMs) {
        ::fdatasync(Fd_);
        LastSyncMs_ = now;
    }
}

void ScanJournal::Close() {
    if (Fd_ < 0) return;
    Flush();
    ::close(Fd_);
    Fd_ = -1;
}

void ScanJournal::Finish() {
    if (Fd_ < 0) return;
    Buffer_.clear();
    ::close(Fd_);
    Fd_ = -1;
    ::unlink(Path_.c_str());
    const auto slash = Path_.rfind('/');
    if (slash != std::string::npos) ::rmdir(Path_.substr(0, slash).c_str());
}
