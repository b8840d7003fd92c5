#include "blocks/ca_block.h"

#include "blocks/block_checks.h"
#include "blocks/field_io.h"
#include "blocks/hd_block.h"
#include "blocks/read_context.h"
#include "findings/detail_format.h"
#include "findings/findings.h"

namespace tarvik {

using platform::kFailed;
using platform::kOk;

namespace {

constexpr std::string_view kName = "CA Block";

// The link arrays of a CA in file order, with the flag that makes each present and its size.
struct LinkArray {
    std::vector<std::int64_t> CaRecord::*member;
    const char* name;
    bool present;
    std::uint64_t count;
};

std::vector<LinkArray> linkArrays(std::uint32_t flags, std::uint16_t ndim) {
    const std::uint64_t n = ndim;
    return {
        {&CaRecord::ca_dynamic_size, "ca_dynamic_size", (flags & kCaDynamicSize) != 0, 3 * n},
        {&CaRecord::ca_input_quantity, "ca_input_quantity", (flags & kCaInputQuantity) != 0, 3 * n},
        {&CaRecord::ca_output_quantity, "ca_output_quantity", (flags & kCaOutputQuantity) != 0, 3},
        {&CaRecord::ca_comparison_quantity, "ca_comparison_quantity", (flags & kCaComparisonQuantity) != 0, 3},
        {&CaRecord::ca_cc_axis_conversion, "ca_cc_axis_conversion", (flags & kCaAxis) != 0, n},
        {&CaRecord::ca_axis, "ca_axis", (flags & kCaAxis) != 0 && (flags & kCaFixedAxes) == 0, 3 * n},
    };
}

std::uint64_t axisValueCount(const CaRecord& r) {
    if ((r.ca_flags & kCaFixedAxes) == 0) return 0;
    std::uint64_t sum = 0;
    for (std::uint64_t size : r.ca_dim_size) sum = size > UINT64_MAX - sum ? UINT64_MAX : sum + size;
    return sum;
}

template <typename Fields, typename Record>
void caFixedFields(Fields& fields, Record& r) {
    fields(r.ca_type);
    fields(r.ca_storage);
    fields(r.ca_ndim);
    fields(r.ca_flags);
    fields(r.ca_byte_offset_base);
    fields(r.ca_inval_bit_pos_base);
}

std::uint64_t elementCountOf(const std::vector<std::uint64_t>& sizes) {
    if (sizes.empty() || sizes.size() > 3) return 0;
    std::uint64_t product = 1;
    for (std::uint64_t size : sizes) product = size != 0 && product > UINT64_MAX / size ? 0 : product * size;
    return product;
}

const char* caTypeText(std::uint8_t type) { return type == 3 ? "Interval axis" : "Classification result"; }

}  // namespace

std::uint64_t caLinkCount(std::uint32_t flags, std::uint16_t ndim) {
    std::uint64_t links = 1;
    for (const LinkArray& array : linkArrays(flags, ndim))
        if (array.present) links += array.count;
    return links;
}

std::uint64_t ZtCCABlock400::linkCount() const { return caLinkCount(record_.ca_flags, record_.ca_ndim); }

std::uint64_t ZtCCABlock400::blockSize() const {
    return (linkCount() + record_.ca_ndim) * 8 + 40 + 8 * axisValueCount(record_);
}

int ZtCCABlock400::write(ZtCMF4Stream& stream) {
    FieldWriter fields(stream);
    fields(record_.ca_composition);
    for (const LinkArray& array : linkArrays(record_.ca_flags, record_.ca_ndim))
        if (array.present)
            for (std::int64_t link : record_.*array.member) fields(link);
    caFixedFields(fields, record_);
    for (std::uint64_t size : record_.ca_dim_size) fields(size);
    for (double value : record_.ca_axis_value) fields(value);
    return fields.status();
}

int ZtCCABlock400::read(ZtCReadContext& context) {
    ZtCMF4Stream& stream = context.stream;
    const std::uint64_t links = record_.header.linkCount;
    const std::uint64_t base = static_cast<std::uint64_t>(record_.position) + kBlockHeaderSize;
    // The data section comes first: its flags and dimensions say which links there are.
    if (links > UINT64_MAX / 16 || stream.seekRead(base + 8 * links) != kOk) return kFailed;
    CountedFieldReader fields(stream, dataSectionLength(record_));
    caFixedFields(fields, record_);
    if (fields.status() != kOk) return kFailed;
    if (!fitsInFile(context, record_.ca_ndim, 8)) return kFailed;
    record_.ca_dim_size.assign(record_.ca_ndim, 0);
    for (std::uint64_t& size : record_.ca_dim_size) fields(size);
    record_.elementCount = elementCountOf(record_.ca_dim_size);
    const std::uint64_t axisValues = axisValueCount(record_);
    if (!fitsInFile(context, axisValues, 8)) return kFailed;
    record_.ca_axis_value.assign(axisValues, 0.0);
    for (double& value : record_.ca_axis_value) fields(value);
    if (fields.status() != kOk) return kFailed;

    if (stream.seekRead(base) != kOk) return kFailed;
    CountedFieldReader linkFields(stream, 8 * links);
    linkFields(record_.ca_composition);
    for (const LinkArray& array : linkArrays(record_.ca_flags, record_.ca_ndim)) {
        if (!array.present) continue;
        std::vector<std::int64_t>& target = record_.*array.member;
        target.assign(array.count, 0);
        for (std::int64_t& link : target) linkFields(link);
    }
    if (linkFields.status() != kOk) return kFailed;
    checkLinks(context);
    return checkFields(context);
}

int ZtCCABlock400::checkHeader(ZtCReadContext& context) {
    checkHeaderShape(context, record_, {"##CA", kName, 1, 56, SizeRule::Minimum});
    return kOk;
}

int ZtCCABlock400::checkLinks(ZtCReadContext& context) {
    checkLinkAlignment(context, kName, record_.position, "ca_composition", record_.ca_composition);
    for (const LinkArray& array : linkArrays(record_.ca_flags, record_.ca_ndim))
        for (std::int64_t link : record_.*array.member)
            checkLinkAlignment(context, kName, record_.position, array.name, link);
    if (record_.ca_composition != 0)
        context.structureFindings->addFileWarning(126, formatDetail(126, {record_.position, record_.ca_composition}));
    return kOk;
}

int ZtCCABlock400::checkFields(ZtCReadContext& context) {
    if (record_.ca_type == 3 || record_.ca_type == 4) {
        const std::string_view text = caTypeText(record_.ca_type);
        context.structureFindings->addFileWarning(
            118, formatDetail(118, {record_.position, std::int32_t{record_.ca_type},
                                    std::u16string_view(std::u16string(text.begin(), text.end()))}));
    } else if (record_.ca_type > 4) {
        raiseFieldRange(context, kName, record_.position, "ca_type", record_.ca_type);
    }
    if (record_.ca_storage == 1 || record_.ca_storage == 2)
        context.structureFindings->addFileWarning(127, formatDetail(127, {record_.position, std::int32_t{record_.ca_storage}}));
    else if (record_.ca_storage > 2)
        raiseFieldRange(context, kName, record_.position, "ca_storage", record_.ca_storage);
    return kOk;  // the array is kept in every case
}

int readChannelArray(ZtCReadContext& context, std::int64_t link, CaRecord& record) {
    record = CaRecord{};
    if (openBlock(context, link, "##CA", record) != kOk) return kFailed;
    ZtCCABlock410 versioned(record);
    ZtCCABlock400 plain(record);
    ZtCCABlock400& block = context.version == 410 ? versioned : plain;
    block.checkHeader(context);
    return block.read(context);
}

}  // namespace tarvik
