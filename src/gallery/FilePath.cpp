#include "FilePath.h"

#include <QFile>

#include <cstdlib>

#include <sys/stat.h>
#include <unistd.h>

QString DisplayPath(const std::string& path) {
    return QString::fromUtf8(path.data(), qsizetype(path.size()));
}

bool QtReaches(const std::string& path) {
    const QByteArray bytes(path.data(), qsizetype(path.size()));
    return QFile::encodeName(QFile::decodeName(bytes)) == bytes;
}

bool IsRegularFile(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

QByteArray EncodedFileUrl(const std::string& path) {
    QByteArray bytes(path.data(), qsizetype(path.size()));
    if (!bytes.startsWith('/')) {
        // A relative path is taken from the current folder, as opening it would.
        char* cwd = ::getcwd(nullptr, 0);
        if (cwd != nullptr) {
            bytes.prepend(QByteArray(cwd).append('/'));
            std::free(cwd);
        }
    }
    return QByteArrayLiteral("file://") + bytes.toPercentEncoding("/");
}

QUrl FileUrl(const std::string& path) {
    return QUrl::fromEncoded(EncodedFileUrl(path), QUrl::StrictMode);
}

QByteArray FileUriList(const std::vector<std::string>& paths) {
    QByteArray list;
    for (const std::string& path : paths)
        list += EncodedFileUrl(path) + "\r\n";
    return list;
}
