#pragma once

#include "download/DownloadEvents.h"

#include <string>

// The texts under which the main window and the command line show a
// download manager's statistics, errors and arrivals.

// The seven-line statistics block, each line ended by "\n".
std::string StatsBlock(const DownloadStats& stats);
// A page error: code ": " url " " message "   (" referrer ")"; the message
// (why it failed: the status and its text, or the transfer's reason) is
// left out when empty.
std::string PageErrorLine(const DownloadError& error);
// A file error: "Error " code ": " url " " message "  (" referrer ")".
std::string FileErrorLine(const DownloadError& error);
// "on disk: " or "   done: " and the address.
std::string FileReceivedLine(const std::string& url, bool alreadyOnDisk);
