#include "data/value_store.h"

#include <cstdlib>
#include <cstring>
#include <optional>
#include <vector>

#include "blocks/cn_block.h"
#include "content/value_type.h"
#include "blocks/data_source.h"
#include "content/value_kinds.h"
#include "xml/comment_parse.h"
#include "xml/xml_call_context.h"

namespace tarvik {

namespace {

bool isUtf16(const CnRecord& channel) { return channel.cn_data_type == 8 || channel.cn_data_type == 9; }

void swapPairs(std::uint8_t* bytes, std::size_t count) {
    for (std::size_t i = 0; i + 1 < count; i += 2) std::swap(bytes[i], bytes[i + 1]);
}

// The value of signal data at `offset`: its 4-byte length, with that many bytes behind it read
// into the front of `bytes`; nothing when the signal data does not hold them.
std::optional<std::uint32_t> readSignalValue(ZtCMF4Stream& stream, DataSource& source, std::uint64_t offset,
                                             std::vector<std::uint8_t>& bytes) {
    std::uint32_t length = 0;
    if (source.read(stream, offset, reinterpret_cast<std::uint8_t*>(&length), sizeof length) != sizeof length ||
        source.readInto(stream, offset + sizeof length, length, bytes) != length)
        return std::nullopt;
    return length;
}

// The comment of a look-up table says whether its values are stored Y before X.
bool storedYX(const CnRecord& channel) {
    if (channel.comment.kind != BlockKind::MD || !channel.comment.text) return false;
    XmlCallContext xml;
    const auto comment = parseCNComment(xml, *channel.comment.text, channel.version, nullptr);
    if (!comment || !comment->properties) return false;
    const ZtCE* order = comment->properties->find(u"ASAM.DimensionOrder");
    return order != nullptr && order->value == u"YX";
}

}  // namespace

bool selectionInside(const CaRecord& array, const std::uint64_t* indices) {
    for (std::size_t d = 0; d < array.ca_dim_size.size() && d < 3; ++d)
        if (indices[d] >= array.ca_dim_size[d]) return false;
    return true;
}

void* copyFixedString(const CnRecord& channel, const std::uint8_t* field) {
    const std::uint64_t byteCount = (std::uint64_t{channel.cn_bit_count} + 7) / 8;
    if (isUtf16(channel)) {
        std::uint64_t units = 0;
        while (units < byteCount / 2 && (field[2 * units] != 0 || field[2 * units + 1] != 0)) ++units;
        auto* copy = static_cast<std::uint8_t*>(std::calloc(units + 1, 2));
        if (copy == nullptr) return nullptr;
        std::memcpy(copy, field, 2 * std::size_t{units});
        if (channel.cn_data_type == 9) swapPairs(copy, 2 * std::size_t{units});
        return copy;
    }
    const std::size_t length = strnlen(reinterpret_cast<const char*>(field), byteCount);
    auto* copy = static_cast<char*>(std::calloc(length + 1, 1));
    if (copy != nullptr) std::memcpy(copy, field, length);
    return copy;
}

void readVariableLengthValues(ZtCMF4Stream& stream, ChannelEntry& entry) {
    OutputArea& area = entry.a;
    const bool strings = entry.valueType == kVtLpStr || entry.valueType == kVtLpWStr;
    // Only strings and byte arrays have values in signal data. A variable-length channel of a
    // numeric data type comes from a damaged file: its typed slots keep what the record held.
    if (area.item.values == nullptr || area.stored == 0 || (!strings && entry.valueType != kVtRecord)) return;
    DataSource source = DataSource::forSignalData(*entry.channel);
    std::vector<std::uint8_t> bytes;
    if (strings) {
        void** slots = static_cast<void**>(area.item.values);
        for (std::uint64_t v = 0; v < area.stored && v < entry.vlsdOffsets.size(); ++v) {
            slots[v] = nullptr;
            const std::optional<std::uint32_t> value = readSignalValue(stream, source, entry.vlsdOffsets[v], bytes);
            if (!value) continue;
            std::size_t length = *value;
            if (isUtf16(*entry.channel)) length &= ~std::size_t{1};
            // Two zero bytes more, so every string ends whatever the file holds.
            auto* copy = static_cast<std::uint8_t*>(std::calloc(length + 2, 1));
            if (copy == nullptr) continue;
            if (length != 0) std::memcpy(copy, bytes.data(), length);  // an empty value has no bytes at all
            if (entry.channel->cn_data_type == 9) swapPairs(copy, length);
            slots[v] = copy;
        }
        entry.vlsdOffsets.clear();
        entry.vlsdOffsets.shrink_to_fit();
        return;
    }
    // Byte arrays: each value goes to byteData as its length and bytes (a value the signal data
    // does not hold as an empty one); its slot then tells where that entry starts. The item's
    // `reserved` field bounds byteData in bytes (0: the caller sized it for every value); the
    // values from the first one that does not fit on are not stored.
    auto* slots = static_cast<std::uint8_t*>(area.item.values);
    auto* target = static_cast<std::uint8_t*>(area.item.byteData);
    const std::uint64_t room = target == nullptr ? 0 : area.item.reserved != 0 ? area.item.reserved : ~std::uint64_t{0};
    std::uint64_t written = 0;
    std::uint64_t kept = 0;
    for (; kept < area.stored; ++kept) {
        std::uint8_t* slot = slots + kept * entry.byteCount;
        const std::uint32_t length =
            readSignalValue(stream, source, signalDataOffset(slot, entry.byteCount), bytes).value_or(0);
        if (room - written < sizeof length || room - written - sizeof length < length) break;
        std::memcpy(target + written, &length, sizeof length);
        if (length != 0) std::memcpy(target + written + sizeof length, bytes.data(), length);
        std::memset(slot, 0, entry.byteCount);
        std::memcpy(slot, &written, std::min<std::size_t>(entry.byteCount, sizeof written));
        written += sizeof length + length;
    }
    if (kept < area.stored) {
        std::memset(slots + kept * entry.byteCount, 0, (area.stored - kept) * entry.byteCount);
        if (area.item.valuesStored != nullptr) *area.item.valuesStored = std::min(*area.item.valuesStored, kept);
    }
}

void transposeYXValues(ChannelEntry& entry, const ChannelRange& range) {
    const CaRecord& array = *entry.channel->array;
    if (entry.a.item.values == nullptr || !storedYX(*entry.channel)) return;
    const std::uint64_t d0 = array.ca_dim_size[0], d1 = array.ca_dim_size[1];
    const std::uint64_t d2 = array.ca_ndim > 2 ? array.ca_dim_size[2] : 1;
    const std::uint64_t perRecord = range.valuesPerRecord;
    if (perRecord == 0 || perRecord != d0 * d1 * d2) return;
    // Only records the caller's buffer holds whole are turned, so the scratch record is never
    // larger than that buffer.
    const std::uint64_t records = entry.a.stored / perRecord;
    if (records == 0) return;
    withNumericKind(entry.valueType, [&](auto type) {
        using T = decltype(type);
        T* values = static_cast<T*>(entry.a.item.values);
        std::vector<T> scratch(perRecord);
        for (std::uint64_t r = 0; r < records; ++r) {
            T* record = values + r * perRecord;
            for (std::uint64_t i = 0; i < d0; ++i)
                for (std::uint64_t j = 0; j < d1; ++j)
                    for (std::uint64_t k = 0; k < d2; ++k)
                        scratch[(i + j * d0) * d2 + k] = record[(i * d1 + j) * d2 + k];
            std::copy(scratch.begin(), scratch.end(), record);
        }
    });
}

}  // namespace tarvik
