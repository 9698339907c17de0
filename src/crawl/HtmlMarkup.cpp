#include "HtmlMarkup.h"

#include "common/StringTools.h"

#include <array>
#include <cstdint>
#include <cstring>
#include <map>
#include <vector>

namespace {

// Bytes that the normaliser may change or drop; every other byte is copied.
struct SpecialBytes {
    std::array<bool, 256> is{};
    constexpr SpecialBytes() {
        for (int b = 0; b < 32; ++b)
            is[std::size_t(b)] = true;
        for (unsigned char b : {'"', '\'', ',', ' '})
            is[b] = true;
    }
};
constexpr SpecialBytes kSpecial;

} // namespace

std::size_t NextMarker(std::string_view text, std::size_t from) {
    const std::size_t n = text.size();
    std::size_t i = from;
    // Eight bytes at a time while none of them is below 32.
    constexpr std::uint64_t ones = 0x0101010101010101ull, highs = 0x8080808080808080ull;
    for (; i + 8 <= n; i += 8) {
        std::uint64_t w;
        std::memcpy(&w, text.data() + i, 8);
        if (((w - ones * 32) & ~w & highs) != 0) break;
    }
    while (i < n && static_cast<unsigned char>(text[i]) >= 32)
        ++i;
    return i;
}

void AppendUtf8(std::string& out, std::uint32_t cp) {
    if (cp < 0x80) {
        out += char(cp);
    } else if (cp < 0x800) {
        out += char(0xC0 | (cp >> 6));
        out += char(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += char(0xE0 | (cp >> 12));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    } else {
        out += char(0xF0 | (cp >> 18));
        out += char(0x80 | ((cp >> 12) & 0x3F));
        out += char(0x80 | ((cp >> 6) & 0x3F));
        out += char(0x80 | (cp & 0x3F));
    }
}

namespace {

// The code point of the numeric reference "#..." of body (what lies between
// "&" and ";"), or -1 when it is malformed or names no character a page may
// carry. The digits are read with a cap, so no length of them overflows.
long NumericReference(std::string_view body) {
    if (body.size() < 2 || body[0] != '#') return -1;
    const bool hex = body[1] == 'x' || body[1] == 'X';
    const std::string_view digits = body.substr(hex ? 2 : 1);
    if (digits.empty()) return -1;
    long cp = 0;
    for (char c : digits) {
        int d = -1;
        if (c >= '0' && c <= '9') d = c - '0';
        if (hex && c >= 'a' && c <= 'f') d = c - 'a' + 10;
        if (hex && c >= 'A' && c <= 'F') d = c - 'A' + 10;
        if (d < 0) return -1;
        cp = cp * (hex ? 16 : 10) + d;
        if (cp > 0x10FFFF) return -1;
    }
    if (cp < 32 || cp == 127 || (cp >= 0x80 && cp < 0xA0) || (cp >= 0xD800 && cp <= 0xDFFF))
        return -1;
    return cp;
}

} // namespace

std::string DecodeEntities(std::string_view in) {
    if (in.find('&') == std::string_view::npos) return std::string(in);
    static constexpr std::pair<std::string_view, char> kNamed[] = {
        {"amp", '&'}, {"lt", '<'}, {"gt", '>'}, {"quot", '"'}, {"apos", '\''}};
    // The longest reference read: "#x10FFFF" with room for leading zeros.
    constexpr std::size_t kLongest = 16;
    std::string out;
    out.reserve(in.size());
    for (std::size_t i = 0; i < in.size(); ++i) {
        if (in[i] != '&') {
            out += in[i];
            continue;
        }
        const std::size_t semi = in.find(';', i + 1);
        if (semi == std::string_view::npos || semi - i - 1 > kLongest) {
            out += '&';
            continue;
        }
        const std::string_view body = in.substr(i + 1, semi - i - 1);
        bool done = false;
        for (const auto& [name, c] : kNamed)
            // Names are written in lower case; the first four also in upper case.
            if (body == name || (c != '\'' && body == UpperCase(name))) {
                out += c;
                done = true;
                break;
            }
        if (!done) {
            const long cp = NumericReference(body);
            if (cp >= 0) {
                AppendUtf8(out, std::uint32_t(cp));
                done = true;
            }
        }
        if (done)
            i = semi;
        else
            out += '&';
    }
    return out;
}

std::string NormalizeHtml(std::string_view in, bool quotesToSpaces, bool keepLineBreaks) {
    std::string out;
    out.resize(in.size());
    char* o = out.data();
    char last = 'X';
    // The commas of a "mailto:" word (since the output's last space)
    // separate its addresses and are kept. Each part of a word is searched
    // once, so that a long word with many commas costs no more than its size.
    std::size_t searched = 0;
    bool mailtoWord = false;
    constexpr std::string_view kMailto = "mailto:";
    const std::size_t n = in.size();
    for (std::size_t i = 0; i < n; ++i) {
        if (!kSpecial.is[static_cast<unsigned char>(in[i])]) {
            // A run of ordinary bytes is copied as it stands.
            const std::size_t start = i;
            while (i < n && !kSpecial.is[static_cast<unsigned char>(in[i])])
                ++i;
            std::memcpy(o, in.data() + start, i - start);
            o += i - start;
            last = in[i - 1];
            if (i == n) break;
        }
        char c = in[i];
        if (static_cast<unsigned char>(c) < 32) {
            if (c == '\n' && keepLineBreaks)
                c = ' ';
            else
                continue;
        }
        if (quotesToSpaces) {
            if (c == '"' || c == '\'') {
                if (last == '=' && i + 1 < n && in[i + 1] == c) {
                    *o++ = Marker::EmptyValue;
                    last = Marker::EmptyValue;
                    ++i;
                    continue;
                }
                c = ' ';
            } else if (c == ',') {
                const std::size_t end = std::size_t(o - out.data());
                if (!mailtoWord && end > searched)
                    mailtoWord = FindNoCase(std::string_view(out.data() + searched, end - searched),
                                            kMailto) != std::string_view::npos;
                searched = end < kMailto.size() - 1 ? 0 : end - (kMailto.size() - 1);
                if (!mailtoWord) c = ' ';
            }
        }
        if (c == ' ') {
            if (last == '=') continue;
            if (i + 1 < n && (in[i + 1] == ' ' || in[i + 1] == '=')) continue;
        }
        *o++ = c;
        last = c;
        if (c == ' ') {
            searched = std::size_t(o - out.data());
            mailtoWord = false;
        }
    }
    out.resize(std::size_t(o - out.data()));
    return out;
}

namespace {

struct Pattern {
    std::string_view text;
    char marker;
};

constexpr std::array<Pattern, 14> kPatterns{{
    {" HREF=", Marker::Href},
    {" SRC=", Marker::Src},
    {"<A", Marker::AreaOpen},
    {"/A>", Marker::AreaClose},
    {"A/>", Marker::AreaClose},
    {"<FRAME", Marker::AreaOpen},
    {"</FRAME", Marker::AreaClose},
    {"OPENWIN( ", Marker::Href},
    {"BASE HREF=", Marker::Base},
    {"<OPTION", Marker::AreaOpen},
    {"/OPTION>", Marker::AreaClose},
    {"<APPLET", Marker::AreaOpen},
    {"/APPLET>", Marker::AreaClose},
    {" VALUE=", Marker::Value},
}};

// Each pattern is followed on its own: a matching character advances it, a
// mismatch restarts it at its first character when that is the character
// seen, else at nothing. All fourteen together, compiled once into one
// automaton over the characters the patterns use, so that the walk costs a
// table step per byte.
class TagAutomaton {
public:
    struct Step {
        std::uint16_t Next;
        char Marker; // 0: no pattern ends here
    };

    TagAutomaton() {
        std::array<int, 256> classOf;
        classOf.fill(-1);
        std::vector<char> sample{'\x01'}; // class 0: every character no pattern uses
        for (const Pattern& p : kPatterns)
            for (char c : p.text)
                if (classOf[static_cast<unsigned char>(c)] < 0) {
                    classOf[static_cast<unsigned char>(c)] = int(sample.size());
                    sample.push_back(c);
                }
        Classes_ = sample.size();
        for (int b = 0; b < 256; ++b) {
            const int k = classOf[static_cast<unsigned char>(UpperChar(char(b)))];
            Class_[std::size_t(b)] = std::uint8_t(k < 0 ? 0 : k);
        }

        using Progress = std::array<std::uint8_t, kPatterns.size()>;
        std::map<Progress, std::uint16_t> known{{Progress{}, 0}};
        std::vector<Progress> states{Progress{}};
        for (std::size_t s = 0; s < states.size(); ++s) {
            for (std::size_t k = 0; k < Classes_; ++k) {
                Progress pos = states[s];
                const char c = sample[k];
                char marker = 0;
                for (std::size_t j = 0; j < kPatterns.size(); ++j) {
                    const Pattern& p = kPatterns[j];
                    if (c == p.text[pos[j]]) {
                        if (++pos[j] == p.text.size()) {
                            marker = p.marker; // later patterns overwrite earlier ones
                            pos[j] = 0;
                        }
                    } else {
                        pos[j] = c == p.text[0] ? 1 : 0;
                    }
                }
                auto [it, added] = known.emplace(pos, std::uint16_t(states.size()));
                if (added) states.push_back(pos);
                Table_.push_back(Step{it->second, marker});
            }
        }
    }

    const Step& At(std::uint16_t state, unsigned char byte) const {
        return Table_[state * Classes_ + Class_[byte]];
    }

private:
    std::array<std::uint8_t, 256> Class_{};
    std::size_t Classes_ = 0;
    std::vector<Step> Table_;
};

const TagAutomaton& SharedTagAutomaton() {
    static const TagAutomaton automaton;
    return automaton;
}

} // namespace

bool MarkTags(std::string& text) {
    const TagAutomaton& automaton = SharedTagAutomaton();
    std::uint16_t state = 0;
    bool any = false;
    char* data = text.data();
    const std::size_t n = text.size();
    for (std::size_t i = 0; i < n; ++i) {
        const TagAutomaton::Step& step = automaton.At(state, static_cast<unsigned char>(data[i]));
        state = step.Next;
        if (step.Marker != 0) {
            data[i] = step.Marker;
            any = true;
        }
    }
    return any;
}

void CloseAreas(std::string& text) {
    bool open = false;
    for (std::size_t i = NextMarker(text, 0); i < text.size(); i = NextMarker(text, i + 1)) {
        if (text[i] == Marker::AreaOpen) {
            if (open && i > 0) text[i - 1] = Marker::AreaClose;
            open = true;
        } else if (text[i] == Marker::AreaClose) {
            open = false;
        }
    }
}

bool ParseMetaTagText(std::string_view tag, MetaTag& out) {
    out.TagType = UpperCase(tag.substr(0, 4));
    std::string* attribs[3] = {&out.Tag1stAttrib, &out.Tag2ndAttrib, &out.Tag3rdAttrib};
    std::string* values[3] = {&out.Tag1stValue, &out.Tag2ndValue, &out.Tag3rdValue};
    for (int k = 0; k < 3; ++k) {
        attribs[k]->clear();
        values[k]->clear();
    }
    int pair = 0;
    bool inValue = false, quoted = false;
    for (std::size_t i = 5; i < tag.size(); ++i) {
        const char c = tag[i];
        if (c == '"') {
            quoted = !quoted;
            continue;
        }
        if (!inValue) {
            if (c == '=') {
                inValue = true;
            } else if (c == ' ' && !quoted) {
                attribs[pair]->clear(); // an attribute without value is passed over
            } else {
                *attribs[pair] += UpperChar(c);
            }
            continue;
        }
        if (quoted) {
            *values[pair] += c; // a quoted value keeps every character, "=" included
        } else if (c == '=') {
            // the separator is never part of an unquoted value
        } else if (c == ' ') {
            if (++pair == 3) return false;
            inValue = false;
        } else {
            *values[pair] += UpperChar(c);
        }
    }
    return inValue;
}

void MarkCountedAreas(std::string& text) {
    std::size_t openPos = std::string::npos;
    bool sawHref = false, sawSrc = false, inArea = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        switch (text[i]) {
        case Marker::Href:
            sawHref = true;
            break;
        case Marker::Src:
            sawSrc = true;
            break;
        case Marker::AreaOpen:
            if (!inArea) {
                openPos = i;
                sawHref = sawSrc = false;
                inArea = true;
            } else if (i > 1) {
                // Close the area before this one, and handle that closing next.
                text[i - 1] = Marker::AreaClose;
                i -= 2;
            }
            break;
        case Marker::AreaClose:
            if (sawHref && sawSrc && openPos != std::string::npos)
                text[openPos] = Marker::CountedAreaOpen;
            openPos = std::string::npos;
            sawHref = sawSrc = false;
            inArea = false;
            break;
        default:
            break;
        }
    }
}
