#pragma once

// File paths as the file system has them: bytes. A stored file's name comes
// from its address and may hold any byte but "/" and NUL, so a name need not
// be UTF-8 (an address with "%E9" is stored as the byte 0xE9). QString cannot
// carry such a name and back: every path that opens, tests or marks a file
// stays a std::string, and only what is shown to the user is turned into
// text, never to be used as a path again.

#include <QByteArray>
#include <QString>
#include <QUrl>

#include <string>
#include <vector>

// The readable form of a path: UTF-8 decoded, each byte that is not UTF-8
// shown as U+FFFD. For captions and lists only.
QString DisplayPath(const std::string& path);

// Whether Qt's file classes, which take names as text, reach the path: its
// text form turns back into the same bytes. A name that is not UTF-8 does
// not, and its text form may even name another file.
bool QtReaches(const std::string& path);

// Whether the path names a regular file (links followed).
bool IsRegularFile(const std::string& path);

// The file URL of a path (a relative one from the current folder), every
// byte outside the unreserved set and "/" percent-encoded, so that the URL
// gives back the same bytes.
QByteArray EncodedFileUrl(const std::string& path);
QUrl FileUrl(const std::string& path);

// A text/uri-list of absolute paths: one encoded file URL a line, each line
// ended by CR LF.
QByteArray FileUriList(const std::vector<std::string>& paths);
