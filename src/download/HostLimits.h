#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>

// The connections each host is given, shared by the download managers of
// one scan so that pages and files together keep to it.
//
// A host that answered "slow down" (429, or 503 with a wait) is paused until
// the wait it asked for has passed, and the connections it may have are
// halved (at least one). While it keeps answering they grow again by one
// for every round of answers (one success per connection it may have), until
// the host is back at the limit and is no longer watched; the next "slow
// down" halves them again. A host behind a steady rate limiter thus settles
// near what the limiter lets through.
class HostLimits {
public:
    // Connections per host, all managers together; 0: no cap.
    int Cap = 0;
    // Where a slowed-down host's connections stop growing when there is no
    // cap: the slots of all managers together.
    int Ceiling = 4;

    // Whether one more connection to the host may be opened at nowMs
    // (a monotonic clock).
    bool MayOpen(const std::string& host, std::int64_t nowMs) const;
    // How often MayOpen was asked: choosing the next request asks once per
    // host with waiting requests, never once per request.
    std::int64_t Checks() const { return Checks_; }
    void Opened(const std::string& host);
    void Closed(const std::string& host);
    // At nowMs the host asked to be left alone until untilMs. Answers that
    // come while the host is paused already belong to the same burst and
    // halve its connections no further.
    void SlowDown(const std::string& host, std::int64_t nowMs, std::int64_t untilMs);
    // A request to the host was answered successfully.
    void Succeeded(const std::string& host);

    int OpenTo(const std::string& host) const;
    // The connections the host may have now; -1: as many as the cap allows.
    int Allowed(const std::string& host) const;
    // The most connections ever open to the host at once.
    int MostOpenTo(const std::string& host) const;
    // Forgets the hosts that have nothing open (a new scan starts afresh).
    void Reset();

private:
    struct Host {
        int Open = 0;
        int MostOpen = 0;
        int Window = -1;   // the connections it may have; -1: not slowed down
        int Successes = 0; // answered since the window last grew
        std::int64_t PausedUntil = 0;
    };
    int Limit() const { return Cap > 0 ? Cap : Ceiling; }
    std::unordered_map<std::string, Host> Hosts_;
    mutable std::int64_t Checks_ = 0;
};

// The host of an absolute URL as requests split it, lower case, without
// user information and port: the key under which its connections count.
std::string UrlHostKey(std::string_view url);
