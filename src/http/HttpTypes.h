#pragma once

#include <chrono>
#include <cstdint>

enum class ProxyMode : std::uint8_t { PROXY_DIRECT, PROXY_USEPROXY, PROXY_DEFAULT };

enum class RequestState : std::uint8_t {
    GETHTTP_NOTUSED,
    GETHTTP_WAITING,
    GETHTTP_PREPARING,
    GETHTTP_GETTING,
    GETHTTP_THREAD_DONE,
    GETHTTP_OK,
    GETHTTP_ERROR
};

enum class RequestKind : std::uint8_t { GETHTTP_HEAD, GETHTTP_BODY };

// Milliseconds of a monotonic clock: deadlines never wrap and never jump
// with the wall clock.
inline std::int64_t MonotonicMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// Bodies kept in memory (pages, robots.txt) stop here; files on disk stop at
// the larger cap.
constexpr std::int64_t kMaxStringBody = 32ll * 1024 * 1024;
constexpr std::int64_t kMaxFileBody = 4ll * 1024 * 1024 * 1024;

// More request slots than this would only exhaust the machine.
constexpr int kMaxConcurrentDownloads = 100;

inline constexpr const char* kDefaultAgent =
    "Mozilla/4.0 (compatible; MSIE 5.0; Windows NT; DigExt)";
