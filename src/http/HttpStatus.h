#pragma once

#include <string>

// An HTTP status with its standard text, as error lines show it: "404 Not
// Found"; a status without a standard text is "HTTP status 599".
std::string StatusText(int status);
