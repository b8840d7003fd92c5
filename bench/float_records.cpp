#include "float_records.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "support/host_tree.h"

namespace tarvik::bench {

namespace {

using Clock = std::chrono::steady_clock;

// The host's tree: a float64 master and kChannels float64 channels in one group.
void buildTree(test::HostTree& tree, bool withReduction) {
    MF4ChannelGroup& group = tree.addGroup(u"time", kFloat64);
    group.withReduction = withReduction ? 1 : 0;
    for (unsigned c = 0; c < kChannels; ++c) {
        const std::string name = "ch" + std::to_string(c);
        tree.addChannel(0, std::u16string(name.begin(), name.end()), kFloat64, 64);
    }
}

}  // namespace

void fillRecords(std::string& bytes, std::uint64_t first, std::uint64_t count) {
    bytes.resize(count * kRecordBytes);
    char* out = bytes.data();
    for (std::uint64_t record = first; record < first + count; ++record) {
        const double time = timeOf(record);
        std::memcpy(out, &time, 8);
        out += 8;
        for (unsigned channel = 0; channel < kChannels; ++channel) {
            const double value = valueOf(channel, record);
            std::memcpy(out, &value, 8);
            out += 8;
        }
    }
}

std::vector<char> recordChunk() {
    std::string records;
    fillRecords(records, 0, (kChunkBytes + kRecordBytes - 1) / kRecordBytes);
    return std::vector<char>(records.begin(), records.begin() + static_cast<std::ptrdiff_t>(kChunkBytes));
}

void check(std::uint32_t result, MF4Error* errors, std::uint64_t count, const char* call) {
    std::string findings;
    for (std::uint64_t i = 0; i < count; ++i) findings += " " + std::to_string(errors[i].messageId);
    FreeErrors(errors, count);
    if (result != MF4_OK) throw std::runtime_error(std::string(call) + " gave " + std::to_string(result) + findings);
}

WriteFigures writeThroughLibrary(const std::filesystem::path& file, std::uint64_t records,
                                 const WriteOptions& options) {
    const std::uint64_t batchRecords = options.batchRecords;
    test::HostTree tree(file);
    buildTree(tree, options.withReduction);
    // One batch's values: the master and every channel, reused by every batch.
    std::vector<std::vector<double>> values(1 + kChannels, std::vector<double>(batchRecords));
    std::vector<MF4WriteChannel> items(kChannels);
    for (unsigned c = 0; c < kChannels; ++c) {
        items[c].structSize = sizeof items[c];
        items[c].channel = c;
        items[c].valueType = kFloat64;
        items[c].values = values[1 + c].data();
    }
    MF4WriteGroup group{};
    group.structSize = sizeof group;
    group.valueType = kFloat64;
    group.values = values[0].data();
    MF4WriteRequest request{};
    request.structSize = sizeof request;
    request.channelCount = kChannels;
    request.channels = items.data();
    request.groupCount = 1;
    request.groups = &group;

    WriteFigures figures;
    Clock::duration inLibrary{}, generating{};
    MF4Error* errors = nullptr;
    std::uint64_t count = 0;
    auto start = Clock::now();
    check(WriteContent(tree.path().c_str(), tree.content(), &errors, &count), errors, count, "WriteContent");
    inLibrary += Clock::now() - start;
    for (std::uint64_t first = 0; first < records; first += batchRecords) {
        const std::uint64_t n = std::min(batchRecords, records - first);
        start = Clock::now();
        for (std::uint64_t r = 0; r < n; ++r) values[0][r] = timeOf(first + r);
        for (unsigned c = 0; c < kChannels; ++c) {
            double* out = values[1 + c].data();
            for (std::uint64_t r = 0; r < n; ++r) out[r] = valueOf(c, first + r);
        }
        group.valueCount = n;
        for (MF4WriteChannel& item : items) item.valueCount = n;
        const auto made = Clock::now();
        generating += made - start;
        errors = nullptr;
        count = 0;
        check(WriteData(tree.content(), &request, &errors, &count), errors, count, "WriteData");
        inLibrary += Clock::now() - made;
        ++figures.calls;
    }
    errors = nullptr;
    count = 0;
    start = Clock::now();
    if (options.finish)
        check(FinishWriting(tree.content(), &errors, &count), errors, count, "FinishWriting");
    else
        CloseUnfinished(tree.content());
    inLibrary += Clock::now() - start;
    figures.seconds = std::chrono::duration<double>(inLibrary).count();
    figures.generateSeconds = std::chrono::duration<double>(generating).count();
    return figures;
}

double writeThroughStdio(const std::filesystem::path& file, std::uint64_t bytes, const std::vector<char>& chunk) {
    const auto start = Clock::now();
    std::FILE* out = std::fopen(file.string().c_str(), "wb");
    if (out == nullptr) throw std::runtime_error("cannot create the fwrite file");
    bool complete = true;
    for (std::uint64_t done = 0; done < bytes && complete;) {
        const std::size_t piece = static_cast<std::size_t>(std::min<std::uint64_t>(chunk.size(), bytes - done));
        complete = std::fwrite(chunk.data(), 1, piece, out) == piece;
        done += piece;
    }
    complete = std::fflush(out) == 0 && complete;
    complete = std::fclose(out) == 0 && complete;
    const std::chrono::duration<double> took = Clock::now() - start;
    if (!complete) throw std::runtime_error("short fwrite");
    return took.count();
}

double megabytesPerSecond(std::uint64_t bytes, double seconds) { return static_cast<double>(bytes) / seconds / 1e6; }

}  // namespace tarvik::bench
