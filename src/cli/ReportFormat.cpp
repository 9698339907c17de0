#include "ReportFormat.h"

std::string StatsBlock(const DownloadStats& stats) {
    std::string s;
    s += "       in queue: " + std::to_string(stats.InQueue) + "\n";
    s += "    downloading: " + std::to_string(stats.Downloading) + "\n";
    s += "     to process: " + std::to_string(stats.ToAnalyze) + "\n";
    s += "           done: " + std::to_string(stats.Done) + "\n";
    s += "        retries: " + std::to_string(stats.Retries) + "\n";
    s += "         errors: " + std::to_string(stats.Errors) + "\n";
    s += "already on disk: " + std::to_string(stats.AlreadyOnDisk) + "\n";
    return s;
}

std::string PageErrorLine(const DownloadError& error) {
    const std::string reason = error.Message.empty() ? "" : " " + error.Message;
    return std::to_string(error.Code) + ": " + error.Url + reason + "   (" + error.ReferringUrl +
           ")";
}

std::string FileErrorLine(const DownloadError& error) {
    return "Error " + std::to_string(error.Code) + ": " + error.Url + " " + error.Message + "  (" +
           error.ReferringUrl + ")";
}

std::string FileReceivedLine(const std::string& url, bool alreadyOnDisk) {
    return (alreadyOnDisk ? "on disk: " : "   done: ") + url;
}
