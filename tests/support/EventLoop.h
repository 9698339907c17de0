#pragma once

// Running the Qt event loop from a test: hooks of transfer threads and the
// manager's posted rounds are only delivered while events are processed.

#include <functional>

// Processes events until pred holds or timeoutMs has passed; false on time-out.
bool RunUntil(const std::function<bool()>& pred, int timeoutMs = 30000);

// Processes events for ms milliseconds.
void RunFor(int ms);
