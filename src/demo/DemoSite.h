#pragma once

// The built-in demo gallery: a small web site made in memory, with gallery
// pages of thumbnails linked to their full-size pictures, for trying the
// scanner and the gallery without going on line. Its modern variant shows
// the same pictures the way galleries are written today, where no link
// leads to a full-size picture and only responsive-image and lazy-loading
// markup names it. Its scripted variant sends pages with no picture at all:
// a script fetches the page's list of pairs and builds the thumbnails, half
// of them only once the page is scrolled to its end.

#include <map>
#include <string>

struct DemoFile {
    std::string ContentType;
    std::string Bytes;
};

struct DemoOptions {
    int Pages = 6;        // gallery pages, 1 to 9999
    int Pairs = 12;       // thumbnail / full-size pairs on each page, 1 to 999
    int FullWidth = 640;  // full-size pictures, 32 to 8192 pixels
    int FullHeight = 480; // 32 to 8192 pixels
    int ThumbWidth = 110; // 8 pixels up to FullWidth; the height keeps the proportions
    int Quality = 85;     // JPEG quality, 1 to 100
    // Gallery pages in today's markup: thumbnails with srcset and no link
    // around them, PICTURE elements, lazy loading (data-src, data-srcset)
    // and the page's poster as its og:image. The files are the same.
    bool Modern = false;
    // Gallery pages built by their scripts: each page holds no picture
    // address; an inline script fetches its list (DemoListPath, JSON) and
    // adds the plain markup of each pair, the second half when the visitor
    // scrolls to the end. Cannot be combined with Modern.
    bool Scripted = false;
};

// Every file of the site keyed by its path on the server: "/", "/index.html",
// "/robots.txt", "/gallery/page3.html", "/gallery/pics/full_3_07.jpg",
// "/gallery/thumbs/thumb_3_07.jpg" and so on. The same options always give
// the same bytes. Pictures are made on all processor cores.
// Throws std::invalid_argument for options out of range.
std::map<std::string, DemoFile> BuildDemoSite(const DemoOptions& options);

// Names inside the site, shared by the pages and whoever checks them.
// Pair numbers are padded to two digits (three from 100 pairs on).
std::string DemoPagePath(int page); // "/gallery/page3.html"
std::string DemoListPath(int page); // the scripted page's pairs: "/gallery/page3.json"
std::string DemoFullPath(const DemoOptions& o, int page,
                         int pair); // "/gallery/pics/full_3_07.jpg"
std::string DemoThumbPath(const DemoOptions& o, int page,
                          int pair);  // ".../thumb_3_07.jpg" or .gif
std::string DemoPosterPath(int page); // linked by text only: "/gallery/pics/poster_3.jpg"
int DemoThumbHeight(const DemoOptions& o);
bool DemoThumbIsGif(int pair); // every fifth pair's thumbnail

extern const char* const kDemoClipPath; // "/gallery/media/clip.mpg"
// The link to "another site" that the gallery shows failing: a closed port
// of this machine, so that a scan of the demo never leaves it and never
// waits for a name resolver.
extern const char* const kDemoOtherSite;
