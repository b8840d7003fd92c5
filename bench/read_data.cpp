// How fast ReadData delivers values, next to the physical limit of reading the same bytes with
// plain fread. Three generated 4.10 files hold the same records (a float64 time master and 20
// float64 channels, 168 bytes per record): one in a list of DT blocks ("dt"), one in a list of
// DZ blocks deflated as they are ("dz_deflate", zip type 0) and one in a list of DZ blocks
// transposed into byte columns before deflating ("dz_transposed", zip type 1, 168 columns:
// byte 0 of every record, then byte 1, and so on, which packs these values about 20 times
// tighter than zip type 0 with the default count). The DT file also carries
// three reduction levels of 0.01 s, 0.1 s and 1 s (records 1 ms apart). Each read goes through
// the public interface only and is timed as the best of three runs with warm file caches. The
// plain reads (all channels, one channel, the 1 % range) run on a tree read anew for each run
// (not timed), so a compressed file's figure is that of decoding it, not of blocks the library
// kept decoded from an earlier run (with a small record count the whole file would fit).
//
// Figures: "covered_bytes" are the bytes of the records a read covers (records x 168, whatever
// the number of channels asked for: the records have to be read either way); "mb_per_s" is
// covered_bytes per second (MB = 10^6 bytes), for a read from a reduction level an effective
// rate. "value_bytes" are the bytes of values delivered. The fread line reads the DT file whole,
// levels included; its mb_per_s is file bytes per second.
//
// Every file gets all_channels, one_channel and a 1 % time range of one channel in the middle
// of the records (it straddles two data blocks): "..._first" (and plain "one_channel") is the
// first ReadData on the fresh tree, "..._repeated" the same request again on that tree, which
// may use what the first call left decoded. Every such line has "ms" beside "seconds"; the
// lines of the DZ files add "dt_mb_per_s" (the same read of the DT file in this run) and the
// targets: all channels of dz_deflate at 1000 MB/s or more, the 1 % range in under 30 ms on a
// first call and under 5 ms repeated ("target_mb_per_s" or "target_ms", and "meets_target":
// only read off, never asserted). The "against_fread" line sets the DT file's one-channel reads
// against fread of the whole file in 1 MiB pieces (target: half the time) and its all-channel
// read against fread of as many bytes as it delivers into a buffer allocated for the call
// (target: at most 1.2 times).
//
// Down-sampled reads (DT file): channel 0 over all records in 1000 buckets, minimum and maximum
// per bucket, so "values_total" is at most 2000. "by_index" takes buckets of records;
// "by_time_raw" buckets of records x 1 ms / 1000 read from the raw records, "by_time_levels"
// the same buckets from the coarsest level that fits ("used_interval"; 1 s with the default
// count, where the buckets are 2 s). The "ratios" line sets the raw time read against the
// level read, and the read by record buckets against the plain one-channel read. With other
// record counts a level's start times can lie a rounding step before a bucket boundary, which
// leaves buckets empty and values_total below 2000; "complete" allows for that.
//
// On the development machine (2 cores, 2,000,000 records; several runs, other work kept
// aside): all channels of the DT file ~100-115 ms (0.65-0.7 of fread into a new buffer); one
// channel ~35-37 ms read in place, 0.76-0.8 of fread of the file in 1 MiB pieces (~46 ms): the
// 168-byte records put a value of the channel in every third 64-byte line, and the processor's
// stream prefetcher brings in all of them, so both reads stream about as many bytes from
// memory. The same in record buckets ~36-44 ms, in time buckets ~50-56 ms from the raw records
// and ~0.05-0.2 ms from the 1 s level, 2000 values each. DZ deflate: all channels 670-800 MB/s,
// one channel 900-960 MB/s, the 1 % range 18 ms first and 0.2 ms repeated; DZ transposed: all
// channels 1030-1090 MB/s, the range 11 ms first. Inflating a 5.25 MB block takes ~6-9 ms on
// one core, and two inflating at once each take longer on this machine, which bounds the
// deflate file's all-channel rate below the 1000 MB/s target.
//
// Usage: bench_read_data [records]   (default 2,000,000)
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <limits>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "TarvikMF4Access.h"
#include "support/mdf_blocks.h"
#include "support/mdf_builder.h"
#include "support/temp_dir.h"
#include "best_seconds.h"
#include "dz_blocks.h"
#include "float_records.h"
#include "read_requests.h"
#include "reduction_levels.h"

namespace {

using namespace tarvik::test;
using namespace tarvik::bench;

constexpr int kRuns = 3;
// Reduction levels of the DT file, in records per interval: 0.01 s, 0.1 s and 1 s.
const std::vector<std::uint64_t> kLevelRecords{10, 100, 1000};
constexpr std::uint64_t kBuckets = 1000;  // buckets of the down-sampled reads

// The blocks in front of the data: ID, HD with its file history, DG, CG, the channels and a DL
// whose data links are still zero; `dlPosition` tells where to write the finished DL.
struct FileHead {
    std::string bytes;
    std::int64_t cgPosition = 0;
    std::int64_t dlPosition = 0;
    std::vector<std::uint64_t> offsets;  // logical offset of each data block's records
};

FileHead makeHead(std::uint64_t records, std::uint64_t recordsPerBlock) {
    MdfBuilder file;
    const auto hd = file.addBlock("##HD", {0, 0, 0, 0, 0, 0}, hdData({}));
    const auto history = file.addText(
        "##MD", "<FHcomment xmlns=\"http://www.asam.net/mdf/v4\"><TX>generated</TX>"
                "<tool_id>bench_read_data</tool_id><tool_vendor>tarvik</tool_vendor>"
                "<tool_version>1.0</tool_version></FHcomment>");
    setLink(file, hd, 1, file.addBlock("##FH", {0, history}, fhData({})));
    const auto dg = file.addBlock("##DG", {0, 0, 0, 0}, dgData(0));
    const auto cg = file.addBlock(
        "##CG", {0, 0, 0, 0, 0, 0},
        cgData({.cycleCount = records, .dataBytes = static_cast<std::uint32_t>(kRecordBytes)}));
    std::int64_t previous = 0;
    for (unsigned c = 0; c <= kChannels; ++c) {
        const bool master = c == 0;
        const auto name = file.addText("##TX", master ? "time" : "ch" + std::to_string(c - 1));
        const CnFields fields{.type = static_cast<std::uint8_t>(master ? 2 : 0),
                              .syncType = static_cast<std::uint8_t>(master ? 1 : 0),
                              .dataType = 4,
                              .byteOffset = 8 * c,
                              .bitCount = 64};
        const auto channel = file.addBlock("##CN", {0, 0, name, 0, 0, 0, 0, 0}, cnData(fields));
        setLink(file, previous == 0 ? cg : previous, previous == 0 ? 1 : 0, channel);
        previous = channel;
    }
    FileHead head;
    head.cgPosition = cg;
    for (std::uint64_t first = 0; first < records; first += recordsPerBlock)
        head.offsets.push_back(first * kRecordBytes);
    const std::vector<std::int64_t> links(head.offsets.size() + 1, 0);
    head.dlPosition = addBlock(file, "##DL", links, dlOffsetData(head.offsets));
    setLink(file, hd, 0, dg);
    setLink(file, dg, 1, cg);
    setLink(file, dg, 2, head.dlPosition);
    head.bytes = file.bytes();
    return head;
}

// A file being written block by block, each block at the next multiple of 8.
class BlockFile {
public:
    BlockFile(const std::filesystem::path& path, const std::string& head)
        : out_(path, std::ios::binary | std::ios::trunc) {
        write(head);
    }
    std::int64_t append(const std::string& block) {
        write(std::string((8 - position_ % 8) % 8, '\0'));
        const auto at = static_cast<std::int64_t>(position_);
        write(block);
        return at;
    }
    // Points link `index` of the block at `block` (already written) at `target`.
    void patchLink(std::int64_t block, unsigned index, std::int64_t target) {
        out_.seekp(static_cast<std::streamoff>(linkAt(block, index)));
        const std::string link = i64(target);
        out_.write(link.data(), static_cast<std::streamsize>(link.size()));
        out_.seekp(static_cast<std::streamoff>(position_));
    }
    void finish(const FileHead& head, const std::vector<std::int64_t>& blocks) {
        std::vector<std::int64_t> links{0};
        links.insert(links.end(), blocks.begin(), blocks.end());
        out_.seekp(head.dlPosition);
        const std::string dl = blockBytes("##DL", links, dlOffsetData(head.offsets));
        out_.write(dl.data(), static_cast<std::streamsize>(dl.size()));
        out_.close();
        if (!out_) throw std::runtime_error("cannot write the benchmark file");
    }

private:
    void write(const std::string& bytes) {
        out_.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        position_ += bytes.size();
    }
    std::ofstream out_;
    std::uint64_t position_ = 0;
};

struct FilePaths {
    std::filesystem::path dt, dzDeflate, dzTransposed;
};

// Writes the three files in one pass over the records. Deflating is the slow part, so blocks
// are made on worker threads while the next records are made; only those in flight are held in
// memory. The DT file also gets the reduction levels, made while the last blocks are deflated.
void writeFiles(const FilePaths& paths, std::uint64_t records) {
    const std::uint64_t perBlock = recordsPerBlock(records);
    const FileHead head = makeHead(records, perBlock);
    BlockFile dtFile(paths.dt, head.bytes);
    BlockFile deflateFile(paths.dzDeflate, head.bytes);
    BlockFile transposedFile(paths.dzTransposed, head.bytes);
    std::vector<std::int64_t> dtBlocks, deflateBlocks, transposedBlocks;
    DzQueue queue;
    std::string chunk;
    for (std::uint64_t first = 0; first < records; first += perBlock) {
        fillRecords(chunk, first, std::min(perBlock, records - first));
        dtBlocks.push_back(dtFile.append(blockBytes("##DT", {}, chunk)));
        queue.add(chunk, kZipDeflate, 0, [&](std::string&& block) {
            deflateBlocks.push_back(deflateFile.append(block));
        });
        queue.add(chunk, kZipTransposeDeflate, static_cast<std::uint32_t>(kRecordBytes),
                  [&](std::string&& block) {
                      transposedBlocks.push_back(transposedFile.append(block));
                  });
    }
    const tarvik::bench::RecordShape shape{records, 1 + kChannels, kPeriod};
    const std::int64_t firstLevel = tarvik::bench::appendReductionLevels(
        shape, kLevelRecords, fillRecords,
        [&dtFile](const std::string& block) { return dtFile.append(block); });
    dtFile.patchLink(head.cgPosition, 4, firstLevel);  // cg_sr_first
    queue.finish();
    dtFile.finish(head, dtBlocks);
    deflateFile.finish(head, deflateBlocks);
    transposedFile.finish(head, transposedBlocks);
}

template <typename Work>
double bestSeconds(Work&& work) {
    return tarvik::bench::bestSeconds(kRuns, work);
}

double freadSeconds(const std::filesystem::path& path, std::vector<char>& buffer) {
    buffer.resize(std::filesystem::file_size(path));
    return bestSeconds([&] {
        std::FILE* file = std::fopen(path.string().c_str(), "rb");
        if (file == nullptr) throw std::runtime_error("cannot open the benchmark file");
        const std::size_t read = std::fread(buffer.data(), 1, buffer.size(), file);
        std::fclose(file);
        if (read != buffer.size()) throw std::runtime_error("short fread");
    });
}

// Plain fread of the file in 1 MiB pieces into one buffer: what any reader of all its bytes pays.
double freadChunksSeconds(const std::filesystem::path& path) {
    std::vector<char> chunk(std::size_t{1} << 20);
    return bestSeconds([&] {
        std::FILE* file = std::fopen(path.string().c_str(), "rb");
        if (file == nullptr) throw std::runtime_error("cannot open the benchmark file");
        while (std::fread(chunk.data(), 1, chunk.size(), file) == chunk.size()) {
        }
        std::fclose(file);
    });
}

// Plain fread of `bytes` bytes of the file into a buffer allocated for the call, as a read of
// that many values' bytes into a host's new arrays must at least cost.
double freadFreshSeconds(const std::filesystem::path& path, std::size_t bytes) {
    return bestSeconds([&] {
        std::unique_ptr<char[]> buffer(new char[bytes]);
        std::FILE* file = std::fopen(path.string().c_str(), "rb");
        if (file == nullptr) throw std::runtime_error("cannot open the benchmark file");
        const std::size_t read = std::fread(buffer.get(), 1, bytes, file);
        std::fclose(file);
        if (read != bytes) throw std::runtime_error("short fread");
    });
}

struct Figures {
    std::string file, read;
    std::uint32_t result = MF4_ERRORS;
    std::uint64_t records = 0;
    std::uint64_t valueBytes = 0;
    double seconds = 0;
    bool complete = false;

    double mbPerS() const { return static_cast<double>(records * kRecordBytes) / seconds / 1e6; }
};

// What a compressed file's line is set against: the same read of the DT file in this run, and
// the read's target, in MB/s or (for the range reads) in ms; 0 where a line has none.
struct Comparison {
    double dtMbPerS = 0;
    double targetMbPerS = 0;
    double targetMs = 0;
};

void print(const Figures& f, double freadMbPerS, const Comparison& against = {}) {
    const double covered = static_cast<double>(f.records * kRecordBytes);
    const double ms = f.seconds * 1e3;
    std::string extra;
    char field[96];
    if (against.dtMbPerS > 0) {
        std::snprintf(field, sizeof field, ",\"dt_mb_per_s\":%.1f", against.dtMbPerS);
        extra += field;
    }
    if (against.targetMbPerS > 0) {
        std::snprintf(field, sizeof field, ",\"target_mb_per_s\":%g,\"meets_target\":%s",
                      against.targetMbPerS, f.mbPerS() >= against.targetMbPerS ? "true" : "false");
        extra += field;
    }
    if (against.targetMs > 0) {
        std::snprintf(field, sizeof field, ",\"target_ms\":%g,\"meets_target\":%s",
                      against.targetMs, ms < against.targetMs ? "true" : "false");
        extra += field;
    }
    std::printf("{\"benchmark\":\"read_data\",\"file\":\"%s\",\"read\":\"%s\",\"records\":%ju,"
                "\"covered_bytes\":%.0f,\"value_bytes\":%ju,\"seconds\":%.6f,\"ms\":%.3f,"
                "\"mb_per_s\":%.1f,\"fread_mb_per_s\":%.1f%s,\"result\":%u,\"complete\":%s}\n",
                f.file.c_str(), f.read.c_str(), static_cast<std::uintmax_t>(f.records), covered,
                static_cast<std::uintmax_t>(f.valueBytes), f.seconds, ms, f.mbPerS(), freadMbPerS,
                extra.c_str(), static_cast<unsigned>(f.result), f.complete ? "true" : "false");
    std::fflush(stdout);
}

// ReadContent of `path`; the result and the finding numbers, comma-separated, go to the
// arguments. Null when no tree came back.
MF4Content* openContent(const std::filesystem::path& path, std::uint32_t& result,
                        std::string& findings) {
    const std::u16string widePathText = widePath(path);
    MF4Content* content = nullptr;
    MF4Error* errors = nullptr;
    std::uint64_t errorCount = 0;
    result = ReadContent(widePathText.c_str(), &content, &errors, &errorCount);
    findings.clear();
    for (std::uint64_t i = 0; i < errorCount; ++i) {
        if (i > 0) findings += ',';
        findings += std::to_string(errors[i].messageId);
    }
    FreeErrors(errors, errorCount);
    return content;
}

bool expectedTree(const MF4Content* content, std::uint32_t result) {
    return content != nullptr && result != MF4_ERRORS && content->channelCount == kChannels &&
           content->groupCount == 1 && content->groups[0].masterValueType == kFloat64;
}

template <typename Work>
double secondsOf(Work&& work) {
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Runs `work` kRuns times, each time on a tree of `path` read anew (not timed): a read then
// meets a file of which nothing is decoded yet, as a host's first read of it does, and no run
// is served from blocks that an earlier run left decoded. `work` times what it measures.
template <typename Work>
void onFreshTrees(const std::string& name, const std::filesystem::path& path, Work&& work) {
    for (int run = 0; run < kRuns; ++run) {
        std::uint32_t opened = MF4_ERRORS;
        std::string findings;
        MF4Content* content = openContent(path, opened, findings);
        if (!expectedTree(content, opened)) {
            FreeContent(content);
            throw std::runtime_error("ReadContent of " + name + " failed");
        }
        work(content);
        FreeContent(content);
    }
}

struct FirstAndRepeated {
    Figures first, repeated;
};

// The best run of `plan` as the first read of a fresh tree (`firstName`), and, when
// `repeatedName` is given, the best run of the same plan once more on that tree.
FirstAndRepeated timed(const std::string& file, const std::filesystem::path& path, ReadPlan& plan,
                       std::uint64_t first, std::uint64_t records, unsigned channels,
                       const std::string& firstName, const std::string& repeatedName = "") {
    const Figures start{file, "", MF4_OK, records, records * 8 * (channels + 1),
                        std::numeric_limits<double>::max(), true};
    FirstAndRepeated figures{start, start};
    figures.first.read = firstName;
    figures.repeated.read = repeatedName;
    onFreshTrees(file, path, [&](MF4Content* content) {
        for (Figures* call : {&figures.first, &figures.repeated}) {
            if (call->read.empty()) continue;
            call->seconds = std::min(call->seconds, secondsOf([&] {
                call->result = std::max(call->result, plan.run(content));
            }));
            call->complete = plan.delivered(first, records) && call->complete;
        }
    });
    return figures;
}

// One channel over 1 % of the records by time, in the middle, where the range straddles two
// data blocks: the first ReadData on a fresh tree, then the same request once more on it.
FirstAndRepeated measureRange(const std::string& name, const std::filesystem::path& path,
                              std::uint64_t records) {
    const std::uint64_t count = std::max<std::uint64_t>(1, records / 100);
    const std::uint64_t first = (records - count) / 2;
    ReadPlan range(1, count);
    range.byTime(timeOf(first), timeOf(first + count - 1));
    return timed(name, path, range, first, count, 1, "one_channel_1pct_by_time_first",
                 "one_channel_1pct_by_time_repeated");
}

// Times `read` and prints its line; returns the best seconds.
double measureBuckets(const std::string& file, const std::string& name, MF4Content* content,
                      BucketRead& read, std::uint64_t records, double freadMbPerS) {
    std::uint32_t result = MF4_OK;
    const double seconds = bestSeconds([&] { result = std::max(result, read.run(content)); });
    const bool complete = read.delivered();
    const double covered = static_cast<double>(records * kRecordBytes);
    char interval[64] = "";
    if (read.byTime())
        std::snprintf(interval, sizeof interval, "\"used_interval\":%g,", read.usedInterval());
    std::printf("{\"benchmark\":\"read_data\",\"file\":\"%s\",\"read\":\"%s\",\"records\":%ju,"
                "\"covered_bytes\":%.0f,\"buckets\":%ju,\"values_total\":%ju,"
                "\"value_bytes\":%ju,%s\"seconds\":%.6f,\"mb_per_s\":%.1f,"
                "\"fread_mb_per_s\":%.1f,\"result\":%u,\"complete\":%s}\n",
                file.c_str(), name.c_str(), static_cast<std::uintmax_t>(records), covered,
                static_cast<std::uintmax_t>(read.buckets()),
                static_cast<std::uintmax_t>(read.valuesTotal()),
                static_cast<std::uintmax_t>(read.valuesStored() * 16), interval, seconds,
                covered / seconds / 1e6, freadMbPerS, static_cast<unsigned>(result),
                complete ? "true" : "false");
    return seconds;
}

// The whole time range in kBuckets buckets, from the raw records and then from the levels,
// and the line of ratios against the reads already measured.
void measureBucketsByTime(const std::string& file, MF4Content* content, std::uint64_t records,
                          double freadMbPerS, double oneChannelSeconds, double byIndexSeconds) {
    // The records span records x kPeriod (each lasting one period); with 2,000,000 records
    // the buckets are 2 s, two intervals of the coarsest level.
    const double bucketTime = static_cast<double>(records) * kPeriod / kBuckets;
    BucketRead raw = BucketRead::byTime(records, bucketTime, 0);
    const double rawSeconds = measureBuckets(file, "one_channel_buckets_by_time_raw", content,
                                             raw, records, freadMbPerS);
    BucketRead levels = BucketRead::byTime(records, bucketTime, -1);
    const double levelSeconds = measureBuckets(file, "one_channel_buckets_by_time_levels",
                                               content, levels, records, freadMbPerS);
    std::printf("{\"benchmark\":\"read_data\",\"file\":\"%s\",\"read\":\"ratios\","
                "\"by_time_raw_over_levels\":%.1f,\"by_index_buckets_over_one_channel\":%.2f}\n",
                file.c_str(), rawSeconds / levelSeconds, byIndexSeconds / oneChannelSeconds);
}

// mb_per_s of the reads of one file, by the name of the read.
using ReadRates = std::map<std::string, double>;

// Targets of the compressed files (MB/s of all channels from the deflate file; ms of the range).
constexpr double kTargetDeflateAllMbPerS = 1000;
constexpr double kTargetRangeFirstMs = 30;
constexpr double kTargetRangeRepeatedMs = 5;

// The reads of one file; each line compares with `freadMbPerS`, and a compressed file's lines
// (`dtRates` given) with the same reads of the DT file. The down-sampled reads run on the file
// `withBuckets` (the one with reduction levels).
ReadRates measureFile(const std::string& name, const std::filesystem::path& path,
                      std::uint64_t records, double freadMbPerS, bool withBuckets,
                      const ReadRates* dtRates = nullptr, double allChannelsTarget = 0) {
    ReadRates rates;
    const auto against = [&](const std::string& read, double targetMbPerS, double targetMs) {
        Comparison comparison;
        if (dtRates == nullptr) return comparison;
        const auto dt = dtRates->find(read);
        comparison.dtMbPerS = dt == dtRates->end() ? 0 : dt->second;
        comparison.targetMbPerS = targetMbPerS;
        comparison.targetMs = targetMs;
        return comparison;
    };
    const auto report = [&](const Figures& figures, double targetMbPerS, double targetMs) {
        rates[figures.read] = figures.mbPerS();
        print(figures, freadMbPerS, against(figures.read, targetMbPerS, targetMs));
    };
    std::uint32_t opened = MF4_ERRORS;
    std::string findings;
    MF4Content* content = openContent(path, opened, findings);
    std::printf("{\"benchmark\":\"read_data\",\"file\":\"%s\",\"read\":\"content\","
                "\"result\":%u,\"findings\":[%s],\"reduction_raster\":%g}\n",
                name.c_str(), static_cast<unsigned>(opened), findings.c_str(),
                content != nullptr && content->groupCount > 0 ? content->groups[0].reductionRaster
                                                              : 0.0);
    if (!expectedTree(content, opened)) {
        std::printf("{\"benchmark\":\"read_data\",\"file\":\"%s\",\"error\":\"ReadContent\"}\n",
                    name.c_str());
        FreeContent(content);
        return rates;
    }
    {
        ReadPlan all(kChannels, records);
        all.byIndex(0, 0);
        report(timed(name, path, all, 0, records, kChannels, "all_channels").first, allChannelsTarget, 0);
    }
    double oneChannelSeconds = 0;
    {
        ReadPlan one(1, records);
        one.byIndex(0, 0);
        // Repeated on the same tree, the file's pages are already set up for the library.
        const FirstAndRepeated figures = timed(name, path, one, 0, records, 1, "one_channel", "one_channel_repeated");
        oneChannelSeconds = figures.first.seconds;
        report(figures.first, 0, 0);
        report(figures.repeated, 0, 0);
    }
    if (withBuckets) {
        BucketRead read = BucketRead::byIndex(records, (records + kBuckets - 1) / kBuckets);
        const double byIndexSeconds = measureBuckets(name, "one_channel_buckets_by_index",
                                                     content, read, records, freadMbPerS);
        measureBucketsByTime(name, content, records, freadMbPerS, oneChannelSeconds,
                             byIndexSeconds);
    }
    FreeContent(content);
    const FirstAndRepeated range = measureRange(name, path, records);
    report(range.first, 0, kTargetRangeFirstMs);
    report(range.repeated, 0, kTargetRangeRepeatedMs);
    return rates;
}

}  // namespace

int main(int argc, char** argv) {
    const std::uint64_t records =
        argc > 1 ? std::max<std::uint64_t>(100, std::strtoull(argv[1], nullptr, 10)) : 2'000'000;
    try {
        const TempDir dir;
        const FilePaths paths{dir.file("records_dt.mf4"), dir.file("records_dz_deflate.mf4"),
                              dir.file("records_dz_transposed.mf4")};
        const auto start = std::chrono::steady_clock::now();
        writeFiles(paths, records);
        const std::chrono::duration<double> made = std::chrono::steady_clock::now() - start;
        std::printf("{\"benchmark\":\"read_data\",\"records\":%ju,\"record_bytes\":%ju,"
                    "\"dt_file_bytes\":%ju,\"dz_deflate_file_bytes\":%ju,"
                    "\"dz_transposed_file_bytes\":%ju,\"generation_seconds\":%.2f}\n",
                    static_cast<std::uintmax_t>(records),
                    static_cast<std::uintmax_t>(kRecordBytes),
                    static_cast<std::uintmax_t>(std::filesystem::file_size(paths.dt)),
                    static_cast<std::uintmax_t>(std::filesystem::file_size(paths.dzDeflate)),
                    static_cast<std::uintmax_t>(std::filesystem::file_size(paths.dzTransposed)),
                    made.count());

        double freadMbPerS = 0;
        {
            std::vector<char> buffer;
            const double seconds = freadSeconds(paths.dt, buffer);
            freadMbPerS = static_cast<double>(buffer.size()) / seconds / 1e6;
            std::printf("{\"benchmark\":\"read_data\",\"file\":\"dt\",\"read\":\"fread\","
                        "\"bytes\":%zu,\"seconds\":%.4f,\"mb_per_s\":%.1f}\n",
                        buffer.size(), seconds, freadMbPerS);
        }
        std::fflush(stdout);
        const ReadRates dt = measureFile("dt", paths.dt, records, freadMbPerS, true);
        {
            // One channel against fread of the file in 1 MiB pieces (target: half the time or
            // less), all channels against fread of their values' bytes into a new buffer
            // (target: 1.2 times or less).
            const double covered = static_cast<double>(records * kRecordBytes);
            const double chunks = freadChunksSeconds(paths.dt);
            const double fresh = freadFreshSeconds(paths.dt, records * kRecordBytes);
            const auto seconds = [&](const char* read) { return covered / (dt.at(read) * 1e6); };
            std::printf("{\"benchmark\":\"read_data\",\"file\":\"dt\",\"read\":\"against_fread\","
                        "\"fread_chunks_seconds\":%.4f,\"one_channel_over_fread_chunks\":%.2f,"
                        "\"one_channel_repeated_over_fread_chunks\":%.2f,\"target\":0.5,"
                        "\"fread_fresh_buffer_seconds\":%.4f,\"all_channels_over_fread_fresh\":%.2f,"
                        "\"target_all\":1.2}\n",
                        chunks, seconds("one_channel") / chunks, seconds("one_channel_repeated") / chunks, fresh,
                        seconds("all_channels") / fresh);
        }
        measureFile("dz_deflate", paths.dzDeflate, records, freadMbPerS, false, &dt,
                    kTargetDeflateAllMbPerS);
        measureFile("dz_transposed", paths.dzTransposed, records, freadMbPerS, false, &dt);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "bench_read_data: %s\n", error.what());
        return 1;
    }
    return 0;
}
