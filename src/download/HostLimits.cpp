#include "HostLimits.h"

#include <algorithm>

bool THostLimits::MayOpen(const std::string& host, std::int64_t nowMs) const {
    const auto it = Hosts_.find(host);
    const int open = it == Hosts_.end() ? 0 : it->second.Open;
    if (Cap > 0 && open >= Cap) return false;
    if (it == Hosts_.end()) return true;
    const THost& h = it->second;
    if (nowMs < h.PausedUntil) return false;
    return h.Allowed < 0 || open < h.Allowed;
}

void THostLimits::Opened(const std::string& host) {
    THost& h = Hosts_[host];
    ++h.Open;
    h.MostOpen = std::max(h.MostOpen, h.Open);
}

void THostLimits::Closed(const std::string& host) {
    const auto it = Hosts_.find(host);
    if (it != Hosts_.end() && it->second.Open > 0) --it->second.Open;
}

void THostLimits::SlowDown(const std::string& host, std::int64_t untilMs) {
    THost& h = Hosts_[host];
    h.Allowed = 1;
    h.PausedUntil = std::max(h.PausedUntil, untilMs);
}

void THostLimits::Succeeded(const std::string& host) {
    const auto it = Hosts_.find(host);
    if (it == Hosts_.end() || it->second.Allowed < 0) return;
    THost& h = it->second;
    if (++h.Allowed >= Limit()) h.Allowed = -1;
}

int THostLimits::OpenTo(const std::string& host) const {
    const auto it = Hosts_.find(host);
    return it == Hosts_.end() ? 0 : it->second.Open;
}

int THostLimits::Allowed(const std::string& host) const {
    const auto it = Hosts_.find(host);
    return it == Hosts_.end() ? -1 : it->second.Allowed;
}

int THostLimits::MostOpenTo(const std::string& host) const {
    const auto it = Hosts_.find(host);
    return it == Hosts_.end() ? 0 : it->second.MostOpen;
}

void THostLimits::Reset() {
    for (auto it = Hosts_.begin(); it != Hosts_.end();) {
        if (it->second.Open == 0) {
            it = Hosts_.erase(it);
        } else {
            it->second.Allowed = -1;
            it->second.PausedUntil = 0;
            it->second.MostOpen = it->second.Open;
            ++it;
        }
    }
}

std::string UrlHostKey(std::string_view url) {
    std::size_t start = url.find("://");
    start = start == std::string_view::npos ? 0 : start + 3;
    std::size_t end = url.find_first_of("/?#", start);
    if (end == std::string_view::npos) end = url.size();
    std::string_view authority = url.substr(start, end - start);
    const std::size_t at = authority.rfind('@');
    if (at != std::string_view::npos) authority.remove_prefix(at + 1);
    if (!authority.empty() && authority.front() == '[') {
        // [v6 address]:port
        const std::size_t close = authority.find(']');
        if (close != std::string_view::npos) authority = authority.substr(0, close + 1);
    } else {
        const std::size_t colon = authority.find(':');
        if (colon != std::string_view::npos) authority = authority.substr(0, colon);
    }
    std::string key(authority);
    for (char& c : key)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return key;
}
