#include "ReportFormat.h"

std::string StatsBlock(int inQueue, int downloading, int toAnalyze, int done, int retries,
                       int errors, int alreadyOnDisk) {
    std::string s;
    s += "       in queue: " + std::to_string(inQueue) + "\n";
    s += "    downloading: " + std::to_string(downloading) + "\n";
    s += "     to process: " + std::to_string(toAnalyze) + "\n";
    s += "           done: " + std::to_string(done) + "\n";
    s += "        retries: " + std::to_string(retries) + "\n";
    s += "         errors: " + std::to_string(errors) + "\n";
    s += "already on disk: " + std::to_string(alreadyOnDisk) + "\n";
    return s;
}

std::string PageErrorLine(std::uint32_t code, const std::string& url,
                          const std::string& referringUrl) {
    return std::to_string(code) + ": " + url + "   (" + referringUrl + ")";
}

std::string FileErrorLine(std::uint32_t code, const std::string& url, const std::string& message,
                          const std::string& referringUrl) {
    return "Error " + std::to_string(code) + ": " + url + " " + message + "  (" + referringUrl +
           ")";
}

std::string FileReceivedLine(const std::string& url, bool alreadyOnDisk) {
    return (alreadyOnDisk ? "on disk: " : "   done: ") + url;
}
