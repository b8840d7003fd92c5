#include "update/wanted_bookmarks.h"

#include <algorithm>
#include <cmath>
#include <string_view>
#include <tuple>

#include "blocks/ev_block.h"
#include "platform/text.h"

namespace tarvik {

namespace {

// What makes a bookmark itself, in order of precedence.
auto keyOf(const MF4Event& event) {
    return std::make_tuple(platform::textView(event.name), platform::textView(event.comment), event.typeProperty, event.postProcessing != 0);
}

// A strict order over every double: a time that is not a number follows all others.
bool timeBefore(double a, double b) {
    if (std::isnan(a)) return false;
    return std::isnan(b) || a < b;
}

}  // namespace

bool sameBookmark(const MF4Event& a, const MF4Event& b) {
    return a.syncValue == b.syncValue && keyOf(a) == keyOf(b);
}

bool bookmarkBefore(const MF4Event& a, const MF4Event& b) {
    if (timeBefore(a.syncValue, b.syncValue)) return true;
    if (timeBefore(b.syncValue, a.syncValue)) return false;
    return keyOf(a) < keyOf(b);
}

WantedBookmarks::WantedBookmarks(const MF4Event* bookmarks, std::uint64_t count) {
    for (std::uint64_t i = 0; bookmarks != nullptr && i < count; ++i) {
        const MF4Event& host = bookmarks[i];
        // Other events may come along when a host hands its tree's events back; they are not
        // bookmarks, and the file keeps them as they are.
        if (host.eventType != kEvMarker) continue;
        Entry& entry = entries_.emplace_back();
        entry.event = host;
        entry.name = platform::textView(host.name);
        entry.comment = platform::textView(host.comment);
        entry.syntax = platform::textView(host.syntax);
        const bool scoped = (host.scopeKind == 1 || host.scopeKind == 2) && host.scope != nullptr;
        if (scoped) entry.scope.assign(host.scope, host.scope + host.scopeCount);
    }
    std::stable_sort(entries_.begin(), entries_.end(),
                     [this](const Entry& a, const Entry& b) { return bookmarkBefore(view(a), view(b)); });
}

MF4Event WantedBookmarks::view(const Entry& entry) const {
    MF4Event event = entry.event;
    event.structSize = sizeof(MF4Event);
    event.rangeType = 0;
    event.rangeBegin = -1;
    event.postProcessing = event.postProcessing != 0 ? 1 : 0;
    // The host's texts are copied; an empty one is as good as none.
    event.name = const_cast<MF4Char*>(entry.name.c_str());
    event.comment = const_cast<MF4Char*>(entry.comment.c_str());
    event.syntax = entry.syntax.empty() ? nullptr : const_cast<MF4Char*>(entry.syntax.c_str());
    event.scope = entry.scope.empty() ? nullptr : const_cast<std::uint64_t*>(entry.scope.data());
    event.scopeCount = static_cast<std::uint32_t>(entry.scope.size());
    return event;
}

bool WantedBookmarks::claim(const MF4Event& present) {
    for (Entry& entry : entries_) {
        if (!entry.claimed && sameBookmark(view(entry), present)) {
            entry.claimed = true;
            return true;
        }
    }
    return false;
}

std::vector<MF4Event> WantedBookmarks::missing() const {
    std::vector<MF4Event> events;
    for (const Entry& entry : entries_)
        if (!entry.claimed) events.push_back(view(entry));
    return events;
}

}  // namespace tarvik
