// Trees made of conversions alone, as a host builds them, and the conversion calls wrapped into
// vectors, for the tests of TarvikMF4Convert.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "TarvikMF4Convert.h"

namespace tarvik::test {

struct ConversionTree {
    std::vector<MF4Conversion> conversions;
    MF4Content content{};

    // Appends a conversion of `type`; its index.
    std::int64_t add(std::uint32_t type) {
        conversions.push_back({.structSize = sizeof(MF4Conversion), .conversionType = type, .defaultConversion = -1});
        return static_cast<std::int64_t>(conversions.size()) - 1;
    }
    MF4Conversion& operator[](std::int64_t index) { return conversions[static_cast<std::size_t>(index)]; }
    const MF4Content* tree() {
        content.conversions = conversions.data();
        content.conversionCount = conversions.size();
        return &content;
    }
};

template <typename Value>
struct Converted {
    std::uint32_t result;
    std::vector<Value> values;
};

template <typename T>
Converted<double> convertNumbers(const MF4Content* content, std::int64_t conversion, std::uint32_t valueType,
                                 const std::vector<T>& raw) {
    Converted<double> out{0, std::vector<double>(raw.size(), -12345.0)};
    out.result = MF4ConvertNumbers(content, conversion, valueType, raw.data(), raw.size(), out.values.data());
    return out;
}

// The texts as copies ("<null>" for a null pointer); none when the call failed.
inline Converted<std::u16string> convertTexts(const MF4Content* content, std::int64_t conversion,
                                              std::uint32_t valueType, const void* raw, std::uint64_t count) {
    std::vector<const MF4Char*> pointers(count, nullptr);
    MF4ConvertedTexts* buffer = nullptr;
    Converted<std::u16string> out{MF4ConvertTexts(content, conversion, valueType, raw, count, pointers.data(), &buffer), {}};
    if (out.result != MF4_CONVERT_FAILED)
        for (const MF4Char* text : pointers) out.values.emplace_back(text != nullptr ? text : u"<null>");
    MF4FreeConvertedTexts(buffer);
    return out;
}

template <typename T>
Converted<std::u16string> convertTexts(const MF4Content* content, std::int64_t conversion, std::uint32_t valueType,
                                       const std::vector<T>& raw) {
    return convertTexts(content, conversion, valueType, raw.data(), raw.size());
}

}  // namespace tarvik::test
