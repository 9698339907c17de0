#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>

// The connections each host is given, shared by the download managers of
// one scan so that pages and files together keep to it.
//
// A host that answered "slow down" (429, or 503 with a wait) is paused until
// the wait it asked for has passed and then gets one connection; each answer
// it gives successfully after that allows one more, until the host is back
// at the ceiling and is no longer watched.
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
    void Opened(const std::string& host);
    void Closed(const std::string& host);
    // The host asked to be left alone until untilMs.
    void SlowDown(const std::string& host, std::int64_t untilMs);
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
        int Allowed = -1; // -1: not slowed down
        std::int64_t PausedUntil = 0;
    };
    int Limit() const { return Cap > 0 ? Cap : Ceiling; }
    std::unordered_map<std::string, Host> Hosts_;
};

// The host of an absolute URL as requests split it, lower case, without
// user information and port: the key under which its connections count.
std::string UrlHostKey(std::string_view url);
