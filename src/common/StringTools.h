#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>

// Small text and file-name tools shared by the crawl engine, the request
// component and the gallery.

// The longest address taken: signed object-store addresses run to several
// thousand characters.
constexpr std::size_t kMaxUrlLength = 8192;

// 1-based position of the last occurrence of ch in text; 0 when absent.
int LastCharPos(char ch, std::string_view text);

// Replaces, in place, every occurrence of from by to.
void ReplaceChar(std::string& text, char from, char to);

// Appends c as "%" and two upper-case hex digits.
void AppendPercentEscape(std::string& out, unsigned char c);

// Maps folder + host-plus-path ("host/dir/file") to a file path under the
// folder; a trailing "/" or a bare host gets "index.html". Every segment is
// made safe for the file system: "." and "..", control bytes and over-long
// segments are encoded so that the result always lies under the folder.
// Returns an empty text when no safe name can be made.
std::string UrlToLocalFileName(std::string_view folder, std::string_view hostAndPath);

// Creates every missing folder of the directory part of path (up to its
// last "/"); folders that cannot be created are passed over.
void ForceFolders(std::string_view path);

// "yyyy-mm-dd_hh.mm.ss.txt" for the given local time.
std::string DatedResultsName(const std::tm& when);
std::string DatedResultsName();

// ASCII-only case mapping (bytes above 127 are left alone).
inline char UpperChar(char c) {
    return (c >= 'a' && c <= 'z') ? char(c - 32) : c;
}
inline char LowerChar(char c) {
    return (c >= 'A' && c <= 'Z') ? char(c + 32) : c;
}
// Position of the first character of s that is one of the few in set, or
// npos: the standard find_first_of calls memchr on the set for every
// character of s.
inline std::size_t FindAnyOf(std::string_view s, std::string_view set) {
    for (std::size_t i = 0; i < s.size(); ++i)
        for (char c : set)
            if (s[i] == c) return i;
    return std::string_view::npos;
}
std::string UpperCase(std::string_view s);
std::string LowerCase(std::string_view s);
bool StartsWithNoCase(std::string_view text, std::string_view prefix);
bool EqualsNoCase(std::string_view a, std::string_view b);
// s without the blanks, tabs and line ends at either end.
std::string_view TrimSpace(std::string_view s);
// Position of needle in haystack ignoring ASCII case, or npos.
std::size_t FindNoCase(std::string_view haystack, std::string_view needle, std::size_t from = 0);

// The process's current folder, without trailing "/".
std::string CurrentFolder();
