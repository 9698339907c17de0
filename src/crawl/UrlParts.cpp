#include "UrlParts.h"

#include "common/StringTools.h"

#include <charconv>

namespace {

bool IsSchemeStart(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool IsSchemeChar(char c) {
    return IsSchemeStart(c) || (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.';
}

// Length of the scheme of s (without the ":"), or 0 when s has none.
std::size_t SchemeLength(std::string_view s) {
    if (s.empty() || !IsSchemeStart(s[0])) return 0;
    std::size_t i = 1;
    while (i < s.size() && IsSchemeChar(s[i]))
        ++i;
    return (i < s.size() && s[i] == ':') ? i : 0;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// RFC 3986 remove_dot_segments, on a path that starts with "/" or is empty.
std::string RemoveDotSegments(std::string_view in) {
    std::string out;
    out.reserve(in.size());
    std::size_t i = 0;
    while (i < in.size()) {
        std::string_view rest = in.substr(i);
        if (rest.starts_with("../")) {
            i += 3;
        } else if (rest.starts_with("./")) {
            i += 2;
        } else if (rest.starts_with("/./")) {
            i += 2;
        } else if (rest == "/.") {
            out += '/';
            break;
        } else if (rest.starts_with("/../") || rest == "/..") {
            const auto cut = out.rfind('/');
            out.resize(cut == std::string::npos ? 0 : cut);
            if (rest == "/..") {
                out += '/';
                break;
            }
            i += 3;
        } else if (rest == "." || rest == "..") {
            break;
        } else {
            std::size_t j = (rest[0] == '/') ? 1 : 0;
            while (j < rest.size() && rest[j] != '/')
                ++j;
            out.append(rest.substr(0, j));
            i += j;
        }
    }
    return out;
}

struct UrlPieces {
    std::string_view scheme, authority, path, query, fragment;
    bool hasAuthority = false, hasQuery = false, hasFragment = false;
};

// Splits a reference or URL into its five RFC 3986 pieces.
UrlPieces SplitUrl(std::string_view s) {
    UrlPieces p;
    const std::size_t sl = SchemeLength(s);
    if (sl > 0) {
        p.scheme = s.substr(0, sl);
        s.remove_prefix(sl + 1);
    }
    const auto hash = s.find('#');
    if (hash != std::string_view::npos) {
        p.hasFragment = true;
        p.fragment = s.substr(hash + 1);
        s = s.substr(0, hash);
    }
    const auto q = s.find('?');
    if (q != std::string_view::npos) {
        p.hasQuery = true;
        p.query = s.substr(q + 1);
        s = s.substr(0, q);
    }
    if (s.starts_with("//")) {
        p.hasAuthority = true;
        s.remove_prefix(2);
        const auto slash = s.find('/');
        p.authority = s.substr(0, slash);
        s = slash == std::string_view::npos ? std::string_view{} : s.substr(slash);
    }
    p.path = s;
    return p;
}

// The escape at s[i] ("%" and two hex digits) as the byte it stands for,
// or -1 when s[i] does not start one.
int EscapeAt(std::string_view s, std::size_t i) {
    if (s[i] != '%' || i + 2 >= s.size()) return -1;
    const int hi = HexValue(s[i + 1]), lo = HexValue(s[i + 2]);
    return hi >= 0 && lo >= 0 ? hi * 16 + lo : -1;
}

// The path of a URL decoded for naming its file, so that only the slashes
// written as such separate folders. It decodes as PercentDecode does, except
// where that would let two different paths share a name: an encoded "/" or
// "\" stays written "%2F" or "%5C" inside its segment, an encoded NUL stays
// "%00", and a "%" that stands for itself (written "%25" or left bare) is
// written "%25". Every "%" of the result thus starts an escape that stands
// for exactly one byte, here or in UrlToLocalFileName.
std::string DecodeForStorage(std::string_view raw) {
    std::string out;
    out.reserve(raw.size() + 8);
    for (std::size_t i = 0; i < raw.size(); ++i) {
        // Bytes up to the next "%" stand for themselves.
        const auto percent = raw.find('%', i);
        out.append(raw.substr(i, percent - i));
        if (percent == std::string_view::npos) break;
        i = percent;
        const int escaped = EscapeAt(raw, i);
        if (escaped < 0) {
            if (raw[i] == '%')
                AppendPercentEscape(out, '%');
            else
                out += raw[i];
            continue;
        }
        i += 2;
        if (escaped == '/' || escaped == '\\' || escaped == 0 || escaped == '%')
            AppendPercentEscape(out, static_cast<unsigned char>(escaped));
        else
            out += char(escaped);
    }
    return out;
}

// A last segment without a dot is taken as a directory: the path gets a
// trailing "/".
void MarkDotlessLastSegmentAsFolder(std::string& path) {
    if (!path.empty() && path.back() == '/') return;
    const auto slash = path.rfind('/');
    const std::string_view last = slash == std::string::npos
                                      ? std::string_view(path)
                                      : std::string_view(path).substr(slash + 1);
    if (last.find('.') == std::string_view::npos) path += '/';
}

// A folder name that no path segment can have: every "%" of a stored path
// starts an escape of two upper-case hex digits. It stands for an empty
// segment, so that the files of /a//b.jpg and /a/b.jpg stay apart.
constexpr std::string_view kEmptySegment = "%empty";

// Separates a file name from the query it was asked with; no stored path
// has it (an escaped "?" of a path is decoded).
constexpr std::string_view kQueryMark = "%3F";
constexpr std::size_t kMaxNameLength = 255;
constexpr std::size_t kMaxExtensionLength = 16;

// Writes kEmptySegment between two slashes that follow each other.
void KeepEmptySegments(std::string& path) {
    for (std::size_t i = 1; i < path.size(); ++i)
        if (path[i] == '/' && path[i - 1] == '/') path.insert(i, kEmptySegment);
}

// The folder of a host: the name in lower case with a "+" written "%2B",
// then "+" and the port when it is not the scheme's default, so that two
// servers of one host keep their files apart.
std::string HostFolder(std::string_view host, int port, int defaultPort) {
    std::string out;
    out.reserve(host.size() + 6);
    for (char c : host) {
        if (c == '+')
            AppendPercentEscape(out, '+');
        else
            out += LowerChar(c);
    }
    if (port != defaultPort) out += '+' + std::to_string(port);
    return out;
}

// The bytes that the request escapes on the wire (TransferThread's
// EscapeForRequest): two queries that differ only there ask for one thing.
bool EscapedOnTheWire(unsigned char c) {
    return c <= 32 || c >= 127 || c == '"' || c == '<' || c == '>' || c == '\\' || c == '^' ||
           c == '`' || c == '{' || c == '|' || c == '}';
}

// Bytes that have a meaning in a stored name: the folder separator, the dot
// before the extension, the "~" of a shortened name, the "%" of an escape.
bool MeaningfulInAName(unsigned char c) {
    return c == '/' || c == '.' || c == '~' || c == '%';
}

// The query as the request sends it, written for a file name: the bytes of
// MeaningfulInAName become escapes, and an escape of the query is kept as it
// stands unless it stands for one of them (its "%" is then written "%25").
// Each "%" of the result thus starts an escape, and the result reads back
// as exactly one query: different queries never share a name.
std::string QueryForName(std::string_view query) {
    std::string out;
    out.reserve(query.size() + 16);
    for (std::size_t i = 0; i < query.size(); ++i) {
        const auto c = static_cast<unsigned char>(query[i]);
        const int escaped = EscapeAt(query, i);
        if (escaped >= 0 && !MeaningfulInAName(static_cast<unsigned char>(escaped))) {
            out.append(query.substr(i, 3));
            i += 2;
        } else if (EscapedOnTheWire(c) || MeaningfulInAName(c)) {
            AppendPercentEscape(out, c);
        } else {
            out += char(c);
        }
    }
    return out;
}

// FNV-1a, for shortened names.
std::string HashText(std::string_view a, std::string_view b) {
    std::uint64_t h = 1469598103934665603ull;
    for (std::string_view s : {a, std::string_view("?"), b})
        for (unsigned char c : s) {
            h ^= c;
            h *= 1099511628211ull;
        }
    static const char digits[] = "0123456789abcdef";
    std::string out(16, '0');
    for (int i = 15; i >= 0; --i, h >>= 4)
        out[std::size_t(i)] = digits[h & 15];
    return out;
}

// The first n bytes of s at most, without cutting an escape in two.
std::string_view CutBeforeEscape(std::string_view s, std::size_t n) {
    if (s.size() <= n) return s;
    s = s.substr(0, n);
    const auto percent = s.rfind('%');
    if (percent != std::string_view::npos && percent + 3 > s.size()) s = s.substr(0, percent);
    return s;
}

// The file name of a URL with a query: the name without its extension, the
// mark, the query, then the extension, so that the file type still shows.
// The query holds no ".", so the extension is told apart from it, and the
// mark is found at its first place. A name that would be too long for the
// file system keeps the start of both and a hash of the whole after a "~";
// the query part of a name that is not shortened never holds a "~".
std::string NameWithQuery(std::string_view file, std::string_view query) {
    std::string escaped; // control bytes as the file system tool would write them
    for (unsigned char c : file) {
        if (c < 32 || c == 127)
            AppendPercentEscape(escaped, c);
        else
            escaped += char(c);
    }
    const std::string_view name(escaped);
    const auto dot = name.rfind('.');
    const std::size_t stemLength =
        dot != std::string_view::npos && name.size() - dot <= kMaxExtensionLength ? dot
                                                                                  : name.size();
    const std::string_view stem = name.substr(0, stemLength), extension = name.substr(stemLength);
    std::string written = QueryForName(query);

    std::string out;
    if (stem.size() + kQueryMark.size() + written.size() + extension.size() <= kMaxNameLength) {
        out.append(stem).append(kQueryMark).append(written).append(extension);
        return out;
    }
    const std::string hash = HashText(file, query);
    const std::size_t room =
        kMaxNameLength - extension.size() - kQueryMark.size() - 1 - hash.size();
    const std::string_view stemKept = CutBeforeEscape(stem, room / 2);
    out.append(stemKept).append(kQueryMark);
    out.append(CutBeforeEscape(written, room - stemKept.size()));
    out.append("~").append(hash).append(extension);
    return out;
}

} // namespace

namespace {

// PercentDecode into out, which keeps its room from one address to the next.
void PercentDecodeInto(std::string& out, std::string_view s) {
    out.clear();
    for (std::size_t i = 0; i < s.size();) {
        const auto percent = s.find('%', i);
        if (percent == std::string_view::npos) {
            out.append(s.substr(i));
            break;
        }
        out.append(s.substr(i, percent - i));
        const int escaped = EscapeAt(s, percent);
        out += escaped >= 0 ? char(escaped) : '%';
        i = percent + (escaped >= 0 ? 3 : 1);
    }
}

} // namespace

std::string PercentDecode(std::string_view s) {
    std::string out;
    PercentDecodeInto(out, s);
    return out;
}

int UrlParts::DefaultPort(std::string_view scheme) {
    if (scheme == "http") return 80;
    if (scheme == "https") return 443;
    if (scheme == "ftp") return 21;
    return 0;
}

std::string UrlParts::SiteKey(std::string_view hostIn) {
    std::string host = LowerCase(hostIn);
    while (!host.empty() && host.back() == '.')
        host.pop_back();
    if (host.empty() || host[0] == '[') return host; // IPv6 literal: the whole address
    bool numeric = true;
    for (char c : host)
        if (!((c >= '0' && c <= '9') || c == '.')) numeric = false;
    if (numeric) return host; // IPv4 address: the whole address
    const auto c = host.rfind('.');
    if (c == std::string::npos || c == 0) return host;
    const auto t = host.rfind('.', c - 1);
    if (t == std::string::npos || t == 0) return host;
    return host.substr(t + 1);
}

void UrlParts::Clear() {
    Scheme_.clear();
    Host_.clear();
    User_.clear();
    Password_.clear();
    Path_.clear();
    RawPath_.clear();
    Extra_.clear();
    Domain_.clear();
    UrlPath_.clear();
    LocalFileName_.clear();
    Port_ = 0;
    Valid_ = false;
}

std::string UrlParts::Origin() const {
    return UrlOrigin(Url_);
}

namespace {

// scheme "://" [user [":" password] "@"] host [":" port] tail
struct UrlAuthority {
    bool Ok = false;
    std::size_t SchemeLength = 0;
    bool HasUserInfo = false;
    std::string_view UserInfo, Host, PortText, Tail;
};

UrlAuthority SplitAuthority(std::string_view url) {
    UrlAuthority a;
    a.SchemeLength = SchemeLength(url);
    if (a.SchemeLength == 0) return a;
    std::string_view rest = url.substr(a.SchemeLength + 1);
    if (!rest.starts_with("//")) return a;
    rest.remove_prefix(2);

    const auto authEnd = FindAnyOf(rest, "/?#");
    std::string_view authority = rest.substr(0, authEnd);
    if (authEnd != std::string_view::npos) a.Tail = rest.substr(authEnd);

    const auto at = authority.rfind('@');
    if (at != std::string_view::npos) {
        a.HasUserInfo = true;
        a.UserInfo = authority.substr(0, at);
        authority.remove_prefix(at + 1);
    }
    if (authority.starts_with("[")) {
        const auto close = authority.find(']');
        if (close == std::string_view::npos) return a;
        a.Host = authority.substr(0, close + 1);
        std::string_view after = authority.substr(close + 1);
        if (!after.empty()) {
            if (after[0] != ':') return a;
            a.PortText = after.substr(1);
        }
    } else {
        const auto colon = authority.rfind(':');
        a.Host = authority.substr(0, colon);
        if (colon != std::string_view::npos) a.PortText = authority.substr(colon + 1);
    }
    a.Ok = true;
    return a;
}

} // namespace

std::string UrlOrigin(std::string_view url) {
    const UrlAuthority a = SplitAuthority(url);
    if (!a.Ok || a.Host.empty()) return {};
    const std::string scheme = LowerCase(url.substr(0, a.SchemeLength));
    std::string origin = scheme + "://" + LowerCase(a.Host);
    int port = 0;
    const auto [end, ec] =
        std::from_chars(a.PortText.data(), a.PortText.data() + a.PortText.size(), port);
    const bool numeric =
        !a.PortText.empty() && ec == std::errc() && end == a.PortText.data() + a.PortText.size();
    if (!a.PortText.empty() && !(numeric && port == UrlParts::DefaultPort(scheme))) {
        origin += ':';
        origin.append(a.PortText);
    }
    return origin;
}

std::string_view UrlParts::HostPart(std::string_view url) {
    const UrlAuthority a = SplitAuthority(url);
    return a.Ok ? a.Host : std::string_view{};
}

bool UrlParts::Split(std::string_view url, std::string_view storageFolder) {
    Clear();
    Url_.assign(url);
    if (url.size() > kMaxUrlLength) return false;

    const UrlAuthority a = SplitAuthority(url);
    if (a.SchemeLength == 0) return false;
    Scheme_ = LowerCase(url.substr(0, a.SchemeLength));
    if (a.HasUserInfo) {
        const auto colon = a.UserInfo.find(':');
        PercentDecodeInto(User_, a.UserInfo.substr(0, colon));
        if (colon != std::string_view::npos)
            PercentDecodeInto(Password_, a.UserInfo.substr(colon + 1));
    }
    if (!a.Ok) return false;
    const std::string_view tail = a.Tail;
    const std::string_view portText = a.PortText;
    Host_.assign(a.Host);
    if (Host_.empty()) return false;
    for (unsigned char c : Host_)
        if (c <= 32 || c == 127 || c == '\\' || c == '%') return false;

    Port_ = DefaultPort(Scheme_);
    if (!portText.empty()) {
        int port = 0;
        auto [end, ec] = std::from_chars(portText.data(), portText.data() + portText.size(), port);
        if (ec != std::errc() || end != portText.data() + portText.size() || port <= 0 ||
            port > 65535)
            return false;
        Port_ = port;
    }

    const auto extra = FindAnyOf(tail, "?#");
    RawPath_.assign(tail.substr(0, extra));
    if (extra != std::string_view::npos) Extra_.assign(tail.substr(extra));
    PercentDecodeInto(Path_, RawPath_);

    // The folder of the path: what stands before its last "/", the whole
    // path when its last segment has no dot (MarkDotlessLastSegmentAsFolder).
    const auto slash = Path_.rfind('/');
    std::size_t folderEnd = slash;
    if (!Path_.empty() && Path_.back() == '/')
        folderEnd = Path_.size() - 1;
    else if (Path_.find('.', slash == std::string::npos ? 0 : slash + 1) == std::string::npos)
        folderEnd = Path_.size();
    if (folderEnd == std::string::npos || folderEnd < 1)
        UrlPath_.assign(1, '/');
    else
        UrlPath_.assign(Path_, 0, folderEnd);

    Domain_ = SiteKey(Host_);
    Valid_ = true;
    if (!storageFolder.empty()) LocalFileName_ = LocalFileNameUnder(storageFolder);
    return true;
}

std::string UrlParts::LocalFileNameUnder(std::string_view storageFolder) const {
    if (!Valid_ || storageFolder.empty()) return {};
    // The file's folders are the segments of the path as sent: an encoded
    // slash does not open a folder (see DecodeForStorage).
    std::string stored = DecodeForStorage(RawPath_);
    MarkDotlessLastSegmentAsFolder(stored);
    KeepEmptySegments(stored);
    if (Extra_.starts_with('?')) {
        if (stored.back() == '/') stored += "index.html";
        const auto slash = stored.rfind('/');
        const std::string_view query = std::string_view(Extra_).substr(1);
        stored =
            stored.substr(0, slash + 1) + NameWithQuery(std::string_view(stored).substr(slash + 1),
                                                        query.substr(0, query.find('#')));
    }
    return UrlToLocalFileName(storageFolder,
                              HostFolder(Host_, Port_, DefaultPort(Scheme_)) + stored);
}

namespace {

// Appends the path head + tail with its dot segments removed. A path whose
// segments hold no "." or ".." (no "/." in it, it starts with "/") is
// appended as it stands, without a working copy.
void AppendPath(std::string& out, std::string_view head, std::string_view tail) {
    const bool plain =
        (head.empty() ? tail.starts_with('/') || tail.empty() : head.starts_with('/')) &&
        head.find("/.") == std::string_view::npos && tail.find("/.") == std::string_view::npos &&
        !(head.ends_with('/') && tail.starts_with('.'));
    if (plain) {
        out.append(head).append(tail);
        return;
    }
    std::string merged;
    merged.reserve(head.size() + tail.size());
    merged.append(head).append(tail);
    out += RemoveDotSegments(merged);
}

} // namespace

bool CombineUrl(std::string_view base, std::string_view reference, std::string& out) {
    if (SchemeLength(reference) > 0) {
        out.assign(reference);
        return true;
    }
    const UrlPieces b = SplitUrl(base);
    if (b.scheme.empty() || !b.hasAuthority) return false;
    const UrlPieces r = SplitUrl(reference);

    out.clear();
    out.reserve(base.size() + reference.size() + 4);
    out.append(b.scheme).append("://");
    std::string_view query = b.query;
    bool hasQuery = b.hasQuery;
    if (r.hasAuthority) {
        out.append(r.authority);
        AppendPath(out, {}, r.path);
        query = r.query;
        hasQuery = r.hasQuery;
    } else {
        out.append(b.authority);
        if (r.path.empty()) {
            out.append(b.path);
            if (r.hasQuery) {
                query = r.query;
                hasQuery = true;
            }
        } else {
            if (r.path[0] == '/') {
                AppendPath(out, {}, r.path);
            } else if (b.path.empty()) {
                AppendPath(out, "/", r.path);
            } else {
                const auto slash = b.path.rfind('/');
                AppendPath(out, b.path.substr(0, slash == std::string_view::npos ? 0 : slash + 1),
                           r.path);
            }
            query = r.query;
            hasQuery = r.hasQuery;
        }
    }
    if (hasQuery) out.append("?").append(query);
    if (r.hasFragment) out.append("#").append(r.fragment);
    return true;
}
