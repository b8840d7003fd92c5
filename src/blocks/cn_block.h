// The channel block (CN): one signal of a channel group, with its source, conversion, unit,
// comment and, for compositions, its structure members or its array.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "blocks/block.h"
#include "blocks/block_checks.h"
#include "blocks/block_header.h"
#include "blocks/ca_block.h"
#include "blocks/data_blocks.h"
#include "blocks/si_block.h"
#include "blocks/text_block.h"

namespace tarvik {

class ZtCReadContext;

// Channel types and data types the readers look at.
inline constexpr std::uint8_t kCnVariableLength = 1;
inline constexpr std::uint8_t kCnMaster = 2;
inline constexpr std::uint8_t kCnVirtualMaster = 3;
inline constexpr std::uint8_t kCnSynchronization = 4;
inline constexpr std::uint8_t kCnMaximumLength = 5;
inline constexpr std::uint8_t kCnVirtualData = 6;

struct CnRecord : BlockRecord {
    std::int64_t cn_cn_next = 0;
    std::int64_t cn_composition = 0;
    std::int64_t cn_tx_name = 0;
    std::int64_t cn_si_source = 0;
    std::int64_t cn_cc_conversion = 0;
    std::int64_t cn_data = 0;
    std::int64_t cn_md_unit = 0;
    std::int64_t cn_md_comment = 0;
    std::vector<std::int64_t> cn_at_reference;  // 4.10: (link count - 8) links
    std::uint8_t cn_type = 0;
    std::uint8_t cn_sync_type = 0;
    std::uint8_t cn_data_type = 0;
    std::uint8_t cn_bit_offset = 0;
    std::uint32_t cn_byte_offset = 0;
    std::uint32_t cn_bit_count = 0;
    std::uint32_t cn_flags = 0;
    std::uint32_t cn_inval_bit_pos = 0;
    std::uint8_t cn_precision = 0;
    std::uint8_t cn_reserved[3] = {};  // 3 bytes in 4.00, 1 in 4.10
    std::uint16_t cn_attachment_count = 0;  // 4.10
    double cn_val_range_min = 0;
    double cn_val_range_max = 0;
    double cn_limit_min = 0;
    double cn_limit_max = 0;
    double cn_limit_ext_min = 0;
    double cn_limit_ext_max = 0;

    std::optional<std::u16string> name;
    std::optional<SiRecord> source;
    TextRef unit;
    TextRef comment;
    std::int64_t conversionIndex = -1;   // in the file's conversion table
    std::int64_t attachmentIndex = -1;   // synchronisation channels: the attachment cn_data names
    std::vector<CnRecord> children;      // structure members
    std::unique_ptr<CaRecord> array;     // array composition
    DataStorage signalData;              // variable length: SD, DZ, DL or HL
    std::int64_t channelIndex = -1;
    std::int64_t groupIndex = -1;
    std::int64_t dataGroupIndex = -1;
};

template <typename Fields, typename Record>
void cnFixedLinks(Fields& fields, Record& r) {
    fields(r.cn_cn_next);
    fields(r.cn_composition);
    fields(r.cn_tx_name);
    fields(r.cn_si_source);
    fields(r.cn_cc_conversion);
    fields(r.cn_data);
    fields(r.cn_md_unit);
    fields(r.cn_md_comment);
}

// The data fields; `version` 410 has one reserved byte and the attachment count.
template <typename Fields, typename Record>
void cnDataFields(Fields& fields, Record& r, bool is410) {
    fields(r.cn_type);
    fields(r.cn_sync_type);
    fields(r.cn_data_type);
    fields(r.cn_bit_offset);
    fields(r.cn_byte_offset);
    fields(r.cn_bit_count);
    fields(r.cn_flags);
    fields(r.cn_inval_bit_pos);
    fields(r.cn_precision);
    if (is410) {
        fields.bytes(r.cn_reserved, 1);
        fields(r.cn_attachment_count);
    } else {
        fields.bytes(r.cn_reserved, 3);
    }
    fields(r.cn_val_range_min);
    fields(r.cn_val_range_max);
    fields(r.cn_limit_min);
    fields(r.cn_limit_max);
    fields(r.cn_limit_ext_min);
    fields(r.cn_limit_ext_max);
}

class ZtCCNBlock400 : public ZtCMF4Block {
public:
    explicit ZtCCNBlock400(CnRecord& record) : record_(record) {}
    std::uint64_t linkCount() const override { return 8; }
    std::uint64_t blockSize() const override { return linkCount() * 8 + 96; }
    void release() override { record_ = CnRecord{}; }
    int write(ZtCMF4Stream& stream) override;
    int read(ZtCReadContext& context) override;
    int checkHeader(ZtCReadContext& context) override;
    int checkLinks(ZtCReadContext& context) override;
    // Rejects virtual masters, unknown channel and sync types and data types above 10.
    int checkFields(ZtCReadContext& context) override;

protected:
    virtual bool is410() const { return false; }
    CnRecord& record_;
};

class ZtCCNBlock410 final : public ZtCCNBlock400 {
public:
    using ZtCCNBlock400::ZtCCNBlock400;
    std::uint64_t linkCount() const override { return 8 + record_.cn_attachment_count; }
    int read(ZtCReadContext& context) override;

protected:
    bool is410() const override { return true; }
};

// Reads the CN chain from `first` into `channels`: each channel with its texts, source,
// composition (structure members prefixed "prefix.name", or an array) and signal data. Rejected
// channels are left out and their full names appended to `rejected`. kOk or kFailed.
// `origin` names the link `first` came from, for the finding of a chain that leads back.
int readChannels(ZtCReadContext& context, std::int64_t first, const LinkOrigin& origin,
                 const std::u16string& prefix, std::vector<CnRecord>& channels,
                 std::vector<std::u16string>& rejected);

}  // namespace tarvik
