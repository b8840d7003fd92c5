// Which channel block stands behind each record of a content tree: the builder numbers the
// channels in this order, and the data readers find a requested channel's block the same way.
#pragma once

#include <vector>

namespace tarvik {

struct CnRecord;
struct HdRecord;

// The top-level channels of every kept data group's channel group, group by group, masters
// left out: element n is the block of MF4Content::channels[n].
std::vector<const CnRecord*> channelsInContentOrder(const HdRecord& header);

// The members of a structure channel as its `children` lists them (masters left out).
std::vector<const CnRecord*> membersInContentOrder(const CnRecord& channel);

}  // namespace tarvik
