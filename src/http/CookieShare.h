#pragma once

#include <cstddef>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

// The cookies of one scan, kept by libcurl's cookie engine in a share handle
// that every request slot of the scan's managers attaches to: a cookie a page
// answer sets goes with the picture requests that follow, to the hosts,
// paths and schemes it belongs to (RFC 6265), until it expires. The share is
// used from the managers' transfer loops at once, so libcurl locks it through
// the mutexes kept here. Cookie values are never written anywhere else.
class CookieShare {
public:
    CookieShare();
    ~CookieShare();
    CookieShare(const CookieShare&) = delete;
    CookieShare& operator=(const CookieShare&) = delete;

    // False when libcurl could not make the share; no cookie is kept then.
    bool Valid() const { return Share_ != nullptr && Feeder_ != nullptr; }
    // The CURLSH* that a transfer's easy handle attaches to.
    void* Handle() const { return Share_; }

    // What loading a cookies file did.
    struct LoadCount {
        int Added = 0;
        int Skipped = 0; // damaged lines, left out
    };
    // Adds the cookies of a Netscape cookies file (the text of the whole
    // file). Comments and blank lines are not counted; a line that is not
    // a cookie is skipped and counted.
    LoadCount AddNetscapeText(std::string_view text);
    // Adds one Netscape line; false (nothing added) when it is not a valid one.
    bool AddNetscapeLine(std::string_view line);
    // Every cookie kept, as Netscape lines (for tests and saving).
    std::vector<std::string> Lines() const;
    void Clear();

private:
    static void Lock(void* handle, int data, int access, void* self);
    static void Unlock(void* handle, int data, void* self);

    void* Share_ = nullptr;
    void* Feeder_ = nullptr; // an easy handle on the share, to add and list cookies
    std::mutex Locks_[8];    // one per kind of data libcurl shares
};

// Whether a line is a well-formed Netscape cookie line: seven fields split
// by tabs (the value may be empty), TRUE/FALSE flags, a path starting with
// "/", a whole number of seconds for the expiry, a non-empty name, no control
// bytes, and at most kMaxCookieLine bytes. A "#HttpOnly_" prefix is allowed.
bool IsNetscapeCookieLine(std::string_view line);
constexpr std::size_t kMaxCookieLine = 8190;
// The cookie lines of a Netscape cookies file's text, added to good;
// comments and blank lines are left out, and damaged lines counted: the
// count is returned.
int NetscapeCookieLines(std::string_view text, std::vector<std::string>& good);
