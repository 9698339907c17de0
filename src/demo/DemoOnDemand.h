#pragma once

// Serves the built-in demo gallery the first time an address on it is
// wanted, so that the demo addresses a first start offers (in the scan box
// and as the browser's page) work without any option.

#include "demo/DemoServer.h"

#include <memory>
#include <string>

class DemoOnDemand {
public:
    // home: the demo's own address, "http://127.0.0.1:PORT/".
    explicit DemoOnDemand(std::string home);
    ~DemoOnDemand();

    // Starts serving when url lies under the demo's home and nothing is
    // served yet. False when url is another address or the port could not
    // be had (another program, or another copy of this one, holds it).
    bool ServeFor(const std::string& url);
    bool Serving() const { return Server_ != nullptr; }

private:
    std::string Home_;
    int Port_ = 0;
    std::unique_ptr<DemoServer> Server_;
};
