#include <cstdint>
#include <cstdlib>
#include <limits>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "json_writer.h"

namespace {

using mf4tool::JsonWriter;

TEST(JsonWriter, PlacesCommasAndIndentationAndEscapesKeysAndTexts) {
    std::ostringstream out;
    JsonWriter writer(out);
    writer.beginObject();
    writer.key("a\"b");
    writer.number(1);
    writer.key("list");
    writer.beginArray();
    writer.number(2u);
    writer.text("q\"b\\n\nt\tc\x01\x1f r\r f\f b\b \xC3\xA4\xE2\x82\xAC");  // UTF-8 stays as it is
    writer.null();
    writer.boolean(true);
    writer.beginObject();
    writer.endObject();
    writer.endArray();
    writer.key("empty");
    writer.beginArray();
    writer.endArray();
    writer.endObject();
    writer.finish();
    EXPECT_EQ(out.str(),
              "{\n"
              "  \"a\\\"b\": 1,\n"
              "  \"list\": [\n"
              "    2,\n"
              "    \"q\\\"b\\\\n\\nt\\tc\\u0001\\u001f r\\r f\\f b\\b \xC3\xA4\xE2\x82\xAC\",\n"
              "    null,\n"
              "    true,\n"
              "    {}\n"
              "  ],\n"
              "  \"empty\": []\n"
              "}\n");
}

std::string written(auto value) {
    std::ostringstream out;
    JsonWriter writer(out);
    writer.number(value);
    return out.str();
}

TEST(JsonWriter, WritesNumbersExactlyAndNonFiniteAsNull) {
    EXPECT_EQ(written(0.1), "0.1");
    EXPECT_EQ(written(-0.0), "-0");
    EXPECT_EQ(written(1e300), "1e+300");
    EXPECT_EQ(written(std::numeric_limits<double>::quiet_NaN()), "null");
    EXPECT_EQ(written(-std::numeric_limits<double>::infinity()), "null");
    // The shortest form still reads back to the very same double.
    const double awkward = 0.1 + 0.2;
    EXPECT_EQ(std::strtod(written(awkward).c_str(), nullptr), awkward);
    // Indices of -1 stay -1, full 64-bit values survive, and bytes are numbers, not characters.
    EXPECT_EQ(written(std::numeric_limits<std::int64_t>::min()), "-9223372036854775808");
    EXPECT_EQ(written(std::numeric_limits<std::uint64_t>::max()), "18446744073709551615");
    EXPECT_EQ(written(std::int16_t{-1}), "-1");
    EXPECT_EQ(written(std::uint8_t{200}), "200");
}

}  // namespace
