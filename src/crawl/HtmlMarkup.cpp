#include "HtmlMarkup.h"

#include "StringTools.h"

#include <array>
#include <cstdint>

std::string NormalizeHtml(std::string_view in, bool quotesToSpaces, bool keepLineBreaks) {
    std::string out;
    out.resize(in.size());
    char* o = out.data();
    char last = 'X';
    const std::size_t n = in.size();
    for (std::size_t i = 0; i < n; ++i) {
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
                c = ' ';
            }
        }
        if (c == ' ') {
            if (last == '=') continue;
            if (i + 1 < n && (in[i + 1] == ' ' || in[i + 1] == '=')) continue;
        }
        *o++ = c;
        last = c;
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

// For every byte, the set of patterns (one bit each) that start with it
// (compared upper-cased).
struct FirstCharTable {
    std::array<std::uint16_t, 256> mask{};
    constexpr FirstCharTable() {
        for (std::size_t k = 0; k < kPatterns.size(); ++k) {
            const char f = kPatterns[k].text[0];
            mask[static_cast<unsigned char>(f)] |= std::uint16_t(1u << k);
            if (f >= 'A' && f <= 'Z') mask[static_cast<unsigned char>(f + 32)] |= std::uint16_t(1u << k);
        }
    }
};
constexpr FirstCharTable kFirst;

} // namespace

bool MarkTags(std::string& text) {
    std::array<std::uint8_t, kPatterns.size()> pos{};
    std::uint32_t active = 0; // patterns with a partial match under way
    bool any = false;
    const std::size_t n = text.size();
    for (std::size_t i = 0; i < n; ++i) {
        const unsigned char raw = static_cast<unsigned char>(text[i]);
        std::uint32_t work = active | kFirst.mask[raw];
        if (work == 0) continue;
        const char c = UpperChar(char(raw));
        while (work != 0) {
            const int k = __builtin_ctz(work);
            work &= work - 1;
            const Pattern& p = kPatterns[std::size_t(k)];
            if (c == p.text[pos[std::size_t(k)]]) {
                if (++pos[std::size_t(k)] == p.text.size()) {
                    // Later patterns overwrite earlier ones ending on the same byte.
                    text[i] = p.marker;
                    any = true;
                    pos[std::size_t(k)] = 0;
                    active &= ~(1u << k);
                } else {
                    active |= 1u << k;
                }
            } else if (c == p.text[0]) {
                pos[std::size_t(k)] = 1;
                active |= 1u << k;
            } else {
                pos[std::size_t(k)] = 0;
                active &= ~(1u << k);
            }
        }
    }
    return any;
}

void CloseAreas(std::string& text) {
    bool open = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == Marker::AreaOpen) {
            if (open && i > 0) text[i - 1] = Marker::AreaClose;
            open = true;
        } else if (text[i] == Marker::AreaClose) {
            open = false;
        }
    }
}

bool ParseMetaTagText(std::string_view tag, TMetaTag& out) {
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
