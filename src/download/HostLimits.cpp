#include "HostLimits.h"

#include "common/StringTools.h"
#include "crawl/UrlParts.h"

#include <algorithm>

bool HostLimits::MayOpen(const std::string& host, std::int64_t nowMs) const {
    const auto it = Hosts_.find(host);
    const int open = it == Hosts_.end() ? 0 : it->second.Open;
    if (Cap > 0 && open >= Cap) return false;
    if (it == Hosts_.end()) return true;
    const Host& h = it->second;
    if (nowMs < h.PausedUntil) return false;
    return h.Allowed < 0 || open < h.Allowed;
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

void HostLimits::SlowDown(const std::string& host, std::int64_t untilMs) {
    Host& h = Hosts_[host];
    h.Allowed = 1;
    h.PausedUntil = std::max(h.PausedUntil, untilMs);
}

void HostLimits::Succeeded(const std::string& host) {
    const auto it = Hosts_.find(host);
    if (it == Hosts_.end() || it->second.Allowed < 0) return;
    Host& h = it->second;
    if (++h.Allowed >= Limit()) h.Allowed = -1;
}

int HostLimits::OpenTo(const std::string& host) const {
    const auto it = Hosts_.find(host);
    return it == Hosts_.end() ? 0 : it->second.Open;
}

int HostLimits::Allowed(const std::string& host) const {
    const auto it = Hosts_.find(host);
    return it == Hosts_.end() ? -1 : it->second.Allowed;
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
            it->second.Allowed = -1;
            it->second.PausedUntil = 0;
            it->second.MostOpen = it->second.Open;
            ++it;
        }
    }
}

std::string UrlHostKey(std::string_view url) {
    return LowerCase(UrlParts::HostPart(url));
}
