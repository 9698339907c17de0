#pragma once

// The embedded browser's cookies, for the scans: the browser keeps them
// across restarts in a profile of its own under the user's data folder
// (private to the user), and this class follows its cookie store so that a
// scan can start with the cookies of the sites the user logged in to.

#include <QNetworkCookie>
#include <QObject>

#include <map>
#include <string>
#include <tuple>
#include <vector>

class QWebEngineProfile;

// The browser's profile: persistent, stored in "<AppDataLocation>/browser"
// (folders made with mode 0700). Made once per application, owned by it.
QWebEngineProfile* BrowserProfile();

// A cookie as a line of a Netscape cookies file; empty when the cookie
// cannot be written as one (a name or value with tabs or line breaks).
std::string NetscapeLine(const QNetworkCookie& cookie);

class BrowserCookies : public QObject {
public:
    explicit BrowserCookies(QWebEngineProfile* profile, QObject* parent = nullptr);

    // The cookies the browser holds now, as Netscape lines.
    std::vector<std::string> Lines() const;

private:
    using Key = std::tuple<QString, QString, QByteArray>; // domain, path, name
    std::map<Key, QNetworkCookie> Cookies_;
};
