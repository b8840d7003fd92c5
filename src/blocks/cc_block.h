// The conversion block (CC) and the file's conversion table: every conversion that channels,
// axes and other conversions refer to, in ascending file position.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "blocks/block.h"
#include "blocks/block_header.h"
#include "blocks/text_block.h"

namespace tarvik {

class ZtCReadContext;
struct DgRecord;

// One cc_ref of a conversion: a text (kind 0; also an empty or unusable ref) or another
// conversion (kind 1) named by its table index.
struct CcRefEntry {
    std::uint32_t kind = 0;
    std::optional<std::u16string> text;
    std::int64_t conversionIndex = -1;
};

struct CcRecord : BlockRecord {
    std::int64_t cc_tx_name = 0;
    std::int64_t cc_md_unit = 0;
    std::int64_t cc_md_comment = 0;
    std::int64_t cc_cc_inverse = 0;  // kept, not followed
    std::vector<std::int64_t> cc_ref;
    std::uint8_t cc_type = 0;
    std::uint8_t cc_precision = 0;
    std::uint16_t cc_flags = 0;
    std::uint16_t cc_ref_count = 0;
    std::uint16_t cc_val_count = 0;
    double cc_phy_range_min = 0;
    double cc_phy_range_max = 0;
    std::vector<double> cc_val;

    std::optional<std::u16string> name;
    TextRef unit;
    TextRef comment;
    std::int64_t tableIndex = -1;
    std::vector<CcRefEntry> refs;
};

template <typename Fields, typename Record>
void ccFixedFields(Fields& fields, Record& r) {
    fields(r.cc_type);
    fields(r.cc_precision);
    fields(r.cc_flags);
    fields(r.cc_ref_count);
    fields(r.cc_val_count);
    fields(r.cc_phy_range_min);
    fields(r.cc_phy_range_max);
}

class ZtCCCBlock final : public ZtCMF4Block {
public:
    explicit ZtCCCBlock(CcRecord& record) : record_(record) {}
    std::uint64_t linkCount() const override { return 4 + record_.cc_ref_count; }
    std::uint64_t blockSize() const override { return (linkCount() + record_.cc_val_count) * 8 + 48; }
    void release() override { record_ = CcRecord{}; }
    int write(ZtCMF4Stream& stream) override;

private:
    CcRecord& record_;
};

// Builds the conversion table of the data groups read: every conversion named by a channel
// (structure members included), an axis, or recursively a cc_ref, read in ascending position;
// channels, axes and refs get their table indices. kOk or kFailed.
int readConversionTable(ZtCReadContext& context, std::vector<DgRecord>& dataGroups,
                        std::vector<CcRecord>& table);

// The table index of the conversion at `position`, or -1.
std::int64_t conversionIndexAt(const std::vector<CcRecord>& table, std::int64_t position);

}  // namespace tarvik
