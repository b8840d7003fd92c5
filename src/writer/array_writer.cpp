#include "writer/array_writer.h"

#include <algorithm>

#include "blocks/block_header.h"
#include "writer/layout_target.h"

namespace tarvik {

using platform::kFailed;
using platform::kOk;

namespace {

constexpr std::uint32_t kChannelLinks = kCaDynamicSize | kCaInputQuantity | kCaOutputQuantity | kCaComparisonQuantity;

// The flags of an array: layout, and for a look-up table which links and axes it has.
std::uint32_t arrayFlags(const MF4Channel& channel, std::uint16_t dimensions, bool& fixedAxes) {
    std::uint32_t flags = channel.inverseLayout ? kCaInverseLayout : 0;
    fixedAxes = dimensions != 0;
    bool anyAxis = false, input = false, dynamic = false;
    for (std::uint16_t d = 0; d < dimensions; ++d) {
        const MF4Axis* axis = channel.axes[d];
        fixedAxes = fixedAxes && axis != nullptr && axis->axisKind == 0;
        anyAxis = anyAxis || (axis != nullptr && (axis->axisKind != 2 || axis->axisChannel >= 0 || axis->axisConversion >= 0));
        input = input || (axis != nullptr && axis->inputChannel >= 0);
        dynamic = dynamic || (axis != nullptr && axis->dynamicSizeChannel >= 0);
    }
    if (!channel.isLookup) return flags;
    if (dynamic) flags |= kCaDynamicSize;
    if (input) flags |= kCaInputQuantity;
    if (channel.outputChannel >= 0) flags |= kCaOutputQuantity;
    if (channel.comparisonChannel >= 0) flags |= kCaComparisonQuantity;
    if (fixedAxes || anyAxis) flags |= kCaAxis;
    if (fixedAxes) flags |= kCaFixedAxes;
    return flags;
}

}  // namespace

int ArrayWriter::write(const MF4Channel& channel, std::uint32_t elementBytes, std::int64_t& link) {
    Pending pending{{}, &channel};
    CaRecord& array = pending.record;
    const std::uint16_t dimensions = std::min<std::uint16_t>(channel.dimensionCount, 3);
    array.ca_type = channel.isLookup ? 2 : channel.isScalingAxis ? 1 : 0;
    array.ca_ndim = dimensions;
    array.ca_byte_offset_base = static_cast<std::int32_t>(elementBytes);
    array.ca_dim_size.assign(channel.dimensionSizes, channel.dimensionSizes + dimensions);
    bool fixedAxes = false;
    array.ca_flags = arrayFlags(channel, dimensions, fixedAxes);
    // Every link array starts zero; resolve() fills the ones that name channels.
    const std::uint64_t n = dimensions;
    if (array.ca_flags & kCaDynamicSize) array.ca_dynamic_size.assign(3 * n, 0);
    if (array.ca_flags & kCaInputQuantity) array.ca_input_quantity.assign(3 * n, 0);
    if (array.ca_flags & kCaOutputQuantity) array.ca_output_quantity.assign(3, 0);
    if (array.ca_flags & kCaComparisonQuantity) array.ca_comparison_quantity.assign(3, 0);
    if (array.ca_flags & kCaAxis) {
        for (std::uint16_t d = 0; d < dimensions; ++d)
            array.ca_cc_axis_conversion.push_back(channel.axes[d] ? target_.conversionLink(channel.axes[d]->axisConversion) : 0);
        if (!fixedAxes) array.ca_axis.assign(3 * n, 0);
    }
    for (std::uint16_t d = 0; fixedAxes && d < dimensions; ++d) {
        const MF4Axis& axis = *channel.axes[d];
        for (std::uint64_t v = 0; v < channel.dimensionSizes[d]; ++v)
            array.ca_axis_value.push_back(axis.values != nullptr && v < axis.valueCount ? axis.values[v] : 0.0);
    }
    ZtCCABlock400 block(array);
    if (writeBlock(target_.stream, block, array, "##CA") != kOk) return kFailed;
    link = array.position;
    if ((array.ca_flags & kChannelLinks) != 0 || !array.ca_axis.empty()) pending_.push_back(std::move(pending));
    return kOk;
}

int ArrayWriter::resolve(const std::function<void(std::int64_t, std::int64_t*)>& place) {
    for (Pending& pending : pending_) {
        CaRecord& array = pending.record;
        const MF4Channel& channel = *pending.channel;
        for (std::uint16_t d = 0; d < array.ca_ndim; ++d) {
            const MF4Axis* axis = channel.axes[d];
            if (axis == nullptr) continue;
            if (!array.ca_dynamic_size.empty()) place(axis->dynamicSizeChannel, &array.ca_dynamic_size[3 * d]);
            if (!array.ca_input_quantity.empty()) place(axis->inputChannel, &array.ca_input_quantity[3 * d]);
            if (!array.ca_axis.empty()) place(axis->axisChannel, &array.ca_axis[3 * d]);
        }
        if (!array.ca_output_quantity.empty()) place(channel.outputChannel, array.ca_output_quantity.data());
        if (!array.ca_comparison_quantity.empty()) place(channel.comparisonChannel, array.ca_comparison_quantity.data());
        // The block keeps its size: it is written again where it lies.
        ZtCCABlock400 block(array);
        if (target_.stream.seekWrite(static_cast<std::uint64_t>(array.position)) != kOk ||
            writeBlock(target_.stream, block, array, "##CA") != kOk)
            return kFailed;
    }
    return kOk;
}

}  // namespace tarvik
