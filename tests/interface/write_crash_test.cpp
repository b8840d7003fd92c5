// A writer killed at any moment: everything WriteData accepted before the kill must be in the
// file, value for value, and nothing of a batch in flight may show in part.
//
// A child process creates the file and writes batches until it is killed; after every WriteData
// that returned 0 it tells the parent the batch number through a pipe (one write(2) per batch,
// so nothing sits in a buffer when SIGKILL lands). The parent kills it at one of many points:
// right after chosen batches (those around which the data blocks' lists fill up and new ones
// start), a little later while the next batch is written, and at seeded random times. It then
// gives the unfinished file the identification of a finished one (on a copy) and reads it back
// through ReadContent and ReadData. Batch sizes and values follow from the batch number and the
// record index alone, so the parent knows what every record must hold.
#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "TarvikMF4Access.h"
#include "support/read_items.h"
#include "support/temp_dir.h"

namespace {

using namespace tarvik::test;

// ---------------------------------------------------------------------------------------------
// What is written: group "Fast" (a double master, a double, a u32, a 3-bit unsigned and a
// 12-bit signed bit field, and a variable-length UTF-8 string) and group "Slow" (a double
// master, a float, a u16 and a 5-bit field), so the two groups have records of different sizes
// and the string's values go to a chain of their own.

enum Channel : std::uint64_t { kSpeed, kCount, kFlags, kLevel, kText, kTemp, kState, kMode, kChannelCount };
constexpr std::uint64_t kFast = 0, kSlow = 1;

struct ChannelShape {
    const char16_t* name;
    std::uint64_t group;
    std::uint32_t valueType;
    std::uint32_t bitCount;
};
constexpr ChannelShape kShapes[kChannelCount] = {
    {u"speed", kFast, 5, 64}, {u"count", kFast, 19, 32}, {u"flags", kFast, 17, 3},
    {u"level", kFast, 2, 12}, {u"text", kFast, 30, 64},  {u"temp", kSlow, 4, 32},
    {u"state", kSlow, 18, 16}, {u"mode", kSlow, 17, 5},
};

// Records of a group in batch `batch`: mostly small and varying, now and then a large one (so
// that a kill can land inside a long write), and now and then none (the group item is skipped).
std::uint64_t batchRecords(std::uint64_t group, std::uint64_t batch) {
    if (group == kFast) {
        if (batch % 64 == 63) return 3000;
        if (batch % 7 == 4) return 0;
        return 1 + (batch * 37 + 11) % 48;
    }
    return batch % 5 == 2 ? 0 : 1 + (batch * 13 + 5) % 9;
}

// The values of record `i` of a group (its index from the group's first record on).
double fastTime(std::uint64_t i) { return static_cast<double>(i) * 0.5 + 0.25; }
double slowTime(std::uint64_t i) { return static_cast<double>(i) * 2.0; }
double speedOf(std::uint64_t i) { return static_cast<double>(i * 7919 % 10007) * 0.01 - 30.0; }
std::uint32_t countOf(std::uint64_t i) { return static_cast<std::uint32_t>(i * 2654435761u); }
std::uint8_t flagsOf(std::uint64_t i) { return static_cast<std::uint8_t>((i * 5 + 3) & 7); }
std::int16_t levelOf(std::uint64_t i) { return static_cast<std::int16_t>(static_cast<int>(i * 97 % 4096) - 2048); }
float tempOf(std::uint64_t i) { return static_cast<float>(i % 1000) * 0.25f - 40.0f; }
std::uint16_t stateOf(std::uint64_t i) { return static_cast<std::uint16_t>(i * 40503u); }
std::uint8_t modeOf(std::uint64_t i) { return static_cast<std::uint8_t>((i * 11 + 7) % 32); }
// Every 17th text is written as a null pointer, which stands for the empty string.
bool textIsNull(std::uint64_t i) { return i % 17 == 0; }
std::string textOf(std::uint64_t i) {
    if (textIsNull(i)) return {};
    const std::size_t fill = i % 101 == 1 ? 300 : i % 23;
    return "v" + std::to_string(i) + std::string(fill, static_cast<char>('a' + i % 26));
}

// The host's tree; it lives in the child as long as the child writes.
class CrashTree {
public:
    explicit CrashTree(const std::filesystem::path& file) : path_(widePath(file)) {
        const char16_t* groupNames[2] = {u"Fast", u"Slow"};
        for (std::uint64_t g : {kFast, kSlow}) {
            MF4ChannelGroup& group = groups_[g];
            group.structSize = sizeof group;
            group.acquisitionName = const_cast<MF4Char*>(groupNames[g]);
            group.masterValueType = 5;
            group.masterConversion = -1;
        }
        for (std::uint64_t c = 0; c < kChannelCount; ++c) {
            MF4Channel& channel = channels_[c];
            channel.structSize = sizeof channel;
            channel.name = const_cast<MF4Char*>(kShapes[c].name);
            channel.groupIndex = kShapes[c].group;
            channel.valueType = kShapes[c].valueType;
            channel.bitCount = kShapes[c].bitCount;
            channel.conversion = channel.syncAttachment = channel.lengthChannel = -1;
            channel.outputChannel = channel.comparisonChannel = -1;
        }
        root_.channels = channels_;
        root_.channelCount = kChannelCount;
        root_.groups = groups_;
        root_.groupCount = 2;
        std::memcpy(root_.programId, "crashtst", 8);
        root_.formatVersion = 410;
        root_.timeKind = 2;
        root_.startTimeNs = 1'700'000'000'000'000'000ull;
        root_.filePath = path_.data();
    }
    CrashTree(const CrashTree&) = delete;
    CrashTree& operator=(const CrashTree&) = delete;

    MF4Content* content() { return &root_; }
    const MF4Char* path() const { return path_.c_str(); }

private:
    std::u16string path_;
    MF4ChannelGroup groups_[2]{};
    MF4Channel channels_[kChannelCount]{};
    MF4Content root_{};
};

// ---------------------------------------------------------------------------------------------
// The child's side.

// What the child tells the parent: batch -1 once WriteContent returned, then each batch whose
// WriteData returned; `result` is the call's result (non-zero ends the child).
struct Report {
    std::int64_t batch;
    std::uint32_t result;
    std::uint32_t unused;
};

void report(int fd, std::int64_t batch, std::uint32_t result) {
    const Report message{batch, result, 0};
    // Smaller than PIPE_BUF, so the pipe takes the message whole or not at all.
    while (write(fd, &message, sizeof message) < 0 && errno == EINTR) {
    }
}

// One batch's values, in buffers every batch reuses.
struct BatchValues {
    std::vector<double> fastTimes, slowTimes, speeds;
    std::vector<std::uint32_t> counts;
    std::vector<std::uint8_t> flags, modes;
    std::vector<std::int16_t> levels;
    std::vector<std::string> texts;
    std::vector<const char*> textPointers;
    std::vector<float> temps;
    std::vector<std::uint16_t> states;

    void make(std::uint64_t fastFirst, std::uint64_t fastCount, std::uint64_t slowFirst, std::uint64_t slowCount) {
        auto fill = [](auto& values, std::uint64_t first, std::uint64_t count, auto valueOf) {
            values.resize(count);
            for (std::uint64_t r = 0; r < count; ++r) values[r] = valueOf(first + r);
        };
        fill(fastTimes, fastFirst, fastCount, fastTime);
        fill(speeds, fastFirst, fastCount, speedOf);
        fill(counts, fastFirst, fastCount, countOf);
        fill(flags, fastFirst, fastCount, flagsOf);
        fill(levels, fastFirst, fastCount, levelOf);
        fill(texts, fastFirst, fastCount, textOf);
        textPointers.resize(fastCount);
        for (std::uint64_t r = 0; r < fastCount; ++r)
            textPointers[r] = textIsNull(fastFirst + r) ? nullptr : texts[r].c_str();
        fill(slowTimes, slowFirst, slowCount, slowTime);
        fill(temps, slowFirst, slowCount, tempOf);
        fill(states, slowFirst, slowCount, stateOf);
        fill(modes, slowFirst, slowCount, modeOf);
    }
};

MF4WriteChannel channelItem(std::uint64_t channel, const void* values, std::uint64_t count) {
    MF4WriteChannel item{};
    item.structSize = sizeof item;
    item.channel = channel;
    item.valueType = kShapes[channel].valueType;
    item.valueCount = count;
    item.values = const_cast<void*>(values);
    return item;
}

// Blocks until the parent sends its byte; ends the child when the parent is gone.
void awaitGo(int goFd) {
    char go = 0;
    ssize_t got;
    while ((got = read(goFd, &go, 1)) < 0 && errno == EINTR) {
    }
    if (got != 1) _exit(5);
}

// Creates the file and writes batch after batch until the parent kills the process; after
// reporting batch `pauseAfter` (-1: WriteContent) it waits for the parent's go first. Never
// returns: the child must not run the parent's tests or destructors.
[[noreturn]] void writeUntilKilled(CrashTree& tree, int reportFd, int goFd, std::int64_t pauseAfter) {
    try {
        MF4Error* errors = nullptr;
        std::uint64_t errorCount = 0;
        const std::uint32_t created = WriteContent(tree.path(), tree.content(), &errors, &errorCount);
        FreeErrors(errors, errorCount);
        report(reportFd, -1, created);
        if (created != MF4_OK) _exit(2);
        if (pauseAfter == -1) awaitGo(goFd);
        BatchValues values;
        std::uint64_t fastFirst = 0, slowFirst = 0;
        for (std::int64_t batch = 0;; ++batch) {
            const std::uint64_t fastCount = batchRecords(kFast, static_cast<std::uint64_t>(batch));
            const std::uint64_t slowCount = batchRecords(kSlow, static_cast<std::uint64_t>(batch));
            values.make(fastFirst, fastCount, slowFirst, slowCount);
            // Both group items always; one with no records is skipped by the library. Channel
            // items only for a group that writes.
            MF4WriteGroup groups[2]{};
            for (std::uint64_t g : {kFast, kSlow}) {
                groups[g].structSize = sizeof groups[g];
                groups[g].group = g;
                groups[g].valueType = 5;
            }
            groups[kFast].valueCount = fastCount;
            groups[kFast].values = values.fastTimes.data();
            groups[kSlow].valueCount = slowCount;
            groups[kSlow].values = values.slowTimes.data();
            std::vector<MF4WriteChannel> channels;
            if (fastCount > 0) {
                channels.push_back(channelItem(kSpeed, values.speeds.data(), fastCount));
                channels.push_back(channelItem(kCount, values.counts.data(), fastCount));
                channels.push_back(channelItem(kFlags, values.flags.data(), fastCount));
                channels.push_back(channelItem(kLevel, values.levels.data(), fastCount));
                channels.push_back(channelItem(kText, values.textPointers.data(), fastCount));
            }
            if (slowCount > 0) {
                channels.push_back(channelItem(kTemp, values.temps.data(), slowCount));
                channels.push_back(channelItem(kState, values.states.data(), slowCount));
                channels.push_back(channelItem(kMode, values.modes.data(), slowCount));
            }
            MF4WriteRequest request{};
            request.structSize = sizeof request;
            request.groupCount = 2;
            request.groups = groups;
            request.channelCount = channels.size();
            request.channels = channels.data();
            errors = nullptr;
            errorCount = 0;
            const std::uint32_t result = WriteData(tree.content(), &request, &errors, &errorCount);
            FreeErrors(errors, errorCount);
            report(reportFd, batch, result);
            if (result != MF4_OK) _exit(3);
            if (batch == pauseAfter) awaitGo(goFd);
            fastFirst += fastCount;
            slowFirst += slowCount;
        }
    } catch (...) {
        _exit(4);
    }
}

// ---------------------------------------------------------------------------------------------
// The parent's side.

// The child process: killed and reaped when the test leaves early, so that no zombie stays.
class Child {
public:
    explicit Child(pid_t pid) : pid_(pid) {}
    ~Child() {
        if (pid_ > 0) killAndReap();
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    // SIGKILL, then wait for the end; the wait status.
    int killAndReap() {
        kill(pid_, SIGKILL);
        int status = 0;
        while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
        }
        pid_ = -1;
        return status;
    }

private:
    pid_t pid_;
};

class Pipe {
public:
    Pipe() {
        if (pipe2(fds_, O_CLOEXEC) != 0) fds_[0] = fds_[1] = -1;
    }
    ~Pipe() {
        closeRead();
        closeWrite();
    }
    Pipe(const Pipe&) = delete;
    Pipe& operator=(const Pipe&) = delete;

    bool valid() const { return fds_[0] >= 0; }
    int readEnd() const { return fds_[0]; }
    int writeEnd() const { return fds_[1]; }
    void closeRead() { closeOne(fds_[0]); }
    void closeWrite() { closeOne(fds_[1]); }

private:
    static void closeOne(int& fd) {
        if (fd >= 0) close(fd);
        fd = -1;
    }
    int fds_[2];
};

// Reads up to `count` reports; fewer when the pipe ends first.
std::vector<Report> readReports(int fd, std::size_t count) {
    std::vector<char> bytes;
    char chunk[4096];
    while (bytes.size() < count * sizeof(Report)) {
        const std::size_t wanted = std::min(sizeof chunk, count * sizeof(Report) - bytes.size());
        const ssize_t got = read(fd, chunk, wanted);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        bytes.insert(bytes.end(), chunk, chunk + got);
    }
    std::vector<Report> reports(bytes.size() / sizeof(Report));
    if (!reports.empty()) std::memcpy(reports.data(), bytes.data(), reports.size() * sizeof(Report));
    return reports;
}

std::string narrow(const MF4Char* text) {
    std::string out;
    for (; text != nullptr && *text != 0; ++text) out += *text < 128 ? static_cast<char>(*text) : '?';
    return out;
}

std::string findingsText(const ContentRead& read) {
    std::ostringstream out;
    for (std::uint64_t i = 0; i < read.errorCount; ++i) {
        const MF4Error& e = read.errors[i];
        out << "\n  finding " << e.messageId << (e.severity == 0 ? " (error) " : " (warning) ") << narrow(e.message)
            << " [" << narrow(e.detail2) << "]";
    }
    return out.str();
}

// Index of the top-level channel named `name` in a tree read back, or -1.
std::int64_t channelNamed(const MF4Content& tree, const char16_t* name) {
    for (std::uint64_t c = 0; c < tree.channelCount; ++c)
        if (tree.channels[c].name != nullptr && std::u16string_view(tree.channels[c].name) == name)
            return static_cast<std::int64_t>(c);
    return -1;
}

// The first record from which `got` (stored values) differs from `expected(i)`, with both values
// as text; empty when all agree.
template <typename T, typename Expected>
std::string firstMismatch(const std::vector<T>& got, Expected expected) {
    for (std::size_t i = 0; i < got.size(); ++i) {
        const auto want = expected(i);
        if (!(got[i] == want)) {
            std::ostringstream out;
            out << "record " << i << ": read " << +got[i] << ", written " << +want;
            return out.str();
        }
    }
    return {};
}

// Reads every record of group `group` (found through its channels, all of which `channels`
// lists): the master and each channel, and checks them against the values written.
// `reported` records are certain to have been accepted; `next` more (a batch in flight) may be
// there, but only all of them.
void checkGroup(MF4Content* tree, std::uint64_t group, const std::vector<Channel>& channels, std::uint64_t reported,
                std::uint64_t next) {
    const std::string groupName = group == kFast ? "Fast" : "Slow";
    SCOPED_TRACE("group " + groupName + ", reported records " + std::to_string(reported) + ", batch in flight " +
                 std::to_string(next));
    std::vector<std::int64_t> indices;
    for (Channel c : channels) {
        indices.push_back(channelNamed(*tree, kShapes[c].name));
        ASSERT_GE(indices.back(), 0) << "channel " << narrow(kShapes[c].name) << " is missing";
    }
    const std::uint64_t groupIndex = tree->channels[indices.front()].groupIndex;
    ASSERT_LT(groupIndex, tree->groupCount);
    for (std::int64_t index : indices) ASSERT_EQ(tree->channels[index].groupIndex, groupIndex);
    const std::uint64_t cycles = tree->groups[groupIndex].cycleCount;
    ASSERT_GE(cycles, reported) << "records of a batch WriteData accepted are lost";
    ASSERT_TRUE(cycles == reported || cycles == reported + next)
        << "cycle count " << cycles << ": part of the batch in flight is visible";

    const std::uint64_t capacity = cycles + 1;
    Buffer<double> master(capacity);
    Buffer<double> doubles(capacity);
    Buffer<float> floats(capacity);
    Buffer<std::uint32_t> u32s(capacity);
    Buffer<std::uint16_t> u16s(capacity);
    Buffer<std::int16_t> i16s(capacity);
    Buffer<std::uint8_t> flags(capacity), modes(capacity);
    Buffer<char*> texts(capacity, nullptr);
    std::vector<MF4ReadItem> listA;
    std::vector<std::uint64_t*> stored;
    for (std::size_t k = 0; k < channels.size(); ++k) {
        const auto index = static_cast<std::uint64_t>(indices[k]);
        switch (channels[k]) {
        case kSpeed: listA.push_back(doubles.item(index)); stored.push_back(&doubles.stored); break;
        case kCount: listA.push_back(u32s.item(index)); stored.push_back(&u32s.stored); break;
        case kFlags: listA.push_back(flags.item(index)); stored.push_back(&flags.stored); break;
        case kLevel: listA.push_back(i16s.item(index)); stored.push_back(&i16s.stored); break;
        case kText:
            listA.push_back(texts.bind({.index = index, .valueKind = 30, .capacity = capacity}));
            stored.push_back(&texts.stored);
            break;
        case kTemp: listA.push_back(floats.item(index)); stored.push_back(&floats.stored); break;
        case kState: listA.push_back(u16s.item(index)); stored.push_back(&u16s.stored); break;
        case kMode: listA.push_back(modes.item(index)); stored.push_back(&modes.stored); break;
        default: FAIL();
        }
    }
    MF4ReadItem listB = master.item(groupIndex);
    const std::uint32_t result = readData(tree, MF4_READ_SAMPLE_BASED, listA.data(), listA.size(), &listB, 1);
    std::vector<std::string> gotTexts;
    if (texts.stored != 77) {
        for (std::uint64_t i = 0; i < std::min(texts.stored, capacity); ++i)
            gotTexts.emplace_back(texts.values[i] != nullptr ? texts.values[i] : "<null>");
        FreeStrings(reinterpret_cast<void**>(texts.values.data()), std::min(texts.stored, capacity), 0);
    }
    ASSERT_EQ(result, MF4_OK);
    ASSERT_EQ(master.total, cycles) << "the records that can be read differ from the cycle count";
    ASSERT_EQ(master.stored, cycles);
    for (std::size_t k = 0; k < channels.size(); ++k)
        EXPECT_EQ(*stored[k], cycles) << "channel " << narrow(kShapes[channels[k]].name);

    EXPECT_EQ(firstMismatch(master.got(), group == kFast ? fastTime : slowTime), "") << "master";
    for (Channel c : channels) {
        SCOPED_TRACE("channel " + narrow(kShapes[c].name));
        switch (c) {
        case kSpeed: EXPECT_EQ(firstMismatch(doubles.got(), speedOf), ""); break;
        case kCount: EXPECT_EQ(firstMismatch(u32s.got(), countOf), ""); break;
        case kFlags: EXPECT_EQ(firstMismatch(flags.got(), flagsOf), ""); break;
        case kLevel: EXPECT_EQ(firstMismatch(i16s.got(), levelOf), ""); break;
        case kText:
            for (std::size_t i = 0; i < gotTexts.size(); ++i)
                if (gotTexts[i] != textOf(i)) {
                    ADD_FAILURE() << "record " << i << ": read \"" << gotTexts[i] << "\", written \"" << textOf(i) << "\"";
                    break;
                }
            break;
        case kTemp: EXPECT_EQ(firstMismatch(floats.got(), tempOf), ""); break;
        case kState: EXPECT_EQ(firstMismatch(u16s.got(), stateOf), ""); break;
        case kMode: EXPECT_EQ(firstMismatch(modes.got(), modeOf), ""); break;
        default: break;
        }
    }
}

// The batches just before those that put the 1st, 2nd, 256th, 257th, 768th, 769th, 1792nd and
// 1793rd data block into a chain (the records of either group; the strings follow the records of
// "Fast"): a chain's first block, its first DL with one link and with two, and the moments a
// writer that lists blocks in DLs of 256, 512, 1024 ... links starts a new one. -1 stands for
// the first batch of all.
std::vector<std::int64_t> batchesBeforeListEdges() {
    constexpr std::uint64_t kEdges[] = {1, 2, 256, 257, 768, 769, 1792, 1793};
    std::vector<std::int64_t> batches;
    for (std::uint64_t group : {kFast, kSlow}) {
        std::uint64_t blocks = 0;
        for (std::uint64_t batch = 0; blocks < kEdges[std::size(kEdges) - 1]; ++batch) {
            if (batchRecords(group, batch) == 0) continue;
            ++blocks;
            if (std::find(std::begin(kEdges), std::end(kEdges), blocks) != std::end(kEdges))
                batches.push_back(static_cast<std::int64_t>(batch) - 1);
        }
    }
    std::sort(batches.begin(), batches.end());
    batches.erase(std::unique(batches.begin(), batches.end()), batches.end());
    return batches;
}

// Where a case kills: after the child reported batch `pauseAfter` (-1: WriteContent), either
// right there while it waits, or once it was let go again after `delayUs`.
struct KillPoint {
    std::int64_t pauseAfter;
    bool goOn;
    unsigned delayUs;
};

void PrintTo(const KillPoint& kill, std::ostream* out) {
    *out << "after batch " << kill.pauseAfter << (kill.goOn ? " + " + std::to_string(kill.delayUs) + " us" : "");
}

// Each batch before a list edge twice: killed there, and killed while the next batch (the one
// that reaches the edge) is written, a delay of a few batches at most. Then kills at seeded
// random times from WriteContent on, up to bounds that grow from case to case (a batch takes
// some tens of microseconds), so that they land from the first batch to a few thousand in.
std::vector<KillPoint> killPoints() {
    constexpr unsigned kDelayBoundsUs[] = {30, 300, 3'000, 30'000, 90'000};
    constexpr int kRandomTimes = 20;
    std::mt19937 random(20'240'611);
    std::vector<KillPoint> points;
    for (std::int64_t batch : batchesBeforeListEdges()) {
        points.push_back({batch, false, 0});
        points.push_back({batch, true, std::uniform_int_distribution<unsigned>(0, 80)(random)});
    }
    for (int i = 0; i < kRandomTimes; ++i) {
        const unsigned bound = kDelayBoundsUs[static_cast<std::size_t>(i) % std::size(kDelayBoundsUs)];
        points.push_back({-1, true, std::uniform_int_distribution<unsigned>(0, bound)(random)});
    }
    return points;
}

// Waits `us` microseconds: spinning at the end, since a sleep alone overshoots short delays by
// more than a batch takes.
void waitMicroseconds(unsigned us) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::microseconds(us);
    if (us > 2'000) std::this_thread::sleep_for(std::chrono::microseconds(us - 1'000));
    while (std::chrono::steady_clock::now() < until) {
    }
}

class WriteCrash : public ::testing::TestWithParam<KillPoint> {};

TEST_P(WriteCrash, EveryAcceptedBatchIsInTheFileAndNoBatchInPart) {
    const KillPoint kill = GetParam();
    SCOPED_TRACE("kill " + ::testing::PrintToString(kill) + " (-1: WriteContent)");

    const TempDir dir;
    const auto file = dir.file("crash.mf4");
    CrashTree tree(file);
    Pipe reports, go;
    ASSERT_TRUE(reports.valid() && go.valid());
    const pid_t pid = fork();
    ASSERT_GE(pid, 0) << "fork failed";
    if (pid == 0) {
        // A child whose parent died (a crashed test run) must not write on forever.
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() == 1) _exit(6);
        reports.closeRead();
        go.closeWrite();
        writeUntilKilled(tree, reports.writeEnd(), go.readEnd(), kill.pauseAfter);
    }
    Child child(pid);
    reports.closeWrite();
    go.closeRead();

    // The reports up to the pause: WriteContent's, then one per batch.
    const auto untilPause = static_cast<std::size_t>(kill.pauseAfter + 2);
    std::vector<Report> received = readReports(reports.readEnd(), untilPause);
    ASSERT_EQ(received.size(), untilPause) << "the child ended before the pause";
    for (const Report& r : received) ASSERT_EQ(r.result, MF4_OK) << "batch " << r.batch << " (-1: WriteContent)";
    if (kill.goOn) {
        ASSERT_EQ(write(go.writeEnd(), "g", 1), 1);
        waitMicroseconds(kill.delayUs);
    }
    const int status = child.killAndReap();
    const std::vector<Report> rest = readReports(reports.readEnd(), SIZE_MAX / sizeof(Report));
    received.insert(received.end(), rest.begin(), rest.end());
    for (std::size_t i = 0; i < received.size(); ++i) {
        ASSERT_EQ(received[i].batch, static_cast<std::int64_t>(i) - 1);
        ASSERT_EQ(received[i].result, MF4_OK) << "batch " << received[i].batch << " (-1: WriteContent)";
    }
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "the child ended by itself: " << status;
    const std::uint64_t accepted = received.size() - 1;
    SCOPED_TRACE(std::to_string(accepted) + " batches accepted");

    // The file stays "UnFinMF " by design; a copy with the finished identification reads as a
    // finished file would.
    const auto copy = dir.file("copy.mf4");
    std::filesystem::copy_file(file, copy);
    {
        std::fstream patch(copy, std::ios::binary | std::ios::in | std::ios::out);
        patch.write("MDF     ", 8);
        ASSERT_TRUE(patch.good());
    }
    const ContentRead read(copy);
    ASSERT_NE(read.result, MF4_ERRORS) << findingsText(read);
    ASSERT_NE(read.tree, nullptr);
    for (std::uint64_t i = 0; i < read.errorCount; ++i)
        EXPECT_EQ(read.errors[i].severity, 1u) << findingsText(read);
    ASSERT_EQ(read.tree->groupCount, 2u);

    std::uint64_t reported[2] = {0, 0};
    for (std::uint64_t b = 0; b < accepted; ++b)
        for (std::uint64_t g : {kFast, kSlow}) reported[g] += batchRecords(g, b);
    checkGroup(read.tree, kFast, {kSpeed, kCount, kFlags, kLevel, kText}, reported[kFast],
               batchRecords(kFast, accepted));
    checkGroup(read.tree, kSlow, {kTemp, kState, kMode}, reported[kSlow], batchRecords(kSlow, accepted));
}

INSTANTIATE_TEST_SUITE_P(KillPoints, WriteCrash, ::testing::ValuesIn(killPoints()));

}  // namespace
