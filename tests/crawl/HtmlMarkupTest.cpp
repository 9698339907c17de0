// Page normalisation, tag marking, link areas and head tags.
#include "crawl/HtmlMarkup.h"

#include <gtest/gtest.h>

#include <iterator>
#include <random>

namespace {

// Markers shown as {n} so that failures are readable.
std::string Show(std::string_view text) {
    std::string out;
    for (char c : text) {
        if (static_cast<unsigned char>(c) < 32) {
            out += '{';
            out += std::to_string(int(c));
            out += '}';
        } else {
            out += c;
        }
    }
    return out;
}

std::string Marked(std::string text) {
    MarkTags(text);
    return Show(text);
}

} // namespace

TEST(NormalizeHtml, SpacesQuotesAndControlBytes) {
    EXPECT_EQ(NormalizeHtml("<a  href = \"x.jpg\" >", true, false), "<a href=x.jpg >");
    EXPECT_EQ(NormalizeHtml("<a href=\"x y\">", true, false), "<a href=x y >");
    EXPECT_EQ(NormalizeHtml("<a href=\"x y\">", false, false), "<a href=\"x y\">");
    EXPECT_EQ(NormalizeHtml("a,b   c", true, false), "a b c");
    // The commas of a mailto word part its addresses; everywhere else they part words.
    EXPECT_EQ(NormalizeHtml("<a href=\"MailTo:a@b.c,d@e.f,g\">x,y</a> ma,ilto:,", true, false),
              "<a href=MailTo:a@b.c,d@e.f,g >x y</a> ma ilto: ");
    EXPECT_EQ(NormalizeHtml("a,b", false, false), "a,b");
    EXPECT_EQ(NormalizeHtml("a\r\n\tb", true, false), "ab");
    EXPECT_EQ(NormalizeHtml("a\r\n\tb", true, true), "a b");
    // A space is dropped only before a space as it stands in the input.
    EXPECT_EQ(NormalizeHtml("x \"b\"", true, false), "x  b ");
}

TEST(NormalizeHtml, EmptyQuotedValueLeavesItsMarker) {
    EXPECT_EQ(Show(NormalizeHtml("<img alt=\"\" src=\"a.jpg\">", true, false)),
              "<img alt={3} src=a.jpg >");
    EXPECT_EQ(Show(NormalizeHtml("<a href=''>", true, false)), "<a href={3}>");
    EXPECT_EQ(Show(NormalizeHtml("<a href = \"\" >", true, false)), "<a href={3} >");
    EXPECT_EQ(NormalizeHtml("<img alt=\"\">", false, false), "<img alt=\"\">");
    // Two quotes that do not follow "=" are just spaces.
    EXPECT_EQ(Show(NormalizeHtml("<p>\"\"x", true, false)), "<p>  x");
}

TEST(MarkTags, EachPatternWritesItsMarkerOnItsLastCharacter) {
    const std::pair<const char*, const char*> cases[] = {
        {"<a href=x>", "<{14} href{4}x>"},
        {"<img SRC=x>", "<img SRC{6}x>"},
        {"<a>", "<{14}>"},
        {"</a>", "</a{16}"},
        {"<a/>", "<{14}/{16}"},
        {"<frame src=a>", "<fram{14} src{6}a>"},
        {"</FRAME>", "</FRAM{16}>"},
        {"openwin( a)", "openwin({4}a)"},
        {"<base href=x>", "<base href{7}x>"},
        {"<option value=x/b>", "<optio{14} value{5}x/b>"},
        {"</option>", "</option{16}"},
        {"<applet>", "<{14}pple{14}>"}, // "<A" matches as well
        {"</applet>", "</applet{16}"},
        {"<input value=x>", "<input value{5}x>"},
    };
    for (const auto& [in, want] : cases)
        EXPECT_EQ(Marked(in), want) << in;
}

TEST(MarkTags, RestartsOnAMismatchThatBeginsThePatternAgain) {
    EXPECT_EQ(Marked("<<a"), "<<{14}");
    EXPECT_EQ(Marked("oopenwin( x"), "oopenwin({4}x");
    EXPECT_EQ(Marked(" hr href=x"), " hr href{4}x");
    EXPECT_EQ(Marked("base base href=x"), "base base href{7}x");
}

// The patterns followed one by one, the plain way: the automaton must mark
// exactly the same bytes on any text.
std::string MarkedByReference(std::string text) {
    static const std::pair<std::string, char> patterns[] = {
        {" HREF=", Marker::Href},        {" SRC=", Marker::Src},
        {"<A", Marker::AreaOpen},        {"/A>", Marker::AreaClose},
        {"A/>", Marker::AreaClose},      {"<FRAME", Marker::AreaOpen},
        {"</FRAME", Marker::AreaClose},  {"OPENWIN( ", Marker::Href},
        {"BASE HREF=", Marker::Base},    {"<OPTION", Marker::AreaOpen},
        {"/OPTION>", Marker::AreaClose}, {"<APPLET", Marker::AreaOpen},
        {"/APPLET>", Marker::AreaClose}, {" VALUE=", Marker::Value}};
    std::size_t pos[14] = {};
    for (char& byte : text) {
        const char c = (byte >= 'a' && byte <= 'z') ? char(byte - 32) : byte;
        char marker = 0;
        for (std::size_t k = 0; k < 14; ++k) {
            const std::string& p = patterns[k].first;
            if (c == p[pos[k]]) {
                if (++pos[k] == p.size()) {
                    marker = patterns[k].second;
                    pos[k] = 0;
                }
            } else {
                pos[k] = c == p[0] ? 1 : 0;
            }
        }
        if (marker != 0) byte = marker;
    }
    return text;
}

TEST(MarkTags, MarksWhatEachPatternFollowedAloneWouldMark) {
    // Texts made of pattern pieces and their neighbours, in any case.
    const std::string pieces[] = {
        " href=",  " HREF",    " src=",     "<a",         "/a>",     "a/>",
        "<frame",  "</frame",  "openwin( ", "base href=", "<option", "/option>",
        "<applet", "/applet>", " value=",   "<",          "/",       ">",
        "=",       " ",        "a",         "B",          "o",       "x",
        "\xe9",    "\x0e",     "hr",        "ba",         "op"};
    std::mt19937 random(12345);
    for (int round = 0; round < 20000; ++round) {
        std::string text;
        const int count = int(random() % 12);
        for (int i = 0; i < count; ++i)
            text += pieces[random() % std::size(pieces)];
        for (char& ch : text)
            if (random() % 4 == 0 && ch >= 'a' && ch <= 'z') ch = char(ch - 32);
        std::string marked = text;
        MarkTags(marked);
        ASSERT_EQ(Show(marked), Show(MarkedByReference(text))) << Show(text);
    }
}

TEST(MarkTags, NothingToMark) {
    std::string text = "<p>plain <b>text</b></p>";
    EXPECT_FALSE(MarkTags(text));
    EXPECT_EQ(text, "<p>plain <b>text</b></p>");
    std::string empty;
    EXPECT_FALSE(MarkTags(empty));
}

TEST(MarkTags, LineBreakBetweenTagAndAttributeLeavesNoAttribute) {
    std::string text = NormalizeHtml("<a\nhref=\"x.jpg\">x</a>", true, false);
    EXPECT_TRUE(MarkTags(text));
    EXPECT_EQ(Show(text), "<{14}href=x.jpg >x</a{16}");
}

TEST(CloseAreas, ClosesAnOpenAreaBeforeTheNextOne) {
    std::string text = "\x0e"
                       "ab\x0e"
                       "cd\x10\x0e"
                       "e";
    CloseAreas(text);
    EXPECT_EQ(Show(text), "{14}a{16}{14}cd{16}{14}e");
    // Counted areas are not this hook's business.
    std::string counted = "\x0f"
                          "a\x0e"
                          "b\x0e"
                          "c";
    CloseAreas(counted);
    EXPECT_EQ(Show(counted), "{15}a{14}{16}{14}c");
}

TEST(MarkCountedAreas, AreasHoldingBothHrefAndSrcAreCounted) {
    std::string text = "\x0e\x04"
                       "a\x06"
                       "b\x10 \x0e\x04"
                       "c\x10 \x0e\x06"
                       "d\x10";
    MarkCountedAreas(text);
    EXPECT_EQ(Show(text), "{15}{4}a{6}b{16} {14}{4}c{16} {14}{6}d{16}");

    // An area left open is closed before the next one, and counted if it qualifies.
    std::string open = "\x0e\x04"
                       "a\x06"
                       "bb\x0e\x04"
                       "c\x10\x0e\x04"
                       "x\x06"
                       "y";
    MarkCountedAreas(open);
    EXPECT_EQ(Show(open), "{15}{4}a{6}b{16}{14}{4}c{16}{14}{4}x{6}y");
}

TEST(ParseMetaTagText, PairsCaseAndQuotes) {
    MetaTag m;
    ASSERT_TRUE(ParseMetaTagText("meta name=\"Author\" content=\"Jo Smith\"", m));
    EXPECT_EQ(m.TagType, "META");
    EXPECT_EQ(m.Tag1stAttrib, "NAME");
    EXPECT_EQ(m.Tag1stValue, "Author");
    EXPECT_EQ(m.Tag2ndAttrib, "CONTENT");
    EXPECT_EQ(m.Tag2ndValue, "Jo Smith");
    EXPECT_EQ(m.Tag3rdAttrib, "");

    ASSERT_TRUE(ParseMetaTagText("LINK rel=stylesheet href=a.css type=text/css", m));
    EXPECT_EQ(m.TagType, "LINK");
    EXPECT_EQ(m.Tag1stValue, "STYLESHEET"); // unquoted values are upper-cased
    EXPECT_EQ(m.Tag2ndAttrib, "HREF");
    EXPECT_EQ(m.Tag3rdAttrib, "TYPE");
    EXPECT_EQ(m.Tag3rdValue, "TEXT/CSS");

    ASSERT_TRUE(ParseMetaTagText("meta a=b=c", m));
    EXPECT_EQ(m.Tag1stValue, "BC"); // "=" never belongs to an unquoted value
}

TEST(ParseMetaTagText, QuotedValuesKeepTheirEqualsSign) {
    MetaTag m;
    ASSERT_TRUE(ParseMetaTagText("meta http-equiv=\"refresh\" content=\"5; URL=next.html\"", m));
    EXPECT_EQ(m.Tag1stAttrib, "HTTP-EQUIV");
    EXPECT_EQ(m.Tag1stValue, "refresh");
    EXPECT_EQ(m.Tag2ndValue, "5; URL=next.html");
}

TEST(ParseMetaTagText, TagsThatRaiseNoEvent) {
    MetaTag m;
    EXPECT_FALSE(ParseMetaTagText("meta a=1 b=2 c=3 d=4", m));
    EXPECT_FALSE(ParseMetaTagText("meta a=1 b=2 c=3 /", m));
    EXPECT_FALSE(ParseMetaTagText("link rel=icon /", m));
    EXPECT_FALSE(ParseMetaTagText("meta charset", m));
    EXPECT_TRUE(ParseMetaTagText("meta a=1 b=2 c=3", m));
}
