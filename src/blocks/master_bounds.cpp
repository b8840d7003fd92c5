#include "blocks/master_bounds.h"

#include <algorithm>

namespace tarvik {

void MasterBounds::note(std::int64_t dataGroup, const Span& span) {
    if (span.first > span.last) return;
    const std::lock_guard<std::mutex> guard(lock_);
    std::vector<Span>& spans = groups_[dataGroup];
    const auto after = std::partition_point(spans.begin(), spans.end(),
                                            [&](const Span& known) { return known.first < span.first; });
    const bool overlapsNext = after != spans.end() && after->first <= span.last;
    const bool overlapsPrevious = after != spans.begin() && std::prev(after)->last >= span.first;
    if (overlapsNext || overlapsPrevious) return;
    spans.insert(after, span);
}

MasterBounds::Range MasterBounds::narrow(std::int64_t dataGroup, double t, Range range) {
    const std::lock_guard<std::mutex> guard(lock_);
    const auto found = groups_.find(dataGroup);
    if (found == groups_.end() || !(t == t)) return range;
    const std::vector<Span>& spans = found->second;
    // The first block that starts after t, and the one before it, which starts at or before t.
    const auto after = std::partition_point(spans.begin(), spans.end(),
                                            [&](const Span& span) { return !(span.firstTime > t); });
    const auto inside = [&](std::uint64_t record) { return range.lo <= record && record <= range.hi; };
    if (after != spans.begin()) {
        const Span& before = *std::prev(after);
        if (t <= before.lastTime && inside(before.first) && inside(before.last)) {
            return {before.first, before.last, before.firstTime, before.lastTime};
        }
        if (inside(before.last)) {
            range.lo = before.last;
            range.loTime = before.lastTime;
        }
    }
    if (after != spans.end() && inside(after->first)) {
        range.hi = after->first;
        range.hiTime = after->firstTime;
    }
    return range;
}

void MasterBounds::clear() {
    const std::lock_guard<std::mutex> guard(lock_);
    groups_.clear();
}

}  // namespace tarvik
