#include "UrlQueue.h"

#include <utility>

void UrlQueue::AddUrl(std::string url, int depthSearchLevel, int retryNumber, char hrefOrSrc,
                      BodyHandling getAction, int countArea, bool priority, int entryValue,
                      std::string referringUrl) {
    Item item;
    item.Url = std::move(url);
    item.Obj.DepthSearchLevel = depthSearchLevel;
    item.Obj.RetryNumber = retryNumber;
    item.Obj.HrefOrSrc = hrefOrSrc;
    item.Obj.GetAction = getAction;
    item.Obj.CountArea = countArea;
    item.Obj.Priority = priority;
    item.Obj.EntryValue = entryValue;
    item.Obj.ReferringUrl = std::move(referringUrl);
    Urls.push_back(std::move(item));
}
