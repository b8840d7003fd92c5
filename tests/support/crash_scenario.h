// A writer killed at any moment, for the crash test and bench_crash_stress: a child process
// writes two groups batch by batch until the parent kills it (SIGKILL, or TerminateProcess on
// Windows), reporting each call's result through a pipe; the parent then checks that the file
// holds every batch WriteData accepted, value for value, and nothing of a batch in flight in
// part, both as the kill left it and after RecoverStreamingFile. Batch sizes and values follow from the batch number and the
// record index alone, so the parent knows what every record must hold.
//
// Nothing here asserts: each step returns a description of the first thing that is not as it
// must be, empty when all is well, so a test and a benchmark program can both use it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace tarvik::test::crash {

// Where a run kills: after the child reported batch `pauseAfter` (-1: WriteContent), either
// right there while it waits, or once it was let go again after `delayUs`.
struct KillPoint {
    std::int64_t pauseAfter;
    bool goOn;
    unsigned delayUs;
};

std::string describe(const KillPoint& kill);
inline void PrintTo(const KillPoint& kill, std::ostream* out) { *out << describe(kill); }

// `count` kill points from `seed`: first, as far as they fit, twice each batch just before one
// that puts the 1st, 2nd, 256th, 257th, 768th, 769th, 1792nd or 1793rd data block into a chain
// (of either group; the strings follow "Fast"): a chain's first block, its first DL with one
// link and with two, and where a writer that lists blocks in DLs of 256, 512, 1024 ... links
// starts a new one; once killed while waiting, once after a random 0 to 80 us. The rest at
// random times from WriteContent on, up to bounds of 30 us to 90 ms in turn (a batch takes some
// tens of microseconds), so that kills land from the first batch to thousands.
std::vector<KillPoint> killPoints(std::size_t count, std::uint32_t seed);

// What a killed run left: `problem` is empty when the child wrote until it was killed at the
// kill point, else says why not (a call that failed, an end of its own); `accepted` counts the
// batches WriteData accepted before the kill.
struct KilledRun {
    std::string problem;
    std::uint64_t accepted = 0;
};

// Writes `file` in a child process (group "Slow" with reduction while writing) and kills it at
// `kill` (support/killable_child). The child never returns into the caller's code.
KilledRun writeAndKill(const std::filesystem::path& file, const KillPoint& kill);

// The file as the kill left it ("UnFinMF " by design), read through a copy in `dir` marked
// finished: no error findings, and every group holds exactly the accepted batches (the batch in
// flight whole or not at all).
std::string checkUnfinished(const TempDir& dir, const std::filesystem::path& file, std::uint64_t accepted);

// RecoverStreamingFile on the file, then: no findings at all, the accepted batches as above,
// reduction data in every group that has records, and per time bucket the minimum and maximum
// of every numeric channel, read from the reduction levels, equal to those of the values written
// into the bucket.
std::string checkRecovered(const std::filesystem::path& file, std::uint64_t accepted);

}  // namespace tarvik::test::crash
