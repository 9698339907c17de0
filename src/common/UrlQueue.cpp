#include "UrlQueue.h"

#include <utility>

void UrlQueue::AddUrl(std::string url, QueuedRequest request, std::string lane) {
    const Id id = Next_++;
    Item& item =
        Items_.emplace(id, Item{std::move(url), std::move(request), std::move(lane)}).first->second;
    Lane& l = Lanes_[item.Lane];
    l.Arrival.insert(l.Arrival.end(), id);
    const DepthKey depth = DepthOf(id, item);
    l.Depth.insert(depth);
    Depth_.insert(depth);
    if (item.Request.Priority) {
        l.Priority.insert(l.Priority.end(), id);
        Priority_.insert(Priority_.end(), id);
    }
}

UrlQueue::Item UrlQueue::Take(Id id) {
    const auto it = Items_.find(id);
    Item item = std::move(it->second);
    Items_.erase(it);
    const DepthKey depth = DepthOf(id, item);
    Depth_.erase(depth);
    Priority_.erase(id);
    const auto lane = Lanes_.find(item.Lane);
    lane->second.Arrival.erase(id);
    lane->second.Depth.erase(depth);
    lane->second.Priority.erase(id);
    if (lane->second.Arrival.empty()) Lanes_.erase(lane);
    return item;
}

void UrlQueue::ClearUrls() {
    Items_.clear();
    Depth_.clear();
    Priority_.clear();
    Lanes_.clear();
}

std::pair<std::int64_t, bool> UrlQueue::BestOf(const Lane& lane, const Order& order) const {
    if (order.PriorityFirst)
        for (const Id id : lane.Priority)
            if (Due(id, order)) return {std::int64_t(id), true};
    if (order.DeepestFirst) {
        for (const DepthKey& key : lane.Depth)
            if (Due(key.second, order)) return {std::int64_t(key.second), false};
    } else {
        for (const Id id : lane.Arrival)
            if (Due(id, order)) return {std::int64_t(id), false};
    }
    return {-1, false};
}

std::int64_t UrlQueue::Choose(const Order& order,
                              const std::function<bool(const std::string&)>& laneOpen) const {
    if (!laneOpen) {
        // Every lane may start: the whole queue is one lane.
        if (order.PriorityFirst)
            for (const Id id : Priority_)
                if (Due(id, order)) return std::int64_t(id);
        if (order.DeepestFirst) {
            for (const DepthKey& key : Depth_)
                if (Due(key.second, order)) return std::int64_t(key.second);
        } else {
            for (const auto& [id, item] : Items_)
                if (item.Request.NotBeforeMs <= order.NowMs) return std::int64_t(id);
        }
        return -1;
    }
    std::int64_t best = -1;
    bool bestPriority = false;
    for (const auto& [key, lane] : Lanes_) {
        if (!laneOpen(key)) continue;
        const auto [id, priority] = BestOf(lane, order);
        if (id < 0) continue;
        bool better = best < 0 || (priority && !bestPriority);
        if (!better && priority == bestPriority) {
            if (priority || !order.DeepestFirst)
                better = id < best;
            else
                better =
                    DepthOf(Id(id), Items_.at(Id(id))) < DepthOf(Id(best), Items_.at(Id(best)));
        }
        if (better) {
            best = id;
            bestPriority = priority;
        }
    }
    return best;
}
