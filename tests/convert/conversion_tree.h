// Content trees made of conversions alone, as a host builds them, and the two conversion calls
// wrapped into vectors, for the tests of TarvikMF4Convert.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "TarvikMF4Convert.h"

namespace tarvik::test {

// A tree whose conversions are `conversions` (kept by the object, which must outlive the calls).
struct ConversionTree {
    std::vector<MF4Conversion> conversions;
    MF4Content content{};

    // Appends a conversion of `type` and returns its index; the record may be filled in after.
    std::int64_t add(std::uint32_t type);
    MF4Conversion& operator[](std::int64_t index) { return conversions[static_cast<std::size_t>(index)]; }
    // The tree with its arrays as they are now.
    const MF4Content* tree();
};

struct Numbers {
    std::uint32_t result;
    std::vector<double> values;
};

struct Texts {
    std::uint32_t result;
    std::vector<std::u16string> values;
};

// MF4ConvertNumbers / MF4ConvertTexts of `raw` (of VARTYPE `valueType`) with conversion
// `conversion` of `content`.
template <typename T>
Numbers convertNumbers(const MF4Content* content, std::int64_t conversion, std::uint32_t valueType,
                       const std::vector<T>& raw) {
    Numbers out{0, std::vector<double>(raw.size(), -12345.0)};
    out.result = MF4ConvertNumbers(content, conversion, valueType, raw.data(), raw.size(), out.values.data());
    return out;
}

Texts convertTexts(const MF4Content* content, std::int64_t conversion, std::uint32_t valueType,
                   const void* raw, std::uint64_t count);

template <typename T>
Texts convertTexts(const MF4Content* content, std::int64_t conversion, std::uint32_t valueType,
                   const std::vector<T>& raw) {
    return convertTexts(content, conversion, valueType, raw.data(), raw.size());
}

}  // namespace tarvik::test
