// The channel array block (CA): the dimensions of an array channel, its fixed axis values and
// the channels and conversions its axes refer to.
#pragma once

#include <cstdint>
#include <vector>

#include "blocks/block.h"
#include "blocks/block_header.h"

namespace tarvik {

class ZtCReadContext;
struct HdRecord;

// Bits of ca_flags.
inline constexpr std::uint32_t kCaDynamicSize = 1u << 0;
inline constexpr std::uint32_t kCaInputQuantity = 1u << 1;
inline constexpr std::uint32_t kCaOutputQuantity = 1u << 2;
inline constexpr std::uint32_t kCaComparisonQuantity = 1u << 3;
inline constexpr std::uint32_t kCaAxis = 1u << 4;
inline constexpr std::uint32_t kCaFixedAxes = 1u << 5;
inline constexpr std::uint32_t kCaInverseLayout = 1u << 6;

// A channel named by the positions of its data group, channel group and channel, resolved into
// indices; -1 where not found.
struct ChannelRef {
    std::int64_t dataGroup = -1;
    std::int64_t group = -1;
    std::int64_t channel = -1;
};

struct CaRecord : BlockRecord {
    std::int64_t ca_composition = 0;
    std::vector<std::int64_t> ca_dynamic_size;        // 3 per dimension (bit 0)
    std::vector<std::int64_t> ca_input_quantity;      // 3 per dimension (bit 1)
    std::vector<std::int64_t> ca_output_quantity;     // 3 (bit 2)
    std::vector<std::int64_t> ca_comparison_quantity; // 3 (bit 3)
    std::vector<std::int64_t> ca_cc_axis_conversion;  // 1 per dimension (bit 4)
    std::vector<std::int64_t> ca_axis;                // 3 per dimension (bit 4 without bit 5)
    std::uint8_t ca_type = 0;     // 0 array, 1 scaling axis, 2 look-up
    std::uint8_t ca_storage = 0;  // 0 in the CN's own record
    std::uint16_t ca_ndim = 0;
    std::uint32_t ca_flags = 0;
    std::int32_t ca_byte_offset_base = 0;
    std::uint32_t ca_inval_bit_pos_base = 0;
    std::vector<std::uint64_t> ca_dim_size;
    std::vector<double> ca_axis_value;  // sum of the dimension sizes (bit 5)

    std::uint64_t elementCount = 0;  // product of 1 to 3 dimension sizes; 0 for more
    // Look-up arrays: the references above resolved, and the axis conversions' table indices.
    std::vector<ChannelRef> dynamicSizeRefs, inputRefs, axisRefs;
    ChannelRef outputRef, comparisonRef;
    std::vector<std::int64_t> axisConversions;
};

// Links a CA has for its flags and dimension count.
std::uint64_t caLinkCount(std::uint32_t flags, std::uint16_t ndim);

class ZtCCABlock400 : public ZtCMF4Block {
public:
    explicit ZtCCABlock400(CaRecord& record) : record_(record) {}
    std::uint64_t linkCount() const override;
    std::uint64_t blockSize() const override;
    void release() override { record_ = CaRecord{}; }
    int write(ZtCMF4Stream& stream) override;
    int read(ZtCReadContext& context) override;
    int checkHeader(ZtCReadContext& context) override;
    int checkLinks(ZtCReadContext& context) override;
    int checkFields(ZtCReadContext& context) override;

    // The version-specific field of the CA classes.
    void setByteOffsetBase(std::int32_t value) { record_.ca_byte_offset_base = value; }
    std::int32_t byteOffsetBase() const { return record_.ca_byte_offset_base; }

protected:
    CaRecord& record_;
};

// Format 4.10 stores arrays exactly as 4.00 does.
class ZtCCABlock410 final : public ZtCCABlock400 {
public:
    using ZtCCABlock400::ZtCCABlock400;
};

// Reads the CA at `link` with the class of the file's version. kOk or kFailed.
int readChannelArray(ZtCReadContext& context, std::int64_t link, CaRecord& record);

// Replaces the (DG, CG, CN) position triples of a look-up array by indices, and its axis
// conversion links by conversion table indices.
void resolveArrayReferences(CaRecord& record, const HdRecord& header);

}  // namespace tarvik
