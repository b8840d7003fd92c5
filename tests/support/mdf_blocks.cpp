#include "support/mdf_blocks.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace tarvik::test {

namespace {

std::string zeros(std::size_t count) { return std::string(count, '\0'); }

std::string i16(std::int16_t value) { return u16(static_cast<std::uint16_t>(value)); }
std::string i32(std::int32_t value) { return u32(static_cast<std::uint32_t>(value)); }

}  // namespace

std::string hdData(const HdFields& f) {
    return u64(f.startTimeNs) + i16(f.tzOffsetMin) + i16(f.dstOffsetMin) + u8(f.timeFlags) +
           u8(f.timeClass) + u8(f.flags) + zeros(1) + f64(f.startAngleRad) + f64(f.startDistanceM);
}

std::string fhData(const FhFields& f) {
    return u64(f.timeNs) + i16(f.tzOffsetMin) + i16(f.dstOffsetMin) + u8(f.timeFlags) + zeros(3);
}

std::string dgData(std::uint8_t recIdSize) { return u8(recIdSize) + zeros(7); }

std::string cgData(const CgFields& f, std::uint16_t version) {
    std::string data = u64(f.recordId) + u64(f.cycleCount) + u16(f.flags);
    data += version >= 410 ? u16(f.pathSeparator) + zeros(4) : zeros(6);
    return data + u32(f.dataBytes) + u32(f.invalBytes);
}

std::string cnData(const CnFields& f, std::uint16_t version) {
    std::string data = u8(f.type) + u8(f.syncType) + u8(f.dataType) + u8(f.bitOffset) +
                       u32(f.byteOffset) + u32(f.bitCount) + u32(f.flags) + u32(f.invalBitPos) +
                       u8(f.precision);
    data += version >= 410 ? zeros(1) + u16(f.attachmentCount) : zeros(3);
    return data + f64(f.valRangeMin) + f64(f.valRangeMax) + f64(f.limitMin) + f64(f.limitMax) +
           f64(f.limitExtMin) + f64(f.limitExtMax);
}

std::string ccData(const CcFields& f) {
    std::string data = u8(f.type) + u8(f.precision) + u16(f.flags) + u16(f.refCount) +
                       u16(static_cast<std::uint16_t>(f.values.size())) + f64(f.phyRangeMin) +
                       f64(f.phyRangeMax);
    for (double value : f.values) data += f64(value);
    return data;
}

std::string siData(std::uint8_t type, std::uint8_t busType, std::uint8_t flags) {
    return u8(type) + u8(busType) + u8(flags) + zeros(5);
}

std::string caData(const CaFields& f) {
    std::string data = u8(f.type) + u8(f.storage) +
                       u16(static_cast<std::uint16_t>(f.dimSizes.size())) + u32(f.flags) +
                       i32(f.byteOffsetBase) + u32(f.invalBitPosBase);
    for (std::uint64_t size : f.dimSizes) data += u64(size);
    for (double value : f.axisValues) data += f64(value);
    return data;
}

std::string evData(const EvFields& f) {
    return u8(f.type) + u8(f.syncType) + u8(f.rangeType) + u8(f.cause) + u8(f.flags) + zeros(3) +
           u32(f.scopeCount) + u16(f.attachmentCount) + u16(f.creatorIndex) + i64(f.syncBaseValue) +
           f64(f.syncFactor);
}

std::string atData(const AtFields& f, std::string_view embedded) {
    std::string md5 = f.md5;
    md5.resize(16, '\0');
    return u16(f.flags) + u16(f.creatorIndex) + zeros(4) + md5 + u64(f.originalSize) +
           u64(f.embeddedSize) + std::string(embedded);
}

std::string srData(const SrFields& f) {
    return u64(f.cycleCount) + f64(f.interval) + u8(f.syncType) + u8(f.flags) + zeros(6);
}

std::string deflated(std::string_view bytes) {
    uLongf size = compressBound(static_cast<uLong>(bytes.size()));
    std::string out(size, '\0');
    if (compress2(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(bytes.data()),
                  static_cast<uLong>(bytes.size()), 6) != Z_OK)
        throw std::runtime_error("compress2 failed");
    out.resize(size);
    return out;
}

std::string dzData(std::string_view original, std::uint8_t zipType, std::uint32_t columns, std::string_view blockType) {
    std::string stored(original);
    if (zipType == 1 && columns != 0) {
        const std::size_t rows = original.size() / columns;
        for (std::size_t r = 0; r < rows; ++r)
            for (std::size_t c = 0; c < columns; ++c) stored[c * rows + r] = original[r * columns + c];
    }
    const std::string packed = deflated(stored);
    return std::string(blockType.substr(0, 2)) + u8(zipType) + u8(0) + u32(columns) + u64(original.size()) +
           u64(packed.size()) + packed;
}

std::string dlEqualLengthData(std::uint32_t count, std::uint64_t equalLength) {
    return u8(1) + zeros(3) + u32(count) + u64(equalLength);
}

std::string dlOffsetData(const std::vector<std::uint64_t>& offsets) {
    std::string data = u8(0) + zeros(3) + u32(static_cast<std::uint32_t>(offsets.size()));
    for (std::uint64_t offset : offsets) data += u64(offset);
    return data;
}

std::string blockBytes(std::string_view id, const std::vector<std::int64_t>& links,
                       std::string_view data) {
    if (id.size() != 4) throw std::invalid_argument("block ids have four characters");
    std::string bytes =
        std::string(id) + zeros(4) + u64(24 + 8 * links.size() + data.size()) + u64(links.size());
    for (std::int64_t link : links) bytes += i64(link);
    return bytes + std::string(data);
}

std::int64_t addBlock(MdfBuilder& file, std::string_view id, const std::vector<std::int64_t>& links,
                      std::string_view data) {
    file.append(zeros((8 - file.bytes().size() % 8) % 8));
    const auto position = static_cast<std::int64_t>(file.bytes().size());
    file.append(blockBytes(id, links, data));
    return position;
}

std::int64_t addChannel(MdfBuilder& file, std::string_view name, const CnFields& fields, std::int64_t next,
                        std::int64_t composition, std::int64_t conversion, std::int64_t data) {
    const std::int64_t text = name.empty() ? 0 : file.addText("##TX", name);
    return file.addBlock("##CN", {next, composition, text, 0, conversion, data, 0, 0}, cnData(fields));
}

void setRecordBytes(MdfBuilder& file, std::int64_t cg, std::uint32_t bytes) {
    patchBytes(file, linkAt(cg, 6) + 24, u32(bytes));
}

void setLink(MdfBuilder& file, std::int64_t position, unsigned index, std::int64_t target) {
    file.patchU64(linkAt(position, index), static_cast<std::uint64_t>(target));
}

void patchBytes(MdfBuilder& file, std::uint64_t offset, std::string_view bytes) {
    const std::uint64_t size = file.bytes().size();
    if (size < 8 || offset + bytes.size() > size) throw std::out_of_range("patch beyond the file");
    for (std::uint64_t done = 0; done < bytes.size();) {
        // Rewrite the 8-byte word around the next byte, keeping its other bytes.
        const std::uint64_t word = std::min(offset + done, size - 8);
        std::uint64_t value = 0;
        std::memcpy(&value, file.bytes().data() + word, 8);
        auto* raw = reinterpret_cast<char*>(&value);
        for (; done < bytes.size() && offset + done < word + 8; ++done)
            raw[offset + done - word] = bytes[done];
        file.patchU64(word, value);
    }
}

std::string minimalRecord(double time, std::uint16_t value) { return f64(time) + u16(value); }

MinimalFile makeMinimalFile(const MinimalFileFields& fields) {
    MinimalFile m{MdfBuilder(fields.version == 400 ? "4.00    " : "4.10    ")};
    MdfBuilder& file = m.file;
    // Links are patched once the blocks they point to exist.
    m.hd =
        file.addBlock("##HD", {0, 0, 0, 0, 0, 0}, hdData(fields.hd) + zeros(fields.hdExtraBytes));
    if (fields.withHistory) {
        const auto comment =
            file.addText("##MD",
                         "<FHcomment xmlns=\"http://www.asam.net/mdf/v4\"><TX>created</TX>"
                         "<tool_id>tarvik tests</tool_id><tool_vendor>tarvik</tool_vendor>"
                         "<tool_version>1.0</tool_version></FHcomment>");
        m.fh = file.addBlock("##FH", {0, comment}, fhData({}));
        setLink(file, m.hd, 1, m.fh);
    }
    m.dg = file.addBlock("##DG", {0, 0, 0, 0}, dgData(fields.dgRecIdSize));
    m.cg =
        file.addBlock("##CG", {0, 0, 0, 0, 0, 0},
                      cgData({.cycleCount = fields.recordCount, .dataBytes = 10}, fields.version));
    if (!fields.acquisitionName.empty())
        setLink(file, m.cg, 2, file.addText("##TX", fields.acquisitionName));
    const auto timeName = file.addText("##TX", fields.timeName);
    m.timeChannel =
        file.addBlock("##CN", {0, 0, timeName, 0, 0, 0, 0, 0}, cnData(fields.time, fields.version));
    const auto valueName = file.addText("##TX", fields.valueName);
    m.valueChannel = file.addBlock("##CN", {0, 0, valueName, 0, 0, 0, 0, 0},
                                   cnData(fields.value, fields.version));
    std::string records;
    for (std::uint32_t i = 0; i < fields.recordCount; ++i)
        records += minimalRecord(0.01 * i, static_cast<std::uint16_t>(100 + i));
    m.dt = file.addBlock("##DT", {}, records);

    setLink(file, m.hd, 0, m.dg);
    setLink(file, m.dg, 1, m.cg);
    setLink(file, m.dg, 2, m.dt);
    setLink(file, m.cg, 1, m.timeChannel);
    setLink(file, m.timeChannel, 0, m.valueChannel);
    return m;
}

}  // namespace tarvik::test
