#include "channel_selection.h"

#include "host_text.h"
#include "tree_arrays.h"

namespace mf4tool {

namespace {

// Positions of the channels named `name` (UTF-8), in tree order.
std::vector<std::uint64_t> channelsNamed(const MF4Content& content, const std::string& name) {
    std::vector<std::uint64_t> found;
    const auto channels = itemsOf(content.channels, content.channelCount);
    for (std::size_t i = 0; i < channels.size(); ++i)
        if (channels[i].name != nullptr && toTerminalText(channels[i].name) == name)
            found.push_back(i);
    return found;
}

SelectionOutcome failure(std::string error) { return {std::nullopt, std::move(error)}; }

}  // namespace

std::vector<std::uint64_t> channelsOfGroup(const MF4Content& content, std::uint64_t group) {
    std::vector<std::uint64_t> found;
    const auto channels = itemsOf(content.channels, content.channelCount);
    for (std::size_t i = 0; i < channels.size(); ++i)
        if (channels[i].groupIndex == group) found.push_back(i);
    return found;
}

SelectionOutcome selectChannels(const MF4Content& content, std::optional<std::uint64_t> group,
                                const std::vector<std::string>& names) {
    const std::uint64_t groupCount = content.groups == nullptr ? 0 : content.groupCount;
    if (!group && !names.empty()) {
        const auto first = channelsNamed(content, names.front());
        if (first.empty()) return failure("no channel is named \"" + names.front() + '"');
        group = content.channels[first.front()].groupIndex;
    }
    const std::uint64_t chosen = group.value_or(0);
    if (chosen >= groupCount)
        return failure("there is no group " + std::to_string(chosen) + " (the file has " +
                       std::to_string(groupCount) + ')');

    ChannelSelection selection{chosen, {}};
    if (names.empty()) {
        selection.channels = channelsOfGroup(content, chosen);
        return {selection, {}};
    }
    for (const std::string& name : names) {
        const auto found = channelsNamed(content, name);
        if (found.empty()) return failure("no channel is named \"" + name + '"');
        std::optional<std::uint64_t> inGroup;
        for (const std::uint64_t index : found)
            if (content.channels[index].groupIndex == chosen) {
                inGroup = index;
                break;
            }
        if (!inGroup)
            return failure("channel \"" + name + "\" is not in group " + std::to_string(chosen) +
                           " (it is in group " +
                           std::to_string(content.channels[found.front()].groupIndex) + ')');
        selection.channels.push_back(*inGroup);
    }
    return {selection, {}};
}

}  // namespace mf4tool
