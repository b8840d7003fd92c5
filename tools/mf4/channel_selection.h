// Which group and channels `mf4 dump` and `mf4 export` cover: picked from the content tree by
// the command line's group number and channel names.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "TarvikMF4Access.h"

namespace mf4tool {

struct ChannelSelection {
    std::uint64_t group = 0;
    std::vector<std::uint64_t> channels;  // positions in MF4Content.channels
};

// Either a selection or the reason there is none (a wrong command line).
struct SelectionOutcome {
    std::optional<ChannelSelection> selection;
    std::string error;
};

// The channels of `group` (members of structures excluded), in the order of the tree.
std::vector<std::uint64_t> channelsOfGroup(const MF4Content& content, std::uint64_t group);

// The group is `group` when given, else that of the first named channel, else group 0. The
// channels are the named ones, matched exactly and in the order named, or all of the group's
// when no name is given. A name may occur in several groups; it is looked up in the chosen one.
SelectionOutcome selectChannels(const MF4Content& content, std::optional<std::uint64_t> group,
                                const std::vector<std::string>& names);

}  // namespace mf4tool
