#pragma once

#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

// The mail addresses a "mailto:" link holds: the text after the scheme
// with its query, where "to", "cc" and "bcc" fields name more addresses.
// Each address is percent-decoded and trimmed; the comma list gives one
// entry per address, and an entry that is not a plausible address (no "@",
// nothing before or after it, a blank inside) is left out.
std::vector<std::string> MailtoAddresses(std::string_view afterScheme);

// Addresses written in a page's text: outside its tags, comments, scripts
// and styles, with character references decoded. In page order, repeats
// included.
std::vector<std::string> TextMailAddresses(std::string_view html);

// Whether text is a plausible mail address: a local part and a domain with
// a dot around one "@", and no blank, bracket or quote.
bool IsMailAddress(std::string_view text);

// Every mail address a scan found, once each, in the order found. The domain
// is compared without regard to case, the local part as written.
class MailAddressSet {
public:
    // False when the address is already held.
    bool Add(std::string_view address);
    void Clear();
    std::size_t Count() const { return Items_.size(); }
    const std::vector<std::string>& Items() const { return Items_; }

    // Writes the addresses to path, one a line (UTF-8, LF), through a
    // temporary file beside it: a failure leaves an existing file as it
    // was and gives the reason in error.
    bool SaveTo(const std::string& path, std::string& error) const;

private:
    std::vector<std::string> Items_;
    std::unordered_set<std::string> Keys_;
};
