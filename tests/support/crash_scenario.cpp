#include "support/crash_scenario.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <iterator>
#include <random>
#include <thread>

#include "support/host_tree.h"
#include "support/killable_child.h"
#include "support/read_items.h"

namespace tarvik::test::crash {
namespace {

// Group "Fast" (master, a double, a u32, a 3-bit unsigned and a 12-bit signed bit field, and a
// variable-length UTF-8 string) and group "Slow" (master, a float, a u16 and a 5-bit field,
// reduced while writing): the two groups' records differ in size, and the strings go to a chain
// of their own.
constexpr std::uint64_t kFast = 0, kSlow = 1;
constexpr std::uint32_t kText = 30;

template <typename T>
std::string bytesOf(T value) { return {reinterpret_cast<const char*>(&value), sizeof value}; }
// Every 17th text is written as a null pointer, which stands for the empty string.
bool textIsNull(std::uint64_t i) { return i % 17 == 0; }
std::string textOf(std::uint64_t i) {
    if (textIsNull(i)) return {};
    const std::size_t fill = i % 101 == 1 ? 300 : i % 23;
    return "v" + std::to_string(i) + std::string(fill, static_cast<char>('a' + i % 26));
}

// A channel: where it goes, how it is stored, and its value in record `i` (counted from the
// group's first record): the bytes the host hands over, or the text.
struct ChannelShape {
    const char16_t* name;
    std::uint64_t group;
    std::uint32_t valueType, bitCount;
    std::string (*valueOf)(std::uint64_t i);
};
const ChannelShape kChannels[] = {
    {u"speed", kFast, 5, 64, [](std::uint64_t i) { return bytesOf(static_cast<double>(i * 7919 % 10007) * 0.01 - 30.0); }},
    {u"count", kFast, 19, 32, [](std::uint64_t i) { return bytesOf(static_cast<std::uint32_t>(i * 2654435761u)); }},
    {u"flags", kFast, 17, 3, [](std::uint64_t i) { return bytesOf(static_cast<std::uint8_t>((i * 5 + 3) & 7)); }},
    {u"level", kFast, 2, 12, [](std::uint64_t i) { return bytesOf(static_cast<std::int16_t>(i * 97 % 4096 - 2048)); }},
    {u"text", kFast, kText, 64, textOf},
    {u"temp", kSlow, 4, 32, [](std::uint64_t i) { return bytesOf(static_cast<float>(i % 1000) * 0.25f - 40.0f); }},
    {u"state", kSlow, 18, 16, [](std::uint64_t i) { return bytesOf(static_cast<std::uint16_t>(i * 40503u)); }},
    {u"mode", kSlow, 17, 5, [](std::uint64_t i) { return bytesOf(static_cast<std::uint8_t>((i * 11 + 7) % 32)); }},
};

double timeOf(std::uint64_t group, std::uint64_t i) { return group == kFast ? i * 0.5 + 0.25 : i * 2.0; }

// Records of a group in batch `batch`: mostly small and varying, now and then a large one (so
// that a kill can land inside a long write), and now and then none (the group item is skipped).
std::uint64_t batchRecords(std::uint64_t group, std::uint64_t batch) {
    if (group == kSlow) return batch % 5 == 2 ? 0 : 1 + (batch * 13 + 5) % 9;
    if (batch % 64 == 63) return 3000;
    return batch % 7 == 4 ? 0 : 1 + (batch * 37 + 11) % 48;
}

std::string narrow(const char16_t* text) {
    const std::u16string_view view = text != nullptr ? text : u"";
    return {view.begin(), view.end()};
}

std::string number(double value) {
    char text[32];
    return {text, std::to_chars(text, text + sizeof text, value).ptr};
}

// A value of the table as a reader wants to see it: a number, or a quoted text.
std::string shown(const ChannelShape& shape, const std::string& value) {
    return shape.valueType == kText ? '"' + value + '"' : number(numberAt(value.data(), shape.valueType, 0));
}

std::string describe(const MF4Error& e) {
    return "finding " + std::to_string(e.messageId) + ": " + narrow(e.message) + " [" + narrow(e.detail2) + "]";
}

// ---------------------------------------------------------------------------------------------
// The child.

// The child tells the parent each call's result in one byte: one write to the pipe, so nothing
// sits in a buffer when the kill lands, and the pipe takes it whole or not at all.
void report(int fd, std::uint32_t result) { writeByte(fd, static_cast<char>(result)); }

// Blocks until the parent sends its byte; ends the child when the parent is gone.
void awaitGo(int goFd) {
    if (!readByte(goFd)) std::_Exit(5);
}

// The groups and channels the child writes.
void addWriterGroups(HostTree& tree) {
    tree.addGroup(u"Fast");
    tree.addGroup(u"Slow").withReduction = 1;
    for (const ChannelShape& shape : kChannels) tree.addChannel(shape.group, shape.name, shape.valueType, shape.bitCount);
}

// Creates the file and writes batch after batch until the parent kills the process; after batch
// `pauseAfter` (-1: WriteContent) it waits for the parent's go first. Never returns: the child
// must not run the parent's code or destructors.
[[noreturn]] void writeUntilKilled(HostTree& tree, int reportFd, int goFd, std::int64_t pauseAfter) {
    try {
        const std::uint32_t created = tree.create();
        report(reportFd, created);
        if (created != MF4_OK) std::_Exit(2);
        if (pauseAfter == -1) awaitGo(goFd);
        std::uint64_t first[2] = {0, 0};
        for (std::uint64_t batch = 0;; ++batch) {
            // Both group items always (the library skips one without records), channel items only
            // for a group that writes.
            WriteBatch request;
            std::vector<double> times[2];
            for (std::uint64_t g : {kFast, kSlow}) {
                for (std::uint64_t r = 0; r < batchRecords(g, batch); ++r) times[g].push_back(timeOf(g, first[g] + r));
                request.group(g, 5, times[g].data(), times[g].size());
            }
            std::string packed[std::size(kChannels)];
            std::vector<std::string> texts;
            std::vector<const char*> textPointers;
            for (std::uint64_t c = 0; c < std::size(kChannels); ++c) {
                const ChannelShape& shape = kChannels[c];
                const std::uint64_t from = first[shape.group], records = times[shape.group].size();
                if (records == 0) continue;
                if (shape.valueType != kText) {
                    for (std::uint64_t r = 0; r < records; ++r) packed[c] += shape.valueOf(from + r);
                    request.channel(c, shape.valueType, packed[c].data(), records);
                    continue;
                }
                for (std::uint64_t r = 0; r < records; ++r) texts.push_back(shape.valueOf(from + r));
                for (std::uint64_t r = 0; r < records; ++r)
                    textPointers.push_back(textIsNull(from + r) ? nullptr : texts[r].c_str());
                request.channel(c, kText, textPointers.data(), records);
            }
            const std::uint32_t result = request.write(tree.content());
            report(reportFd, result);
            if (result != MF4_OK) std::_Exit(3);
            if (static_cast<std::int64_t>(batch) == pauseAfter) awaitGo(goFd);
            for (std::uint64_t g : {kFast, kSlow}) first[g] += times[g].size();
        }
    } catch (...) {
        std::_Exit(4);
    }
}

// The child's body: its argument is the batch to pause after, then the file's path (UTF-8).
void writerBody(const std::string& argument, int reportFd, int goFd) {
    const std::size_t space = argument.find(' ');
    const std::int64_t pauseAfter = std::strtoll(argument.c_str(), nullptr, 10);
    const std::string path = argument.substr(space + 1);
    HostTree tree(std::filesystem::path(std::u8string(path.begin(), path.end())));
    addWriterGroups(tree);
    writeUntilKilled(tree, reportFd, goFd, pauseAfter);
}

// A program that runs the scenario is started again on Windows to be the child.
[[maybe_unused]] const bool kChildDone = (runAsChildWhenAsked(writerBody), false);

// ---------------------------------------------------------------------------------------------
// The parent's checks.

std::uint64_t channelIndex(const MF4Content* tree, const ChannelShape& shape) {
    const std::string name = narrow(shape.name);
    std::uint64_t index = 0;
    while (index < tree->channelCount && narrow(tree->channels[index].name) != name) ++index;
    return index;
}

// Channel `index` of a tree read back (`shape` in the table) with its group's master (into
// `master`): the values stored, as the table gives them, numbers as the bytes of their type.
std::uint32_t readChannel(MF4Content* tree, std::uint64_t index, const ChannelShape& shape, Buffer<double>& master,
                          std::vector<std::string>& values) {
    const std::uint64_t slots = master.values.size();
    const bool text = shape.valueType == kText;
    const std::size_t width = text ? 0 : shape.valueOf(0).size();
    Buffer<std::uint8_t> bytes(slots * width);
    Buffer<char*> texts(text ? slots : 0, nullptr);
    MF4ReadItem item = text ? texts.bind({.index = index, .valueKind = kText, .capacity = slots}) : bytes.item(index, slots);
    MF4ReadItem group = master.item(tree->channels[index].groupIndex);
    const std::uint32_t result = readData(tree, MF4_READ_SAMPLE_BASED, &item, 1, &group, 1);
    for (std::uint64_t i = 0; result == MF4_OK && i < std::min(*item.valuesStored, slots); ++i)
        values.push_back(!text ? std::string(reinterpret_cast<const char*>(&bytes.values[i * width]), width)
                         : texts.values[i] != nullptr ? texts.values[i] : "<null>");
    if (text) FreeStrings(reinterpret_cast<void**>(texts.values.data()), values.size(), 0);
    return result;
}

// Reads every record of group `group` back, the master and each channel, and checks them
// against the values written. The records of the `accepted` batches must be there; those of the
// batch in flight may be, but only all of them.
std::string checkGroup(MF4Content* tree, std::uint64_t group, std::uint64_t accepted) {
    std::uint64_t reported = 0;
    for (std::uint64_t b = 0; b < accepted; ++b) reported += batchRecords(group, b);
    const std::uint64_t next = batchRecords(group, accepted);
    const std::string where = std::string(group == kFast ? "Fast" : "Slow") + " (reported records " +
                              std::to_string(reported) + ", batch in flight " + std::to_string(next) + "): ";
    const std::uint64_t cycles = tree->groups[group].cycleCount;
    if (cycles < reported) return where + "cycle count " + std::to_string(cycles) + ": records of a batch WriteData accepted are lost";
    if (cycles != reported && cycles != reported + next)
        return where + "cycle count " + std::to_string(cycles) + ": part of the batch in flight is visible";
    Buffer<double> master(cycles + 1);  // a slot more, so that a record too many would show
    for (const ChannelShape& shape : kChannels) {
        if (shape.group != group) continue;
        const std::string name = narrow(shape.name);
        const std::uint64_t index = channelIndex(tree, shape);
        if (index == tree->channelCount) return where + "channel " + name + " is missing";
        if (tree->channels[index].groupIndex != group)
            return where + "channel " + name + " is in group " + std::to_string(tree->channels[index].groupIndex);
        std::vector<std::string> got;
        if (const std::uint32_t result = readChannel(tree, index, shape, master, got); result != MF4_OK)
            return where + "ReadData of " + name + " returned " + std::to_string(result);
        if (master.total != cycles || master.stored != cycles)
            return where + "the records that can be read (" + std::to_string(master.total) + ", stored " +
                   std::to_string(master.stored) + ") differ from the cycle count " + std::to_string(cycles);
        if (got.size() != cycles) return where + name + ": " + std::to_string(got.size()) + " values read of " + std::to_string(cycles);
        for (std::uint64_t i = 0; i < cycles; ++i)
            if (got[i] != shape.valueOf(i))
                return where + name + ", record " + std::to_string(i) + ": read " + shown(shape, got[i]) + ", written " +
                       shown(shape, shape.valueOf(i));
    }
    for (std::uint64_t i = 0; i < cycles; ++i)
        if (master.values[i] != timeOf(group, i))
            return where + "master, record " + std::to_string(i) + ": read " + number(master.values[i]) + ", written " +
                   number(timeOf(group, i));
    return {};
}

// Buckets of about a sixteenth of `span` whose width every reduction level up to it divides:
// levels are `level` x 16^i long, so a width of level x 16^j x k with k at most 16 is read from
// the coarsest level that fits, and each interval of that level falls into one bucket whole.
// Level intervals and buckets both count from the group's first record.
double bucketWidth(double level, double span) {
    double scale = 1, k = std::max(1.0, std::ceil(span / 16 / level));
    while (k > 16) k = std::ceil(k / 16), scale *= 16;
    return level * scale * k;
}

// A bucket's smallest and largest value.
struct Extremes {
    std::int64_t bucket;
    double minimum, maximum;
};

// The group's reduction: levels exist, and a mode-3 read (buckets of time from the first
// record to the last, any level up to the bucket width) gives per non-empty bucket the minimum
// and the maximum of the values written there, for every numeric channel.
std::string checkReduction(MF4Content* tree, std::uint64_t group) {
    const MF4ChannelGroup& info = tree->groups[group];
    const std::uint64_t cycles = info.cycleCount;
    std::string where = group == kFast ? "Fast: " : "Slow: ";
    if (cycles == 0) return {};
    if (!(info.reductionRaster > 0)) return where + "no reduction data (reductionRaster " + number(info.reductionRaster) + ")";
    const double start = timeOf(group, 0), end = timeOf(group, cycles - 1);
    const double width = bucketWidth(16 * info.reductionRaster, end - start);
    // The last record, on the boundary that closes the range, belongs to the last bucket.
    const double lastBucket = std::max(0.0, std::ceil((end - start) / width) - 1);
    const auto bucketOf = [&](double time) {
        return static_cast<std::int64_t>(std::min(std::floor((time - start) / width), lastBucket));
    };
    where += "mode 3, buckets of " + number(width) + " from " + number(start) + " to " + number(end);
    for (const ChannelShape& shape : kChannels) {
        if (shape.group != group || shape.valueType == kText) continue;
        std::vector<Extremes> written;
        for (std::uint64_t r = 0; r < cycles; ++r) {
            const double value = numberAt(shape.valueOf(r).data(), shape.valueType, 0);
            const std::int64_t bucket = bucketOf(timeOf(group, r));
            if (written.empty() || written.back().bucket != bucket) written.push_back({bucket, value, value});
            written.back().minimum = std::min(written.back().minimum, value);
            written.back().maximum = std::max(written.back().maximum, value);
        }
        const std::uint64_t index = channelIndex(tree, shape);
        const std::uint32_t valueType = tree->channels[index].valueType;
        const std::string name = where + ", " + narrow(shape.name);
        // Eight bytes a slot hold a value of any numeric kind; list B gets the double master.
        constexpr std::uint64_t kSlots = 64;
        Buffer<std::uint64_t> minimum(kSlots), maximum(kSlots);
        Buffer<double> minimumAt(kSlots), maximumAt(kSlots);
        MF4ReadItem pattern{.index = index, .startTime = start, .endTime = end, .method = MF4_DOWNSAMPLE_MIN,
                            .bucketTime = width, .levelTime = -1, .capacity = kSlots};
        MF4ReadItem listA[2] = {minimum.bind(pattern), {}}, listB[2] = {minimumAt.bind(pattern), {}};
        pattern.method = MF4_DOWNSAMPLE_MAX;
        listA[1] = maximum.bind(pattern);
        listB[1] = maximumAt.bind(pattern);
        if (const std::uint32_t result = readData(tree, MF4_READ_DOWNSAMPLED_TIME_BASED, listA, 2, listB, 2); result != MF4_OK)
            return name + ": ReadData returned " + std::to_string(result);
        if (!(minimum.usedInterval > 0 && maximum.usedInterval > 0))
            return name + ": read the raw records, not a reduction level (usedInterval " + number(minimum.usedInterval) + ")";
        const std::string level = " (level " + number(minimum.usedInterval) + ")";
        for (const auto& [what, values, at, extreme] :
             {std::tuple{"minimum", &minimum, &minimumAt, &Extremes::minimum}, {"maximum", &maximum, &maximumAt, &Extremes::maximum}}) {
            if (values->total != written.size() || values->stored != written.size() || at->stored != written.size())
                return name + level + ": " + std::to_string(values->total) + " " + what + " values (" +
                       std::to_string(at->stored) + " places) for " + std::to_string(written.size()) + " buckets that hold records";
            for (std::size_t k = 0; k < written.size(); ++k) {
                const double value = numberAt(values->values.data(), valueType, k);
                if (bucketOf(at->values[k]) != written[k].bucket || value != written[k].*extreme)
                    return name + level + ": " + what + " " + std::to_string(k) + " read " + number(value) + " at " +
                           number(at->values[k]) + ", written " + number(written[k].*extreme) + " in bucket " +
                           std::to_string(written[k].bucket);
            }
        }
    }
    return {};
}

}  // namespace

std::string describe(const KillPoint& kill) {
    return "after batch " + std::to_string(kill.pauseAfter) + (kill.goOn ? " + " + std::to_string(kill.delayUs) + " us" : "");
}

std::vector<KillPoint> killPoints(std::size_t count, std::uint32_t seed) {
    constexpr std::uint64_t kEdges[] = {1, 2, 256, 257, 768, 769, 1792, 1793};
    std::vector<std::int64_t> batches;
    for (std::uint64_t group : {kFast, kSlow})
        for (std::uint64_t batch = 0, blocks = 0; blocks < kEdges[std::size(kEdges) - 1]; ++batch)
            if (batchRecords(group, batch) > 0 && std::find(std::begin(kEdges), std::end(kEdges), ++blocks) != std::end(kEdges))
                batches.push_back(static_cast<std::int64_t>(batch) - 1);
    std::sort(batches.begin(), batches.end());
    batches.erase(std::unique(batches.begin(), batches.end()), batches.end());
    std::mt19937 random(seed);
    std::vector<KillPoint> points;
    for (std::int64_t batch : batches) {
        points.push_back({batch, false, 0});
        points.push_back({batch, true, std::uniform_int_distribution<unsigned>(0, 80)(random)});
    }
    points.resize(std::min(points.size(), count));
    constexpr unsigned kDelayBoundsUs[] = {30, 300, 3'000, 30'000, 90'000};
    for (std::size_t i = 0; points.size() < count; ++i)
        points.push_back({-1, true, std::uniform_int_distribution<unsigned>(0, kDelayBoundsUs[i % 5])(random)});
    return points;
}

KilledRun writeAndKill(const std::filesystem::path& file, const KillPoint& kill) {
    const std::u8string path = file.u8string();
    KillableChild child;
    const std::string started =
        child.start(writerBody, std::to_string(kill.pauseAfter) + ' ' + std::string(path.begin(), path.end()));
    if (!started.empty()) return {started};

    // The reports up to the pause (WriteContent's, then one per batch), the go, and the kill.
    const auto untilPause = static_cast<std::size_t>(kill.pauseAfter + 2);
    std::string received;
    child.readReports(received, untilPause);
    const bool paused = received.size() == untilPause;
    if (paused && kill.goOn) {
        if (!child.sendGo()) return {"the go could not be sent"};
        // Spinning at the end, since a sleep alone overshoots short delays by more than a batch takes.
        const auto until = std::chrono::steady_clock::now() + std::chrono::microseconds(kill.delayUs);
        if (kill.delayUs > 2'000) std::this_thread::sleep_for(std::chrono::microseconds(kill.delayUs - 1'000));
        while (std::chrono::steady_clock::now() < until) {}
    }
    const bool killed = child.killAndWait();
    child.readReports(received, SIZE_MAX);
    if (const std::size_t failed = received.find_first_not_of('\0'); failed != std::string::npos)
        return {"call " + std::to_string(failed) + " (0: WriteContent) returned " + std::to_string(+received[failed])};
    if (!paused) return {"the child ended before the pause, after " + std::to_string(received.size()) + " reports"};
    if (!killed) return {"the child ended by itself"};
    return {{}, received.size() - 1};
}

std::string checkUnfinished(const TempDir& dir, const std::filesystem::path& file, std::uint64_t accepted) {
    // The file stays "UnFinMF " by design; a copy with the finished identification reads as a
    // finished file would.
    std::string bytes = fileBytes(file);
    if (bytes.size() < 8) return "the file holds " + std::to_string(bytes.size()) + " bytes";
    const ContentRead read(dir, bytes.replace(0, 8, "MDF     "));
    for (const MF4Error* e = read.errors; e != read.errors + read.errorCount; ++e)
        if (e->severity != 1) return "as left: " + describe(*e);
    if (read.result == MF4_ERRORS || read.tree == nullptr) return "as left: ReadContent returned " + std::to_string(read.result);
    if (read.tree->groupCount != 2) return "as left: " + std::to_string(read.tree->groupCount) + " groups";
    for (std::uint64_t group : {kFast, kSlow})
        if (std::string problem = checkGroup(read.tree, group, accepted); !problem.empty()) return "as left: " + problem;
    return {};
}

std::string checkRecovered(const std::filesystem::path& file, std::uint64_t accepted) {
    // Recovery finishes the file itself: every accepted batch again, a clean read, and reduction
    // data for both groups ("Slow" was reduced while writing, but its levels are only linked by
    // FinishWriting, which never ran).
    MF4Error* errors = nullptr;
    std::uint64_t count = 0;
    const std::u16string path = widePath(file);
    const std::uint32_t result = RecoverStreamingFile(path.c_str(), &errors, &count);
    std::string problem = result == MF4_ERRORS ? "RecoverStreamingFile returned 2" + (count != 0 ? ": " + describe(errors[0]) : "") : "";
    FreeErrors(errors, count);
    if (!problem.empty()) return problem;
    const ContentRead recovered(file);
    if (recovered.errorCount != 0) return "recovered: " + describe(recovered.errors[0]);
    if (recovered.result != MF4_OK || recovered.tree == nullptr) return "recovered: ReadContent returned " + std::to_string(recovered.result);
    if (recovered.tree->groupCount != 2) return "recovered: " + std::to_string(recovered.tree->groupCount) + " groups";
    for (std::uint64_t group : {kFast, kSlow}) {
        if (problem = checkGroup(recovered.tree, group, accepted); !problem.empty()) return "recovered: " + problem;
        if (problem = checkReduction(recovered.tree, group); !problem.empty()) return "recovered: " + problem;
    }
    return {};
}

}  // namespace tarvik::test::crash
