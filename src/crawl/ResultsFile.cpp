#include "ResultsFile.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

bool ResultsFile::Open(const std::string& name) {
    Close();
    File_ = std::fopen(name.c_str(), "wb");
    return File_ != nullptr;
}

bool ResultsFile::OpenExclusive(const std::string& name, std::string& usedName) {
    Close();
    const auto dot = name.rfind('.');
    const auto slash = name.rfind('/');
    const bool hasExt = dot != std::string::npos && (slash == std::string::npos || dot > slash);
    for (int n = 1; n < 1000; ++n) {
        std::string candidate = name;
        if (n > 1) {
            const std::string suffix = " (" + std::to_string(n) + ")";
            candidate = hasExt ? name.substr(0, dot) + suffix + name.substr(dot) : name + suffix;
        }
        const int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd >= 0) {
            File_ = ::fdopen(fd, "wb");
            if (File_ == nullptr) {
                ::close(fd);
                return false;
            }
            usedName = candidate;
            return true;
        }
        if (errno != EEXIST) return false;
    }
    return false;
}

void ResultsFile::WriteLine(std::string_view line) {
    if (File_ == nullptr) return;
    std::fwrite(line.data(), 1, line.size(), File_);
    std::fwrite("\r\n", 1, 2, File_);
}

void ResultsFile::WriteLink(std::string_view typeLink, std::string_view urlFound) {
    if (File_ == nullptr) return;
    Line_.clear();
    Line_.append(1, '"').append(typeLink).append("\";\"").append(urlFound).append("\"\r\n");
    std::fwrite(Line_.data(), 1, Line_.size(), File_);
}

void ResultsFile::Close() {
    if (File_ != nullptr) {
        std::fclose(File_);
        File_ = nullptr;
    }
}

std::string ResultsFile::FormatLine(std::string_view typeLink, std::string_view urlFound) {
    std::string line;
    line.reserve(typeLink.size() + urlFound.size() + 5);
    line += '"';
    line += typeLink;
    line += "\";\"";
    line += urlFound;
    line += '"';
    return line;
}

std::size_t ResultsFile::Characters(std::string_view text) {
    std::size_t n = 0;
    for (unsigned char c : text)
        if ((c & 0xC0) != 0x80) ++n; // every byte but a continuation starts one
    return n;
}

std::string ResultsFile::PadRight(std::string_view text, std::size_t width) {
    std::string out(text);
    const std::size_t n = Characters(text);
    if (n < width) out.append(width - n, ' ');
    return out;
}
