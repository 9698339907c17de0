#include "CliSupport.h"

#include <charconv>
#include <fstream>
#include <sstream>

bool ReadWholeFile(const std::string& path, std::string& out) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream ss;
    ss << in.rdbuf();
    if (in.bad()) return false;
    out = ss.str();
    return true;
}

std::string CommaListToLines(std::string_view list) {
    std::string out;
    for (char c : list)
        out += (c == ',') ? '\n' : c;
    return out;
}

#include "http/HttpTypes.h"

#include <atomic>
#include <csignal>
#include <sys/stat.h>
#include <unistd.h>

void ParseProxy(const std::string& text, std::string& host, int& port) {
    const auto colon = text.rfind(':');
    host = text.substr(0, colon);
    port = 80;
    if (colon != std::string::npos) {
        const std::string p = text.substr(colon + 1);
        int n = 0;
        auto [end, ec] = std::from_chars(p.data(), p.data() + p.size(), n);
        if (ec != std::errc() || end != p.data() + p.size() || n <= 0 || n > 65535)
            throw UsageError{"--proxy needs HOST:PORT, not \"" + text + "\""};
        port = n;
    }
    if (host.empty()) throw UsageError{"--proxy needs HOST:PORT, not \"" + text + "\""};
}

namespace {
std::atomic<int> gInterrupts{0};
void OnInterrupt(int) {
    gInterrupts.fetch_add(1);
}
} // namespace

void InstallInterruptHandler() {
    struct sigaction sa {};
    sa.sa_handler = OnInterrupt;
    sigemptyset(&sa.sa_mask);
    for (int signal : {SIGINT, SIGTERM, SIGHUP})
        ::sigaction(signal, &sa, nullptr);
    ::signal(SIGPIPE, SIG_IGN);
    ::signal(SIGXFSZ, SIG_IGN);
}

std::string OutFolderProblem(const std::string& path) {
    std::string folder = path;
    while (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    struct stat st {};
    if (::stat(folder.c_str(), &st) != 0) return {};
    if (!S_ISDIR(st.st_mode)) return "--out names a file, not a folder: " + path;
    if (::access(folder.c_str(), W_OK | X_OK) != 0)
        return "--out names a folder this user cannot write to: " + path;
    return {};
}

int InterruptCount() {
    return gInterrupts.load();
}

ProgressLine::ProgressLine() : Tty_(::isatty(2) != 0), Start_(MonotonicMs()) {}

void ProgressLine::Show(const std::string& text) {
    if (!Tty_) return;
    const long long secs = (MonotonicMs() - Start_) / 1000;
    std::fprintf(stderr, "\r\033[K%s  [%lld:%02lld]", text.c_str(), secs / 60, secs % 60);
    std::fflush(stderr);
    Shown_ = true;
}

void ProgressLine::Clear() {
    if (!Tty_ || !Shown_) return;
    std::fprintf(stderr, "\r\033[K");
    std::fflush(stderr);
    Shown_ = false;
}

#include "engine/Grabber.h"

void ApplyScanDefaults(Grabber& grab, const ScanDefaults& defaults) {
    if (defaults.SearchThumbs) grab.SetSearchThumbs(true);
    if (defaults.BothKinds) grab.SetDownloadType(DownloadFilter::DOWNLOAD_HREF_SRC);
    if (defaults.Depth > 0) grab.SetDepthSearchLevel(defaults.Depth);
}
