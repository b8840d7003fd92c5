// Physical values in the tool's tables: what TarvikMF4Convert makes of the raw numbers of a
// read buffer, one text per value, and the column titles that say which values a column holds
// and in which unit.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "TarvikMF4Access.h"
#include "TarvikMF4Convert.h"
#include "value_buffer.h"

namespace mf4tool {

class PhysicalTexts {
public:
    // Texts of the values of conversion `conversion` of `content` (an index of the tree).
    PhysicalTexts(const MF4Content& content, std::int64_t conversion);
    ~PhysicalTexts() { MF4FreeConvertedTexts(buffer_); }
    PhysicalTexts(const PhysicalTexts&) = delete;
    PhysicalTexts& operator=(const PhysicalTexts&) = delete;

    // Converts the numbers that `values` holds after a read. Nothing is converted for a buffer
    // of strings or bytes, or when the library refuses the conversion: then there are no texts
    // and the raw values stand.
    void convert(const ValueBuffer& values);
    bool converted() const { return converted_; }
    // The text of element `element` of record `record` (converted() only), UTF-8.
    std::string text(std::uint64_t record, std::uint64_t element) const;
    // True when the conversion yields texts: a table shows them quoted, like strings.
    bool yieldsTexts() const { return yieldsTexts_; }

private:
    const MF4Content& content_;
    std::int64_t conversion_;
    bool yieldsTexts_ = false;
    bool converted_ = false;
    std::uint64_t elementsPerRecord_ = 1;
    std::vector<const MF4Char*> texts_;
    MF4ConvertedTexts* buffer_ = nullptr;
};

// Title of the master's column: "time [unit]" with the unit of the master's conversion for
// physical values; for raw values "time (raw)" when the master has a conversion, else "time".
std::string masterTitle(const MF4Content& content, const MF4ChannelGroup& group, bool physical);

// Title of a channel's column: "name [unit]" (the channel's unit, else its conversion's), and
// for raw values of a channel with a conversion "name (raw)".
std::string channelTitle(const MF4Content& content, const MF4Channel& channel, bool physical);

}  // namespace mf4tool
