#include "render/RequestBlocker.h"

bool RequestBlocker::Blocks(QWebEngineUrlRequestInfo::ResourceType type) {
    switch (type) {
    case QWebEngineUrlRequestInfo::ResourceTypeImage:
    case QWebEngineUrlRequestInfo::ResourceTypeMedia:
    case QWebEngineUrlRequestInfo::ResourceTypeFontResource:
    case QWebEngineUrlRequestInfo::ResourceTypeFavicon:
    case QWebEngineUrlRequestInfo::ResourceTypeObject:
    case QWebEngineUrlRequestInfo::ResourceTypePluginResource:
    case QWebEngineUrlRequestInfo::ResourceTypePrefetch:
    case QWebEngineUrlRequestInfo::ResourceTypePing:
        return true;
    default:
        return false;
    }
}

void RequestBlocker::interceptRequest(QWebEngineUrlRequestInfo& info) {
    if (!Blocks(info.resourceType())) return;
    info.block(true);
    ++Blocked_;
}
