#include "RetryAfter.h"

#include "common/StringTools.h"

#include <curl/curl.h>

#include <limits>
#include <string>

namespace {

bool NameIs(std::string_view line, std::string_view name) {
    if (line.size() <= name.size() || line[name.size()] != ':') return false;
    for (std::size_t i = 0; i < name.size(); ++i) {
        char c = line[i];
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
        if (c != name[i]) return false;
    }
    return true;
}

} // namespace

std::optional<std::int64_t> ParseRetryAfter(std::string_view value, std::int64_t nowUnix) {
    value = TrimSpace(value);
    if (value.empty()) return std::nullopt;
    bool digits = true;
    for (char c : value)
        if (c < '0' || c > '9') digits = false;
    if (digits) {
        // A huge count is as good as "never": it saturates instead of wrapping.
        std::int64_t seconds = 0;
        for (char c : value) {
            if (seconds > (std::numeric_limits<std::int64_t>::max() - 9) / 10)
                return std::numeric_limits<std::int64_t>::max();
            seconds = seconds * 10 + (c - '0');
        }
        return seconds;
    }
    // An HTTP date must start with a day name; this keeps libcurl's lenient
    // reader from taking a stray word or a negative number for a date.
    if (!((value[0] >= 'A' && value[0] <= 'Z') || (value[0] >= 'a' && value[0] <= 'z')))
        return std::nullopt;
    const std::string text(value);
    const time_t when = curl_getdate(text.c_str(), nullptr);
    if (when == time_t(-1)) return std::nullopt;
    const std::int64_t wait = std::int64_t(when) - nowUnix;
    return wait < 0 ? 0 : wait;
}

std::optional<std::int64_t> RetryAfterSeconds(std::string_view head, std::int64_t nowUnix) {
    // Only the last answer's fields count: start after its status line.
    std::size_t start = 0;
    for (std::size_t pos = 0; pos < head.size();) {
        std::size_t end = head.find('\n', pos);
        if (end == std::string_view::npos) end = head.size();
        if (head.substr(pos, 5) == "HTTP/") start = pos;
        pos = end + 1;
    }
    std::optional<std::int64_t> found;
    for (std::size_t pos = start; pos < head.size();) {
        std::size_t end = head.find('\n', pos);
        if (end == std::string_view::npos) end = head.size();
        const std::string_view line = head.substr(pos, end - pos);
        if (NameIs(line, "retry-after")) found = ParseRetryAfter(line.substr(12), nowUnix);
        pos = end + 1;
    }
    return found;
}
