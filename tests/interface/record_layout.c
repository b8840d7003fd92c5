/* The records as a C compiler lays them out. The header's own static assertions already pin
   the sizes in C; these tables let the C++ side compare field offsets one by one. */
#include <stddef.h>

#include "TarvikMF4Access.h"

#define ENTRY(record, field) offsetof(record, field)

const size_t c_record_sizes[] = {
    sizeof(MF4Content),      sizeof(MF4ChannelGroup), sizeof(MF4Channel),    sizeof(MF4Axis),
    sizeof(MF4Conversion),   sizeof(MF4ValuePair),    sizeof(MF4ValueText),  sizeof(MF4RangeText),
    sizeof(MF4Event),        sizeof(MF4Attachment),   sizeof(MF4HistoryEntry), sizeof(MF4Property),
    sizeof(MF4Error),        sizeof(MF4ReadItem),     sizeof(MF4ReadRequest), sizeof(MF4WriteGroup),
    sizeof(MF4WriteChannel), sizeof(MF4WriteRequest),
};
const size_t c_record_size_count = sizeof c_record_sizes / sizeof c_record_sizes[0];

const size_t c_field_offsets[] = {
    ENTRY(MF4Content, programId),          ENTRY(MF4Content, startTimeNs),
    ENTRY(MF4Content, tzOffsetMin),        ENTRY(MF4Content, historyComment),
    ENTRY(MF4ChannelGroup, pathSeparator), ENTRY(MF4ChannelGroup, masterBitOffset),
    ENTRY(MF4Channel, dimensionCount),     ENTRY(MF4Channel, bitCount),
    ENTRY(MF4Channel, bitOffset),          ENTRY(MF4Channel, precision),
    ENTRY(MF4Conversion, precision),       ENTRY(MF4Conversion, physMin),
    ENTRY(MF4Event, rangeBegin),           ENTRY(MF4Event, colorProperty),
    ENTRY(MF4Attachment, data),            ENTRY(MF4HistoryEntry, timeFlags),
    ENTRY(MF4RangeText, refKind),          ENTRY(MF4ReadItem, valueKind),
    ENTRY(MF4ReadItem, eventSamples),      ENTRY(MF4WriteRequest, closeFile),
};
const size_t c_field_offset_count = sizeof c_field_offsets / sizeof c_field_offsets[0];
