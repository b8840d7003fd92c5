#include "physical_values.h"

#include "host_text.h"
#include "one_line.h"
#include "tree_arrays.h"

namespace mf4tool {

namespace {

std::string withUnit(std::string title, const std::string& unit) {
    return unit.empty() ? title : title + " [" + unit + ']';
}

}  // namespace

PhysicalTexts::PhysicalTexts(const MF4Content& content, std::int64_t conversion)
    : content_(content), conversion_(conversion) {
    std::uint32_t yields = MF4_YIELDS_NUMBERS;
    if (MF4ConversionYields(&content, conversion, &yields) != MF4_CONVERT_FAILED)
        yieldsTexts_ = yields == MF4_YIELDS_TEXTS;
}

void PhysicalTexts::convert(const ValueBuffer& values) {
    MF4FreeConvertedTexts(buffer_);
    buffer_ = nullptr;
    converted_ = false;
    const ValueLayout& layout = values.layout();
    elementsPerRecord_ = layout.elementsPerRecord;
    if (layout.isText() || layout.isBytes() || layout.bytesPerElement == 0) return;
    const std::uint64_t count = values.recordsStored() * layout.elementsPerRecord;
    texts_.assign(count, nullptr);
    const void* raw = count == 0 ? nullptr : values.number(0, 0);
    const std::uint32_t result = MF4ConvertTexts(&content_, conversion_, layout.valueType, raw, count,
                                                 texts_.data(), &buffer_);
    converted_ = result != MF4_CONVERT_FAILED;
}

std::string PhysicalTexts::text(std::uint64_t record, std::uint64_t element) const {
    return toTerminalText(texts_[record * elementsPerRecord_ + element]);
}

std::string masterTitle(const MF4Content& content, const MF4ChannelGroup& group, bool physical) {
    const MF4Conversion* conversion = conversionOf(content, group.masterConversion);
    if (!physical) return conversion != nullptr ? "time (raw)" : "time";
    return withUnit("time", conversion != nullptr ? flattened(toTerminalText(conversion->unit)) : "");
}

std::string channelTitle(const MF4Content& content, const MF4Channel& channel, bool physical) {
    const std::string name = flattened(toTerminalText(channel.name));
    const MF4Conversion* conversion = conversionOf(content, channel.conversion);
    if (!physical && conversion != nullptr) return name + " (raw)";
    // A conversion's unit stands in for a channel without one, unless the conversion gives
    // texts, which have no unit.
    std::string unit = flattened(toTerminalText(channel.unit));
    if (unit.empty() && conversion != nullptr && conversion->conversionType != 7 &&
        conversion->conversionType != 8)
        unit = flattened(toTerminalText(conversion->unit));
    return withUnit(name, unit);
}

}  // namespace mf4tool
