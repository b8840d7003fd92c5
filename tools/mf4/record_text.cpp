#include "record_text.h"

#include "value_text.h"

namespace mf4tool {

std::string elementText(const ValueBuffer& buffer, std::uint64_t record, std::uint64_t element) {
    const ValueLayout& layout = buffer.layout();
    if (layout.isText()) return buffer.text(record, element);
    if (layout.isBytes()) return hexText(buffer.bytes(record, element));
    return numberText(buffer.number(record, element), layout.valueType);
}

std::string recordText(const ValueBuffer& buffer, std::uint64_t record) {
    const ValueLayout& layout = buffer.layout();
    auto cell = [&](std::uint64_t element) {
        return layout.isText() ? quotedText(buffer.text(record, element))
                               : elementText(buffer, record, element);
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
