#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

// The wait a server asks for in the "Retry-After" field of an answer's head:
// either a number of seconds or an HTTP date. nowUnix is the wall clock in
// seconds (a date in the past asks for no wait). Empty when the head has no
// such field or its value is neither form; a head that holds several answers
// (redirects, a "100 Continue") is read from its last answer only.
std::optional<std::int64_t> RetryAfterSeconds(std::string_view head, std::int64_t nowUnix);

// The same for the bare field value.
std::optional<std::int64_t> ParseRetryAfter(std::string_view value, std::int64_t nowUnix);
