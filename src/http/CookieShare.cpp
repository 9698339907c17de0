#include "CookieShare.h"

#include "http/TransferRound.h"

#include <curl/curl.h>

#include <array>

namespace {

bool IsFlag(std::string_view f) {
    return f == "TRUE" || f == "FALSE";
}

// Splits a line at its tabs.
std::vector<std::string_view> Fields(std::string_view line) {
    std::vector<std::string_view> out;
    std::size_t start = 0;
    while (true) {
        const std::size_t tab = line.find('\t', start);
        out.push_back(line.substr(start, tab == std::string_view::npos ? tab : tab - start));
        if (tab == std::string_view::npos) break;
        start = tab + 1;
    }
    return out;
}

} // namespace

bool IsNetscapeCookieLine(std::string_view line) {
    if (line.empty() || line.size() > kMaxCookieLine) return false;
    for (unsigned char c : line)
        if ((c < 0x20 && c != '\t') || c == 0x7f) return false;
    if (line.starts_with("#HttpOnly_")) line.remove_prefix(10);
    if (line.starts_with('#')) return false;
    std::vector<std::string_view> f = Fields(line);
    if (f.size() == 6) f.emplace_back(); // an empty value
    if (f.size() != 7) return false;
    const std::string_view domain = f[0], path = f[2], expiry = f[4], name = f[5];
    if (domain.empty() || domain.find(' ') != std::string_view::npos) return false;
    if (!IsFlag(f[1]) || !IsFlag(f[3])) return false;
    if (!path.starts_with('/')) return false;
    // An expiry that does not fit in 64 bits is no date libcurl can keep.
    if (expiry.empty() || expiry.size() > 18) return false;
    for (char c : expiry)
        if (c < '0' || c > '9') return false;
    if (name.empty() || name.find_first_of(" ;=") != std::string_view::npos) return false;
    return f[6].find(';') == std::string_view::npos;
}

CookieShare::CookieShare() {
    if (!CurlReady()) return;
    CURLSH* share = curl_share_init();
    if (share == nullptr) return;
    curl_share_setopt(share, CURLSHOPT_LOCKFUNC, &CookieShare::Lock);
    curl_share_setopt(share, CURLSHOPT_UNLOCKFUNC, &CookieShare::Unlock);
    curl_share_setopt(share, CURLSHOPT_USERDATA, this);
    curl_share_setopt(share, CURLSHOPT_SHARE, CURL_LOCK_DATA_COOKIE);
    Share_ = share;
    CURL* feeder = curl_easy_init();
    if (feeder == nullptr) return;
    curl_easy_setopt(feeder, CURLOPT_SHARE, share);
    Feeder_ = feeder;
}

CookieShare::~CookieShare() {
    if (Feeder_ != nullptr) {
        curl_easy_setopt(static_cast<CURL*>(Feeder_), CURLOPT_SHARE, nullptr);
        curl_easy_cleanup(static_cast<CURL*>(Feeder_));
    }
    if (Share_ != nullptr) curl_share_cleanup(static_cast<CURLSH*>(Share_));
}

void CookieShare::Lock(void*, int data, int, void* self) {
    auto* me = static_cast<CookieShare*>(self);
    me->Locks_[std::size_t(data) % std::size(me->Locks_)].lock();
}

void CookieShare::Unlock(void*, int data, void* self) {
    auto* me = static_cast<CookieShare*>(self);
    me->Locks_[std::size_t(data) % std::size(me->Locks_)].unlock();
}

bool CookieShare::AddNetscapeLine(std::string_view line) {
    if (!Valid() || !IsNetscapeCookieLine(line)) return false;
    const std::string text(line);
    return curl_easy_setopt(static_cast<CURL*>(Feeder_), CURLOPT_COOKIELIST, text.c_str()) ==
           CURLE_OK;
}

int NetscapeCookieLines(std::string_view text, std::vector<std::string>& good) {
    int skipped = 0;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(start, end - start);
        start = end + 1;
        if (line.ends_with('\r')) line.remove_suffix(1);
        const bool blank = line.find_first_not_of(" \t") == std::string_view::npos;
        if (blank || (line.starts_with('#') && !line.starts_with("#HttpOnly_"))) continue;
        if (IsNetscapeCookieLine(line))
            good.emplace_back(line);
        else
            ++skipped;
    }
    return skipped;
}

CookieShare::LoadCount CookieShare::AddNetscapeText(std::string_view text) {
    std::vector<std::string> good;
    LoadCount count;
    count.Skipped = NetscapeCookieLines(text, good);
    for (const std::string& line : good)
        if (AddNetscapeLine(line))
            ++count.Added;
        else
            ++count.Skipped;
    return count;
}

std::vector<std::string> CookieShare::Lines() const {
    std::vector<std::string> out;
    if (!Valid()) return out;
    curl_slist* list = nullptr;
    curl_easy_getinfo(static_cast<CURL*>(Feeder_), CURLINFO_COOKIELIST, &list);
    for (curl_slist* p = list; p != nullptr; p = p->next)
        out.emplace_back(p->data);
    curl_slist_free_all(list);
    return out;
}

void CookieShare::Clear() {
    if (Valid()) curl_easy_setopt(static_cast<CURL*>(Feeder_), CURLOPT_COOKIELIST, "ALL");
}
