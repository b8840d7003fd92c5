// What the steps of building one content tree share.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <unordered_set>

#include "TarvikMF4Access.h"
#include "blocks/hd_block.h"
#include "content/comment_reader.h"

namespace tarvik {

class FindingList;
class XmlCallContext;

struct BuildState {
    BuildState(const HdRecord& header, const std::u16string& path, FindingList& findings,
               XmlCallContext& xml, std::uint16_t version)
        : header(header), path(path), findings(findings), xml(xml), comments(findings, xml, version) {}

    const HdRecord& header;
    const std::u16string& path;
    FindingList& findings;
    XmlCallContext& xml;
    CommentReader comments;
    MF4Content* root = nullptr;
    // The position in `channels` each top-level channel block was given.
    std::unordered_map<const CnRecord*, std::int64_t> contentIndex;
    // Channels whose comment carried "STD_AXIS": arrays that are standard axes.
    std::unordered_set<const CnRecord*> standardAxes;

    // The content index of the top-level channel that a resolved reference names, or -1.
    std::int64_t channelIndexOf(const ChannelRef& ref) const;
};

// The conversion table of the file into root->conversions.
void buildConversions(BuildState& state);

// The content index of every top-level channel (masters left out), group after group.
void indexChannels(BuildState& state);

// The channels of every group (masters left out) into root->channels, with their arrays.
void buildChannels(BuildState& state);

// Array references of look-up channels into content indices (after all channels exist).
void resolveContentArrays(BuildState& state);

// The text of a unit (TX, or the TX element of an MD unit); null without a unit.
MF4Char* unitText(BuildState& state, const TextRef& unit);

}  // namespace tarvik
