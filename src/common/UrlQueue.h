#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <unordered_map>
#include <utility>

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
    // The waits servers asked for that this URL has had; they have a budget
    // of their own and use up none of the tries.
    int WaitNumber = 0;
    // Where the request goes when it is not the URL itself: a redirect the
    // URL led to that had to wait for a free connection. Empty: the URL.
    std::string FetchFrom;
    // The redirects still allowed to the request (a redirect waiting in the
    // queue keeps what its first part used).
    int RedirectsLeft = 10;
};

// The waiting line of a download manager. Entries keep their arrival order
// and are kept in lanes by a key the caller gives (the host a request counts
// against), so that a pick passes over a whole lane that may not start now
// without looking at its entries.
class UrlQueue {
public:
    using Id = std::uint64_t; // rises with arrival
    struct Item {
        std::string Url;
        QueuedRequest Request;
        std::string Lane;
    };
    // How Choose orders the entries that may start.
    struct Order {
        bool PriorityFirst = false; // priority entries first, in arrival order
        bool DeepestFirst = false;  // the deepest entry first; ties in arrival order
        // Entries whose NotBeforeMs is later than this wait; the largest
        // value lets every entry start.
        std::int64_t NowMs = INT64_MAX;
    };

    void AddUrl(std::string url, QueuedRequest request, std::string lane = {});
    // Removes the entry and hands it over; the id must be in the queue.
    Item Take(Id id);
    void ClearUrls();
    int Count() const { return int(Items_.size()); }
    int PriorityCount() const { return int(Priority_.size()); }
    const Item& At(Id id) const { return Items_.at(id); }

    // The entry to start next, in the order asked for; -1 when none may.
    // laneOpen, when given, is asked once per lane that has entries, and a
    // lane it refuses is passed over as a whole.
    std::int64_t Choose(const Order& order,
                        const std::function<bool(const std::string& lane)>& laneOpen = {}) const;

private:
    using DepthKey = std::pair<int, Id>; // (-depth, arrival)
    struct Lane {
        std::set<Id> Arrival;
        std::set<DepthKey> Depth;
        std::set<Id> Priority;
    };
    static DepthKey DepthOf(Id id, const Item& item) {
        return {-item.Request.DepthSearchLevel, id};
    }
    // The best entry of one lane that may start: priority first when asked
    // and any is due; -1 when none is due.
    std::pair<std::int64_t, bool> BestOf(const Lane& lane, const Order& order) const;
    bool Due(Id id, const Order& order) const {
        return Items_.at(id).Request.NotBeforeMs <= order.NowMs;
    }

    std::map<Id, Item> Items_; // in arrival order
    std::set<DepthKey> Depth_;
    std::set<Id> Priority_;
    std::unordered_map<std::string, Lane> Lanes_;
    Id Next_ = 0;
};
