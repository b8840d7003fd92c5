// RecoverStreamingFile on files a writer left unfinished: the lists and cycle count say what the
// file holds, a damaged tail is cut after the last record whose time rises, a file cut at any
// byte keeps every record that lies wholly before the cut, and files that are not the repair's
// to change stay byte for byte as they were.
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/host_tree.h"
#include "support/read_items.h"
#include "support/temp_dir.h"

namespace tarvik::test {
namespace {

// An unfinished file of one group (a double master 0.5, 1.5, ... and a double channel) written in
// `batches` batches of `records(b)` records, left with CloseUnfinished.
template <typename Records>
void writeUnfinished(const std::filesystem::path& file, int batches, Records records) {
    HostTree tree(file);
    tree.addGroup(u"G");
    tree.addChannel(0, u"x", 5, 64);
    ASSERT_EQ(tree.create(), 0u);
    double next = 0.5;
    for (int b = 0; b < batches; ++b) {
        std::vector<double> time(records(b)), values(records(b));
        for (std::size_t r = 0; r < time.size(); ++r) time[r] = next++, values[r] = -time[r];
        ASSERT_EQ(WriteBatch().group(0, 5, time.data(), time.size()).channel(0, 5, values.data(), values.size()).write(tree.content()), 0u);
    }
    CloseUnfinished(tree.content());
}

// The records of the recovered file's group, checked to be the first ones written; a group with
// records has reduction data.
std::uint64_t recordsRead(const std::filesystem::path& file) {
    OpenedFile read(file);
    EXPECT_EQ(read.result(), 0u) << "a recovered file reads without findings";
    if (read.content() == nullptr || read.content()->groupCount != 1) return ~std::uint64_t{0};
    const std::uint64_t cycles = read.content()->groups[0].cycleCount;
    EXPECT_EQ(read.content()->groups[0].reductionRaster > 0, cycles > 0) << "reduction data after recovery";
    Buffer<double> time(cycles + 1), values(cycles + 1);
    read.read(0, {values.item(0)}, {time.item(0)});
    EXPECT_EQ(time.stored, cycles) << "every counted record can be read";
    for (std::uint64_t r = 0; r < time.stored; ++r) {
        EXPECT_EQ(time.values[r], 0.5 + r);
        EXPECT_EQ(values.values[r], -0.5 - r);
    }
    return cycles;
}

TEST(Recover, ListsAndCycleCountSayWhatTheFileHolds) {
    TempDir dir;
    writeUnfinished(dir.file("a.mf4"), 5, [](int) { return 10; });
    ASSERT_EQ(fileCall(RecoverStreamingFile, dir.file("a.mf4")), 0u);
    const std::string bytes = fileBytes(dir.file("a.mf4"));
    EXPECT_EQ(bytes.substr(0, 8), "MDF     ");
    const std::uint64_t list = valueAt<std::uint64_t>(bytes, valueAt<std::uint64_t>(bytes, 88) + 24 + 16);
    ASSERT_EQ(bytes.substr(list, 4), "##DL");
    EXPECT_EQ(valueAt<std::uint64_t>(bytes, list + 8), 120u) << "40 + 16 x 5";
    EXPECT_EQ(valueAt<std::uint64_t>(bytes, list + 16), 6u);
    EXPECT_EQ(valueAt<std::uint32_t>(bytes, list + 24 + 48 + 4), 5u);
    EXPECT_EQ(recordsRead(dir.file("a.mf4")), 50u);

    // The last block's tail zeroed (its times fall back to 0): cut after the last rising time.
    writeUnfinished(dir.file("b.mf4"), 3, [](int) { return 10; });
    std::string damaged = fileBytes(dir.file("b.mf4"));
    const std::uint64_t lastBlock = valueAt<std::uint64_t>(damaged, valueAt<std::uint64_t>(damaged, valueAt<std::uint64_t>(damaged, 88) + 40) + 24 + 24);
    ASSERT_EQ(damaged.substr(lastBlock, 4), "##DT");
    damaged.replace(lastBlock + 24 + 6 * 16, 4 * 16, std::string(4 * 16, '\0'));
    std::ofstream(dir.file("b.mf4"), std::ios::binary) << damaged;
    ASSERT_EQ(fileCall(RecoverStreamingFile, dir.file("b.mf4")), 0u);
    EXPECT_EQ(valueAt<std::uint64_t>(fileBytes(dir.file("b.mf4")), lastBlock + 8), 24u + 6 * 16);
    EXPECT_EQ(recordsRead(dir.file("b.mf4")), 26u);

    // A block of the chain that is not a DT (another writer's DZ) ends the chain before it; the
    // wrong block is reported, what lies before it stays.
    writeUnfinished(dir.file("c.mf4"), 3, [](int) { return 10; });
    std::string foreign = fileBytes(dir.file("c.mf4"));
    const std::uint64_t secondBlock = valueAt<std::uint64_t>(foreign, valueAt<std::uint64_t>(foreign, valueAt<std::uint64_t>(foreign, 88) + 40) + 24 + 16);
    ASSERT_EQ(foreign.substr(secondBlock, 4), "##DT");
    foreign.replace(secondBlock, 4, "##DZ");
    std::ofstream(dir.file("c.mf4"), std::ios::binary) << foreign;
    std::vector<std::uint32_t> findings;
    fileCall(RecoverStreamingFile, dir.file("c.mf4"), &findings);
    EXPECT_EQ(findings, std::vector<std::uint32_t>{103});
    EXPECT_EQ(recordsRead(dir.file("c.mf4")), 10u);
}

// Recovery and adding reduction data leave alone what is not theirs to change: a finished file
// (recovery) or one that has its reduction data (both), an unfinished file (reduction), anything
// that is not MDF 4, a missing file, and a file that may not be written.
TEST(Recover, FilesNotToRepairStayAsTheyWere) {
    TempDir dir;
    for (const FileCall call : {FileCall{RecoverStreamingFile}, FileCall{AddReductionData}}) {
        const bool reducing = call == AddReductionData;
        SCOPED_TRACE(reducing ? "AddReductionData" : "RecoverStreamingFile");
        writeUnfinished(dir.file("done.mf4"), 2, [](int) { return 3; });
        ASSERT_EQ(fileCall(RecoverStreamingFile, dir.file("done.mf4")), 0u);
        const std::string finished = fileBytes(dir.file("done.mf4"));
        EXPECT_EQ(fileCall(call, dir.file("done.mf4")), 0u);
        EXPECT_EQ(fileBytes(dir.file("done.mf4")), finished) << "a finished, reduced file is not touched";

        std::vector<std::uint32_t> findings;
        if (reducing) {
            writeUnfinished(dir.file("open.mf4"), 2, [](int) { return 3; });
            const std::string unfinished = fileBytes(dir.file("open.mf4"));
            EXPECT_EQ(fileCall(call, dir.file("open.mf4"), &findings), 2u);
            EXPECT_EQ(findings, std::vector<std::uint32_t>{102});
            EXPECT_EQ(fileBytes(dir.file("open.mf4")), unfinished);
        }

        const std::string text = "not a measurement file at all, but long enough to be read as one ......";
        std::ofstream(dir.file("text.mf4"), std::ios::binary) << text;
        findings.clear();
        EXPECT_EQ(fileCall(call, dir.file("text.mf4"), &findings), 2u);
        EXPECT_FALSE(findings.empty());
        EXPECT_EQ(fileBytes(dir.file("text.mf4")), text);

        findings.clear();
        EXPECT_EQ(fileCall(call, dir.file("missing.mf4"), &findings), 2u);
        EXPECT_EQ(findings, std::vector<std::uint32_t>{141});
        EXPECT_EQ(call(nullptr, nullptr, nullptr), 2u);

        if (writesCanBeRefused()) {  // root writes read-only files anyway
            // Unfinished for recovery; finished without reduction data for reduction.
            writeUnfinished(dir.file("locked.mf4"), 2, [](int) { return 3; });
            if (reducing) {
                std::string bytes = fileBytes(dir.file("locked.mf4"));
                std::ofstream(dir.file("locked.mf4"), std::ios::binary) << bytes.replace(0, 8, "MDF     ");
            }
            const std::string before = fileBytes(dir.file("locked.mf4"));
            std::filesystem::permissions(dir.file("locked.mf4"), std::filesystem::perms::owner_read);
            findings.clear();
            EXPECT_EQ(fileCall(call, dir.file("locked.mf4"), &findings), 2u);
            EXPECT_EQ(findings, std::vector<std::uint32_t>{147});
            EXPECT_EQ(fileBytes(dir.file("locked.mf4")), before);
            std::filesystem::remove(dir.file("locked.mf4"));
        }
    }
}

// A file cut at any byte: what lies wholly before the cut (each data block and the list that
// leads to it) is kept, nothing else, and the result reads cleanly.
TEST(Recover, AFileCutAnywhereKeepsWhatLiesBeforeTheCut) {
    TempDir dir;
    // 300 batches of 1 to 7 records: two lists (256 and 512 links) and blocks between them.
    writeUnfinished(dir.file("whole.mf4"), 300, [](int b) { return 1 + b * 5 % 7; });
    const std::string whole = fileBytes(dir.file("whole.mf4"));
    // Every block of the chain in order: its end, its list's end and its records.
    struct Block {
        std::uint64_t end, listEnd, records;
    };
    std::vector<Block> blocks;
    for (std::uint64_t list = valueAt<std::uint64_t>(whole, valueAt<std::uint64_t>(whole, 88) + 40); list != 0;
         list = valueAt<std::uint64_t>(whole, list + 24)) {
        const std::uint64_t links = valueAt<std::uint64_t>(whole, list + 16) - 1;
        for (std::uint64_t i = 0; i < links; ++i) {
            const std::uint64_t block = valueAt<std::uint64_t>(whole, list + 32 + 8 * i);
            if (block == 0) break;
            const std::uint64_t length = valueAt<std::uint64_t>(whole, block + 8);
            blocks.push_back({block + length, list + valueAt<std::uint64_t>(whole, list + 8), (length - 24) / 16});
        }
    }
    ASSERT_EQ(blocks.size(), 300u);
    const std::uint64_t firstData = blocks.front().end - 24 - blocks.front().records * 16;
    std::mt19937_64 random(3);
    for (int round = 0; round < 50; ++round) {
        const std::uint64_t cut = firstData + random() % (whole.size() - firstData);
        SCOPED_TRACE("cut at " + std::to_string(cut));
        std::ofstream(dir.file("cut.mf4"), std::ios::binary | std::ios::trunc) << whole.substr(0, cut);
        std::uint64_t expected = 0;
        for (const Block& block : blocks) {
            if (block.end > cut || block.listEnd > cut) break;
            expected += block.records;
        }
        ASSERT_NE(fileCall(RecoverStreamingFile, dir.file("cut.mf4")), 2u);
        EXPECT_EQ(recordsRead(dir.file("cut.mf4")), expected);
    }
}

}  // namespace
}  // namespace tarvik::test
