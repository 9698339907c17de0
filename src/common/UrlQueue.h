#pragma once

#include <cstdint>
#include <deque>
#include <string>

// What a request does with the body it receives.
enum class BodyHandling : std::uint8_t {
    HEAD_ONLY,
    STORE_TO_DATASTRING,
    STORE_TO_FILE,
    STORE_TO_DATASTRING_AND_FILE
};

// Request parameters of one waiting URL of a download manager.
struct QueuedRequest {
    int DepthSearchLevel = 1;
    bool Priority = false;
    int CountArea = 0;
    char HrefOrSrc = ' ';
    BodyHandling GetAction = BodyHandling::STORE_TO_DATASTRING;
    int RetryNumber = 1;
    std::string ReferringUrl;
    int EntryValue = -1;
    // Not started before this time (MonotonicMs): a server asked to wait.
    std::int64_t NotBeforeMs = 0;
};

// The waiting line of a download manager: URLs in arrival order. Entries are
// mostly taken from the front, which a deque does without moving the rest.
class UrlQueue {
public:
    struct Item {
        std::string Url;
        QueuedRequest Request;
    };

    void AddUrl(std::string url, QueuedRequest request);
    void DeleteUrl(int index) { Urls.erase(Urls.begin() + index); }
    void ClearUrls() { Urls.clear(); }
    int Count() const { return int(Urls.size()); }

    std::deque<Item> Urls;
};
