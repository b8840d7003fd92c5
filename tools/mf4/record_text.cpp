#include "record_text.h"

#include "physical_values.h"
#include "value_text.h"

namespace mf4tool {

namespace {

bool hasPhysical(const PhysicalTexts* physical) { return physical != nullptr && physical->converted(); }

}  // namespace

std::string elementText(const ValueBuffer& buffer, std::uint64_t record, std::uint64_t element,
                        const PhysicalTexts* physical) {
    const ValueLayout& layout = buffer.layout();
    if (hasPhysical(physical)) return physical->text(record, element);
    if (layout.isText()) return buffer.text(record, element);
    if (layout.isBytes()) return hexText(buffer.bytes(record, element));
    return numberText(buffer.number(record, element), layout.valueType);
}

std::string recordText(const ValueBuffer& buffer, std::uint64_t record, const PhysicalTexts* physical) {
    const ValueLayout& layout = buffer.layout();
    const bool quoted = layout.isText() || (hasPhysical(physical) && physical->yieldsTexts());
    auto cell = [&](std::uint64_t element) {
        const std::string text = elementText(buffer, record, element, physical);
        return quoted ? quotedText(text) : text;
    };
    if (!layout.isArray) return cell(0);
    std::string text = "[";
    for (std::uint64_t element = 0; element < layout.elementsPerRecord; ++element) {
        if (element > 0) text += ' ';
        text += cell(element);
    }
    return text + ']';
}

}  // namespace mf4tool
