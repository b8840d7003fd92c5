// Typed helpers on top of MdfBuilder: the data sections of MDF 4 blocks encoded byte by byte
// from field values (the part of a block after its links), and a composer for a small valid
// sorted 4.10 file whose pieces a test can change before or after it is built. Written from
// the file format alone, never from the library's own block classes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "support/mdf_builder.h"

namespace tarvik::test {

struct HdFields {
    std::uint64_t startTimeNs = 1'600'000'000'000'000'000;
    std::int16_t tzOffsetMin = 60;
    std::int16_t dstOffsetMin = 0;
    std::uint8_t timeFlags = 2;  // bit 1: the offsets are valid
    std::uint8_t timeClass = 0;
    std::uint8_t flags = 0;
    double startAngleRad = 0;
    double startDistanceM = 0;
};
std::string hdData(const HdFields& fields);

struct FhFields {
    std::uint64_t timeNs = 1'600'000'000'000'000'000;
    std::int16_t tzOffsetMin = 60;
    std::int16_t dstOffsetMin = 0;
    std::uint8_t timeFlags = 2;
};
std::string fhData(const FhFields& fields);

std::string dgData(std::uint8_t recIdSize);

struct CgFields {
    std::uint64_t recordId = 0;
    std::uint64_t cycleCount = 0;
    std::uint16_t flags = 0;          // bit 0: variable-length signal data group
    std::uint16_t pathSeparator = 0;  // 4.10 only
    std::uint32_t dataBytes = 0;
    std::uint32_t invalBytes = 0;
};
// `version` 410 has the path separator and 4 reserved bytes, 400 six reserved bytes.
std::string cgData(const CgFields& fields, std::uint16_t version = 410);

struct CnFields {
    std::uint8_t type = 0;      // 2 master
    std::uint8_t syncType = 0;  // 1 time
    std::uint8_t dataType = 0;  // 0 unsigned LE, 4 IEEE float LE
    std::uint8_t bitOffset = 0;
    std::uint32_t byteOffset = 0;
    std::uint32_t bitCount = 0;
    std::uint32_t flags = 0;
    std::uint32_t invalBitPos = 0;
    std::uint8_t precision = 0;
    std::uint16_t attachmentCount = 0;  // 4.10 only
    double valRangeMin = 0;
    double valRangeMax = 0;
    double limitMin = 0;
    double limitMax = 0;
    double limitExtMin = 0;
    double limitExtMax = 0;
};
// `version` 410 has one reserved byte and the attachment count, 400 three reserved bytes.
std::string cnData(const CnFields& fields, std::uint16_t version = 410);

struct CcFields {
    std::uint8_t type = 0;  // 1 linear, 6 value range to value table, ...
    std::uint8_t precision = 0;
    std::uint16_t flags = 0;
    std::uint16_t refCount = 0;
    double phyRangeMin = 0;
    double phyRangeMax = 0;
    std::vector<double> values{};  // cc_val; cc_val_count is its size
};
std::string ccData(const CcFields& fields);

std::string siData(std::uint8_t type, std::uint8_t busType, std::uint8_t flags = 0);

struct CaFields {
    std::uint8_t type = 0;
    std::uint8_t storage = 0;
    std::uint32_t flags = 0;
    std::int32_t byteOffsetBase = 0;
    std::uint32_t invalBitPosBase = 0;
    std::vector<std::uint64_t> dimSizes{};  // ca_ndim is its size
    std::vector<double> axisValues{};       // written only when given (fixed axes, bit 5)
};
std::string caData(const CaFields& fields);

struct EvFields {
    std::uint8_t type = 0;       // 2 acquisition interrupt, 6 marker
    std::uint8_t syncType = 1;   // 1 time
    std::uint8_t rangeType = 0;  // 0 point, 1 begin, 2 end
    std::uint8_t cause = 0;
    std::uint8_t flags = 0;
    std::uint32_t scopeCount = 0;
    std::uint16_t attachmentCount = 0;
    std::uint16_t creatorIndex = 0;
    std::int64_t syncBaseValue = 0;
    double syncFactor = 1.0;
};
std::string evData(const EvFields& fields);

struct AtFields {
    std::uint16_t flags = 1;  // bit 0: embedded
    std::uint16_t creatorIndex = 0;
    std::string md5 = std::string(16, '\0');
    std::uint64_t originalSize = 0;
    std::uint64_t embeddedSize = 0;
};
// The fields followed by the embedded bytes.
std::string atData(const AtFields& fields, std::string_view embedded = {});

struct SrFields {
    std::uint64_t cycleCount = 0;
    double interval = 1.0;
    std::uint8_t syncType = 1;
    std::uint8_t flags = 0;
};
std::string srData(const SrFields& fields);

// The zlib stream of `bytes` (deflate at level 6).
std::string deflated(std::string_view bytes);

// The data of a DZ block holding `original` (of block type `blockType`): zip type 0 deflates it
// as it is, zip type 1 first transposes it into `columns` columns (the bytes beyond whole rows
// stay at the end).
std::string dzData(std::string_view original, std::uint8_t zipType, std::uint32_t columns,
                   std::string_view blockType = "DT");

std::string dlEqualLengthData(std::uint32_t count, std::uint64_t equalLength);
std::string dlOffsetData(const std::vector<std::uint64_t>& offsets);

// A whole block (header, links, data) as bytes, length from its parts, for blocks a test wants
// to place where the builder would not put them (for example at an offset not a multiple of 8).
std::string blockBytes(std::string_view id, const std::vector<std::int64_t>& links,
                       std::string_view data);

// Appends a block whose links are only known at run time (the builder takes a fixed list).
std::int64_t addBlock(MdfBuilder& file, std::string_view id, const std::vector<std::int64_t>& links,
                      std::string_view data);

// Appends a CN block named `name` (no name when empty) with the given links (4.10 layout).
std::int64_t addChannel(MdfBuilder& file, std::string_view name, const CnFields& fields, std::int64_t next = 0,
                        std::int64_t composition = 0, std::int64_t conversion = 0, std::int64_t data = 0);

// Sets cg_data_bytes, the record size, of the 4.10 CG block at `cg`.
void setRecordBytes(MdfBuilder& file, std::int64_t cg, std::uint32_t bytes);

// File offset of link `index` of the block at `position`.
constexpr std::uint64_t linkAt(std::int64_t position, unsigned index) {
    return static_cast<std::uint64_t>(position) + 24 + 8 * index;
}

// Sets link `index` of the block at `position` to `target`.
void setLink(MdfBuilder& file, std::int64_t position, unsigned index, std::int64_t target);

// Overwrites bytes in place (fields narrower than a link), through the builder's 8-byte patch.
void patchBytes(MdfBuilder& file, std::uint64_t offset, std::string_view bytes);

// What the minimal file is made of; change a field before building it.
struct MinimalFileFields {
    std::uint16_t version = 410;  // 400 or 410: the version text and the CG/CN layouts
    HdFields hd{};
    std::uint32_t hdExtraBytes = 0;  // zero bytes after the HD fields (a longer HD)
    bool withHistory = true;         // an FH block with an MD comment
    std::uint8_t dgRecIdSize = 0;
    std::string acquisitionName = "Acq";  // empty: no cg_tx_acq_name
    std::string timeName = "time";
    std::string valueName = "value";
    CnFields time{.type = 2, .syncType = 1, .dataType = 4, .bitCount = 64};
    CnFields value{.dataType = 0, .byteOffset = 8, .bitCount = 16};
    std::uint32_t recordCount = 3;
};

// A sorted file (4.10 unless the fields say 400): HD, FH (with an MD comment), one DG with one CG
// holding a float64 time master and a uint16 channel, a DT with the records. Tests append further
// blocks to `file` and link them in with setLink.
struct MinimalFile {
    MdfBuilder file;
    std::int64_t hd = 0, fh = 0, dg = 0, cg = 0, timeChannel = 0, valueChannel = 0, dt = 0;
};
MinimalFile makeMinimalFile(const MinimalFileFields& fields = {});

// Record bytes of the minimal file's channel group: time (float64) then value (uint16).
std::string minimalRecord(double time, std::uint16_t value);

}  // namespace tarvik::test
