// What reduction data costs and what it buys, on the records bench_write_data writes (one group:
// a float64 time master 1 ms apart and 20 float64 channels, 168 bytes per record, written
// through WriteContent, WriteData batches of 10,000 records and FinishWriting). Everything goes
// through the public interface only.
//
// Figures (each time the best of three runs; files in a temporary folder; page cache warm):
//  - "add_reduction": AddReductionData on a finished file written without reduction, next to
//    "read_all_channels", ReadData (mode 0) of the master and all 20 channels over all records
//    of the same file. A group that already has reduction data is left alone, so every run gets
//    a fresh copy of the unreduced file, made and flushed to disk before the clock starts.
//  - "write_reduced": WriteContent, WriteData batches and FinishWriting with withReduction set
//    on the group (the library calls only, as in bench_write_data), next to "write_plain" (the
//    same without reduction) and "fwrite" of the same record bytes in 1 MiB pieces with fflush
//    and fclose. The three kinds of run alternate, so that the page cache's write-back weighs on
//    each alike.
//  - "recover": RecoverStreamingFile on a file the library wrote and left with CloseUnfinished,
//    then cut by `kCutBytes` (the last data block cut short), a fresh copy per run as above, next
//    to "fread" of the whole unfinished file in 1 MiB pieces. Its "cycle_count" is what
//    ReadContent reports for the recovered file.
//  - "downsampled_by_time": ReadData mode 3 of channel 0, minimum and maximum in 1000 time
//    buckets over the whole recording (2 s each with the default count; levelTime -1, so any
//    level may serve), before and after AddReductionData on the same file. "used_interval" is
//    the level the read used (-1 or 0: the raw records).
//  - "check" lines: each file the library reduced read back with ReadContent (result, findings,
//    cycle count, reduction raster) and with the 1000-bucket read ("complete": every bucket got
//    its own minimum and maximum of the generated values).
//  - "ratio" lines: the library's seconds over its reference, with the target.
//
// Targets: AddReductionData at most 2 times the read of all channels; writing with reduction at
// most 2.5 times fwrite; recovery at most 2 times fread.
//
// On the development machine (2 cores, ext4, 2,000,000 records, 336 MB of records; four runs
// of the program on idle cores):
//  - AddReductionData ~0.067-0.069 s against ~0.102-0.108 s for the read of all channels: a
//    ratio of ~0.63-0.67. It adds 17.2 MB: five levels of 0.0625 s, 1 s, 16 s, 256 s and 4096 s
//    (the 1 ms period cut to 2^-10 s, times 64, then times 16 per level).
//  - Writing with reduction ~0.140-0.147 s against ~0.065-0.067 s for fwrite: a ratio of
//    ~2.15-2.2; without reduction the same writing takes ~0.107-0.112 s, so the reduction adds
//    about 30 %.
//  - Recovery ~0.070-0.073 s against ~0.036-0.043 s for fread: a ratio of ~1.7-1.97 (fread's
//    own time varies most). 1,990,000 records are kept: the block cut short leaves the chain
//    whole, with its 10,000 records. Recovery reads each record once: the records its repair
//    keeps feed the reduction as they are read.
//  - The 1000 time buckets ~53-54 ms from the raw records and ~0.18-0.19 ms from the 1 s level
//    afterwards, ~275-295 times faster; every check line "complete".
// Where the time goes: copying the records out of the page cache is most of reading; the
// reduction itself reduces two neighbouring float64 fields per vector step, and writing adds
// its rows (~5 % of the data) as RD blocks. Before the reduction was tuned (scalar decoding
// per value, the running sum through memory, a second read in recovery) the ratios were ~1.2-1.8,
// ~3.4-3.65 and ~3.8-6.
//
// Usage: bench_reduction [records]   (default 2,000,000)
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

#include "TarvikMF4Access.h"
#include "best_seconds.h"
#include "float_records.h"
#include "read_requests.h"
#include "support/read_items.h"
#include "support/temp_dir.h"

namespace {

using namespace tarvik::bench;
using tarvik::test::ContentRead;
using tarvik::test::TempDir;
using tarvik::test::widePath;
using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

constexpr int kRuns = 3;
constexpr std::uint64_t kBuckets = 1000;  // time buckets of the down-sampled reads
constexpr std::uint64_t kCutBytes = 300;  // taken off the end of the unfinished file

// The numbers of findings as a JSON array.
std::string findingNumbers(const MF4Error* errors, std::uint64_t count) {
    std::string numbers = "[";
    for (std::uint64_t i = 0; i < count; ++i) numbers += (i == 0 ? "" : ",") + std::to_string(errors[i].messageId);
    return numbers + "]";
}

// The result of a call and the numbers of its findings.
struct CallOutcome {
    std::uint32_t result = MF4_OK;
    std::string findings = "[]";
};

// A call on a file given by path (AddReductionData, RecoverStreamingFile).
using PathCall = std::uint32_t (*)(const MF4Char*, MF4Error**, std::uint64_t*);

CallOutcome callOnFile(PathCall call, const std::u16string& path) {
    MF4Error* errors = nullptr;
    std::uint64_t count = 0;
    const CallOutcome outcome{call(path.c_str(), &errors, &count), findingNumbers(errors, count)};
    FreeErrors(errors, count);
    return outcome;
}

// Copies `from` to `to` and flushes the copy to disk, so that neither the copy nor its
// write-back falls into the next timed call; the copy's pages stay in the page cache.
void freshCopy(const fs::path& from, const fs::path& to) {
    fs::copy_file(from, to, fs::copy_options::overwrite_existing);
    const int file = ::open(to.c_str(), O_RDONLY);
    const bool synced = file >= 0 && ::fsync(file) == 0;
    if (file >= 0) ::close(file);
    if (!synced) throw std::runtime_error("cannot flush the copy " + to.string());
}

// The best of kRuns runs of `work`, each after an untimed `prepare`.
template <typename Prepare, typename Work>
double bestSeconds(Prepare&& prepare, Work&& work) {
    return tarvik::bench::bestSeconds(kRuns, prepare, work);
}

template <typename Work>
double bestSeconds(Work&& work) {
    return tarvik::bench::bestSeconds(kRuns, work);
}

// The whole file with plain stdio, in fread calls of `piece`'s size.
void readThroughStdio(const fs::path& file, std::vector<char>& piece) {
    std::FILE* in = std::fopen(file.string().c_str(), "rb");
    if (in == nullptr) throw std::runtime_error("cannot open " + file.string());
    std::uint64_t bytes = 0;
    for (std::size_t got; (got = std::fread(piece.data(), 1, piece.size(), in)) != 0;) bytes += got;
    std::fclose(in);
    if (bytes != fs::file_size(file)) throw std::runtime_error("short fread");
}

// The 1000-bucket read of channel 0 by time over all records.
BucketRead bucketsByTime(std::uint64_t records) {
    return BucketRead::byTime(records, static_cast<double>(records) * kPeriod / kBuckets, -1);
}

// ReadContent of a file the library reduced, and the down-sampled read over the records it
// reports: one "check" line. Returns the cycle count.
std::uint64_t printCheck(const char* measure, const fs::path& file) {
    const ContentRead read(file);
    const MF4ChannelGroup* group = read.tree != nullptr && read.tree->groupCount == 1 ? read.tree->groups : nullptr;
    const std::uint64_t records = group != nullptr ? group->cycleCount : 0;
    std::uint32_t bucketResult = MF4_ERRORS;
    bool complete = false;
    double usedInterval = -1;
    std::uint64_t valuesTotal = 0;
    if (records != 0) {
        BucketRead buckets = bucketsByTime(records);
        bucketResult = buckets.run(read.tree);
        complete = bucketResult == MF4_OK && buckets.delivered();
        usedInterval = buckets.usedInterval();
        valuesTotal = buckets.valuesTotal();
    }
    std::printf("{\"benchmark\":\"reduction\",\"measure\":\"check\",\"of\":\"%s\",\"read_content_result\":%u,"
                "\"findings\":%s,\"cycle_count\":%ju,\"reduction_raster\":%g,\"buckets_result\":%u,"
                "\"used_interval\":%g,\"values_total\":%ju,\"complete\":%s,\"file_bytes\":%ju}\n",
                measure, static_cast<unsigned>(read.result), findingNumbers(read.errors, read.errorCount).c_str(),
                static_cast<std::uintmax_t>(records),
                group != nullptr ? group->reductionRaster : 0.0, static_cast<unsigned>(bucketResult), usedInterval,
                static_cast<std::uintmax_t>(valuesTotal), complete ? "true" : "false",
                static_cast<std::uintmax_t>(fs::file_size(file)));
    return records;
}

void printRatio(const char* measure, const char* over, double seconds, double reference, double target) {
    std::printf("{\"benchmark\":\"reduction\",\"measure\":\"ratio\",\"of\":\"%s\",\"over\":\"%s\","
                "\"ratio\":%.2f,\"target\":%g}\n",
                measure, over, seconds / reference, target);
}

// AddReductionData on fresh copies of the unreduced file `plain` against reading all of its
// channels.
void measureAddReduction(const TempDir& dir, const fs::path& plain, std::uint64_t records) {
    double readSeconds = 0;
    bool complete = true;
    std::uint32_t readResult = MF4_OK;
    {
        const ContentRead read(plain);
        if (read.tree == nullptr) throw std::runtime_error("ReadContent of the written file failed");
        ReadPlan all(kChannels, records);
        all.byIndex(0, 0);
        readSeconds = bestSeconds([&] {
            readResult = std::max(readResult, all.run(read.tree));
            complete = all.delivered(0, records) && complete;
        });
    }
    const fs::path reduced = dir.file("add_reduction.mf4");
    const std::u16string reducedPath = widePath(reduced);
    CallOutcome call;
    const double addSeconds = bestSeconds([&] { freshCopy(plain, reduced); },
                                          [&] { call = callOnFile(AddReductionData, reducedPath); });
    const std::uint64_t bytes = records * kRecordBytes;
    std::printf("{\"benchmark\":\"reduction\",\"measure\":\"read_all_channels\",\"records\":%ju,\"channels\":%u,"
                "\"seconds\":%.4f,\"mb_per_s\":%.1f,\"result\":%u,\"complete\":%s}\n",
                static_cast<std::uintmax_t>(records), kChannels + 1, readSeconds, megabytesPerSecond(bytes, readSeconds),
                static_cast<unsigned>(readResult), complete ? "true" : "false");
    std::printf("{\"benchmark\":\"reduction\",\"measure\":\"add_reduction\",\"records\":%ju,\"seconds\":%.4f,"
                "\"mb_per_s\":%.1f,\"result\":%u,\"findings\":%s,\"added_bytes\":%ju}\n",
                static_cast<std::uintmax_t>(records), addSeconds, megabytesPerSecond(bytes, addSeconds),
                static_cast<unsigned>(call.result), call.findings.c_str(),
                static_cast<std::uintmax_t>(fs::file_size(reduced) - fs::file_size(plain)));
    printRatio("add_reduction", "read_all_channels", addSeconds, readSeconds, 2);
    printCheck("add_reduction", reduced);
    fs::remove(reduced);
}

// Writing with reduction, without, and plain fwrite, alternating.
void measureWriting(const TempDir& dir, std::uint64_t records) {
    const fs::path reducedFile = dir.file("write_reduced.mf4");
    const fs::path plainFile = dir.file("write_plain.mf4");
    const fs::path stdioFile = dir.file("write_stdio.bin");
    const std::uint64_t bytes = records * kRecordBytes;
    const std::vector<char> chunk = recordChunk();
    WriteFigures reduced, plain;
    reduced.seconds = plain.seconds = std::numeric_limits<double>::max();
    double fwriteSeconds = std::numeric_limits<double>::max();
    for (int run = 0; run < kRuns; ++run) {
        const WriteFigures withLevels = writeThroughLibrary(reducedFile, records, {.withReduction = true});
        if (run == 0) printCheck("write_reduced", reducedFile);
        fs::remove(reducedFile);
        if (withLevels.seconds < reduced.seconds) reduced = withLevels;
        const WriteFigures without = writeThroughLibrary(plainFile, records);
        fs::remove(plainFile);
        if (without.seconds < plain.seconds) plain = without;
        fwriteSeconds = std::min(fwriteSeconds, writeThroughStdio(stdioFile, bytes, chunk));
        fs::remove(stdioFile);
    }
    for (const auto& [name, figures] : {std::pair{"write_reduced", reduced}, std::pair{"write_plain", plain}})
        std::printf("{\"benchmark\":\"reduction\",\"measure\":\"%s\",\"records\":%ju,\"batch_records\":%ju,"
                    "\"calls\":%ju,\"seconds\":%.4f,\"mb_per_s\":%.1f,\"generate_seconds\":%.4f}\n",
                    name, static_cast<std::uintmax_t>(records), static_cast<std::uintmax_t>(kBatchRecords),
                    static_cast<std::uintmax_t>(figures.calls), figures.seconds,
                    megabytesPerSecond(bytes, figures.seconds), figures.generateSeconds);
    std::printf("{\"benchmark\":\"reduction\",\"measure\":\"fwrite\",\"bytes\":%ju,\"chunk_bytes\":%zu,"
                "\"seconds\":%.4f,\"mb_per_s\":%.1f}\n",
                static_cast<std::uintmax_t>(bytes), kChunkBytes, fwriteSeconds,
                megabytesPerSecond(bytes, fwriteSeconds));
    printRatio("write_reduced", "fwrite", reduced.seconds, fwriteSeconds, 2.5);
    std::printf("{\"benchmark\":\"reduction\",\"measure\":\"ratio\",\"of\":\"write_reduced\","
                "\"over\":\"write_plain\",\"ratio\":%.2f}\n",
                reduced.seconds / plain.seconds);
}

// RecoverStreamingFile on fresh copies of an unfinished file cut short, against fread of it.
void measureRecovery(const TempDir& dir, std::uint64_t records) {
    const fs::path unfinished = dir.file("unfinished.mf4");
    writeThroughLibrary(unfinished, records, {.finish = false});
    const std::uint64_t written = fs::file_size(unfinished);
    fs::resize_file(unfinished, written - kCutBytes);
    const fs::path recovered = dir.file("recovered.mf4");
    const std::u16string recoveredPath = widePath(recovered);
    CallOutcome call;
    const double recoverSeconds = bestSeconds([&] { freshCopy(unfinished, recovered); },
                                              [&] { call = callOnFile(RecoverStreamingFile, recoveredPath); });
    std::vector<char> piece(kChunkBytes);
    const double freadSeconds = bestSeconds([&] { readThroughStdio(unfinished, piece); });
    const std::uint64_t fileBytes = fs::file_size(unfinished);
    const std::uint64_t cycles = printCheck("recover", recovered);
    std::printf("{\"benchmark\":\"reduction\",\"measure\":\"recover\",\"records_written\":%ju,\"cut_bytes\":%ju,"
                "\"file_bytes\":%ju,\"seconds\":%.4f,\"result\":%u,\"findings\":%s,\"cycle_count\":%ju}\n",
                static_cast<std::uintmax_t>(records), static_cast<std::uintmax_t>(kCutBytes),
                static_cast<std::uintmax_t>(fileBytes), recoverSeconds, static_cast<unsigned>(call.result),
                call.findings.c_str(), static_cast<std::uintmax_t>(cycles));
    std::printf("{\"benchmark\":\"reduction\",\"measure\":\"fread\",\"bytes\":%ju,\"chunk_bytes\":%zu,"
                "\"seconds\":%.4f,\"mb_per_s\":%.1f}\n",
                static_cast<std::uintmax_t>(fileBytes), piece.size(), freadSeconds,
                megabytesPerSecond(fileBytes, freadSeconds));
    printRatio("recover", "fread", recoverSeconds, freadSeconds, 2);
    fs::remove(recovered);
    fs::remove(unfinished);
}

// The 1000-bucket read of a copy of `plain`, then AddReductionData on it, then the read again.
void measureDownsampled(const TempDir& dir, const fs::path& plain, std::uint64_t records) {
    const fs::path file = dir.file("downsampled.mf4");
    freshCopy(plain, file);
    auto timedRead = [&](const char* stage) {
        const ContentRead read(file);
        if (read.tree == nullptr) throw std::runtime_error("ReadContent failed before the down-sampled read");
        BucketRead buckets = bucketsByTime(records);
        std::uint32_t result = MF4_OK;
        const double seconds = bestSeconds([&] { result = std::max(result, buckets.run(read.tree)); });
        std::printf("{\"benchmark\":\"reduction\",\"measure\":\"downsampled_by_time\",\"stage\":\"%s\","
                    "\"records\":%ju,\"buckets\":%ju,\"values_total\":%ju,\"used_interval\":%g,\"seconds\":%.6f,"
                    "\"result\":%u,\"complete\":%s}\n",
                    stage, static_cast<std::uintmax_t>(records), static_cast<std::uintmax_t>(buckets.buckets()),
                    static_cast<std::uintmax_t>(buckets.valuesTotal()), buckets.usedInterval(), seconds,
                    static_cast<unsigned>(result), buckets.delivered() ? "true" : "false");
        return seconds;
    };
    const double before = timedRead("before");
    const CallOutcome call = callOnFile(AddReductionData, widePath(file));
    if (call.result == MF4_ERRORS) throw std::runtime_error("AddReductionData failed: " + call.findings);
    const double after = timedRead("after");
    std::printf("{\"benchmark\":\"reduction\",\"measure\":\"ratio\",\"of\":\"downsampled_by_time_before\","
                "\"over\":\"downsampled_by_time_after\",\"ratio\":%.1f}\n",
                before / after);
    fs::remove(file);
}

}  // namespace

int main(int argc, char** argv) {
    const std::uint64_t records =
        argc > 1 ? std::max<std::uint64_t>(2 * kBatchRecords, std::strtoull(argv[1], nullptr, 10)) : 2'000'000;
    try {
        const TempDir dir;
        const fs::path plain = dir.file("plain.mf4");
        writeThroughLibrary(plain, records);
        std::printf("{\"benchmark\":\"reduction\",\"records\":%ju,\"record_bytes\":%ju,\"file_bytes\":%ju}\n",
                    static_cast<std::uintmax_t>(records), static_cast<std::uintmax_t>(kRecordBytes),
                    static_cast<std::uintmax_t>(fs::file_size(plain)));
        std::fflush(stdout);
        measureAddReduction(dir, plain, records);
        std::fflush(stdout);
        measureWriting(dir, records);
        std::fflush(stdout);
        measureRecovery(dir, records);
        std::fflush(stdout);
        measureDownsampled(dir, plain, records);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "bench_reduction: %s\n", error.what());
        return 1;
    }
    return 0;
}
