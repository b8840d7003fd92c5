// Turning the block positions that look-up arrays refer to into indices of the hierarchy read.
#include "blocks/ca_block.h"
#include "blocks/hd_block.h"

namespace tarvik {

namespace {

// The indices of the channel at `positions` (DG, CG, CN), or -1 everywhere.
ChannelRef findChannel(const HdRecord& header, std::int64_t dgLink, std::int64_t cgLink, std::int64_t cnLink) {
    for (const DgRecord& dataGroup : header.dataGroups) {
        if (dataGroup.position != dgLink) continue;
        for (const CgRecord& group : dataGroup.groups) {
            if (group.position != cgLink) continue;
            for (const CnRecord& channel : group.channels)
                if (channel.position == cnLink) return {dataGroup.index, group.index, channel.channelIndex};
        }
    }
    return {};
}

std::vector<ChannelRef> resolveTriples(const HdRecord& header, const std::vector<std::int64_t>& links) {
    std::vector<ChannelRef> refs;
    for (std::size_t i = 0; i + 2 < links.size(); i += 3)
        refs.push_back(findChannel(header, links[i], links[i + 1], links[i + 2]));
    return refs;
}

}  // namespace

void resolveArrayReferences(CaRecord& array, const HdRecord& header) {
    array.dynamicSizeRefs = resolveTriples(header, array.ca_dynamic_size);
    array.inputRefs = resolveTriples(header, array.ca_input_quantity);
    array.axisRefs = resolveTriples(header, array.ca_axis);
    const auto output = resolveTriples(header, array.ca_output_quantity);
    array.outputRef = output.empty() ? ChannelRef{} : output.front();
    const auto comparison = resolveTriples(header, array.ca_comparison_quantity);
    array.comparisonRef = comparison.empty() ? ChannelRef{} : comparison.front();
    array.axisConversions.clear();
    for (std::int64_t link : array.ca_cc_axis_conversion)
        array.axisConversions.push_back(conversionIndexAt(header.conversions, link));
}

}  // namespace tarvik
