// A writer killed at any moment: everything WriteData accepted before the kill must be in the
// file, value for value, and nothing of a batch in flight may show in part. A child process
// writes until the parent kills it, reporting each call's result through a pipe; the parent then
// reads the file back. Batch sizes and values follow from the batch number and the record index
// alone, so the parent knows what every record must hold.
#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/host_tree.h"
#include "support/read_items.h"

namespace tarvik::test {
namespace {

// Group "Fast" (master, a double, a u32, a 3-bit unsigned and a 12-bit signed bit field, and a
// variable-length UTF-8 string) and group "Slow" (master, a float, a u16 and a 5-bit field): the
// two groups' records differ in size, and the strings go to a chain of their own.
constexpr std::uint64_t kFast = 0, kSlow = 1;

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
    {u"text", kFast, 30, 64, textOf},
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

// The child tells the parent each call's result in one byte: one write(2), so nothing sits in a
// buffer when SIGKILL lands, and the pipe takes it whole or not at all.
void report(int fd, std::uint32_t result) {
    const char message = static_cast<char>(result);
    while (write(fd, &message, 1) < 0 && errno == EINTR) {}
}

// Blocks until the parent sends its byte; ends the child when the parent is gone.
void awaitGo(int goFd) {
    char go = 0;
    ssize_t got;
    while ((got = read(goFd, &go, 1)) < 0 && errno == EINTR) {}
    if (got != 1) _exit(5);
}

// Creates the file and writes batch after batch until the parent kills the process; after batch
// `pauseAfter` (-1: WriteContent) it waits for the parent's go first. Never returns: the child
// must not run the parent's tests or destructors.
[[noreturn]] void writeUntilKilled(HostTree& tree, int reportFd, int goFd, std::int64_t pauseAfter) {
    try {
        const std::uint32_t created = tree.create();
        report(reportFd, created);
        if (created != MF4_OK) _exit(2);
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
                if (shape.valueType != 30) {
                    for (std::uint64_t r = 0; r < records; ++r) packed[c] += shape.valueOf(from + r);
                    request.channel(c, shape.valueType, packed[c].data(), records);
                    continue;
                }
                for (std::uint64_t r = 0; r < records; ++r) texts.push_back(shape.valueOf(from + r));
                for (std::uint64_t r = 0; r < records; ++r)
                    textPointers.push_back(textIsNull(from + r) ? nullptr : texts[r].c_str());
                request.channel(c, 30, textPointers.data(), records);
            }
            const std::uint32_t result = request.write(tree.content());
            report(reportFd, result);
            if (result != MF4_OK) _exit(3);
            if (static_cast<std::int64_t>(batch) == pauseAfter) awaitGo(goFd);
            for (std::uint64_t g : {kFast, kSlow}) first[g] += times[g].size();
        }
    } catch (...) {
        _exit(4);
    }
}

// The child process and the two pipes to it (reports, go), from the parent's side: on leaving,
// the child is killed and reaped, so that no zombie stays, and the pipes are closed.
struct Child {
    int reports[2] = {-1, -1}, go[2] = {-1, -1};
    pid_t pid = -1;
    ~Child() {
        if (pid > 0) killAndReap();
        for (int* fd : {&reports[0], &reports[1], &go[0], &go[1]}) closeEnd(*fd);
    }
    int killAndReap() {  // the wait status
        kill(pid, SIGKILL);
        int status = 0;
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {}
        pid = -1;
        return status;
    }
    static void closeEnd(int& fd) {
        if (fd >= 0) close(fd);
        fd = -1;
    }
};

// Adds the child's reports to `received` until it holds `count` or the pipe ends.
void readReports(int fd, std::string& received, std::size_t count) {
    char chunk[4096];
    while (received.size() < count) {
        const ssize_t got = read(fd, chunk, std::min(sizeof chunk, count - received.size()));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return;
        received.append(chunk, static_cast<std::size_t>(got));
    }
}

// Fails at the first record in which `got(i)` differs from `written(i)`, with both values.
template <typename Got, typename Written>
void expectRecords(const std::string& what, std::uint64_t records, Got got, Written written) {
    std::uint64_t i = 0;
    while (i < records && got(i) == written(i)) ++i;
    if (i < records)
        ADD_FAILURE() << what << ", record " << i << ": read " << ::testing::PrintToString(got(i)) << ", written "
                      << ::testing::PrintToString(written(i));
}

// Channel `index` of a tree read back (`shape` in the table) with its group's master (into
// `master`): the values stored, as the table gives them, numbers as the bytes of their type.
std::vector<std::string> readChannel(MF4Content* tree, std::uint64_t index, const ChannelShape& shape, Buffer<double>& master) {
    const std::uint64_t slots = master.values.size();
    const bool text = shape.valueType == 30;
    const std::size_t width = text ? 0 : shape.valueOf(0).size();
    Buffer<std::uint8_t> bytes(slots * width);
    Buffer<char*> texts(text ? slots : 0, nullptr);
    MF4ReadItem item = text ? texts.bind({.index = index, .valueKind = 30, .capacity = slots}) : bytes.item(index, slots);
    MF4ReadItem group = master.item(tree->channels[index].groupIndex);
    std::vector<std::string> values;
    const std::uint32_t result = readData(tree, MF4_READ_SAMPLE_BASED, &item, 1, &group, 1);
    EXPECT_EQ(result, MF4_OK);
    for (std::uint64_t i = 0; result == MF4_OK && i < std::min(*item.valuesStored, slots); ++i)
        values.push_back(!text ? std::string(reinterpret_cast<const char*>(&bytes.values[i * width]), width)
                         : texts.values[i] != nullptr ? texts.values[i] : "<null>");
    if (text) FreeStrings(reinterpret_cast<void**>(texts.values.data()), values.size(), 0);
    return values;
}

// Reads every record of group `group` back, the master and each channel, and checks them
// against the values written. The records of the `accepted` batches must be there; those of the
// batch in flight may be, but only all of them.
void checkGroup(MF4Content* tree, std::uint64_t group, std::uint64_t accepted) {
    std::uint64_t reported = 0;
    for (std::uint64_t b = 0; b < accepted; ++b) reported += batchRecords(group, b);
    const std::uint64_t next = batchRecords(group, accepted);
    SCOPED_TRACE(std::string(group == kFast ? "Fast" : "Slow") + ", reported records " + std::to_string(reported) +
                 ", batch in flight " + std::to_string(next));
    const std::uint64_t cycles = tree->groups[group].cycleCount;
    ASSERT_GE(cycles, reported) << "records of a batch WriteData accepted are lost";
    ASSERT_TRUE(cycles == reported || cycles == reported + next)
        << "cycle count " << cycles << ": part of the batch in flight is visible";
    Buffer<double> master(cycles + 1);  // a slot more, so that a record too many would show
    for (const ChannelShape& shape : kChannels) {
        if (shape.group != group) continue;
        const std::string name = narrow(shape.name);
        std::uint64_t index = 0;
        while (index < tree->channelCount && narrow(tree->channels[index].name) != name) ++index;
        ASSERT_LT(index, tree->channelCount) << "channel " << name << " is missing";
        ASSERT_EQ(tree->channels[index].groupIndex, group) << name;
        const std::vector<std::string> got = readChannel(tree, index, shape, master);
        ASSERT_EQ(master.total, cycles) << "the records that can be read differ from the cycle count";
        ASSERT_EQ(master.stored, cycles);
        EXPECT_EQ(got.size(), cycles) << name;
        expectRecords(name, got.size(), [&](std::uint64_t i) { return got[i]; }, shape.valueOf);
    }
    expectRecords("master", cycles, [&](std::uint64_t i) { return master.values[i]; },
                  [&](std::uint64_t i) { return timeOf(group, i); });
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

// Twice each batch just before one that puts the 1st, 2nd, 256th, 257th, 768th, 769th, 1792nd or
// 1793rd data block into a chain (of either group; the strings follow "Fast"): a chain's first
// block, its first DL with one link and with two, and where a writer that lists blocks in DLs of
// 256, 512, 1024 ... links starts a new one. Then at seeded random times up to bounds that grow
// from case to case (a batch takes some tens of microseconds), from the first batch to thousands.
std::vector<KillPoint> killPoints() {
    constexpr std::uint64_t kEdges[] = {1, 2, 256, 257, 768, 769, 1792, 1793};
    std::vector<std::int64_t> batches;
    for (std::uint64_t group : {kFast, kSlow})
        for (std::uint64_t batch = 0, blocks = 0; blocks < kEdges[std::size(kEdges) - 1]; ++batch)
            if (batchRecords(group, batch) > 0 && std::find(std::begin(kEdges), std::end(kEdges), ++blocks) != std::end(kEdges))
                batches.push_back(static_cast<std::int64_t>(batch) - 1);
    std::sort(batches.begin(), batches.end());
    batches.erase(std::unique(batches.begin(), batches.end()), batches.end());
    std::mt19937 random(20'240'611);
    std::vector<KillPoint> points;
    for (std::int64_t batch : batches) {
        points.push_back({batch, false, 0});
        points.push_back({batch, true, std::uniform_int_distribution<unsigned>(0, 80)(random)});
    }
    constexpr unsigned kDelayBoundsUs[] = {30, 300, 3'000, 30'000, 90'000};
    for (std::size_t i = 0; i < 20; ++i)
        points.push_back({-1, true, std::uniform_int_distribution<unsigned>(0, kDelayBoundsUs[i % 5])(random)});
    return points;
}

class WriteCrash : public ::testing::TestWithParam<KillPoint> {};

TEST_P(WriteCrash, EveryAcceptedBatchIsInTheFileAndNoBatchInPart) {
    const KillPoint kill = GetParam();
    SCOPED_TRACE("kill " + ::testing::PrintToString(kill) + " (-1: WriteContent)");
    const TempDir dir;
    HostTree tree(dir.file("crash.mf4"));
    tree.addGroup(u"Fast");
    tree.addGroup(u"Slow");
    for (const ChannelShape& shape : kChannels) tree.addChannel(shape.group, shape.name, shape.valueType, shape.bitCount);
    Child child;
    ASSERT_EQ(pipe2(child.reports, O_CLOEXEC), 0);
    ASSERT_EQ(pipe2(child.go, O_CLOEXEC), 0);
    child.pid = fork();
    ASSERT_GE(child.pid, 0) << "fork failed";
    if (child.pid == 0) {
        // A child whose parent died (a crashed test run) must not write on forever.
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() == 1) _exit(6);
        for (int* fd : {&child.reports[0], &child.go[1]}) Child::closeEnd(*fd);
        writeUntilKilled(tree, child.reports[1], child.go[0], kill.pauseAfter);
    }
    for (int* fd : {&child.reports[1], &child.go[0]}) Child::closeEnd(*fd);

    // The reports up to the pause (WriteContent's, then one per batch), the go, and the kill.
    const auto untilPause = static_cast<std::size_t>(kill.pauseAfter + 2);
    std::string received;
    readReports(child.reports[0], received, untilPause);
    const bool paused = received.size() == untilPause;
    if (paused && kill.goOn) {
        ASSERT_EQ(write(child.go[1], "g", 1), 1);
        // Spinning at the end, since a sleep alone overshoots short delays by more than a batch takes.
        const auto until = std::chrono::steady_clock::now() + std::chrono::microseconds(kill.delayUs);
        if (kill.delayUs > 2'000) usleep(kill.delayUs - 1'000);
        while (std::chrono::steady_clock::now() < until) {}
    }
    const int status = child.killAndReap();
    readReports(child.reports[0], received, SIZE_MAX);
    const std::size_t failed = received.find_first_not_of('\0');
    ASSERT_EQ(failed, std::string::npos) << "call " << failed << " (0: WriteContent) returned " << +received[failed];
    ASSERT_TRUE(paused) << "the child ended before the pause";
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << "the child ended by itself: " << status;
    const std::uint64_t accepted = received.size() - 1;
    SCOPED_TRACE(std::to_string(accepted) + " batches accepted");

    // The file stays "UnFinMF " by design; a copy with the finished identification reads as a
    // finished file would.
    std::string bytes = fileBytes(dir.file("crash.mf4"));
    ASSERT_GE(bytes.size(), 8u);
    const ContentRead read(dir, bytes.replace(0, 8, "MDF     "));
    for (const MF4Error* e = read.errors; e != read.errors + read.errorCount; ++e)
        EXPECT_EQ(e->severity, 1u) << "finding " << e->messageId << ": " << narrow(e->message) << " [" << narrow(e->detail2) << "]";
    ASSERT_NE(read.result, MF4_ERRORS);
    ASSERT_NE(read.tree, nullptr);
    ASSERT_EQ(read.tree->groupCount, 2u);
    checkGroup(read.tree, kFast, accepted);
    checkGroup(read.tree, kSlow, accepted);

    // Recovery finishes the file itself: every accepted batch again, and a clean read.
    MF4Error* errors = nullptr;
    std::uint64_t count = 0;
    const std::u16string path = widePath(dir.file("crash.mf4"));
    ASSERT_NE(RecoverStreamingFile(path.c_str(), &errors, &count), MF4_ERRORS);
    FreeErrors(errors, count);
    const ContentRead recovered(dir.file("crash.mf4"));
    for (const MF4Error* e = recovered.errors; e != recovered.errors + recovered.errorCount; ++e)
        ADD_FAILURE() << "recovered: finding " << e->messageId << ": " << narrow(e->message) << " [" << narrow(e->detail2) << "]";
    ASSERT_EQ(recovered.result, MF4_OK);
    checkGroup(recovered.tree, kFast, accepted);
    checkGroup(recovered.tree, kSlow, accepted);
}

INSTANTIATE_TEST_SUITE_P(KillPoints, WriteCrash, ::testing::ValuesIn(killPoints()));

}  // namespace
}  // namespace tarvik::test
