#include "app/BrowserCookies.h"

#include "http/CookieShare.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QWebEngineCookieStore>
#include <QWebEngineProfile>

namespace {

void MakePrivateFolder(const QString& path) {
    QDir().mkpath(path);
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

} // namespace

QWebEngineProfile* BrowserProfile() {
    static QWebEngineProfile* profile = nullptr;
    if (profile != nullptr) return profile;
    const QString data = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    MakePrivateFolder(data);
    const QString folder = data + QStringLiteral("/browser");
    MakePrivateFolder(folder);
    profile = new QWebEngineProfile(QStringLiteral("browser"), QCoreApplication::instance());
    profile->setPersistentStoragePath(folder);
    profile->setCachePath(folder + QStringLiteral("/cache"));
    // Session cookies stay with the session; the rest lasts as long as the site says.
    profile->setPersistentCookiesPolicy(QWebEngineProfile::AllowPersistentCookies);
    return profile;
}

std::string NetscapeLine(const QNetworkCookie& c) {
    QString domain = c.domain();
    if (domain.isEmpty()) return {};
    const bool subdomains = domain.startsWith(QLatin1Char('.'));
    const QString path = c.path().isEmpty() ? QStringLiteral("/") : c.path();
    const qint64 expiry = c.isSessionCookie() ? 0 : c.expirationDate().toSecsSinceEpoch();
    std::string line = c.isHttpOnly() ? "#HttpOnly_" : "";
    line += domain.toStdString() + '\t' + (subdomains ? "TRUE" : "FALSE") + '\t' +
            path.toStdString() + '\t' + (c.isSecure() ? "TRUE" : "FALSE") + '\t' +
            std::to_string(expiry < 0 ? 0 : expiry) + '\t' + c.name().toStdString() + '\t' +
            c.value().toStdString();
    return IsNetscapeCookieLine(line) ? line : std::string();
}

BrowserCookies::BrowserCookies(QWebEngineProfile* profile, QObject* parent) : QObject(parent) {
    QWebEngineCookieStore* store = profile->cookieStore();
    connect(store, &QWebEngineCookieStore::cookieAdded, this, [this](const QNetworkCookie& c) {
        Cookies_[{c.domain(), c.path(), c.name()}] = c;
    });
    connect(store, &QWebEngineCookieStore::cookieRemoved, this, [this](const QNetworkCookie& c) {
        Cookies_.erase({c.domain(), c.path(), c.name()});
    });
    store->loadAllCookies(); // the stored ones arrive as added
}

std::vector<std::string> BrowserCookies::Lines() const {
    std::vector<std::string> out;
    for (const auto& [key, cookie] : Cookies_)
        if (std::string line = NetscapeLine(cookie); !line.empty()) out.push_back(std::move(line));
    return out;
}
