// What a file being written keeps between WriteContent, the WriteData calls and FinishWriting:
// where every block that later calls patch lies, the growing data-block chains, the channels'
// record placement and value ranges, the event chain's ends and the comments as written.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "TarvikMF4Access.h"
#include "writer/reduction_engine.h"

namespace tarvik {

class CommentRenderer;

// A chain of data blocks (DT for a group's records, SD for a variable-length channel's values)
// listed by DL blocks that are written whole with room for more links and filled as blocks come.
struct DataChain {
    std::int64_t linkSlot = 0;      // file position that receives the next DL's position
    std::int64_t listPosition = 0;  // the current DL
    std::uint64_t used = 0;         // links of the current DL in use
    std::uint64_t capacity = 0;     // links the current DL has room for
    std::uint64_t dataLength = 0;   // bytes of data in the chain's blocks so far
    std::uint64_t blockCount = 0;
};

// Where a channel's values go in each record, and what has been written for it so far.
struct ChannelSlot {
    const MF4Channel* channel = nullptr;  // null for a group's master
    std::int64_t position = 0;            // the CN block
    std::uint64_t linkCount = 8;
    std::uint8_t channelType = 0;
    std::uint8_t dataType = 0;
    std::uint32_t byteOffset = 0;
    std::uint8_t bitOffset = 0;
    std::uint32_t bitCount = 0;
    std::uint64_t elements = 1;  // product of the dimension sizes for an array
    std::uint32_t valueType = 0; // the one numeric value type whose bits fit the channel; 0 if none
    std::uint32_t flags = 0;     // cn_flags as on disk
    bool rangeValid = false;     // a value was written: rangeMin/rangeMax hold
    bool rangeChanged = false;   // the range on disk is older than rangeMin/rangeMax
    double rangeMin = 0;
    double rangeMax = 0;
    DataChain signalData;             // variable-length channels
    std::vector<ChannelSlot> members; // structure members, in the order of `children`

    bool variableLength() const { return channelType == 1; }
};

struct GroupSlot {
    const MF4ChannelGroup* group = nullptr;
    std::int64_t dataGroupPosition = 0;
    std::int64_t channelGroupPosition = 0;
    std::uint32_t dataBytes = 0;
    ChannelSlot master;
    std::vector<std::uint64_t> channels;  // content indices of the group's top-level channels
    DataChain records;
    std::uint64_t cycleCount = 0;
    bool withReduction = false;
    bool hasInterruptions = false;
    // The reduction computed while writing, made at the group's first batch.
    std::unique_ptr<ReductionEngine> reduction;
};

// A comment as written, with the link that points to it and the way to render it again from
// the host's tree, so that finishing can tell whether the host changed it.
struct CommentSlot {
    int order = 0;                 // finishing renders comments in this order
    std::int64_t linkPosition = 0; // file position of the comment link
    std::u16string written;        // the text written; empty when no block was written
    std::function<std::optional<std::u16string>(CommentRenderer&)> render;
};

// The ends of the event chain. Acquisition-interruption pairs come first, in the order written;
// the host's events follow them.
struct EventChainEnds {
    std::int64_t lastPairEnd = 0;  // the last pair's end block
    std::int64_t firstEvent = 0;   // the first event that is not an interruption pair
    std::int64_t lastEvent = 0;    // the last event of the chain that is not a pair
};

struct WriteSession {
    MF4Content* content = nullptr;
    std::uint16_t version = 410;
    std::vector<GroupSlot> groups;
    std::vector<ChannelSlot> channels;              // by content channel index
    std::vector<std::int64_t> conversionPositions;  // by content index; 0 when not written
    std::vector<std::int64_t> attachmentPositions;
    std::vector<CommentSlot> comments;
    EventChainEnds events;
    // Buffers every batch reuses, so a long recording holds about one batch.
    std::vector<std::uint8_t> recordBuffer;                 // a tile of records
    std::vector<std::uint8_t> signalBuffer;                 // one SD block's entries
    std::vector<std::vector<std::uint64_t>> signalPositions;  // per variable-length item
};

}  // namespace tarvik
