#include "UrlQueue.h"

#include <utility>

void UrlQueue::AddUrl(std::string url, QueuedRequest request) {
    Urls.push_back({std::move(url), std::move(request)});
}
