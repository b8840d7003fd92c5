#include "writer/reduction_layout.h"

#include <cstdlib>

#include "blocks/ca_block.h"
#include "blocks/cc_block.h"
#include "blocks/cg_block.h"
#include "content/record_field.h"
#include "content/value_kinds.h"
#include "writer/write_session.h"

namespace tarvik {

namespace {

// True when the field's bytes lie inside a record part of `dataBytes` bytes.
bool inside(const ReducedField& field, std::uint32_t dataBytes) {
    const std::uint64_t bytes = (std::uint64_t{field.bitOffset} + field.bitCount + 7) / 8;
    return field.bitCount != 0 && bytes <= dataBytes && field.byteOffset <= dataBytes - bytes;
}

// Adds the field of every element, `step` bytes apart, that lies inside the record.
void addElements(ReductionLayout& layout, ReducedField field, std::uint64_t elements, std::uint64_t step) {
    // A damaged array cannot claim more elements than the record has bytes.
    if (step == 0) elements = 1;
    elements = std::min<std::uint64_t>(elements, std::uint64_t{layout.dataBytes} / std::max<std::uint64_t>(step, 1) + 1);
    const std::uint64_t first = field.byteOffset;
    for (std::uint64_t e = 0; e < elements; ++e) {
        const std::uint64_t offset = first + e * step;
        if (offset > layout.dataBytes) break;
        field.byteOffset = static_cast<std::uint32_t>(offset);
        if (inside(field, layout.dataBytes)) layout.fields.push_back(field);
    }
}

void addChannel(ReductionLayout& layout, const CnRecord& channel, const CnRecord* master) {
    for (const CnRecord& member : channel.children) addChannel(layout, member, master);
    if (&channel == master || channel.cn_type == kCnVariableLength || channel.cn_type == kCnVirtualMaster ||
        channel.cn_type == kCnVirtualData)
        return;
    const ReducedField field{valueTypeOf(channel.cn_data_type, channel.cn_bit_count, channel.cn_type),
                             channel.cn_byte_offset, channel.cn_bit_offset, channel.cn_bit_count,
                             isBigEndian(channel.cn_data_type, channel.cn_type)};
    if (!isNumericKind(field.valueType)) return;
    const CaRecord* array = channel.array.get();
    if (array != nullptr && array->ca_storage == 0 && array->elementCount != 0)
        addElements(layout, field, array->elementCount,
                    static_cast<std::uint64_t>(std::llabs(std::int64_t{array->ca_byte_offset_base})));
    else
        addElements(layout, field, 1, 0);
}

// A linear conversion that changes the value: offset and factor, else nothing.
void setTimeConversion(ReductionLayout& layout, bool linear, double offset, double factor) {
    if (!linear || factor == 0 || (offset == 0 && factor == 1)) return;
    layout.converted = true;
    layout.timeOffset = offset;
    layout.timeFactor = factor;
}

void addSlot(ReductionLayout& layout, const ChannelSlot& slot) {
    for (const ChannelSlot& member : slot.members) addSlot(layout, member);
    if (slot.variableLength() || !isNumericKind(slot.valueType)) return;
    const ReducedField field{slot.valueType, slot.byteOffset, slot.bitOffset, slot.bitCount, false};
    addElements(layout, field, slot.elements, (slot.bitCount + 7) / 8);
}

}  // namespace

ReductionLayout reductionLayout(const CgRecord& group, const std::vector<CcRecord>& conversions) {
    ReductionLayout layout;
    layout.dataBytes = group.cg_data_bytes;
    layout.stride = std::uint64_t{group.cg_data_bytes} + group.cg_inval_bytes;
    const CnRecord* master = group.masterChannel();
    if (master != nullptr) {
        const ReducedField field{valueTypeOf(master->cn_data_type, master->cn_bit_count, master->cn_type),
                                 master->cn_byte_offset, master->cn_bit_offset, master->cn_bit_count,
                                 isBigEndian(master->cn_data_type, master->cn_type)};
        if (isNumericKind(field.valueType) && inside(field, layout.dataBytes)) layout.master = field;
        if (master->conversionIndex >= 0 && static_cast<std::size_t>(master->conversionIndex) < conversions.size()) {
            const CcRecord& conversion = conversions[static_cast<std::size_t>(master->conversionIndex)];
            if (conversion.cc_val.size() >= 2)
                setTimeConversion(layout, conversion.cc_type == 1, conversion.cc_val[0], conversion.cc_val[1]);
        }
    }
    for (const CnRecord& channel : group.channels) addChannel(layout, channel, master);
    return layout;
}

ReductionLayout reductionLayout(const GroupSlot& group, const WriteSession& session) {
    ReductionLayout layout;
    layout.dataBytes = group.dataBytes;
    layout.stride = group.dataBytes;
    const ChannelSlot& master = group.master;
    const ReducedField field{master.valueType, master.byteOffset, master.bitOffset, master.bitCount, false};
    if (isNumericKind(field.valueType) && inside(field, layout.dataBytes)) layout.master = field;
    const MF4Content& content = *session.content;
    const std::int64_t conversion = group.group->masterConversion;
    if (conversion >= 0 && static_cast<std::uint64_t>(conversion) < content.conversionCount) {
        const MF4Conversion& rule = content.conversions[conversion];
        setTimeConversion(layout, rule.conversionType == 1, rule.parameters.linear[0], rule.parameters.linear[1]);
    }
    for (std::uint64_t index : group.channels) addSlot(layout, session.channels[index]);
    return layout;
}

}  // namespace tarvik
