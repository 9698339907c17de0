#include "crawl/ResponsiveImages.h"

#include <charconv>
#include <cstring>

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r';
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

bool AllDigits(std::string_view s) {
    if (s.empty()) return false;
    for (char c : s)
        if (!IsDigit(c)) return false;
    return true;
}

// A decimal number as attributes write them: an optional "-", digits with
// an optional fraction (or a fraction alone) and an optional exponent.
bool ParseDecimal(std::string_view s, double& value) {
    std::size_t i = 0;
    if (i < s.size() && s[i] == '-') ++i;
    const std::size_t intStart = i;
    while (i < s.size() && IsDigit(s[i]))
        ++i;
    bool digits = i > intStart;
    if (i < s.size() && s[i] == '.') {
        const std::size_t fracStart = ++i;
        while (i < s.size() && IsDigit(s[i]))
            ++i;
        if (i == fracStart) return false;
        digits = true;
    }
    if (!digits) return false;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        ++i;
        if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
        const std::size_t expStart = i;
        while (i < s.size() && IsDigit(s[i]))
            ++i;
        if (i == expStart) return false;
    }
    if (i != s.size()) return false;
    const auto r = std::from_chars(s.data(), s.data() + s.size(), value);
    return r.ec == std::errc() && r.ptr == s.data() + s.size();
}

// Applies the descriptors of one candidate; false when one is malformed or
// contradicts another.
bool ApplyDescriptors(const std::vector<std::string_view>& descriptors, SrcsetCandidate& c) {
    bool width = false, density = false, height = false;
    for (std::string_view d : descriptors) {
        const char last = d.back();
        const std::string_view number = d.substr(0, d.size() - 1);
        if (last == 'w') {
            if (width || density || !AllDigits(number)) return false;
            double v = 0;
            if (!ParseDecimal(number, v) || v == 0) return false;
            width = true;
            c.Descriptor = SrcsetCandidate::Kind::Width;
            c.Value = v;
        } else if (last == 'x') {
            double v = 0;
            if (width || density || height || !ParseDecimal(number, v) || v < 0) return false;
            density = true;
            c.Descriptor = SrcsetCandidate::Kind::Density;
            c.Value = v;
        } else if (last == 'h') {
            // A height is reserved for later use; only its form is checked.
            if (height || density || !AllDigits(number)) return false;
            double v = 0;
            if (!ParseDecimal(number, v) || v == 0) return false;
            height = true;
        } else {
            return false;
        }
    }
    return !height || width;
}

} // namespace

std::vector<SrcsetCandidate> ParseSrcset(std::string_view s) {
    std::vector<SrcsetCandidate> out;
    std::vector<std::string_view> descriptors;
    const std::size_t n = s.size();
    std::size_t i = 0;
    for (;;) {
        while (i < n && (IsBlank(s[i]) || s[i] == ','))
            ++i;
        if (i >= n) return out;
        const std::size_t urlStart = i;
        while (i < n && !IsBlank(s[i]))
            ++i;
        std::string_view url = s.substr(urlStart, i - urlStart);
        descriptors.clear();
        if (url.back() == ',') {
            // A URL ending in commas ends its candidate there, without descriptors.
            while (!url.empty() && url.back() == ',')
                url.remove_suffix(1);
        } else {
            while (i < n && IsBlank(s[i]))
                ++i;
            // Descriptors run up to a comma outside parentheses, split at blanks.
            std::size_t start = i;
            bool inParens = false;
            for (;; ++i) {
                if (i >= n) {
                    if (i > start) descriptors.push_back(s.substr(start, i - start));
                    break;
                }
                const char c = s[i];
                if (inParens) {
                    if (c == ')') inParens = false;
                    continue;
                }
                if (c == '(') {
                    inParens = true;
                } else if (c == ',') {
                    if (i > start) descriptors.push_back(s.substr(start, i - start));
                    ++i;
                    break;
                } else if (IsBlank(c)) {
                    if (i > start) descriptors.push_back(s.substr(start, i - start));
                    start = i + 1;
                }
            }
        }
        if (url.empty()) continue;
        SrcsetCandidate candidate;
        candidate.Url = url;
        if (ApplyDescriptors(descriptors, candidate)) out.push_back(candidate);
    }
}

const SrcsetCandidate* LargestCandidate(const std::vector<SrcsetCandidate>& list) {
    const SrcsetCandidate* best = nullptr;
    bool byWidth = false;
    for (const SrcsetCandidate& c : list)
        if (c.Descriptor == SrcsetCandidate::Kind::Width) byWidth = true;
    for (const SrcsetCandidate& c : list) {
        if (byWidth) {
            if (c.Descriptor != SrcsetCandidate::Kind::Width) continue;
            if (best == nullptr || c.Value > best->Value) best = &c;
        } else if (best == nullptr || c.DensityOr1() > best->DensityOr1()) {
            best = &c;
        }
    }
    return best;
}

namespace {

char LowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

bool SameName(std::string_view a, std::string_view lower) {
    if (a.size() != lower.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (LowerAscii(a[i]) != lower[i]) return false;
    return true;
}

bool IsLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

std::string_view Trimmed(std::string_view v) {
    while (!v.empty() && IsBlank(v.front()))
        v.remove_prefix(1);
    while (!v.empty() && IsBlank(v.back()))
        v.remove_suffix(1);
    return v;
}

// A lazy-loading attribute counts when it names a web address: relative,
// without scheme, or http(s); placeholders such as "data:" do not.
bool NamesWebAddress(std::string_view v) {
    if (v.empty()) return false;
    const auto colon = v.find(':');
    if (colon == std::string_view::npos) return true;
    const auto other = v.find_first_of("/?#");
    if (other != std::string_view::npos && other < colon) return true;
    const std::string_view scheme = v.substr(0, colon);
    return SameName(scheme, "http") || SameName(scheme, "https");
}

// A bare descriptor such as "2x" left as a URL by a stray comma.
bool LooksLikeDescriptor(std::string_view url) {
    if (url.size() < 2) return false;
    const char last = url.back();
    if (last != 'w' && last != 'x' && last != 'h') return false;
    double v = 0;
    return ParseDecimal(url.substr(0, url.size() - 1), v);
}

// Writes an address as a double-quoted attribute value that the page
// normaliser keeps in one piece: blanks, commas, quotes and angle brackets
// are percent-escaped, control bytes dropped.
void AppendQuotedUrl(std::string& out, std::string_view url) {
    out += '"';
    for (char c : url) {
        switch (c) {
        case ' ':
            out += "%20";
            break;
        case ',':
            out += "%2C";
            break;
        case '"':
            out += "%22";
            break;
        case '\'':
            out += "%27";
            break;
        case '<':
            out += "%3C";
            break;
        case '>':
            out += "%3E";
            break;
        default:
            if (static_cast<unsigned char>(c) >= 32) out += c;
            break;
        }
    }
    out += '"';
}

struct Attribute {
    std::string_view Name, Value;
};

// Bytes that end a tag name (1), an attribute name (1 or 2) or an unquoted
// value (1 or 4): looked up rather than compared, as every byte of every tag
// passes through these loops.
struct Stops {
    unsigned char Of[256] = {};
    constexpr Stops() {
        for (const char c : {' ', '\t', '\n', '\f', '\r', '>'})
            Of[static_cast<unsigned char>(c)] = 1 | 2 | 4;
        Of[static_cast<unsigned char>('/')] = 1 | 2;
        Of[static_cast<unsigned char>('=')] = 2;
    }
};
constexpr Stops kStops;
constexpr unsigned char kEndsTagName = 1, kEndsAttributeName = 2, kEndsValue = 4;

bool Ends(char c, unsigned char what) {
    return (kStops.Of[static_cast<unsigned char>(c)] & what) != 0;
}

// Walks the attributes of the tag whose name ends at i, up to and including
// its closing ">", handing each (name, value) to onAttribute; returns the
// position after the tag (or the page's end for an unterminated tag).
template <class F>
std::size_t WalkAttributes(std::string_view page, std::size_t i, F&& onAttribute) {
    const std::size_t n = page.size();
    while (i < n) {
        const char c = page[i];
        if (c == '>') return i + 1;
        if (IsBlank(c) || c == '/') {
            ++i;
            continue;
        }
        const std::size_t nameStart = i;
        while (i < n && !Ends(page[i], kEndsAttributeName))
            ++i;
        if (i == nameStart) ++i; // a lone "=" is passed over
        Attribute a{page.substr(nameStart, i - nameStart), {}};
        std::size_t j = i;
        while (j < n && IsBlank(page[j]))
            ++j;
        if (j < n && page[j] == '=') {
            ++j;
            while (j < n && IsBlank(page[j]))
                ++j;
            if (j < n && (page[j] == '"' || page[j] == '\'')) {
                const void* end = std::memchr(page.data() + j + 1, page[j], n - j - 1);
                const std::size_t stop =
                    end == nullptr ? n : std::size_t(static_cast<const char*>(end) - page.data());
                a.Value = page.substr(j + 1, stop - j - 1);
                i = stop == n ? n : stop + 1;
            } else {
                const std::size_t valueStart = j;
                while (j < n && !Ends(page[j], kEndsValue))
                    ++j;
                a.Value = page.substr(valueStart, j - valueStart);
                i = j;
            }
        }
        onAttribute(a);
    }
    return n;
}

std::size_t ReadAttributes(std::string_view page, std::size_t i, std::vector<Attribute>& attrs) {
    attrs.clear();
    return WalkAttributes(page, i, [&](const Attribute& a) { attrs.push_back(a); });
}

// The tags whose name alone says they may need rewriting; any other tag
// matters only through a lazy-loading attribute.
enum class TagKind { Img, Source, Meta, Link, Anchor, Picture, Other };

TagKind KindOf(std::string_view name) {
    switch (name.size()) {
    case 1:
        return LowerAscii(name[0]) == 'a' ? TagKind::Anchor : TagKind::Other;
    case 3:
        return SameName(name, "img") ? TagKind::Img : TagKind::Other;
    case 4:
        if (SameName(name, "meta")) return TagKind::Meta;
        return SameName(name, "link") ? TagKind::Link : TagKind::Other;
    case 6:
        return SameName(name, "source") ? TagKind::Source : TagKind::Other;
    case 7:
        return SameName(name, "picture") ? TagKind::Picture : TagKind::Other;
    default:
        return TagKind::Other;
    }
}

bool StartsData(std::string_view name) {
    return name.size() >= 8 && LowerAscii(name[0]) == 'd' && LowerAscii(name[1]) == 'a' &&
           LowerAscii(name[2]) == 't' && LowerAscii(name[3]) == 'a' && name[4] == '-';
}

constexpr std::string_view kLazyAttributes[] = {"data-src", "data-original", "data-lazy-src",
                                                "data-full", "data-large"};

} // namespace

bool RewriteModernMarkup(std::string_view page, std::string& out) {
    const std::size_t n = page.size();
    std::size_t copied = 0;
    bool changed = false;
    bool inAnchor = false;
    int pictureDepth = 0;
    std::vector<Attribute> attrs;
    std::vector<SrcsetCandidate> candidates;
    std::string insert, wrap;
    // The candidates of a PICTURE's SOURCE elements, moved onto its IMG: an
    // IMG wrapped as a thumbnail then reports them inside its link area, so
    // that the full-size picture they name is not taken up, outside the
    // area, before the link to it.
    std::string pictureSources;
    const auto begin = [&] {
        if (changed) return;
        out.clear();
        out.reserve(n + n / 2);
        changed = true;
    };
    // Puts SOURCE candidates that no IMG took in front of position at.
    const auto flushSources = [&](std::size_t at) {
        if (pictureSources.empty()) return;
        begin();
        out.append(page.substr(copied, at - copied));
        out += "<source";
        out += pictureSources;
        out += '>';
        copied = at;
        pictureSources.clear();
    };

    for (std::size_t p = 0; p < n;) {
        const void* lt = std::memchr(page.data() + p, '<', n - p);
        if (lt == nullptr) break;
        p = std::size_t(static_cast<const char*>(lt) - page.data());
        const std::size_t tagStart = p;
        ++p;
        const bool closing = p < n && page[p] == '/';
        if (closing) ++p;
        if (p >= n || !IsLetter(page[p])) continue;
        const std::size_t nameStart = p;
        while (p < n && !Ends(page[p], kEndsTagName))
            ++p;
        const std::string_view name = page.substr(nameStart, p - nameStart);
        if (closing) {
            if (SameName(name, "a")) inAnchor = false;
            if (SameName(name, "picture") && pictureDepth > 0) {
                --pictureDepth;
                flushSources(tagStart);
            }
            continue;
        }
        const std::size_t nameEnd = p;
        const TagKind kind = KindOf(name);
        if (kind == TagKind::Picture) ++pictureDepth;
        if (kind == TagKind::Other || kind == TagKind::Picture ||
            (kind == TagKind::Source && pictureDepth == 0)) {
            // Most tags of a page: passed over unless one of their
            // attributes may be a lazy-loading one.
            bool lazy = false;
            const std::size_t end = WalkAttributes(page, p, [&](const Attribute& a) {
                if (StartsData(a.Name)) lazy = true;
            });
            if (!lazy) {
                p = end;
                continue;
            }
        }
        const std::size_t tagEnd = ReadAttributes(page, p, attrs);
        p = tagEnd;

        const bool isImg = kind == TagKind::Img;
        const bool isSource = kind == TagKind::Source && pictureDepth > 0;

        insert.clear();
        wrap.clear();
        candidates.clear();
        if (isImg && pictureDepth > 0) insert.swap(pictureSources);
        std::string_view src, metaKind, metaContent, linkRel, linkHref;
        for (const Attribute& a : attrs) {
            if (a.Name.size() < 3) continue;
            if ((isImg || isSource) &&
                (SameName(a.Name, "srcset") || SameName(a.Name, "data-srcset"))) {
                for (const SrcsetCandidate& c : ParseSrcset(a.Value)) {
                    if (LooksLikeDescriptor(c.Url)) continue;
                    std::string& to = isSource ? pictureSources : insert;
                    if (isImg) candidates.push_back(c);
                    to += " src=";
                    AppendQuotedUrl(to, c.Url);
                }
                continue;
            }
            if (isImg && SameName(a.Name, "src")) src = Trimmed(a.Value);
            if (SameName(a.Name, "property")) metaKind = Trimmed(a.Value);
            if (SameName(a.Name, "content")) metaContent = Trimmed(a.Value);
            if (SameName(a.Name, "rel")) linkRel = Trimmed(a.Value);
            if (SameName(a.Name, "href")) linkHref = Trimmed(a.Value);
            if (StartsData(a.Name)) {
                for (std::string_view lazy : kLazyAttributes)
                    if (SameName(a.Name, lazy)) {
                        const std::string_view v = Trimmed(a.Value);
                        if (NamesWebAddress(v)) {
                            insert += " src=";
                            AppendQuotedUrl(insert, v);
                        }
                    }
            }
        }
        if (kind == TagKind::Meta && SameName(metaKind, "og:image") && !metaContent.empty()) {
            insert += " src=";
            AppendQuotedUrl(insert, metaContent);
        }
        // Only an anchor that links somewhere wraps a thumbnail; a named
        // anchor (<a name=top>), often left open, does not.
        if (kind == TagKind::Anchor && !linkHref.empty()) inAnchor = true;
        if (kind == TagKind::Link && SameName(linkRel, "image_src") && !linkHref.empty()) {
            insert += " src=";
            AppendQuotedUrl(insert, linkHref);
        }
        if (isImg && !inAnchor && !src.empty()) {
            // An unlinked thumbnail whose srcset offers more pixels is treated
            // as linked to the largest offer.
            const SrcsetCandidate* largest = LargestCandidate(candidates);
            if (largest != nullptr && largest->Url != src &&
                (largest->Descriptor == SrcsetCandidate::Kind::Width ||
                 largest->DensityOr1() > 1.0)) {
                wrap = "<a href=";
                AppendQuotedUrl(wrap, largest->Url);
                wrap += '>';
            }
        }
        if (insert.empty() && wrap.empty()) continue;

        begin();
        out.append(page.substr(copied, tagStart - copied));
        out += wrap;
        out.append(page.substr(tagStart, nameEnd - tagStart));
        out += insert;
        out.append(page.substr(nameEnd, tagEnd - nameEnd));
        if (!wrap.empty()) out += "</a>";
        copied = tagEnd;
    }
    flushSources(n); // a PICTURE left open
    if (changed) out.append(page.substr(copied));
    return changed;
}
