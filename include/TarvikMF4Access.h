/*
 * TarvikMF4Access: reading and writing ASAM MDF 4 measurement files (formats 4.00 and 4.10).
 *
 * Everything a host program needs is in this header: the plain records that cross the
 * interface and the 16 exported functions. The records have natural x86-64 alignment and a
 * fixed layout (pinned by the static assertions at the end of this file), so hosts written in
 * any language with a C foreign-function interface can mirror them.
 *
 * Conventions
 *  - Texts are NUL-terminated UTF-16 strings (MF4Char). A null pointer means "absent".
 *  - Arrays are a pointer plus a separate 64-bit count; a count of 0 goes with a null pointer.
 *  - Indices are positions in the arrays of the same MF4Content; -1 (all bits set) means none.
 *  - Flags copied from MDF flag words are stored one per 32-bit field as 0 or 1.
 *  - Value types use the OLE Automation VARTYPE numbers: 2 i16, 3 i32, 4 f32, 5 f64, 16 i8,
 *    17 u8, 18 u16, 19 u32, 20 i64, 21 u64, 30 8-bit string, 31 UTF-16 string, 36 byte array;
 *    property types also use 7 (date/dateTime), 11 (boolean), 14 (decimal), 64 (time).
 *  - Every pointer the library hands out must be released through FreeContent, FreeErrors or
 *    FreeStrings, never with the host's own allocator.
 *
 * Result codes of the functions that return one:
 *    0  the call raised no finding
 *    1  the call raised warnings only
 *    2  the call raised at least one error, an argument was null, no open file was found for
 *       the MF4Content given, or (WriteContent) the path is already open for writing
 * Findings come back as an array of MF4Error through the errors/errorCount out-parameters.
 * Those are written only when the call has at least one finding, so set them to NULL and 0
 * before the call and release a non-null array with FreeErrors.
 */
#ifndef TARVIK_MF4_ACCESS_H
#define TARVIK_MF4_ACCESS_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(_WIN32)
/* wchar_t is a UTF-16 unit on Windows. C++ hosts that keep their texts in std::u16string may
   define TARVIK_MF4_CHAR16 before including this header to get char16_t instead: the DLL's
   functions take either, since both are the same 16-bit unit. */
#  if defined(__cplusplus) && defined(TARVIK_MF4_CHAR16)
typedef char16_t MF4Char;
#  else
typedef wchar_t MF4Char;
#  endif
#  if defined(TARVIK_MF4_BUILDING)
#    define MF4_API __declspec(dllexport)
#  elif defined(TARVIK_MF4_STATIC)
#    define MF4_API /* the library's code is linked into the program itself */
#  else
#    define MF4_API __declspec(dllimport)
#  endif
#else
#  ifdef __cplusplus
typedef char16_t MF4Char;
#  else
typedef uint_least16_t MF4Char;
#  endif
#  if defined(TARVIK_MF4_BUILDING)
#    define MF4_API __attribute__((visibility("default")))
#  else
#    define MF4_API
#  endif
#endif

/* Result codes. */
#define MF4_OK 0u
#define MF4_WARNINGS 1u
#define MF4_ERRORS 2u

/* One element "e" of the common properties of an XML comment. */
typedef struct MF4Property {
    uint64_t structSize;  /* 32 */
    MF4Char* name;        /* the element's "name" attribute */
    uint32_t type;        /* "string" 31, "decimal" 14, "integer" 20, "float" 5, "boolean" 11,
                             "date" 7, "time" 64, "dateTime" 7; 0 when absent or unknown */
    MF4Char* value;       /* the element's text */
} MF4Property;

/* One dimension of a look-up array channel. */
typedef struct MF4Axis {
    uint64_t structSize;         /* 64 */
    int64_t inputChannel;        /* index of the input-quantity channel, -1 = none */
    int64_t dynamicSizeChannel;  /* index of the channel giving this dimension's size, -1 = none */
    uint32_t axisKind;           /* 0 fixed values in `values`; 1 axis channel marked "STD_AXIS";
                                    2 axis given by another channel, or no axis */
    int64_t axisConversion;      /* index in MF4Content.conversions, -1 = none */
    double* values;              /* fixed axis values (axisKind 0 only) */
    uint64_t valueCount;         /* entries in `values`: the dimension's size for fixed values
                                    (axisKind 0), else 0 */
    int64_t axisChannel;         /* index of the axis channel, -1 = none */
} MF4Axis;

/* Table entry of a table conversion (types 4 and 5). */
typedef struct MF4ValuePair {
    uint64_t structSize; /* 24 */
    double key;
    double value;
} MF4ValuePair;

/* Table entry of a value-to-text conversion (type 7). */
typedef struct MF4ValueText {
    uint64_t structSize; /* 24 */
    double value;
    MF4Char* text;
} MF4ValueText;

/* Table entry of a value-range-to-text conversion (type 8). */
typedef struct MF4RangeText {
    uint64_t structSize; /* 40 */
    double lower;
    double upper;
    uint32_t refKind;    /* 0: `ref.text` is a text; 1: `ref.conversion` names a conversion */
    union {
        MF4Char* text;
        int64_t conversion;
    } ref;
} MF4RangeText;

/* One conversion block of the file, in the order of the file's conversion table. */
typedef struct MF4Conversion {
    uint64_t structSize;        /* 184 */
    uint32_t conversionType;    /* cc_type 0..5, 7, 8; 9 for every type the library does not
                                   support (value range to value, text to value/text, bitfield) */
    MF4Char* name;
    MF4Char* comment;
    MF4Char* format;            /* common property "format" of the comment */
    MF4Char* unit;
    MF4Char* formula;           /* type 3 (algebraic): the formula */
    MF4Char* defaultText;       /* property "default_value", or for types 7/8 the default text */
    int64_t defaultConversion;  /* types 7/8: conversion named by the default, -1 = none */
    uint64_t entryCount;        /* number of table entries in `parameters` */
    uint64_t reserved1;
    double physMin;
    double physMax;
    uint32_t precisionValid;
    uint8_t precision;
    uint32_t statusString;
    uint64_t propertyCount;
    MF4Property* properties;    /* without "format" and "default_value" */
    union {                     /* depends on conversionType */
        double linear[2];       /* 1: p0 (offset), p1 (factor) */
        double rational[6];     /* 2: cc_val[0..5] */
        MF4ValuePair* pairs;    /* 4, 5: entryCount pairs */
        MF4ValueText* valueTexts; /* 7: entryCount entries */
        MF4RangeText* rangeTexts; /* 8: entryCount entries */
        uint8_t raw[48];
    } parameters;
} MF4Conversion;

/* One channel. Members of a structure are in the parent's `children`, recursively. */
typedef struct MF4Channel {
    uint64_t structSize;        /* 344 */
    MF4Char* name;
    MF4Char* sourceName;
    MF4Char* sourcePath;
    uint32_t valueType;         /* VARTYPE code, see the conventions above */
    uint64_t cycleCount;        /* records of the channel's group */
    uint64_t segmentCount;      /* acquisition segments of the channel's group */
    uint16_t dimensionCount;    /* array dimensions, 0 for a scalar; dimensionSizes and axes
                                   describe the first three (an array of more gives no values) */
    uint64_t dimensionSizes[3];
    uint32_t isLookup;          /* the array is a look-up table */
    MF4Axis* axes[3];           /* one per dimension, look-up arrays only */
    int64_t outputChannel;      /* look-up arrays: output-quantity channel, -1 = none */
    int64_t comparisonChannel;  /* look-up arrays: comparison-quantity channel, -1 = none */
    uint32_t isScalingAxis;     /* the array is a scaling axis */
    uint32_t inverseLayout;     /* the array is stored column-major */
    MF4Char* displayName;
    MF4Char* comment;
    MF4Char* unit;
    MF4Char* format;            /* common property "format" of the comment */
    uint32_t calibration;
    uint32_t calculated;
    uint32_t isVirtual;
    uint32_t limitValid;
    uint32_t busEvent;
    double limitMin;
    double limitMax;
    uint32_t extLimitValid;
    double extLimitMin;
    double extLimitMax;
    uint32_t bitCount;
    uint64_t propertyCount;
    MF4Property* properties;    /* without "format" and "STD_AXIS" */
    uint64_t groupIndex;        /* index in MF4Content.groups */
    int64_t conversion;         /* index in MF4Content.conversions, -1 = none */
    int64_t syncAttachment;     /* synchronisation channels: attachment index, -1 = none */
    int64_t lengthChannel;      /* maximum-length channels: size signal channel, -1 = none */
    uint32_t syncType;          /* 0 none, 1 time, 2 angle, 3 distance, 4 record index */
    uint32_t channelType;       /* 0 fixed length, 1 variable length, 2 master, 4 synchronisation,
                                   5 maximum length, 6 virtual data */
    uint64_t childCount;
    struct MF4Channel* children;
    uint32_t byteOffset;
    uint8_t bitOffset;
    uint32_t precisionValid;
    uint8_t precision;
    uint32_t stringEncoding;    /* 0 none, 1 ISO-8859-1, 2 UTF-8, 3 UTF-16 */
} MF4Channel;

/* One data group with its channel group and master channel. */
typedef struct MF4ChannelGroup {
    uint64_t structSize;        /* 184 */
    MF4Char* acquisitionName;   /* on writing also the master channel's name */
    MF4Char* sourceName;
    MF4Char* sourcePath;
    uint16_t pathSeparator;     /* 0 for 4.00 files */
    uint32_t masterValueType;   /* VARTYPE code of the master channel */
    uint64_t cycleCount;
    uint64_t segmentCount;      /* 1 + acquisition interruptions of this group */
    double reductionRaster;     /* interval of the first reduction level / 16; 0 = none */
    MF4Char* comment;
    uint64_t propertyCount;
    MF4Property* properties;
    uint32_t withReduction;     /* writing: compute reduction levels while writing; see
                                   AddReductionData */
    uint32_t busEventGroup;     /* writing: mark as bus-event group */
    uint32_t plainBusEventGroup;/* writing: mark as plain bus-event group */
    MF4Char* sourceChannelNumber;
    uint32_t sourceType;        /* si_type: 0 other, 1 ECU, 2 bus, 3 I/O, 4 tool, 5 user */
    uint32_t busType;           /* si_bus_type: 0 none, 1 other, 2 CAN, 3 LIN, 4 MOST, 5 FlexRay,
                                   6 K-Line, 7 Ethernet, 8 USB */
    double masterRaster;        /* "raster" element of the master channel's comment */
    uint32_t masterRangeValid;
    double masterRangeMin;      /* linear conversion of the master applied */
    double masterRangeMax;
    int64_t masterConversion;   /* index in MF4Content.conversions, -1 = none */
    uint32_t masterByteOffset;
    uint8_t masterBitOffset;
    uint32_t recordDataBytes;   /* reading: cg_data_bytes; writing: master size when non-zero */
    uint64_t dataGroupPosition; /* file position of the data group block */
} MF4ChannelGroup;

/* One event (acquisition interruptions are not listed). */
typedef struct MF4Event {
    uint64_t structSize;        /* 136 */
    uint32_t eventType;         /* 0 recording, 1 recording interrupt, 3 start recording trigger,
                                   4 stop recording trigger, 5 trigger, 6 marker (bookmark) */
    uint32_t rangeType;         /* 0 point, 1 begin of a range, 2 end of a range */
    uint32_t cause;             /* 0 other, 1 error, 2 tool, 3 script, 4 user */
    uint32_t postProcessing;
    uint32_t scopeKind;         /* 1 scope lists groups, 2 channels, other: no list */
    uint32_t scopeCount;        /* entries in `scope`; 0 for other scope kinds */
    uint64_t* scope;            /* indices into groups (kind 1) or channels (kind 2; channelCount
                                   for a scope entry that names no channel of the tree) */
    double syncValue;           /* event time: base value times factor */
    MF4Char* name;
    MF4Char* comment;
    double preTrigger;
    double postTrigger;
    MF4Char* syntax;
    int64_t rangeBegin;         /* closing event of a range: index of the opening one, -1 = none */
    double timeout;             /* 4.10 only */
    uint32_t timeoutTriggered;  /* 4.10 only */
    int32_t typeProperty;       /* common property "Type" */
    uint32_t colorProperty;     /* common property "Color" */
    double systemTime;          /* common property "SystemTime" */
    uint64_t position;          /* file position of the event block */
} MF4Event;

/* One attachment, in link order. */
typedef struct MF4Attachment {
    uint64_t structSize;        /* 80 */
    MF4Char* fileName;
    MF4Char* mimeType;
    MF4Char* comment;
    uint32_t embedded;
    uint32_t compressed;
    uint32_t md5Valid;
    uint64_t size;              /* original (uncompressed) size */
    uint64_t propertyCount;
    MF4Property* properties;
    uint8_t* data;              /* `size` bytes of content, or null */
} MF4Attachment;

/* One file-history entry. */
typedef struct MF4HistoryEntry {
    uint64_t structSize;        /* 32 */
    uint64_t timeNs;
    int16_t tzOffsetMin;
    int16_t dstOffsetMin;
    uint8_t timeFlags;          /* fh_time_flags: bit 0 local time (else UTC), bit 1 offsets valid */
    MF4Char* comment;           /* the whole text of the history comment block (XML for MD) */
} MF4HistoryEntry;

/* The root of a content tree. */
typedef struct MF4Content {
    uint64_t reserved0;
    uint64_t channelCount;
    uint64_t groupCount;
    uint64_t conversionCount;
    uint64_t attachmentCount;
    uint64_t headerPropertyCount;
    uint64_t eventCount;
    uint64_t historyCount;
    MF4Channel* channels;       /* all channels except masters, group by group */
    MF4ChannelGroup* groups;    /* one per data group */
    MF4Conversion* conversions;
    MF4Event* events;
    MF4Property* headerProperties;
    MF4Attachment* attachments;
    MF4HistoryEntry* history;
    char programId[8];          /* not terminated */
    uint16_t formatVersion;     /* 400 or 410 */
    uint32_t timeKind;          /* 1 offsets valid, 2 start time is UTC, 3 local time;
                                   0 on writing: use the system's time zone */
    uint64_t startTimeNs;       /* nanoseconds since 1970-01-01 (UTC unless timeKind is 3) */
    int16_t tzOffsetMin;        /* only when timeKind is 1 */
    int16_t dstOffsetMin;       /* only when timeKind is 1 */
    uint64_t contentFlags;      /* bit 0: exactly one file-history block */
    MF4Char* toolVendor;
    MF4Char* toolVersion;
    MF4Char* filePath;          /* the path the file was opened with; identifies the open file */
    MF4Char* headerComment;
    MF4Char* historyComment;
} MF4Content;

/* One finding of a call. */
typedef struct MF4Error {
    uint64_t reserved0;
    uint32_t messageId;         /* finding number, 100..148 */
    MF4Char* detail1;           /* usually the file path; replaces "%1" in the message */
    MF4Char* detail2;           /* finding-specific detail; replaces "%2" in the message */
    MF4Char* message;           /* text from the message file, null when it has none */
    uint32_t severity;          /* 0 error, 1 warning */
} MF4Error;

/* One channel (list A) or group/paired item (list B) of a ReadData request.
 *
 * Modes 0 (records by index) and 2 (records by time): list B holds one item per data group,
 * whose `index` names the group in MF4Content.groups; it receives the group's master values in
 * the group's masterValueType (for example 5: one 8-byte double per record). List A holds the
 * channel items (`index` in MF4Content.channels) of those groups. Values are returned raw, as
 * stored, in the channel's valueType (no conversion is applied). What `values` holds, and what
 * `capacity` counts:
 *  - numbers: `capacity` values of the valueType's width. An array channel read without
 *    `elementIndices` gives all its elements per record, one after the other: E slots per
 *    record, E the product of its dimensionSizes. An array that declares more elements than
 *    its record has bytes is damaged: its records are counted, but give no values;
 *  - strings (valueType 30/31; set valueKind to 30 or 31 for variable-length ones): `capacity`
 *    pointers to terminated strings (8-bit or UTF-16) that the library allocates; the first
 *    valuesStored slots are the library's, released with FreeStrings(values, valuesStored,
 *    valueType == 31);
 *  - byte arrays and structures (valueType 36): `capacity` records of raw bytes, one after the
 *    other, each (bitCount x E + 7) / 8 bytes (E as above, 1 for a scalar). A variable-length
 *    byte array (channelType 1) takes (bitCount + 7) / 8 bytes (usually 8) per record instead:
 *    the little-endian position in `byteData` of the value's entry, a u32 length followed by
 *    the value's bytes (length 0 for a value the signal data does not hold). `reserved` gives
 *    the size of `byteData` in bytes: the values from the first whose entry does not fit on are
 *    not stored (valuesStored stops before it; valuesTotal counts every record), and 0 means
 *    that `byteData` was sized for every value of the range. With `byteData` null no
 *    variable-length value is stored.
 * All four counters valuesStored, valuesTotal, eventsStored and eventsTotal must point to the
 * caller's variables: a group one of whose items lacks one is skipped silently (its counters
 * stay 0; no finding is raised). `valuesTotal` counts the records of the range even beyond
 * `capacity`, so capacity 0 asks for the size; when a file's data ends before its record count
 * (a cut or damaged file), the records that exist are delivered and counted. Items that name no
 * channel of the group (or a group the tree does not have) are skipped with counters 0.
 *
 * Modes 1 (buckets of `bucketSamples` records) and 3 (buckets of `bucketTime` master units)
 * reduce each bucket of a numeric channel to its minimum and maximum (method 0: one value when
 * both are the same sample, else two, the earlier first), its minimum (1), its maximum (2) or
 * its mean (3; integer kinds rounded half away from zero; a NaN in the bucket makes a float
 * mean NaN). NaN never becomes a minimum or maximum; a bucket of NaN only gives one NaN.
 *  - List A holds the channel items and receives the reduced values (`values` of the channel's
 *    valueType). List B pairs with it: for each data group, the k-th list-B item of the group
 *    names the same channel as the k-th list-A item and receives, slot for slot, where each
 *    value lies: mode 1 the record index (uint64), mode 3 the master value as stored (of the
 *    master's valueType). The x of a mean is the middle of its bucket. In both lists
 *    `capacity` counts value slots of those types.
 *  - Mode 1 reads records firstSample .. firstSample + ceil(sampleCount / bucketSamples) *
 *    bucketSamples - 1 (cut at the last record), in buckets counted from firstSample;
 *    withNeighbours has no effect. Mode 3 reads startTime .. endTime in buckets counted from
 *    startTime (the end rounded up to a bucket boundary); withNeighbours adds the nearest
 *    non-empty bucket on each side. The last sample of the range, when it lies exactly on the
 *    boundary that closes the range (at or after endTime), belongs to the last bucket.
 *  - sampleCount 0, bucketSamples 0, or a bucketTime that is not positive read nothing
 *    (counters 0). Channels that are not numbers (strings, byte arrays) read nothing.
 *  - Mode 3 reads the file's reduction levels instead of the raw records when one fits: the
 *    coarsest level with time synchronisation whose interval is at most the smallest of
 *    bucketTime and every item's levelTime in [0, bucketTime] (so levelTime 0 reads the raw
 *    records and a negative levelTime allows any level up to bucketTime); all items of the
 *    group must then have the same startTime and endTime. `usedInterval` (optional, both
 *    lists) receives the level's interval, or 0 when the raw records were read.
 *  - An array channel read without elementIndices gives per bucket one sample of all its
 *    elements (element i at slot sample * elements + i, in list B too); with method 0 always two
 *    samples (first and second value of each element, the same value twice when there is one).
 *  - Counters count samples per list; events are positions in list A, copied to list B.
 *  - Mode 1 writes to the counters that are given; in mode 3 a group whose items in either list
 *    lack one of the four counters is skipped.
 *
 * Mode 4 (original time stamp) takes list A only: per item, `reducedValue` (of `reducedType`, a
 * numeric kind) is the minimum or maximum of the channel in the record of the reduction level
 * whose interval is exactly `levelTime` at master time `startTime`; the library descends
 * through the finer levels to the raw record holding that value and stores its master time
 * (after the master's linear conversion) as one double in `values[0]` (valuesTotal 1,
 * valuesStored 1 when capacity > 0). When no level, value or record matches, the item gets
 * no value and the later items and groups of the request are not read. */
typedef struct MF4ReadItem {
    uint64_t structSize;
    uint64_t index;             /* channel: position in MF4Content.channels;
                                   group item: position in MF4Content.groups */
    uint64_t firstSample;       /* record-based modes: first record */
    uint64_t sampleCount;       /* records from firstSample on; 0 with firstSample 0 means all
                                   (the range is firstSample .. firstSample + sampleCount - 1) */
    double startTime;           /* time-based modes, in master units after the master's linear
                                   conversion; master values themselves come back as stored;
                                   mode 4: time of the reduced sample */
    double endTime;
    uint32_t withNeighbours;    /* widen the range by one record (mode 3: one bucket) per side */
    uint32_t method;            /* 0 min and max, 1 min, 2 max, 3 mean */
    double bucketTime;          /* mode 3 */
    double levelTime;           /* mode 3: finest reduction level allowed (see above);
                                   mode 4: interval of the level the value comes from */
    uint64_t bucketSamples;     /* mode 1 */
    uint32_t reducedType;       /* mode 4: VARTYPE of reducedValue */
    union {
        int64_t asInt;
        uint64_t asUInt;
        double asDouble;
        uint8_t bytes[8];
    } reducedValue;             /* mode 4: the reduced value whose original time is wanted */
    uint64_t* elementIndices;   /* array channels: one index per dimension, or null for all */
    uint64_t memberCount;
    uint64_t* memberPath;       /* structure channels: child indices down to the member */
    uint64_t reserved;          /* size of `byteData` in bytes; 0: sized for every value */
    uint32_t valueKind;         /* 30 or 31 asks for strings */
    uint64_t capacity;          /* slots in `values`: values, string pointers, or for byte
                                   arrays records (see above) */
    void* values;
    void* byteData;             /* bytes of variable-length byte-array values */
    uint64_t eventCapacity;
    uint64_t* eventSamples;
    uint64_t* valuesStored;     /* out: samples (records) whose values were all stored */
    uint64_t* valuesTotal;      /* out: samples (records) in the range */
    uint64_t* eventsStored;     /* out */
    uint64_t* eventsTotal;      /* out */
    double* usedInterval;       /* optional out, mode 3 */
} MF4ReadItem;

/* ReadData modes. */
#define MF4_READ_SAMPLE_BASED 0u
#define MF4_READ_DOWNSAMPLED_SAMPLE_BASED 1u
#define MF4_READ_TIME_BASED 2u
#define MF4_READ_DOWNSAMPLED_TIME_BASED 3u
#define MF4_READ_ORIGINAL_TIMESTAMP 4u

/* Down-sampling methods (MF4ReadItem.method, modes 1 and 3). */
#define MF4_DOWNSAMPLE_MIN_MAX 0u
#define MF4_DOWNSAMPLE_MIN 1u
#define MF4_DOWNSAMPLE_MAX 2u
#define MF4_DOWNSAMPLE_MEAN 3u

typedef struct MF4ReadRequest {
    uint64_t structSize;
    uint64_t channelItemCount;
    MF4ReadItem* channelItems;  /* list A */
    uint64_t groupItemCount;
    MF4ReadItem* groupItems;    /* modes 0, 2: one per group; modes 1, 3: list B */
    uint32_t mode;
    uint32_t* cancelFlag;       /* optional; non-zero stops the read at the next check */
} MF4ReadRequest;

/* Writing a file
 *
 * WriteContent(path, tree) creates the file from a tree the host built (the same records
 * ReadContent returns). The tree's filePath must hold the same path: WriteData, FinishWriting
 * and CloseUnfinished find the open file through it. The tree stays the host's and must stay
 * alive, with its arrays where they are, until FinishWriting or CloseUnfinished; the library
 * keeps pointers into it. A WriteContent that raises any finding (a comment that does not
 * validate against its MDF schema: 128; a look-up array mixing fixed axis values with axis
 * channels: 143; an attachment file that cannot be written: 135/136) creates no file entry, and
 * for comment and axis problems no file at all.
 *
 * What the writer lays out:
 *  - formatVersion 400 writes MDF 4.00, any other value 4.10. The file starts as "UnFinMF "
 *    (unfinished) and becomes "MDF     " in FinishWriting.
 *  - Every group gets a master channel named after its acquisitionName ("name(2)" when a
 *    channel of the group already has that name), of type masterValueType. With
 *    recordDataBytes 0 the writer places the channels: master at byte 0, then the channels
 *    whose bitCount is a multiple of 8, then the bit fields, each straight after the one
 *    before; arrays and structures start on a whole byte. A structure spans its members (laid
 *    out from its own position); a larger bitCount of its own reserves more room. With a
 *    non-zero recordDataBytes (the master's size in bytes) every channel keeps its byteOffset
 *    and bitOffset.
 *  - Strings (valueType 30, 31) are always variable-length channels (their values lie in SD
 *    blocks; the record holds a 64-bit position unless bitCount says otherwise); 8-bit strings
 *    are UTF-8 unless stringEncoding is 1 (ISO-8859-1). A byte array (36) with channelType 1 is
 *    variable-length too; with channelType 0 it takes bitCount / 8 bytes in every record.
 *  - An identity conversion without a name is not written; channels using it have none.
 *
 * WriteData(tree, request) appends one batch per MF4WriteGroup item (valueCount records) as
 * one data block per group. Values are never converted: they are the raw bits of the channel,
 * so an item's valueType must be the channel's own kind (a 3-bit unsigned field takes u8
 * values, a 12-bit signed one i16) or 36 (raw bytes: bitCount / 8 bytes per value, for any
 * channel whose bitCount is a multiple of 8, structures included). What `values` points to:
 *  - numbers: valueCount x E values, record by record (E = product of the dimensionSizes of an
 *    array channel, else 1); valueCount may count records or values;
 *  - strings (30, 31): valueCount pointers to NUL-terminated strings (a null pointer writes an
 *    empty string);
 *  - variable-length byte arrays (36 on a channelType 1 channel): the values' bytes back to
 *    back, with `lengths` pointing to valueCount uint64 lengths.
 * Channel items whose group has no group item in the request are ignored. A request that names
 * a group or channel the file does not have, or whose values do not fit their channel, is
 * refused before anything is written: result 2 without findings, and the file stays open.
 * Interruption indices k (0 < k < valueCount, or 0 once the group has data) start a new
 * acquisition segment: a pair of acquisition-interruption events from the master value before
 * k to the master value at k is added. The request's events are appended to the file's events.
 *
 * What survives a crash: before WriteData returns, every byte of the call has been handed to
 * the operating system (one flush per call, no fsync), in an order that keeps the file a
 * consistent block graph at every moment: a data block is complete before the link to it is
 * written, and the cycle count follows the link. So when the host process dies, everything
 * that WriteData accepted is in the file (it still reads "UnFinMF "; RecoverStreamingFile or
 * any reader that accepts unfinished files gets it back). Memory stays at about one batch: the
 * record buffer is reused by every call.
 *
 * A WriteData that raises a finding (142: a block could not be written; 144: no memory for the
 * records) finishes the file as far as it was written and ends the write: later calls on the
 * tree return 2.
 *
 * FinishWriting(tree) completes the file. What the host may still change before it: startTimeNs,
 * headerComment, headerProperties, historyComment, the events (a non-empty events array is
 * written anew and replaces the events of WriteContent and WriteData), and the comments and
 * properties of groups, channels and conversions; changed comments are written as new blocks.
 * Nothing else of the tree may change. Calling FinishWriting twice returns 2 the second time.
 * CloseUnfinished leaves the file as the last WriteData left it.
 */

/* One batch of a group for WriteData: the master values of `valueCount` records. */
typedef struct MF4WriteGroup {
    uint64_t structSize;        /* 96 */
    uint64_t group;             /* index in MF4Content.groups */
    uint64_t reserved1[2];
    uint64_t reserved2;
    uint32_t valueType;
    uint64_t valueCount;        /* records in this batch; 0 skips the item */
    void* values;
    void* lengths;
    uint64_t interruptionCount;
    uint64_t* interruptions;    /* record indices where a new acquisition segment starts */
    uint32_t user1;             /* carried with the batch, not interpreted */
    uint32_t user2;
} MF4WriteGroup;

/* The values of one channel (or structure member) in a WriteData batch. Same layout as
   MF4WriteGroup; the interruption fields are unused. */
typedef struct MF4WriteChannel {
    uint64_t structSize;        /* 96 */
    uint64_t channel;           /* index in MF4Content.channels */
    uint64_t memberCount;
    uint64_t* memberPath;       /* child indices down to the member written */
    uint64_t reserved2;
    uint32_t valueType;
    uint64_t valueCount;
    void* values;
    void* lengths;
    uint64_t interruptionCount;
    uint64_t* interruptions;
    uint32_t user1;
    uint32_t user2;
} MF4WriteChannel;

typedef struct MF4WriteRequest {
    uint64_t structSize;
    uint64_t channelCount;
    MF4WriteChannel* channels;
    uint64_t groupCount;
    MF4WriteGroup* groups;
    uint64_t eventCount;
    MF4Event* events;
    uint32_t closeFile;         /* non-zero: close the file stream at the end of the call */
} MF4WriteRequest;

/* The in-memory header block of an open file (see GetHDBlock); opaque to hosts. */
typedef struct MF4HDBlock MF4HDBlock;

/* Reads the structure of the file at `path` into a new content tree (*content). */
MF4_API uint32_t ReadContent(const MF4Char* path, MF4Content** content, MF4Error** errors,
                             uint64_t* errorCount);

/* As ReadContent; filter bit 0 set: the events are not read. */
MF4_API uint32_t ReadFilteredContent(const MF4Char* path, uint64_t filter, MF4Content** content,
                                     MF4Error** errors, uint64_t* errorCount);

/* Reads sample values of a file opened with ReadContent into the caller's buffers (see
   MF4ReadItem). Whether the reading completed, failed or was cancelled shows in the counters;
   the result is 2 for bad arguments, an unknown tree or a mode above 4. Compressed (DZ) blocks
   decoded by a call stay with the open file for later calls (up to 64 MiB, until FreeContent);
   while a call reads through a chain of them it may decode the next block on a second thread,
   which ends before the call returns. Several threads may read one tree at once. */
MF4_API uint32_t ReadData(MF4Content* content, MF4ReadRequest* request, MF4Error** errors,
                          uint64_t* errorCount);

/* Creates a new, unfinished file at `path` from the host's tree, whose filePath must be `path`
   (see "Writing a file" above). Result 2 also when the path is already being written. */
MF4_API uint32_t WriteContent(const MF4Char* path, MF4Content* content, MF4Error** errors,
                              uint64_t* errorCount);

/* Appends a batch of records to a file created by WriteContent; see "Writing a file". */
MF4_API uint32_t WriteData(MF4Content* content, MF4WriteRequest* request, MF4Error** errors,
                           uint64_t* errorCount);

/* Completes a file created by WriteContent and closes it; 2 when no file is being written for
   the tree. The write ends whatever the result. */
MF4_API uint32_t FinishWriting(MF4Content* content, MF4Error** errors, uint64_t* errorCount);

/* Closes a file created by WriteContent without finishing it. */
MF4_API void CloseUnfinished(MF4Content* content);

/* Repairs a file that a writer left unfinished ("UnFinMF ", for example after a crash of the
   host or CloseUnfinished): in every data group whose master is a number, the chain of data
   blocks keeps the longest run of whole records whose master values rise (the first record is
   kept whatever its value, the lowest of its type included); a block cut short, records past
   the run and lists that are not all in the file leave the chain; the lists and the cycle count
   are rewritten to match, and the file is marked "MDF     " last. The structure is read before
   anything is written: a file that is not MDF 4 or is already finished stays byte for byte as
   it was, and so does a file that cannot be opened for writing (finding 147). Once repaired,
   every group without reduction data gets it as from AddReductionData. Result 2 when the path
   is null or the file cannot be repaired. */
MF4_API uint32_t RecoverStreamingFile(const MF4Char* path, MF4Error** errors,
                                      uint64_t* errorCount);

/* Adds sample-reduction data to a finished file, so that down-sampled reads (mode 3) of long
   recordings need not read every record. Every data group with records, one channel group and
   no reduction data yet gets levels: the sampling period P is the mean step of the first (at
   most 10000) master times, cut to its 16 most significant bits; level 0 has intervals of
   64 x P, each further level intervals 16 times longer, and a level with more than one row has
   a coarser one above it (the coarsest is one row over the whole recording). A row holds, in
   three records laid out like the group's own, the mean, minimum and maximum of every element of
   every numeric channel over the interval's records, and for the master the interval's start
   time with the smallest and largest step between consecutive master values (0 and 0 when the
   interval holds the only record). Integer means are rounded half away from zero, exactly;
   floating-point means are not rounded; a NaN enters the mean but not minimum or maximum unless
   every value of the interval is NaN. Records are placed in time through the master's linear
   conversion when it has one. Choices of this library: a group whose master is not a number, or
   that has none, is placed by record index (period 1); times that do not rise give period 1;
   invalidation bits are not looked at; groups that share their records (unsorted data groups)
   are left alone; a group with channels the reader rejected gets finding 145 and is left alone.
   A file with nothing to reduce is not opened for writing. The levels are written at the end of
   the file and linked last, so an interrupted call leaves the file as readable as before.
   withReduction on a group makes WriteData compute the same levels while writing (the period
   then comes from the group's first WriteData batch) and FinishWriting link them.
   Result 2 for a null path, a file that is not a finished MDF 4 file (an unfinished one gives
   finding 102), or one that cannot be written (147). */
MF4_API uint32_t AddReductionData(const MF4Char* path, MF4Error** errors, uint64_t* errorCount);

/* Sets the tool identification that later history entries carry; null arguments keep the
   current value. `programId` points to 8 characters. Result 0, or 2. */
MF4_API uint32_t UpdateToolInformation(MF4Content* content, const char* programId,
                                       const MF4Char* toolVendor, const MF4Char* toolVersion);

/* Updating a file in place (UpdateBookmarks, UpdateProperties). Both work on a tree returned by
   ReadContent or ReadFilteredContent (result 2 for any other tree or null), write only a few
   blocks at the end of the file and rewrite a few links, and never touch the measurement. Every
   comment they write is built and validated against the schema of the file's version before the
   file is opened for writing: a call refused for a comment (finding 128) or for a file that may
   not be written (147) leaves the file byte for byte as it was, and what the tree says. Each call
   ends with one history entry (FH) carrying `historyText` (null: none) and the tool
   identification of the tree: after ReadContent that of the tool that wrote the file, so a host
   names itself with UpdateToolInformation first (a tool version the schema rejects, such as
   "3.0.x_dev", refuses the call with finding 128). Afterwards the tree is in step with the file:
   `events` (UpdateBookmarks), `headerComment` and `headerProperties` (UpdateProperties), and
   `history` and `historyComment` (both) are new arrays and texts; pointers into the old ones,
   including copies of their records, are no longer valid. UpdateBookmarks reads the event chain
   anew before anything else, so its `events` array is a new one even after a refused call. */

/* Makes the file's markers (bookmarks: events of eventType 6) exactly the `count` records of
   `bookmarks`. Entries of another eventType are passed over, so a host may hand back the tree's
   own `events` with markers removed or added. A marker the file holds stays where it is when an
   equal one is wanted (equal: same syncValue, name, comment, typeProperty and postProcessing
   flag; an absent text counts as empty); the other markers are unlinked from the event chain
   (their blocks stay in the file, unreferenced); the wanted markers the file lacks are written
   as point markers (rangeType and rangeBegin are not used) at the end of the file and chained
   behind the last event, ordered by syncValue, then name, comment, typeProperty and
   postProcessing (texts by UTF-16 code unit). Other events stay as they are. The chain is read
   from the file first, so a tree read without events works alike. */
MF4_API uint32_t UpdateBookmarks(MF4Content* content, const MF4Event* bookmarks, uint64_t count,
                                 const MF4Char* historyText, MF4Error** errors,
                                 uint64_t* errorCount);

/* Changes the header comment of the file: its text becomes `headerComment` (null keeps the
   tree's `headerComment`), and each of the `count` properties sets value and type of the common
   property of its name, or is added after the others when the comment has none of that name.
   Everything else the comment holds stays. The type writes the attribute the reader maps back:
   "integer" for 2, 3 and 16 to 23, "float" for 4 and 5, "decimal" 14, "boolean" 11, "dateTime"
   7, "time" 64; any other code (31 "string" among them) writes none, and the property reads back
   with type 0. A value that is not of its type (an integer "abc") is refused with finding 128.
   The new comment takes the place of the old one when it fits, when the old one ends the file,
   or when the bytes it would cover hold no block; otherwise it goes to the end of the file and
   the old one stays unreferenced. 100 zero bytes follow at the end of the file, so that a later,
   slightly longer comment fits in place. The tree's header properties are read back from the
   new comment. */
MF4_API uint32_t UpdateProperties(MF4Content* content, const MF4Char* headerComment,
                                  const MF4Property* properties, uint64_t count,
                                  const MF4Char* historyText, MF4Error** errors,
                                  uint64_t* errorCount);

/* Releases a tree and, for a tree returned by ReadContent, its open file. Null does nothing. */
MF4_API void FreeContent(MF4Content* content);

/* Releases an array of findings; a null array is accepted. */
MF4_API void FreeErrors(MF4Error* errors, uint64_t count);

/* Releases the strings ReadData stored in the first `count` slots of a value buffer (pass the
   item's valuesStored; 8-bit strings: wide 0; UTF-16 strings: wide 1), setting each slot to
   null; null slots are skipped. The buffer itself stays the caller's. */
MF4_API void FreeStrings(void** strings, uint64_t count, uint8_t wide);

/* The in-memory header block of the file that `content` was read from; valid until
   FreeContent(content). Null when no open file owns `content`. */
MF4_API const MF4HDBlock* GetHDBlock(MF4Content* content);

#ifdef __cplusplus
}
#endif

/* Layout pins: a host that mirrors these records must get the same sizes and offsets. */
#if defined(__cplusplus)
#  define MF4_STATIC_ASSERT(c, m) static_assert(c, m)
#else
#  define MF4_STATIC_ASSERT(c, m) _Static_assert(c, m)
#endif
MF4_STATIC_ASSERT(sizeof(MF4Char) == 2, "MF4Char is a UTF-16 code unit");
#if UINTPTR_MAX == 0xFFFFFFFFFFFFFFFFu
MF4_STATIC_ASSERT(sizeof(MF4Content) == 200, "MF4Content layout");
MF4_STATIC_ASSERT(offsetof(MF4Content, programId) == 120, "MF4Content layout");
MF4_STATIC_ASSERT(offsetof(MF4Content, startTimeNs) == 136, "MF4Content layout");
MF4_STATIC_ASSERT(offsetof(MF4Content, tzOffsetMin) == 144, "MF4Content layout");
MF4_STATIC_ASSERT(offsetof(MF4Content, historyComment) == 192, "MF4Content layout");
MF4_STATIC_ASSERT(offsetof(MF4Content, formatVersion) == 128, "MF4Content layout");
MF4_STATIC_ASSERT(offsetof(MF4Content, timeKind) == 132, "MF4Content layout");
MF4_STATIC_ASSERT(offsetof(MF4Content, contentFlags) == 152, "MF4Content layout");
MF4_STATIC_ASSERT(sizeof(MF4ChannelGroup) == 184, "MF4ChannelGroup layout");
MF4_STATIC_ASSERT(offsetof(MF4ChannelGroup, masterValueType) == 36, "MF4ChannelGroup layout");
MF4_STATIC_ASSERT(offsetof(MF4ChannelGroup, pathSeparator) == 32, "MF4ChannelGroup layout");
MF4_STATIC_ASSERT(offsetof(MF4ChannelGroup, masterBitOffset) == 164, "MF4ChannelGroup layout");
MF4_STATIC_ASSERT(offsetof(MF4ChannelGroup, sourceChannelNumber) == 104, "MF4ChannelGroup layout");
MF4_STATIC_ASSERT(offsetof(MF4ChannelGroup, masterRangeMin) == 136, "MF4ChannelGroup layout");
MF4_STATIC_ASSERT(offsetof(MF4ChannelGroup, recordDataBytes) == 168, "MF4ChannelGroup layout");
MF4_STATIC_ASSERT(offsetof(MF4ChannelGroup, dataGroupPosition) == 176, "MF4ChannelGroup layout");
MF4_STATIC_ASSERT(sizeof(MF4Channel) == 344, "MF4Channel layout");
MF4_STATIC_ASSERT(offsetof(MF4Channel, cycleCount) == 40, "MF4Channel layout");
MF4_STATIC_ASSERT(offsetof(MF4Channel, dimensionCount) == 56, "MF4Channel layout");
MF4_STATIC_ASSERT(offsetof(MF4Channel, bitCount) == 240, "MF4Channel layout");
MF4_STATIC_ASSERT(offsetof(MF4Channel, bitOffset) == 324, "MF4Channel layout");
MF4_STATIC_ASSERT(offsetof(MF4Channel, precision) == 332, "MF4Channel layout");
MF4_STATIC_ASSERT(offsetof(MF4Channel, dimensionSizes) == 64, "MF4Channel layout");
MF4_STATIC_ASSERT(offsetof(MF4Channel, axes) == 96, "MF4Channel layout");
MF4_STATIC_ASSERT(offsetof(MF4Channel, limitMin) == 200, "MF4Channel layout");
MF4_STATIC_ASSERT(offsetof(MF4Channel, extLimitMin) == 224, "MF4Channel layout");
MF4_STATIC_ASSERT(offsetof(MF4Channel, propertyCount) == 248, "MF4Channel layout");
MF4_STATIC_ASSERT(offsetof(MF4Channel, byteOffset) == 320, "MF4Channel layout");
MF4_STATIC_ASSERT(offsetof(MF4Channel, precisionValid) == 328, "MF4Channel layout");
MF4_STATIC_ASSERT(offsetof(MF4Channel, stringEncoding) == 336, "MF4Channel layout");
MF4_STATIC_ASSERT(sizeof(MF4Axis) == 64, "MF4Axis layout");
MF4_STATIC_ASSERT(offsetof(MF4Axis, axisConversion) == 32, "MF4Axis layout");
MF4_STATIC_ASSERT(sizeof(MF4Conversion) == 184, "MF4Conversion layout");
MF4_STATIC_ASSERT(offsetof(MF4Conversion, name) == 16, "MF4Conversion layout");
MF4_STATIC_ASSERT(offsetof(MF4Conversion, physMin) == 88, "MF4Conversion layout");
MF4_STATIC_ASSERT(offsetof(MF4Conversion, precision) == 108, "MF4Conversion layout");
MF4_STATIC_ASSERT(offsetof(MF4Conversion, statusString) == 112, "MF4Conversion layout");
MF4_STATIC_ASSERT(offsetof(MF4Conversion, propertyCount) == 120, "MF4Conversion layout");
MF4_STATIC_ASSERT(offsetof(MF4Conversion, parameters) == 136, "MF4Conversion layout");
MF4_STATIC_ASSERT(sizeof(MF4ValuePair) == 24, "MF4ValuePair layout");
MF4_STATIC_ASSERT(sizeof(MF4ValueText) == 24, "MF4ValueText layout");
MF4_STATIC_ASSERT(sizeof(MF4RangeText) == 40, "MF4RangeText layout");
MF4_STATIC_ASSERT(offsetof(MF4RangeText, ref) == 32, "MF4RangeText layout");
MF4_STATIC_ASSERT(offsetof(MF4RangeText, refKind) == 24, "MF4RangeText layout");
MF4_STATIC_ASSERT(sizeof(MF4Event) == 136, "MF4Event layout");
MF4_STATIC_ASSERT(offsetof(MF4Event, scope) == 32, "MF4Event layout");
MF4_STATIC_ASSERT(offsetof(MF4Event, rangeBegin) == 88, "MF4Event layout");
MF4_STATIC_ASSERT(offsetof(MF4Event, colorProperty) == 112, "MF4Event layout");
MF4_STATIC_ASSERT(offsetof(MF4Event, systemTime) == 120, "MF4Event layout");
MF4_STATIC_ASSERT(sizeof(MF4Attachment) == 80, "MF4Attachment layout");
MF4_STATIC_ASSERT(offsetof(MF4Attachment, size) == 48, "MF4Attachment layout");
MF4_STATIC_ASSERT(offsetof(MF4Attachment, data) == 72, "MF4Attachment layout");
MF4_STATIC_ASSERT(sizeof(MF4HistoryEntry) == 32, "MF4HistoryEntry layout");
MF4_STATIC_ASSERT(offsetof(MF4HistoryEntry, comment) == 24, "MF4HistoryEntry layout");
MF4_STATIC_ASSERT(offsetof(MF4HistoryEntry, timeFlags) == 20, "MF4HistoryEntry layout");
MF4_STATIC_ASSERT(sizeof(MF4Property) == 32, "MF4Property layout");
MF4_STATIC_ASSERT(offsetof(MF4Property, value) == 24, "MF4Property layout");
MF4_STATIC_ASSERT(sizeof(MF4Error) == 48, "MF4Error layout");
MF4_STATIC_ASSERT(offsetof(MF4Error, detail1) == 16, "MF4Error layout");
MF4_STATIC_ASSERT(offsetof(MF4Error, severity) == 40, "MF4Error layout");
MF4_STATIC_ASSERT(sizeof(MF4ReadItem) == 216, "MF4ReadItem layout");
MF4_STATIC_ASSERT(offsetof(MF4ReadItem, reducedType) == 80, "MF4ReadItem layout");
MF4_STATIC_ASSERT(offsetof(MF4ReadItem, reducedValue) == 88, "MF4ReadItem layout");
MF4_STATIC_ASSERT(offsetof(MF4ReadItem, elementIndices) == 96, "MF4ReadItem layout");
MF4_STATIC_ASSERT(offsetof(MF4ReadItem, capacity) == 136, "MF4ReadItem layout");
MF4_STATIC_ASSERT(offsetof(MF4ReadItem, valueKind) == 128, "MF4ReadItem layout");
MF4_STATIC_ASSERT(offsetof(MF4ReadItem, eventSamples) == 168, "MF4ReadItem layout");
MF4_STATIC_ASSERT(offsetof(MF4ReadItem, usedInterval) == 208, "MF4ReadItem layout");
MF4_STATIC_ASSERT(sizeof(MF4ReadRequest) == 56, "MF4ReadRequest layout");
MF4_STATIC_ASSERT(offsetof(MF4ReadRequest, cancelFlag) == 48, "MF4ReadRequest layout");
MF4_STATIC_ASSERT(sizeof(MF4WriteGroup) == 96, "MF4WriteGroup layout");
MF4_STATIC_ASSERT(sizeof(MF4WriteChannel) == 96, "MF4WriteChannel layout");
MF4_STATIC_ASSERT(offsetof(MF4WriteGroup, valueType) == 40, "MF4WriteGroup layout");
MF4_STATIC_ASSERT(offsetof(MF4WriteGroup, valueCount) == 48, "MF4WriteGroup layout");
MF4_STATIC_ASSERT(offsetof(MF4WriteGroup, values) == 56, "MF4WriteGroup layout");
MF4_STATIC_ASSERT(offsetof(MF4WriteGroup, lengths) == 64, "MF4WriteGroup layout");
MF4_STATIC_ASSERT(offsetof(MF4WriteGroup, interruptionCount) == 72, "MF4WriteGroup layout");
MF4_STATIC_ASSERT(offsetof(MF4WriteGroup, interruptions) == 80, "MF4WriteGroup layout");
MF4_STATIC_ASSERT(offsetof(MF4WriteGroup, user1) == 88, "MF4WriteGroup layout");
MF4_STATIC_ASSERT(offsetof(MF4WriteGroup, user2) == 92, "MF4WriteGroup layout");
MF4_STATIC_ASSERT(offsetof(MF4WriteChannel, memberCount) == 16, "MF4WriteChannel layout");
MF4_STATIC_ASSERT(offsetof(MF4WriteChannel, memberPath) == 24, "MF4WriteChannel layout");
MF4_STATIC_ASSERT(offsetof(MF4WriteChannel, valueType) == 40, "MF4WriteChannel layout");
MF4_STATIC_ASSERT(offsetof(MF4WriteChannel, interruptions) == 80, "MF4WriteChannel layout");
MF4_STATIC_ASSERT(sizeof(MF4WriteRequest) == 64, "MF4WriteRequest layout");
MF4_STATIC_ASSERT(offsetof(MF4WriteRequest, closeFile) == 56, "MF4WriteRequest layout");
#endif
#undef MF4_STATIC_ASSERT

#endif /* TARVIK_MF4_ACCESS_H */
