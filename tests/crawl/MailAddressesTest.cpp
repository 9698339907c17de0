// Mail addresses: what a mailto link holds, addresses in a page's text, the
// kept set and its file.
#include "crawl/MailAddresses.h"
#include "crawl/PageProcessor.h"

#include "TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

using Lines = std::vector<std::string>;

// The mail addresses a page yields, in the order reported.
Lines MailOf(const std::string& body, bool inText = false) {
    PageProcessor core;
    core.FindTextAddresses = inText;
    Lines out;
    core.OnLinkFound = [&](Component*, FoundLink& lf) {
        if (lf.TypeLink == "mail") out.push_back(lf.UrlFound);
    };
    PageInfo page;
    page.Url = page.ReferringUrl = "http://h.com/contact.html";
    page.Parts.Split(page.Url, "");
    page.Body = body;
    core.ProcessPage(page);
    return out;
}

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

} // namespace

TEST(MailtoAddresses, WhatALinkHolds) {
    const std::pair<const char*, Lines> cases[] = {
        {"bob@example.com?subject=Hello%20there&body=Hi", {"bob@example.com"}},
        {"frank%40example.com", {"frank@example.com"}},
        {"%20grace@example.com%20", {"grace@example.com"}},
        {"?subject=nobody", {}},
        {"dave@example.com,erin@example.com", {"dave@example.com", "erin@example.com"}},
        {"a@x.org, ,b@x.org,nobody", {"a@x.org", "b@x.org"}},
        {"?to=t@x.org&cc=c1@x.org%2Cc2@x.org&bcc=b@x.org&subject=s@x.org",
         {"t@x.org", "c1@x.org", "c2@x.org", "b@x.org"}},
        {"x@y.org#frag", {"x@y.org"}},
        {"@x.org", {}},
        {"a@", {}},
        {"a@localhost", {}},
        {"a b@x.org", {}},
        {"a@@x.org", {}},
        {"", {}},
    };
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(MailtoAddresses(text), expected) << text;
}

TEST(TextMailAddresses, OutsideTagsCommentsAndScripts) {
    const std::pair<const char*, Lines> cases[] = {
        {"<p>Write to ann@example.com.</p>", {"ann@example.com"}},
        {"<p>(jo.smith+pics@mail.example.org), or ivan&#64;example.com</p>",
         {"jo.smith+pics@mail.example.org", "ivan@example.com"}},
        {"<img alt=\"x@example.com\" src=a.jpg><a href=\"mailto:m@example.com\">us</a>", {}},
        {"<!-- old@example.com --><script>s='s@example.com'</script>"
         "<style>a{x:'c@example.com'}</style><b>ok@example.com</b>",
         {"ok@example.com"}},
        {"jos\xC3\xA9@b\xC3\xBC"
         "cher.example, end",
         {"jos\xC3\xA9@b\xC3\xBC"
          "cher.example"}},
        {"@ alone, me@here, 100@2x", {}},
        {"<b>un@finished.example", {"un@finished.example"}},
    };
    for (const auto& [html, expected] : cases)
        EXPECT_EQ(TextMailAddresses(html), expected) << html;
}

TEST(MailLinks, EachAddressOnceAndTextOnlyWhenAsked) {
    const std::string page =
        "<a href=\"mailto:dave@example.com,erin@example.com?subject=Hi\">x</a>"
        "<a href=\"mailto:DAVE@EXAMPLE.ORG\">y</a><a href=\"mailto:Dave@Example.COM\">z</a>"
        "<a href=\"mailto:?subject=nobody\">n</a><p>Or erin@EXAMPLE.com, or kim@example.com</p>";
    EXPECT_EQ(MailOf(page), (Lines{"dave@example.com", "erin@example.com", "DAVE@EXAMPLE.ORG",
                                   "Dave@Example.COM"}));
    EXPECT_EQ(MailOf(page, true), (Lines{"dave@example.com", "erin@example.com", "DAVE@EXAMPLE.ORG",
                                         "Dave@Example.COM", "kim@example.com"}));
    // A page with no link at all may still write an address.
    EXPECT_EQ(MailOf("<p>only text: ann@example.com</p>", true), Lines{"ann@example.com"});
}

TEST(MailAddressSet, KeepsEveryAddressOnceAndSavesThem) {
    MailAddressSet set;
    for (int i = 0; i < 1502; ++i)
        set.Add("user" + std::to_string(i) + "@example.com");
    EXPECT_FALSE(set.Add("user7@EXAMPLE.com"));
    EXPECT_TRUE(set.Add("User7@example.com")); // the local part counts as written
    EXPECT_TRUE(set.Add("z\xC3\xBC@b\xC3\xBC"
                        "cher.example"));
    EXPECT_EQ(set.Count(), 1504u);

    TempDir dir;
    const std::string path = dir.Path() + "/mail.txt";
    std::string error;
    ASSERT_TRUE(set.SaveTo(path, error)) << error;
    const std::string text = ReadAll(path);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1504);
    EXPECT_TRUE(text.starts_with("user0@example.com\nuser1@example.com\n"));
    EXPECT_TRUE(text.ends_with("User7@example.com\nz\xC3\xBC@b\xC3\xBC"
                               "cher.example\n"));

    // A file that cannot be written leaves what was there.
    const std::string kept = dir.Path() + "/keep.txt";
    std::ofstream(kept) << "old\n";
    std::filesystem::create_directory(kept + ".part"); // the temporary cannot be made
    error.clear();
    EXPECT_FALSE(set.SaveTo(kept, error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(ReadAll(kept), "old\n");
    EXPECT_FALSE(set.SaveTo(dir.Path() + "/missing/mail.txt", error));
    set.Clear();
    EXPECT_EQ(set.Count(), 0u);
    EXPECT_TRUE(set.Add("user0@example.com"));
}
