// The records the data benchmarks write and read: one group of a float64 time master, one
// record per millisecond, and 20 float64 channels, 168 bytes per record. Their values, the same
// bytes for plain stdio, and writing them through the public interface in batches, so that every
// benchmark measures the same file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "TarvikMF4Access.h"

namespace tarvik::bench {

inline constexpr unsigned kChannels = 20;
inline constexpr std::uint64_t kRecordBytes = 8 * (1 + kChannels);
inline constexpr std::uint32_t kFloat64 = 5;
inline constexpr double kPeriod = 1e-3;  // master step between records, s
inline constexpr std::uint64_t kBatchRecords = 10'000;
inline constexpr std::size_t kChunkBytes = std::size_t{1} << 20;  // plain stdio's pieces

inline double timeOf(std::uint64_t record) { return static_cast<double>(record) * kPeriod; }

// A sawtooth of ADC counts per channel, scaled: cheap to make, and as repetitive as slowly
// changing measured signals, so deflate finds what it finds in real files.
inline double valueOf(unsigned channel, std::uint64_t record) {
    const std::uint64_t counts = (record * (channel + 3)) % 4096;
    return static_cast<double>(counts) * 0.0025 + channel;
}

// Writes the records [first, first + count) into `bytes`, back to back as the file holds them.
void fillRecords(std::string& bytes, std::uint64_t first, std::uint64_t count);

// 1 MiB of records as the library writes them (record after record, the last one cut).
std::vector<char> recordChunk();

// Releases the findings of a call and throws, naming the call, its result and the finding
// numbers, when the result is not MF4_OK.
void check(std::uint32_t result, MF4Error* errors, std::uint64_t count, const char* call);

struct WriteOptions {
    std::uint64_t batchRecords = kBatchRecords;  // records per WriteData call
    bool withReduction = false;                  // the group's withReduction
    bool finish = true;                          // FinishWriting; false: CloseUnfinished
};

struct WriteFigures {
    double seconds = 0;          // library calls only
    double generateSeconds = 0;  // the host making its batches
    std::uint64_t calls = 0;     // WriteData calls
};

// Writes `records` records to `file` through WriteContent, WriteData batches and FinishWriting
// (or CloseUnfinished). The batches' values are made into buffers every batch reuses; making
// them is timed apart from the library calls. Throws when a call fails.
WriteFigures writeThroughLibrary(const std::filesystem::path& file, std::uint64_t records,
                                 const WriteOptions& options = {});

// `bytes` bytes with plain stdio, in fwrite calls of `chunk` (1 MiB), fflush and fclose timed
// too: the seconds. Throws on a short write.
double writeThroughStdio(const std::filesystem::path& file, std::uint64_t bytes, const std::vector<char>& chunk);

double megabytesPerSecond(std::uint64_t bytes, double seconds);

}  // namespace tarvik::bench
