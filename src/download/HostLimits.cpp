#include "HostLimits.h"

#include "common/StringTools.h"
#include "crawl/UrlParts.h"

#include <algorithm>

bool HostLimits::MayOpen(const std::string& host, std::int64_t nowMs) const {
    ++Checks_;
    const auto it = Hosts_.find(host);
    const int open = it == Hosts_.end() ? 0 : it->second.Open;
    if (Cap > 0 && open >= Cap) return false;
    if (it == Hosts_.end()) return true;
    const Host& h = it->second;
    if (nowMs < h.PausedUntil) return false;
    return h.Window < 0 || open < h.Window;
}

void HostLimits::Opened(const std::string& host) {
    Host& h = Hosts_[host];
    ++h.Open;
    h.MostOpen = std::max(h.MostOpen, h.Open);
}

void HostLimits::Closed(const std::string& host) {
    const auto it = Hosts_.find(host);
    if (it != Hosts_.end() && it->second.Open > 0) --it->second.Open;
}

void HostLimits::SlowDown(const std::string& host, std::int64_t nowMs, std::int64_t untilMs) {
    Host& h = Hosts_[host];
    if (nowMs >= h.PausedUntil) {
        h.Window = std::max(1, (h.Window < 0 ? Limit() : h.Window) / 2);
        h.Successes = 0;
    }
    h.PausedUntil = std::max(h.PausedUntil, untilMs);
}

void HostLimits::Succeeded(const std::string& host) {
    const auto it = Hosts_.find(host);
    if (it == Hosts_.end() || it->second.Window < 0) return;
    Host& h = it->second;
    // One more connection for every round of answers.
    if (++h.Successes < h.Window) return;
    h.Successes = 0;
    if (++h.Window >= Limit()) h.Window = -1;
}

int HostLimits::OpenTo(const std::string& host) const {
    const auto it = Hosts_.find(host);
    return it == Hosts_.end() ? 0 : it->second.Open;
}

int HostLimits::Allowed(const std::string& host) const {
    const auto it = Hosts_.find(host);
    return it == Hosts_.end() ? -1 : it->second.Window;
}

int HostLimits::MostOpenTo(const std::string& host) const {
    const auto it = Hosts_.find(host);
    return it == Hosts_.end() ? 0 : it->second.MostOpen;
}

void HostLimits::Reset() {
    for (auto it = Hosts_.begin(); it != Hosts_.end();) {
        if (it->second.Open == 0) {
            it = Hosts_.erase(it);
        } else {
            it->second.Window = -1;
            it->second.PausedUntil = 0;
            it->second.MostOpen = it->second.Open;
            ++it;
        }
    }
}

std::string UrlHostKey(std::string_view url) {
    return LowerCase(UrlParts::HostPart(url));
}
