#include "convert/conversion_tree.h"

namespace tarvik::test {

std::int64_t ConversionTree::add(std::uint32_t type) {
    MF4Conversion& conversion = conversions.emplace_back();
    conversion.structSize = sizeof(MF4Conversion);
    conversion.conversionType = type;
    conversion.defaultConversion = -1;
    return static_cast<std::int64_t>(conversions.size()) - 1;
}

const MF4Content* ConversionTree::tree() {
    content.conversions = conversions.empty() ? nullptr : conversions.data();
    content.conversionCount = conversions.size();
    return &content;
}

Texts convertTexts(const MF4Content* content, std::int64_t conversion, std::uint32_t valueType,
                   const void* raw, std::uint64_t count) {
    std::vector<const MF4Char*> pointers(count, nullptr);
    MF4ConvertedTexts* buffer = nullptr;
    Texts out{MF4ConvertTexts(content, conversion, valueType, raw, count, pointers.data(), &buffer), {}};
    if (out.result != MF4_CONVERT_FAILED)
        for (const MF4Char* text : pointers) out.values.emplace_back(text != nullptr ? text : u"<null>");
    MF4FreeConvertedTexts(buffer);
    return out;
}

}  // namespace tarvik::test
