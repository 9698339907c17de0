// The demo gallery as made in memory: its pages, links, pictures and clip.
#include "demo/DemoSite.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gif_lib.h>
#include <jpeglib.h>

#include <gtest/gtest.h>

#include <csetjmp>
#include <regex>
#include <set>
#include <vector>

namespace {

// Small enough to build in a blink, large enough for three-digit-free
// numbering, a GIF thumbnail on each page and a first, middle and last page.
DemoOptions SmallOptions() {
    DemoOptions o;
    o.Pages = 3;
    o.Pairs = 6;
    o.FullWidth = 200;
    o.FullHeight = 150;
    o.ThumbWidth = 60;
    return o;
}

const std::map<std::string, DemoFile>& SmallSite() {
    static const auto site = BuildDemoSite(SmallOptions());
    return site;
}

struct Link {
    std::string Attribute; // href or src
    std::string Target;
    std::string Line;
};

std::vector<Link> LinksOf(const std::string& html) {
    static const std::regex attr(R"re((href|src)="([^"]*)")re");
    std::vector<Link> out;
    std::size_t lineStart = 0;
    while (lineStart < html.size()) {
        std::size_t end = html.find('\n', lineStart);
        if (end == std::string::npos) end = html.size();
        const std::string line = html.substr(lineStart, end - lineStart);
        for (std::sregex_iterator it(line.begin(), line.end(), attr), stop; it != stop; ++it)
            out.push_back({(*it)[1], (*it)[2], line});
        lineStart = end + 1;
    }
    return out;
}

// A relative link seen from the page at path, as a path on the server.
std::string Resolve(const std::string& page, const std::string& link) {
    if (link.starts_with("/")) return link;
    std::vector<std::string> parts;
    std::string dir = page.substr(0, page.rfind('/') + 1) + link;
    std::size_t pos = 1;
    while (pos <= dir.size()) {
        std::size_t slash = dir.find('/', pos);
        if (slash == std::string::npos) slash = dir.size();
        const std::string part = dir.substr(pos, slash - pos);
        if (part == "..") {
            if (!parts.empty()) parts.pop_back();
        } else if (part != "." && !part.empty()) {
            parts.push_back(part);
        }
        pos = slash + 1;
    }
    std::string out;
    for (const std::string& p : parts)
        out += "/" + p;
    return out.empty() ? "/" : out;
}

struct JpegInfo {
    bool Ok = false;
    int Width = 0, Height = 0;
    std::vector<unsigned char> Rgb;
};

struct DecodeErrors {
    jpeg_error_mgr Manager;
    std::jmp_buf Jump;
};

[[noreturn]] void OnDecodeError(j_common_ptr info) {
    std::longjmp(reinterpret_cast<DecodeErrors*>(info->err)->Jump, 1);
}

bool DecodeInto(const std::string& bytes, jpeg_decompress_struct& info, DecodeErrors& errors,
                JpegInfo& out) {
    info.err = jpeg_std_error(&errors.Manager);
    errors.Manager.error_exit = OnDecodeError;
    if (setjmp(errors.Jump)) return false;
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, reinterpret_cast<const unsigned char*>(bytes.data()),
                 static_cast<unsigned long>(bytes.size()));
    jpeg_read_header(&info, TRUE);
    info.out_color_space = JCS_RGB;
    jpeg_start_decompress(&info);
    out.Width = int(info.output_width);
    out.Height = int(info.output_height);
    out.Rgb.resize(std::size_t(out.Width) * out.Height * 3);
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = &out.Rgb[std::size_t(info.output_scanline) * out.Width * 3];
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    return true;
}

JpegInfo DecodeJpeg(const std::string& bytes) {
    jpeg_decompress_struct info{};
    DecodeErrors errors{};
    JpegInfo out;
    out.Ok = DecodeInto(bytes, info, errors, out);
    jpeg_destroy_decompress(&info);
    return out;
}

struct GifReader {
    const std::string* Bytes;
    std::size_t Pos = 0;
};

int ReadGifBytes(GifFileType* gif, GifByteType* to, int n) {
    auto* r = static_cast<GifReader*>(gif->UserData);
    const std::size_t take = std::min<std::size_t>(std::size_t(n), r->Bytes->size() - r->Pos);
    std::copy_n(r->Bytes->data() + r->Pos, take, reinterpret_cast<char*>(to));
    r->Pos += take;
    return int(take);
}

// Width and height of the first image of a GIF, or {0, 0}.
std::pair<int, int> GifSize(const std::string& bytes) {
    GifReader reader{&bytes};
    int error = 0;
    GifFileType* gif = DGifOpen(&reader, ReadGifBytes, &error);
    if (!gif) return {0, 0};
    std::pair<int, int> size{0, 0};
    if (DGifSlurp(gif) == GIF_OK && gif->ImageCount >= 1)
        size = {gif->SavedImages[0].ImageDesc.Width, gif->SavedImages[0].ImageDesc.Height};
    DGifCloseFile(gif, &error);
    return size;
}

std::size_t CountOf(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

} // namespace

TEST(DemoSite, HasEveryPageAndPicture) {
    const DemoOptions o = SmallOptions();
    const auto& site = SmallSite();
    // index twice, robots, private page, clip; per page: the page, the poster, the pairs
    EXPECT_EQ(site.size(), 5u + std::size_t(o.Pages) * (2 + 2 * o.Pairs));
    EXPECT_EQ(site.at("/").Bytes, site.at("/index.html").Bytes);
    for (int p = 1; p <= o.Pages; ++p) {
        ASSERT_TRUE(site.count(DemoPagePath(p))) << p;
        EXPECT_EQ(site.at(DemoPagePath(p)).ContentType, "text/html");
        EXPECT_EQ(site.at(DemoPosterPath(p)).ContentType, "image/jpeg");
        for (int k = 1; k <= o.Pairs; ++k) {
            ASSERT_TRUE(site.count(DemoFullPath(o, p, k))) << p << " " << k;
            ASSERT_TRUE(site.count(DemoThumbPath(o, p, k))) << p << " " << k;
            EXPECT_EQ(site.at(DemoThumbPath(o, p, k)).ContentType,
                      k % 5 == 0 ? "image/gif" : "image/jpeg");
        }
    }
    EXPECT_EQ(DemoFullPath(o, 3, 7), "/gallery/pics/full_3_07.jpg");
    EXPECT_EQ(DemoThumbPath(o, 3, 7), "/gallery/thumbs/thumb_3_07.jpg");
    EXPECT_EQ(DemoThumbPath(o, 3, 5), "/gallery/thumbs/thumb_3_05.gif");
    DemoOptions many = o;
    many.Pairs = 120;
    EXPECT_EQ(DemoFullPath(many, 2, 7), "/gallery/pics/full_2_007.jpg");

    const DemoFile& robots = site.at("/robots.txt");
    EXPECT_EQ(robots.ContentType, "text/plain");
    EXPECT_NE(robots.Bytes.find("Disallow: /private/"), std::string::npos);
    EXPECT_EQ(site.at(kDemoClipPath).ContentType, "video/mpeg");
}

TEST(DemoSite, EveryLinkLeadsToAFileOfTheSite) {
    const auto& site = SmallSite();
    std::set<std::string> reached{"/"};
    int mail = 0, external = 0;
    for (const auto& [path, file] : site) {
        if (file.ContentType != "text/html") continue;
        const std::string& html = file.Bytes;
        EXPECT_TRUE(html.find("<html><head><title>") != std::string::npos) << path;
        EXPECT_TRUE(html.find("</title>") != std::string::npos) << path;
        EXPECT_TRUE(html.find("<body>") != std::string::npos) << path;
        EXPECT_TRUE(html.ends_with("</body></html>\n")) << path;
        // Naive crawlers read a line at a time: one anchor a line.
        for (const Link& l : LinksOf(html)) {
            EXPECT_LE(CountOf(l.Line, "<a "), 1u) << l.Line;
            if (l.Target.starts_with("mailto:")) {
                ++mail;
                continue;
            }
            if (l.Target.find("://") != std::string::npos) {
                // Links to the other site stay on this machine.
                EXPECT_TRUE(l.Target.starts_with(kDemoOtherSite)) << l.Target;
                EXPECT_TRUE(l.Target.starts_with("http://localhost:")) << l.Target;
                ++external;
                continue;
            }
            EXPECT_EQ(l.Target.find("://"), std::string::npos) << "absolute link " << l.Target;
            const std::string target = Resolve(path, l.Target);
            EXPECT_TRUE(site.count(target)) << path << " links to missing " << l.Target;
            reached.insert(target);
        }
    }
    EXPECT_GT(mail, 0);
    EXPECT_GT(external, 0);
    // Nothing unreachable but robots.txt.
    for (const auto& [path, file] : site) {
        if (path != "/robots.txt") {
            EXPECT_TRUE(reached.count(path)) << path << " is never linked";
        }
    }
}

TEST(DemoSite, GalleryPagesPairThumbnailsWithPictures) {
    const DemoOptions o = SmallOptions();
    const auto& site = SmallSite();
    const std::string middle = site.at(DemoPagePath(2)).Bytes;
    EXPECT_NE(middle.find("<a href=\"page1.html\">"), std::string::npos);
    EXPECT_NE(middle.find("<a href=\"page3.html\">"), std::string::npos);
    EXPECT_EQ(site.at(DemoPagePath(1)).Bytes.find("page0.html"), std::string::npos);
    EXPECT_EQ(site.at(DemoPagePath(3)).Bytes.find("page4.html"), std::string::npos);

    for (int p = 1; p <= o.Pages; ++p) {
        const std::string page = DemoPagePath(p);
        std::set<std::string> pairedFull, textOnly;
        for (const Link& l : LinksOf(site.at(page).Bytes)) {
            if (l.Attribute != "href" || !l.Target.ends_with(".jpg")) continue;
            const bool hasThumb = l.Line.find("<img src=\"") != std::string::npos;
            (hasThumb ? pairedFull : textOnly).insert(Resolve(page, l.Target));
        }
        for (int k = 1; k <= o.Pairs; ++k) {
            const std::string expected = "<a href=\"" + DemoFullPath(o, p, k).substr(9) +
                                         "\"><img src=\"" + DemoThumbPath(o, p, k).substr(9) +
                                         "\" alt=\"\" width=\"60\"></a>";
            EXPECT_NE(site.at(page).Bytes.find(expected), std::string::npos) << expected;
        }
        EXPECT_EQ(pairedFull.size(), std::size_t(o.Pairs));
        // The poster is linked by its words alone: a thumbnail scan must leave it.
        EXPECT_EQ(textOnly, std::set<std::string>{DemoPosterPath(p)});
    }
}

// A scripted page names no picture: the address of its list, read from its
// script, leads to a JSON file that lists every pair of the plain page once
// (thumbnail and full-size picture as the plain page pairs them), the second
// half for the scroll. Every other file is the plain site's, byte for byte.
TEST(DemoSite, ScriptedPagesListTheirPairsInsteadOfNamingThem) {
    static const std::regex fetch(R"re(fetch\("([^"]+)"\))re");
    for (const int pairs : {6, 1, 5}) {
        DemoOptions o = SmallOptions();
        o.Pages = 2;
        o.Pairs = pairs;
        const auto plain = BuildDemoSite(o);
        o.Scripted = true;
        const auto site = BuildDemoSite(o);
        EXPECT_EQ(site.size(), plain.size() + std::size_t(o.Pages)) << pairs;
        for (int p = 1; p <= o.Pages; ++p) {
            const std::string page = DemoPagePath(p);
            const std::string& html = site.at(page).Bytes;
            for (const char* picture : {"pics/", "thumbs/", ".jpg", ".gif", "<img"})
                EXPECT_EQ(html.find(picture), std::string::npos) << picture << "\n" << html;
            std::smatch m;
            ASSERT_TRUE(std::regex_search(html, m, fetch)) << html;
            const std::string list = Resolve(page, m[1]);
            EXPECT_EQ(list, DemoListPath(p));
            ASSERT_TRUE(site.count(list)) << list;
            EXPECT_EQ(site.at(list).ContentType, "application/json");

            QJsonParseError error;
            const QJsonDocument json =
                QJsonDocument::fromJson(QByteArray::fromStdString(site.at(list).Bytes), &error);
            ASSERT_EQ(error.error, QJsonParseError::NoError)
                << error.errorString().toStdString() << "\n"
                << site.at(list).Bytes;
            EXPECT_EQ(json["thumbWidth"].toInt(), o.ThumbWidth);
            const QJsonArray atOnce = json["atOnce"].toArray();
            const QJsonArray onScroll = json["onScroll"].toArray();
            EXPECT_EQ(onScroll.size(), pairs / 2) << pairs;
            std::set<std::pair<std::string, std::string>> listed, expected;
            for (const QJsonArray& batch : {atOnce, onScroll})
                for (const auto& pair : batch)
                    listed.insert(
                        {Resolve(page, pair.toObject()["thumb"].toString().toStdString()),
                         Resolve(page, pair.toObject()["full"].toString().toStdString())});
            for (int k = 1; k <= pairs; ++k)
                expected.insert({DemoThumbPath(o, p, k), DemoFullPath(o, p, k)});
            EXPECT_EQ(listed, expected) << site.at(list).Bytes;
            EXPECT_EQ(atOnce.size() + onScroll.size(), pairs);
        }
        for (const auto& [path, file] : plain) {
            if (!path.starts_with("/gallery/page")) {
                EXPECT_TRUE(site.at(path).Bytes == file.Bytes) << path;
            }
        }
    }
}

TEST(DemoSite, PicturesDecodeAtTheirSizes) {
    const DemoOptions o = SmallOptions();
    const auto& site = SmallSite();
    const int thumbHeight = DemoThumbHeight(o);
    EXPECT_EQ(thumbHeight, 45);
    std::set<std::string> distinct;
    int gifs = 0;
    for (const auto& [path, file] : site) {
        if (file.ContentType == "image/jpeg") {
            const JpegInfo jpeg = DecodeJpeg(file.Bytes);
            ASSERT_TRUE(jpeg.Ok) << path;
            const bool thumb = path.starts_with("/gallery/thumbs/");
            EXPECT_EQ(jpeg.Width, thumb ? o.ThumbWidth : o.FullWidth) << path;
            EXPECT_EQ(jpeg.Height, thumb ? thumbHeight : o.FullHeight) << path;
            distinct.insert(file.Bytes);
        } else if (file.ContentType == "image/gif") {
            ++gifs;
            EXPECT_TRUE(file.Bytes.starts_with("GIF89a") || file.Bytes.starts_with("GIF87a"));
            EXPECT_EQ(file.Bytes.back(), ';') << path; // the trailer
            EXPECT_EQ(GifSize(file.Bytes), std::make_pair(o.ThumbWidth, thumbHeight)) << path;
            distinct.insert(file.Bytes);
        }
    }
    EXPECT_EQ(gifs, o.Pages); // pair 5 of 6 on each page
    EXPECT_EQ(distinct.size(), std::size_t(o.Pages) * (2 * o.Pairs + 1));
}

// The label plate sits in the middle of every picture: light around dark digits.
TEST(DemoSite, PicturesCarryTheirNumberOnAPlate) {
    const DemoOptions o = SmallOptions();
    const JpegInfo a = DecodeJpeg(SmallSite().at(DemoFullPath(o, 1, 1)).Bytes);
    const JpegInfo b = DecodeJpeg(SmallSite().at(DemoFullPath(o, 1, 2)).Bytes);
    ASSERT_TRUE(a.Ok && b.Ok);
    auto luma = [](const JpegInfo& j, int x, int y) {
        const unsigned char* p = &j.Rgb[(std::size_t(y) * j.Width + x) * 3];
        return (p[0] * 3 + p[1] * 6 + p[2]) / 10;
    };
    int light = 0, dark = 0, differ = 0;
    const int cy = o.FullHeight / 2;
    for (int x = o.FullWidth / 4; x < o.FullWidth * 3 / 4; ++x) {
        for (int y = cy - 10; y <= cy + 10; ++y) {
            const int v = luma(a, x, y);
            light += v > 200;
            dark += v < 60;
            differ += std::abs(v - luma(b, x, y)) > 40;
        }
    }
    EXPECT_GT(light, 100);
    EXPECT_GT(dark, 100);
    EXPECT_GT(differ, 50); // "1-01" and "1-02" differ in the last digit
}

TEST(DemoSite, SameOptionsSameBytes) {
    const auto again = BuildDemoSite(SmallOptions());
    ASSERT_EQ(again.size(), SmallSite().size());
    for (const auto& [path, file] : SmallSite()) {
        ASSERT_TRUE(again.count(path)) << path;
        EXPECT_EQ(again.at(path).ContentType, file.ContentType) << path;
        EXPECT_TRUE(again.at(path).Bytes == file.Bytes) << path;
    }
    DemoOptions other = SmallOptions();
    other.Quality = 60;
    EXPECT_NE(BuildDemoSite(other).at(DemoFullPath(other, 1, 1)).Bytes,
              SmallSite().at(DemoFullPath(other, 1, 1)).Bytes);
}

TEST(DemoSite, RealisticSizesAtHighQuality) {
    DemoOptions o;
    o.Pages = 1;
    o.Pairs = 6;
    o.FullWidth = 1024;
    o.Quality = 90;
    const auto site = BuildDemoSite(o);
    for (int k = 1; k <= o.Pairs; ++k) {
        const std::size_t full = site.at(DemoFullPath(o, 1, k)).Bytes.size();
        const std::size_t thumb = site.at(DemoThumbPath(o, 1, k)).Bytes.size();
        EXPECT_GE(full, 100u * 1024) << k;
        EXPECT_LE(full, 300u * 1024) << k;
        EXPECT_GE(thumb, 1000u) << k;
        EXPECT_LE(thumb, 12u * 1024) << k;
    }
}

TEST(DemoSite, RefusesOptionsOutOfRange) {
    auto with = [](auto change) {
        DemoOptions o = SmallOptions();
        change(o);
        return o;
    };
    EXPECT_THROW(BuildDemoSite(with([](DemoOptions& o) { o.Pages = 0; })), std::invalid_argument);
    EXPECT_THROW(BuildDemoSite(with([](DemoOptions& o) { o.Pairs = 1000; })),
                 std::invalid_argument);
    EXPECT_THROW(BuildDemoSite(with([](DemoOptions& o) { o.ThumbWidth = o.FullWidth + 1; })),
                 std::invalid_argument);
    EXPECT_THROW(BuildDemoSite(with([](DemoOptions& o) { o.Quality = 0; })), std::invalid_argument);
    EXPECT_THROW(BuildDemoSite(with([](DemoOptions& o) { o.Modern = o.Scripted = true; })),
                 std::invalid_argument);
    // The smallest of each still builds.
    const auto tiny = BuildDemoSite(with([](DemoOptions& o) {
        o.Pages = 1;
        o.Pairs = 1;
        o.FullWidth = o.FullHeight = 32;
        o.ThumbWidth = 8;
    }));
    EXPECT_TRUE(DecodeJpeg(tiny.at(DemoThumbPath(SmallOptions(), 1, 1)).Bytes).Ok);
}

// The clip is an MPEG-1 program stream: packs of video packets around one
// sequence of 25 pictures.
TEST(DemoSite, ClipIsAnMpegProgramStream) {
    const std::string& clip = SmallSite().at(kDemoClipPath).Bytes;
    auto code = [&](std::size_t at) {
        return clip.compare(at, 3, std::string("\0\0\1", 3)) == 0 ? int((unsigned char)clip[at + 3])
                                                                  : -1;
    };
    auto u16 = [&](std::size_t at) {
        return std::size_t((unsigned char)clip[at]) << 8 | (unsigned char)clip[at + 1];
    };
    ASSERT_GT(clip.size(), 4000u);
    std::string video;
    std::size_t at = 0;
    int packs = 0;
    bool ended = false;
    while (at + 4 <= clip.size() && !ended) {
        switch (code(at)) {
        case 0xBA:
            EXPECT_EQ((unsigned char)clip[at + 4] >> 4, 0x2) << "MPEG-1 pack at " << at;
            at += 12;
            ++packs;
            break;
        case 0xBB:
            at += 6 + u16(at + 4);
            break;
        case 0xE0: {
            const std::size_t length = u16(at + 4);
            ASSERT_LE(at + 6 + length, clip.size());
            std::size_t header = ((unsigned char)clip[at + 6] >> 4) == 0x2 ? 5 : 1;
            video += clip.substr(at + 6 + header, length - header);
            at += 6 + length;
            break;
        }
        case 0xB9:
            ended = true;
            at += 4;
            break;
        default:
            FAIL() << "unexpected bytes at " << at;
        }
    }
    EXPECT_TRUE(ended);
    EXPECT_EQ(at, clip.size());
    EXPECT_GT(packs, 1);
    ASSERT_TRUE(video.starts_with(std::string("\0\0\1\xB3", 4)));
    EXPECT_EQ(((unsigned char)video[4] << 4) | ((unsigned char)video[5] >> 4), 176);
    EXPECT_EQ((((unsigned char)video[5] & 0xF) << 8) | (unsigned char)video[6], 144);
    EXPECT_EQ(CountOf(video, std::string("\0\0\1\0", 4)), 25u);
    EXPECT_TRUE(video.ends_with(std::string("\0\0\1\xB7", 4)));
}
