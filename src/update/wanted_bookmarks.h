// The bookmarks a host wants its file to hold. A bookmark is a marker event (type 6); two are
// the same when time, name, comment, "Type" property and post-processing flag agree (an absent
// text counts as empty). New ones are chained in order of time, then name, comment, "Type"
// and flag, texts compared by UTF-16 code unit.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "TarvikMF4Access.h"

namespace tarvik {

bool sameBookmark(const MF4Event& a, const MF4Event& b);
// The order new bookmarks are chained in; a time that is not a number comes after all others.
bool bookmarkBefore(const MF4Event& a, const MF4Event& b);

class WantedBookmarks {
public:
    // Copies the markers among the host's records (other events are passed over): the array
    // may be the tree's own events, which the update rebuilds before it is done with the list.
    WantedBookmarks(const MF4Event* bookmarks, std::uint64_t count);

    // Marks the first wanted bookmark that equals `present` and was not marked before as
    // already in the file. False when there is none.
    bool claim(const MF4Event& present);

    // The bookmarks not in the file, in chaining order, as point markers without range link. The records point
    // into this object and stay valid while it lives.
    std::vector<MF4Event> missing() const;

private:
    struct Entry {
        MF4Event event{};  // texts and scope are set from the members below when handed out
        std::u16string name, comment, syntax;
        std::vector<std::uint64_t> scope;
        bool claimed = false;
    };
    MF4Event view(const Entry& entry) const;

    std::vector<Entry> entries_;
};

}  // namespace tarvik
