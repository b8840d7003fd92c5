// The identification block at the start of every MDF 4 file: file id, format version and the
// program that wrote it.
#pragma once

#include <cstdint>
#include <string_view>

#include "blocks/block.h"

namespace tarvik {

class ZtCMF4Stream;
class ZtCReadContext;

inline constexpr std::string_view kFinishedFileId = "MDF     ";
inline constexpr std::string_view kUnfinishedFileId = "UnFinMF ";
inline constexpr std::uint64_t kIdBlockSize = 64;
inline constexpr std::uint16_t kToolVersion = 410;  // the newest format this library writes

struct IdRecord {
    char id_file[8] = {};
    char id_vers[8] = {};
    char id_prog[8] = {};
    std::uint8_t reserved1[4] = {};
    std::uint16_t id_ver = 0;  // in memory: the version parsed from id_vers when it has a "."
    std::uint8_t reserved2[30] = {};
    std::uint16_t id_unfin_flags = 0;
    std::uint16_t id_custom_unfin_flags = 0;
};

class ZtCIDBlock final : public ZtCMF4Block {
public:
    explicit ZtCIDBlock(IdRecord& record) : record_(record) {}
    std::uint64_t linkCount() const override { return 0; }
    std::uint64_t blockSize() const override { return kIdBlockSize; }
    void release() override {}

private:
    [[maybe_unused]] IdRecord& record_;  // what writing the block will take its fields from
};

// Version number of an id_vers text: major * 100 + minor from "<major>.<minor>", each the
// digits up to the first non-digit ("4.10    " -> 410, "4.1" -> 401). -1 without a ".".
int parseVersionText(const char (&id_vers)[8], const char (&id_prog)[8]);

// Reads and checks the ID block at offset 0 into `record` and sets the context's version.
// A version outside 4.00..4.19 raises finding 130, a file that does not start with "MDF     "
// (an unfinished file among them) finding 102. kOk or kFailed.
int readIdBlock(ZtCReadContext& context, IdRecord& record);

// Writes the ID block of a new, unfinished file: "UnFinMF ", the version text, the program
// identifier. kOk or kFailed.
int writeIdBlock(ZtCMF4Stream& stream, std::uint16_t version, const char (&programId)[8]);

// Overwrites the file id at offset 0 with "MDF     ", marking the file finished.
int markFileFinished(ZtCMF4Stream& stream);

}  // namespace tarvik
