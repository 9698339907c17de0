#pragma once

#include <string>
#include <vector>

// Reads the cookie lines of a Netscape cookies file (as browsers' export
// tools, curl -c and wget --save-cookies write them) into lines; damaged
// lines are skipped and counted on standard error, without their text.
// False, with the reason on standard error, when the file cannot be read.
bool ReadCookiesFile(const std::string& path, std::vector<std::string>& lines);
