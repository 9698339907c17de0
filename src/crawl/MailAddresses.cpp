#include "MailAddresses.h"

#include "common/StringTools.h"
#include "crawl/HtmlMarkup.h"
#include "crawl/UrlParts.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

// Appends each address of a comma list, percent-decoded and trimmed.
void AddList(std::string_view encoded, std::vector<std::string>& out) {
    const std::string decoded = PercentDecode(encoded);
    std::string_view list = decoded;
    while (!list.empty()) {
        const auto comma = list.find(',');
        const std::string_view entry = TrimSpace(list.substr(0, comma));
        if (IsMailAddress(entry)) out.emplace_back(entry);
        if (comma == std::string_view::npos) break;
        list.remove_prefix(comma + 1);
    }
}

bool LocalPartChar(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           c >= 0x80 || std::strchr("._%+-!#$&'*/=?^`{|}~", c) != nullptr;
}

bool DomainChar(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           c >= 0x80 || c == '.' || c == '-';
}

// The address around the "@" at text[at], or an empty view. In running
// text the local part stops at the first byte an address cannot hold and
// the domain loses the dots and dashes that end a sentence.
std::string_view AddressAround(std::string_view text, std::size_t at) {
    std::size_t begin = at;
    // Of the rarer characters a local part may hold, running text keeps
    // only those a writer uses: "'" or "/" before a name are punctuation.
    const auto inText = [](unsigned char c) {
        return LocalPartChar(c) && std::strchr("!#$&'*/=?^`{|}~", c) == nullptr;
    };
    while (begin > 0 && inText(static_cast<unsigned char>(text[begin - 1])))
        --begin;
    while (begin < at && text[begin] == '.')
        ++begin;
    std::size_t end = at + 1;
    while (end < text.size() && DomainChar(static_cast<unsigned char>(text[end])))
        ++end;
    while (end > at + 1 && (text[end - 1] == '.' || text[end - 1] == '-'))
        --end;
    const std::string_view address = text.substr(begin, end - begin);
    return IsMailAddress(address) ? address : std::string_view{};
}

} // namespace

bool IsMailAddress(std::string_view text) {
    // The longest address a mail server takes.
    if (text.size() > 254) return false;
    const auto at = text.find('@');
    if (at == std::string_view::npos || at == 0 || at + 1 >= text.size()) return false;
    if (text.find('@', at + 1) != std::string_view::npos) return false;
    for (std::size_t i = 0; i < at; ++i)
        if (!LocalPartChar(static_cast<unsigned char>(text[i]))) return false;
    const std::string_view domain = text.substr(at + 1);
    for (char c : domain)
        if (!DomainChar(static_cast<unsigned char>(c))) return false;
    const auto dot = domain.rfind('.');
    // A dot inside the domain, not at either end, with a name after it.
    return dot != std::string_view::npos && dot > 0 && dot + 1 < domain.size() &&
           domain.front() != '-' && domain.find("..") == std::string_view::npos;
}

std::vector<std::string> MailtoAddresses(std::string_view afterScheme) {
    std::vector<std::string> out;
    const auto hash = afterScheme.find('#');
    if (hash != std::string_view::npos) afterScheme = afterScheme.substr(0, hash);
    const auto question = afterScheme.find('?');
    AddList(afterScheme.substr(0, question), out);
    if (question == std::string_view::npos) return out;
    std::string_view query = afterScheme.substr(question + 1);
    while (!query.empty()) {
        const auto amp = query.find('&');
        const std::string_view field = query.substr(0, amp);
        const auto eq = field.find('=');
        if (eq != std::string_view::npos) {
            const std::string name = LowerCase(PercentDecode(field.substr(0, eq)));
            if (name == "to" || name == "cc" || name == "bcc") AddList(field.substr(eq + 1), out);
        }
        if (amp == std::string_view::npos) break;
        query.remove_prefix(amp + 1);
    }
    return out;
}

std::vector<std::string> TextMailAddresses(std::string_view html) {
    std::vector<std::string> out;
    std::string text;
    std::size_t i = 0;
    const auto flush = [&] {
        if (text.find('@') == std::string::npos && text.find('&') == std::string::npos) {
            text.clear();
            return;
        }
        const std::string decoded = DecodeEntities(text);
        for (std::size_t at = decoded.find('@'); at != std::string::npos;
             at = decoded.find('@', at + 1)) {
            const std::string_view address = AddressAround(decoded, at);
            if (!address.empty()) out.emplace_back(address);
        }
        text.clear();
    };
    while (i < html.size()) {
        const char c = html[i];
        if (c != '<') {
            text += c;
            ++i;
            continue;
        }
        // A tag ends the text run before it; so does a comment, a script
        // and a style, whose content is not text a reader sees.
        flush();
        const std::string_view rest = html.substr(i);
        std::string_view closing = ">";
        if (rest.starts_with("<!--"))
            closing = "-->";
        else if (StartsWithNoCase(rest, "<script"))
            closing = "</script";
        else if (StartsWithNoCase(rest, "<style"))
            closing = "</style";
        std::size_t end = closing == ">" ? i : FindNoCase(html, closing, i + 1);
        if (end != std::string_view::npos) end = html.find('>', end + 1);
        if (end == std::string_view::npos) break;
        i = end + 1;
        text += ' ';
    }
    flush();
    return out;
}

bool MailAddressSet::Add(std::string_view address) {
    const auto at = address.rfind('@');
    std::string key(address.substr(0, at));
    if (at != std::string_view::npos) key += LowerCase(address.substr(at));
    if (!Keys_.insert(std::move(key)).second) return false;
    Items_.emplace_back(address);
    return true;
}

void MailAddressSet::Clear() {
    Items_.clear();
    Keys_.clear();
}

bool MailAddressSet::SaveTo(const std::string& path, std::string& error) const {
    std::string text;
    for (const std::string& a : Items_) {
        text += a;
        text += '\n';
    }
    const std::string temp = path + ".part";
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        error = std::strerror(errno);
        return false;
    }
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += std::size_t(n);
    }
    const int writeErrno = done == text.size() ? 0 : (errno != 0 ? errno : ENOSPC);
    const bool closed = ::close(fd) == 0;
    if (writeErrno != 0 || !closed || std::rename(temp.c_str(), path.c_str()) != 0) {
        error = std::strerror(writeErrno != 0 ? writeErrno : errno);
        ::unlink(temp.c_str());
        return false;
    }
    return true;
}
