#include "StringTools.h"

#include <cerrno>
#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

int LastCharPos(char ch, std::string_view text) {
    const auto pos = text.rfind(ch);
    return pos == std::string_view::npos ? 0 : int(pos) + 1;
}

void ReplaceChar(std::string& text, char from, char to) {
    for (char& c : text)
        if (c == from) c = to;
}

void AppendPercentEscape(std::string& out, unsigned char c) {
    static const char digits[] = "0123456789ABCDEF";
    out += '%';
    out += digits[c >> 4];
    out += digits[c & 15];
}

namespace {

constexpr std::size_t kMaxSegment = 255;
constexpr std::size_t kMaxPath = 4000;

// FNV-1a, to keep shortened names of distinct long segments distinct.
std::string ShortHash(std::string_view s) {
    std::uint64_t h = 1469598103934665603ull;
    for (unsigned char c : s) {
        h ^= c;
        h *= 1099511628211ull;
    }
    char buf[17];
    std::snprintf(buf, sizeof buf, "%016llx", static_cast<unsigned long long>(h));
    return buf;
}

// Appends one path segment, not empty, made safe as a file or folder name.
void AppendSafeSegment(std::string& out, std::string_view seg) {
    if (seg == ".") {
        out += "%2E";
        return;
    }
    if (seg == "..") {
        out += "%2E%2E";
        return;
    }
    const std::size_t begin = out.size();
    for (std::size_t i = 0; i < seg.size();) {
        // Runs of printable bytes go in whole; control bytes become escapes.
        std::size_t j = i;
        while (j < seg.size() && static_cast<unsigned char>(seg[j]) >= 32 && seg[j] != 127)
            ++j;
        out.append(seg.substr(i, j - i));
        if (j < seg.size()) AppendPercentEscape(out, static_cast<unsigned char>(seg[j++]));
        i = j;
    }
    if (out.size() - begin > kMaxSegment) {
        // Keep the start and the extension readable, and a hash of the whole.
        const std::string whole = out.substr(begin);
        std::string ext;
        const auto dot = whole.rfind('.');
        if (dot != std::string::npos && whole.size() - dot <= 16) ext = whole.substr(dot);
        out.resize(begin);
        out.append(whole, 0, kMaxSegment - 18 - ext.size());
        out.append("~").append(ShortHash(seg)).append(ext);
    }
}

} // namespace

std::string UrlToLocalFileName(std::string_view folder, std::string_view hostAndPath) {
    std::string result;
    result.reserve(folder.size() + hostAndPath.size() + 16);
    result.append(folder);
    if (result.empty() || result.back() != '/') result += '/';

    // The segments of hostAndPath, empty ones dropped, then "index.html" for
    // a bare host or a path ending in "/".
    int segments = 0;
    const auto add = [&](std::string_view seg) {
        if (segments++ > 0) result += '/';
        AppendSafeSegment(result, seg);
    };
    for (std::size_t start = 0; start <= hostAndPath.size();) {
        auto end = hostAndPath.find('/', start);
        if (end == std::string_view::npos) end = hostAndPath.size();
        const std::string_view seg = hostAndPath.substr(start, end - start);
        if (!seg.empty())
            add(seg);
        else if (start == 0)
            return {}; // no host: nothing to name the folder after
        start = end + 1;
    }
    if (hostAndPath.find('/') == std::string_view::npos || hostAndPath.back() == '/')
        add("index.html");
    if (segments < 2 || result.size() > kMaxPath) return {};
    return result;
}

void ForceFolders(std::string_view path) {
    const auto last = path.rfind('/');
    if (last == std::string_view::npos || last == 0) return;
    std::string dir(path.substr(0, last));
    struct stat st {};
    if (::stat(dir.c_str(), &st) == 0) return;
    for (std::size_t i = 1; i <= dir.size(); ++i) {
        if (i == dir.size() || dir[i] == '/') {
            std::string part = dir.substr(0, i);
            if (::mkdir(part.c_str(), 0777) != 0 && errno != EEXIST) {
                // passed over: the later file creation reports the failure
            }
        }
    }
}

std::string DatedResultsName(const std::tm& t) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d_%02d.%02d.%02d.txt", t.tm_year + 1900,
                  t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec);
    return buf;
}

std::string DatedResultsName() {
    std::time_t now = std::time(nullptr);
    std::tm t{};
    localtime_r(&now, &t);
    return DatedResultsName(t);
}

std::string UpperCase(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        c = UpperChar(c);
    return out;
}

std::string LowerCase(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        c = LowerChar(c);
    return out;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i)
        if (UpperChar(text[i]) != UpperChar(prefix[i])) return false;
    return true;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && StartsWithNoCase(a, b);
}

std::string_view TrimSpace(std::string_view s) {
    const auto space = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!s.empty() && space(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && space(s.back()))
        s.remove_suffix(1);
    return s;
}

std::size_t FindNoCase(std::string_view haystack, std::string_view needle, std::size_t from) {
    if (needle.empty()) return from <= haystack.size() ? from : std::string_view::npos;
    if (haystack.size() < needle.size()) return std::string_view::npos;
    const char first = UpperChar(needle[0]);
    for (std::size_t i = from; i + needle.size() <= haystack.size(); ++i) {
        if (UpperChar(haystack[i]) != first) continue;
        if (StartsWithNoCase(haystack.substr(i), needle)) return i;
    }
    return std::string_view::npos;
}

std::string CurrentFolder() {
    std::vector<char> buf(4096);
    if (::getcwd(buf.data(), buf.size()) == nullptr) return ".";
    std::string s(buf.data());
    if (s.size() > 1 && s.back() == '/') s.pop_back();
    return s;
}
