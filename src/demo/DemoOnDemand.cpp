#include "demo/DemoOnDemand.h"

#include "demo/DemoSite.h"

#include <cstdlib>
#include <utility>

DemoOnDemand::DemoOnDemand(std::string home) : Home_(std::move(home)) {
    // The port is the number between the host's ":" and the path.
    const std::size_t hostStart = Home_.find("://");
    const std::size_t colon =
        hostStart == std::string::npos ? std::string::npos : Home_.find(':', hostStart + 3);
    if (colon != std::string::npos) Port_ = std::atoi(Home_.c_str() + colon + 1);
}

DemoOnDemand::~DemoOnDemand() {
    if (Server_) Server_->Stop();
}

bool DemoOnDemand::ServeFor(const std::string& url) {
    if (Port_ <= 0 || url.compare(0, Home_.size(), Home_) != 0) return false;
    if (Server_) return true;
    auto server = std::make_unique<DemoServer>(BuildDemoSite(DemoOptions{}));
    if (!server->Start(Port_)) return false;
    Server_ = std::move(server);
    return true;
}
