#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Marker bytes written into a normalised page. The normalised text holds no
// byte below 32, so these cannot be confused with page text.
namespace Marker {
constexpr char EmptyValue = 3; // an attribute written with an empty quoted value
constexpr char Href = 4;
constexpr char Value = 5;
constexpr char Src = 6;
constexpr char Base = 7;
constexpr char AreaOpen = 14;
constexpr char CountedAreaOpen = 15;
constexpr char AreaClose = 16;
constexpr int NoAttribute = 32; // tag kind of a link not taken from an attribute
} // namespace Marker

// Drops control bytes (a line feed becomes a space with keepLineBreaks),
// turns quotes and commas into spaces with quotesToSpaces, and drops spaces
// before another space or "=" and after "=". With quotesToSpaces an empty
// quoted value right after "=" leaves Marker::EmptyValue in its place.
std::string NormalizeHtml(std::string_view text, bool quotesToSpaces, bool keepLineBreaks);

// Character references of an attribute value or a text decoded as a browser
// decodes them: &amp; &lt; &gt; &quot; &apos; and numeric ones (&#39;,
// &#x27;) written with their ";". A numeric reference becomes the UTF-8 of
// its code point; one without digits, past U+10FFFF, a surrogate, a control
// character or any other name is kept as it stands.
std::string DecodeEntities(std::string_view text);

// Appends the UTF-8 bytes of a code point (at most U+10FFFF).
void AppendUtf8(std::string& out, std::uint32_t codePoint);

// One pass over the text for the fourteen tag and attribute patterns; each
// match has its last character replaced by the pattern's marker. Returns
// whether any pattern matched.
bool MarkTags(std::string& text);

// Position of the first byte below 32 (in normalised text: a marker) at or
// after from, or the text's size.
std::size_t NextMarker(std::string_view text, std::size_t from);

// Default area hook: closes an open link area before the next one opens.
void CloseAreas(std::string& text);

// Parts of a short head tag such as META, LINK or BASE.
struct MetaTag {
    std::string Url, ReferringUrl, TagType;
    std::string Tag1stAttrib, Tag1stValue, Tag2ndAttrib, Tag2ndValue, Tag3rdAttrib, Tag3rdValue;
};

// Splits the text of a tag (without its angle brackets) into its type and
// up to three attribute/value pairs. False when the tag yields no event:
// more than three pairs, or a text ending on an attribute without value.
bool ParseMetaTagText(std::string_view tag, MetaTag& out);

// Area hook of the grabber: an anchor area that holds both an HREF and a SRC
// attribute (a thumbnail linked to its full-size picture) has its opening
// marker turned into Marker::CountedAreaOpen; areas are closed before the
// next one opens.
void MarkCountedAreas(std::string& text);
