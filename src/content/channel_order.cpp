#include "content/channel_order.h"

#include "blocks/hd_block.h"

namespace tarvik {

namespace {

void appendVisible(const std::vector<CnRecord>& channels, std::vector<const CnRecord*>& order) {
    for (const CnRecord& channel : channels)
        if (channel.cn_type != kCnMaster) order.push_back(&channel);
}

}  // namespace

std::vector<const CnRecord*> channelsInContentOrder(const HdRecord& header) {
    std::vector<const CnRecord*> order;
    for (const DgRecord& dataGroup : header.dataGroups)
        if (!dataGroup.groups.empty()) appendVisible(dataGroup.groups.front().channels, order);
    return order;
}

std::vector<const CnRecord*> membersInContentOrder(const CnRecord& channel) {
    std::vector<const CnRecord*> order;
    appendVisible(channel.children, order);
    return order;
}

}  // namespace tarvik
