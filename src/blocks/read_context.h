// The state of one structure read: the file being walked, where findings go, and what the
// walk has learnt so far that later blocks need.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_set>
#include <vector>

#include "blocks/stream.h"

namespace tarvik {

class FindingList;

// Bits of ZtCReadContext::options.
inline constexpr std::uint64_t kReadSkipEvents = 1;  // the event chain is not read
inline constexpr std::uint64_t kReadSkipData = 2;    // data and signal-data lists are not read
inline constexpr std::uint64_t kReadUnfinished = 4;  // a file still marked "UnFinMF " is read too

class ZtCReadContext {
public:
    ZtCReadContext(std::u16string path, FindingList& findings, std::uint64_t options)
        : path(std::move(path)), findings(&findings), structureFindings(&findings), options(options) {}

    ZtCMF4Stream stream;
    std::u16string path;              // resolves relative attachment paths
    FindingList* findings;            // receives errors of the walk
    FindingList* structureFindings;   // receives the structure checks' findings
    std::uint16_t version = 0;        // format version, set by the ID block reader
    std::vector<std::int64_t> attachmentPositions;  // AT blocks in the order read
    std::uint64_t options = 0;
    // Channel blocks read so far: a channel reached a second time (through a next or a
    // composition link) would make the walk endless, so it fails the read instead.
    std::unordered_set<std::int64_t> channelsRead;
    // Structures nested in structures, counted so that a damaged file cannot exhaust the stack.
    int compositionDepth = 0;
};

}  // namespace tarvik
