// The records must look the same to C and C++ hosts, with the sizes and offsets that hosts in
// other languages mirror.
#include <cstddef>

#include <gtest/gtest.h>

#include "TarvikMF4Access.h"

extern "C" {
extern const size_t c_record_sizes[];
extern const size_t c_record_size_count;
extern const size_t c_field_offsets[];
extern const size_t c_field_offset_count;
}

TEST(RecordLayout, CAndCppAgreeOnSizesAndOffsets) {
    const size_t sizes[] = {
        sizeof(MF4Content),      sizeof(MF4ChannelGroup), sizeof(MF4Channel),    sizeof(MF4Axis),
        sizeof(MF4Conversion),   sizeof(MF4ValuePair),    sizeof(MF4ValueText),  sizeof(MF4RangeText),
        sizeof(MF4Event),        sizeof(MF4Attachment),   sizeof(MF4HistoryEntry), sizeof(MF4Property),
        sizeof(MF4Error),        sizeof(MF4ReadItem),     sizeof(MF4ReadRequest), sizeof(MF4WriteGroup),
        sizeof(MF4WriteChannel), sizeof(MF4WriteRequest),
    };
    const size_t expectedSizes[] = {200, 184, 344, 64, 184, 24, 24, 40, 136, 80, 32, 32, 48, 216, 56, 96, 96, 64};
    ASSERT_EQ(c_record_size_count, std::size(sizes));
    for (size_t i = 0; i < std::size(sizes); ++i) {
        EXPECT_EQ(sizes[i], expectedSizes[i]) << "record " << i;
        EXPECT_EQ(c_record_sizes[i], expectedSizes[i]) << "record " << i << " in C";
    }

    // Offsets worked out by hand from the field order and natural alignment.
    const size_t expectedOffsets[] = {
        120, 136, 144, 192,  // MF4Content
        32, 164,             // MF4ChannelGroup
        56, 240, 324, 332,   // MF4Channel
        108, 88,             // MF4Conversion
        88, 112,             // MF4Event
        72, 20,              // MF4Attachment, MF4HistoryEntry
        24, 128, 168, 56,    // MF4RangeText, MF4ReadItem, MF4WriteRequest
    };
    const size_t cppOffsets[] = {
        offsetof(MF4Content, programId),          offsetof(MF4Content, startTimeNs),
        offsetof(MF4Content, tzOffsetMin),        offsetof(MF4Content, historyComment),
        offsetof(MF4ChannelGroup, pathSeparator), offsetof(MF4ChannelGroup, masterBitOffset),
        offsetof(MF4Channel, dimensionCount),     offsetof(MF4Channel, bitCount),
        offsetof(MF4Channel, bitOffset),          offsetof(MF4Channel, precision),
        offsetof(MF4Conversion, precision),       offsetof(MF4Conversion, physMin),
        offsetof(MF4Event, rangeBegin),           offsetof(MF4Event, colorProperty),
        offsetof(MF4Attachment, data),            offsetof(MF4HistoryEntry, timeFlags),
        offsetof(MF4RangeText, refKind),          offsetof(MF4ReadItem, valueKind),
        offsetof(MF4ReadItem, eventSamples),      offsetof(MF4WriteRequest, closeFile),
    };
    ASSERT_EQ(c_field_offset_count, std::size(expectedOffsets));
    for (size_t i = 0; i < std::size(expectedOffsets); ++i) {
        EXPECT_EQ(cppOffsets[i], expectedOffsets[i]) << "offset " << i;
        EXPECT_EQ(c_field_offsets[i], expectedOffsets[i]) << "offset " << i << " in C";
    }
    // MF4Char is 16 bits wide on every platform, so strings keep their layout.
    EXPECT_EQ(sizeof(MF4Char), 2u);
}
