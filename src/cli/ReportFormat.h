#pragma once

#include <cstdint>
#include <string>

// The texts under which the main window and the command line show a
// download manager's statistics, errors and arrivals.

// The seven-line statistics block, each line ended by "\n".
std::string StatsBlock(int inQueue, int downloading, int toAnalyze, int done, int retries,
                       int errors, int alreadyOnDisk);
// A page error: code ": " url "   (" referrer ")".
std::string PageErrorLine(std::uint32_t code, const std::string& url,
                          const std::string& referringUrl);
// A file error: "Error " code ": " url " " message "  (" referrer ")".
std::string FileErrorLine(std::uint32_t code, const std::string& url, const std::string& message,
                          const std::string& referringUrl);
// "on disk: " or "   done: " and the address.
std::string FileReceivedLine(const std::string& url, bool alreadyOnDisk);
