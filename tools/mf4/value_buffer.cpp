#include "value_buffer.h"

#include <algorithm>

#include "host_text.h"
#include "platform/text.h"

namespace mf4tool {

void ValueBuffer::reserve(std::uint64_t records) {
    releaseTexts();
    records_ = records;
    const std::uint64_t slots = records * layout_.elementsPerRecord;
    if (layout_.isText()) {
        texts_.assign(slots, nullptr);
        storage_.clear();
    } else {
        storage_.resize(records * layout_.bytesPerRecord());
        texts_.clear();
    }
}

void ValueBuffer::bind(MF4ReadItem& item) {
    releaseTexts();
    total_ = eventsStored_ = eventsTotal_ = 0;
    if (layout_.isText()) {
        item.valueKind = layout_.valueType;
        item.values = texts_.empty() ? nullptr : texts_.data();
    } else {
        item.values = storage_.empty() ? nullptr : storage_.data();
    }
    // Byte values are counted in records, numbers and strings in elements; a layout without
    // a size (a group with no numeric master) takes no values at all.
    if (layout_.bytesPerElement == 0)
        item.capacity = 0;
    else
        item.capacity = layout_.isBytes() ? records_ : records_ * layout_.elementsPerRecord;
    item.valuesStored = &stored_;
    item.valuesTotal = &total_;
    item.eventsStored = &eventsStored_;
    item.eventsTotal = &eventsTotal_;
}

std::uint64_t ValueBuffer::recordsStored() const { return std::min(stored_, records_); }

const std::byte* ValueBuffer::number(std::uint64_t record, std::uint64_t element) const {
    return storage_.data() + slotOf(record, element) * layout_.bytesPerElement;
}

std::string ValueBuffer::text(std::uint64_t record, std::uint64_t element) const {
    const void* value = texts_[slotOf(record, element)];
    if (value == nullptr) return {};
    if (layout_.valueType == kText16) return toTerminalText(static_cast<const MF4Char*>(value));
    const std::string_view stored(static_cast<const char*>(value));
    if (!layout_.latin1) return std::string(stored);
    return tarvik::platform::utf16ToUtf8(tarvik::platform::latin1ToUtf16(stored));
}

std::span<const std::byte> ValueBuffer::bytes(std::uint64_t record, std::uint64_t element) const {
    return {number(record, element), static_cast<std::size_t>(layout_.bytesPerElement)};
}

void ValueBuffer::releaseTexts() {
    // Only the slots the last read filled hold strings of the library.
    const std::uint64_t filled = recordsStored() * layout_.elementsPerRecord;
    if (filled > 0 && !texts_.empty())
        FreeStrings(texts_.data(), filled, layout_.valueType == kText16 ? 1 : 0);
    stored_ = 0;
    std::fill(texts_.begin(), texts_.end(), nullptr);
}

}  // namespace mf4tool
