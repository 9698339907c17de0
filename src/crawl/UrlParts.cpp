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

} // namespace

std::string PercentDecode(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size(); ++i) {
        const int escaped = EscapeAt(s, i);
        if (escaped >= 0) {
            out += char(escaped);
            i += 2;
        } else {
            out += s[i];
        }
    }
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
        User_ = PercentDecode(a.UserInfo.substr(0, colon));
        if (colon != std::string_view::npos)
            Password_ = PercentDecode(a.UserInfo.substr(colon + 1));
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
    Path_ = PercentDecode(RawPath_);

    std::string p = Path_;
    MarkDotlessLastSegmentAsFolder(p);
    const int k = LastCharPos('/', p);
    UrlPath_ = k < 2 ? std::string("/") : p.substr(0, k - 1);

    Domain_ = SiteKey(Host_);
    if (!storageFolder.empty()) {
        // The file's folders are the segments of the path as sent: an
        // encoded slash does not open a folder (see DecodeForStorage).
        std::string stored = DecodeForStorage(RawPath_);
        MarkDotlessLastSegmentAsFolder(stored);
        LocalFileName_ = UrlToLocalFileName(storageFolder, Host_ + stored);
    }
    Valid_ = true;
    return true;
}

bool CombineUrl(std::string_view base, std::string_view reference, std::string& out) {
    if (SchemeLength(reference) > 0) {
        out.assign(reference);
        return true;
    }
    const UrlPieces b = SplitUrl(base);
    if (b.scheme.empty() || !b.hasAuthority) return false;
    const UrlPieces r = SplitUrl(reference);

    std::string_view authority = b.authority;
    std::string path;
    std::string_view query = b.query;
    bool hasQuery = b.hasQuery;
    if (r.hasAuthority) {
        authority = r.authority;
        path = RemoveDotSegments(r.path);
        query = r.query;
        hasQuery = r.hasQuery;
    } else if (r.path.empty()) {
        path.assign(b.path);
        if (r.hasQuery) {
            query = r.query;
            hasQuery = true;
        }
    } else {
        if (r.path[0] == '/') {
            path = RemoveDotSegments(r.path);
        } else {
            std::string merged;
            if (b.path.empty()) {
                merged = "/";
            } else {
                const auto slash = b.path.rfind('/');
                merged.assign(b.path.substr(0, slash == std::string_view::npos ? 0 : slash + 1));
            }
            merged.append(r.path);
            path = RemoveDotSegments(merged);
        }
        query = r.query;
        hasQuery = r.hasQuery;
    }

    out.clear();
    out.reserve(base.size() + reference.size() + 4);
    out.append(b.scheme).append("://").append(authority).append(path);
    if (hasQuery) out.append("?").append(query);
    if (r.hasFragment) out.append("#").append(r.fragment);
    return true;
}
