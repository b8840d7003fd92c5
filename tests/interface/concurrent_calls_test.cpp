// Calls from several threads at once: the open-file registry and the one-time loading of the
// message table must hold up (this test also runs under ThreadSanitizer).
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "TarvikMF4Access.h"
#include "support/host_tree.h"
#include "support/mdf_blocks.h"
#include "support/read_items.h"
#include "support/temp_dir.h"

namespace {

using namespace tarvik::test;

// Trees read on one thread and released on another, while other threads read other files, some
// of them refused: every read gives its own tree or its one finding with the message text.
TEST(ConcurrentCalls, TreesAreReadAndFreedOnDifferentThreadsBesideRefusedReads) {
    TempDir dir;
    std::vector<std::u16string> paths;
    for (int i = 0; i < 3; ++i)
        paths.push_back(widePath(dir.write("file" + std::to_string(i) + ".mf4", makeMinimalFile({.recordCount = 3u + i}).file.bytes())));
    const std::u16string unfinished = widePath(dir.write("u.mf4", MdfBuilder("4.10    ", "UnFinMF ").bytes()));
    const std::u16string missing = widePath(dir.file("missing.mf4"));
    std::atomic<int> wrong{0};
    // A tree of `records` records, or with `finding` a refusal with that finding alone.
    auto readAndFree = [&](const std::u16string& path, std::uint64_t records, std::uint32_t finding) {
        for (int i = 0; i < 200; ++i) {
            MF4Content* content = nullptr;
            MF4Error* errors = nullptr;
            std::uint64_t count = 0;
            const std::uint32_t result = ReadContent(path.c_str(), &content, &errors, &count);
            if (finding == 0 ? result != 0 || content == nullptr || content->groups[0].cycleCount != records
                             : result != 2 || count != 1 || errors[0].messageId != finding || errors[0].message == nullptr)
                ++wrong;
            FreeErrors(errors, count);
            FreeContent(content);
        }
    };
    std::vector<MF4Content*> handedOver(50, nullptr);
    std::thread reader([&] {
        for (MF4Content*& content : handedOver) {
            MF4Error* errors = nullptr;
            std::uint64_t count = 0;
            ReadContent(paths[2].c_str(), &content, &errors, &count);
            FreeErrors(errors, count);
        }
    });
    reader.join();
    std::thread freer([&] {
        for (MF4Content* content : handedOver) {
            if (content == nullptr || GetHDBlock(content) == nullptr) ++wrong;
            FreeContent(content);
        }
    });
    std::thread readers[] = {std::thread(readAndFree, paths[0], 3, 0), std::thread(readAndFree, paths[1], 4, 0),
                             std::thread(readAndFree, unfinished, 0, 102), std::thread(readAndFree, missing, 0, 141),
                             std::thread(readAndFree, unfinished, 0, 102)};
    freer.join();
    for (std::thread& reader : readers) reader.join();
    EXPECT_EQ(wrong.load(), 0);
}

// Files written on several threads at once, while other threads try to open the same paths for
// writing: exactly one writer per path, and every file complete.
TEST(ConcurrentCalls, WritersOfDifferentFilesRunSideBySide) {
    TempDir dir;
    std::atomic<int> wrong{0};
    auto write = [&](int file) {
        for (int round = 0; round < 20; ++round) {
            HostTree tree(dir.file("w" + std::to_string(file) + ".mf4"));
            tree.addGroup(u"G");
            tree.addChannel(0, u"x", 5, 64);
            if (tree.create() != 0) {
                ++wrong;
                continue;
            }
            // A second tree for the same path is refused while the first is open.
            HostTree rival(dir.file("w" + std::to_string(file) + ".mf4"));
            rival.addGroup(u"G");
            if (rival.create() != 2) ++wrong;
            const double values[3] = {1, 2, 3};
            for (int batch = 0; batch < 5; ++batch)
                if (WriteBatch().group(0, 5, values, 3).channel(0, 5, values, 3).write(tree.content()) != 0) ++wrong;
            if (tree.finish() != 0) ++wrong;
        }
    };
    std::vector<std::thread> threads;
    for (int file = 0; file < 3; ++file) threads.emplace_back(write, file);
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(wrong.load(), 0);
}

// Several threads read time ranges and the whole of one compressed file through one tree at
// once, sharing the blocks of the file decoded so far.
TEST(ConcurrentCalls, ReadsOfOneCompressedFileShareItsDecodedBlocks) {
    constexpr std::uint32_t kRecords = 4000;
    std::string records;
    for (std::uint32_t i = 0; i < kRecords; ++i) records += minimalRecord(0.01 * i, static_cast<std::uint16_t>(i));
    MinimalFile m = makeMinimalFile({.recordCount = kRecords});
    std::vector<std::int64_t> links{0};
    std::vector<std::uint64_t> offsets;
    for (std::size_t at = 0; at < records.size(); at += 3000) {
        offsets.push_back(at);
        links.push_back(m.file.addBlock("##DZ", {}, dzData(records.substr(at, 3000), 0, 0)));
    }
    setLink(m.file, m.dg, 2, addBlock(m.file, "##DL", links, dlOffsetData(offsets)));
    OpenedFile file(m.file.bytes());
    ASSERT_NE(file.content(), nullptr);
    std::atomic<int> wrong{0};
    auto read = [&](std::uint32_t seed) {
        for (std::uint32_t round = 0; round < 40; ++round) {
            const std::uint32_t first = (seed * 977 + round * 131) % (kRecords - 100);
            Buffer<std::uint16_t> values(100);
            Buffer<double> times(100);
            MF4ReadItem value = values.item(0), time = times.item(0);
            for (MF4ReadItem* item : {&value, &time}) item->startTime = 0.01 * first - 0.001, item->endTime = 0.01 * (first + 99) + 0.001;
            file.read(2, {value}, {time});
            if (values.stored != 100 || values.values[0] != first || values.values[99] != first + 99) ++wrong;
        }
        // A whole read, which decodes the next block on a thread of its own.
        Buffer<std::uint16_t> all(kRecords);
        Buffer<double> times(kRecords);
        file.read(0, {all.item(0)}, {times.item(0)});
        for (std::uint32_t i = 0; i < kRecords; ++i)
            if (all.values[i] != i) ++wrong;
    };
    std::vector<std::thread> threads;
    for (std::uint32_t seed = 1; seed <= 3; ++seed) threads.emplace_back(read, seed);
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(wrong.load(), 0);
}

}  // namespace
