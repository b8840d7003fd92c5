// Calls from several threads at once: the open-file registry and the one-time loading of the
// message table must hold up (this test also runs under ThreadSanitizer).
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "TarvikMF4Access.h"
#include "support/mdf_blocks.h"
#include "support/host_tree.h"
#include "support/mdf_builder.h"
#include "support/read_items.h"
#include "support/temp_dir.h"

namespace {

TEST(ConcurrentCalls, ReadsOfDifferentFilesDoNotDisturbEachOther) {
    tarvik::test::TempDir dir;
    const std::u16string unfinished =
        tarvik::test::widePath(dir.write("u.mf4", tarvik::test::MdfBuilder("4.10    ", "UnFinMF ").bytes()));
    const std::u16string missing = tarvik::test::widePath(dir.file("missing.mf4"));
    std::atomic<int> wrong{0};
    auto work = [&](const std::u16string& path, std::uint32_t expectedFinding) {
        for (int i = 0; i < 200; ++i) {
            MF4Content* content = nullptr;
            MF4Error* errors = nullptr;
            std::uint64_t count = 0;
            const std::uint32_t result = ReadContent(path.c_str(), &content, &errors, &count);
            if (result != 2 || count != 1 || errors[0].messageId != expectedFinding || errors[0].message == nullptr)
                ++wrong;
            FreeErrors(errors, count);
            FreeContent(content);
        }
    };
    std::vector<std::thread> threads;
    threads.emplace_back(work, unfinished, 102u);
    threads.emplace_back(work, missing, 141u);
    threads.emplace_back(work, unfinished, 102u);
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(wrong.load(), 0);
}

// Trees read on one thread and released on another, while other files are being read.
TEST(ConcurrentCalls, TreesAreReadAndFreedOnDifferentThreads) {
    tarvik::test::TempDir dir;
    std::vector<std::u16string> paths;
    for (int i = 0; i < 3; ++i)
        paths.push_back(tarvik::test::widePath(
            dir.write("file" + std::to_string(i) + ".mf4", tarvik::test::makeMinimalFile({.recordCount = 3u + i}).file.bytes())));
    std::atomic<int> wrong{0};
    auto readAndFree = [&](const std::u16string& path, std::uint64_t records) {
        for (int i = 0; i < 100; ++i) {
            MF4Content* content = nullptr;
            MF4Error* errors = nullptr;
            std::uint64_t count = 0;
            if (ReadContent(path.c_str(), &content, &errors, &count) != 0 || content == nullptr ||
                content->groups[0].cycleCount != records)
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
    std::thread first(readAndFree, paths[0], 3), second(readAndFree, paths[1], 4);
    freer.join();
    first.join();
    second.join();
    EXPECT_EQ(wrong.load(), 0);
}

// Files written on several threads at once, while other threads try to open the same paths for
// writing: exactly one writer per path, and every file complete.
TEST(ConcurrentCalls, WritersOfDifferentFilesRunSideBySide) {
    tarvik::test::TempDir dir;
    std::atomic<int> wrong{0};
    auto write = [&](int file) {
        for (int round = 0; round < 20; ++round) {
            tarvik::test::HostTree tree(dir.file("w" + std::to_string(file) + ".mf4"));
            tree.addGroup(u"G");
            tree.addChannel(0, u"x", 5, 64);
            if (tree.create() != 0) {
                ++wrong;
                continue;
            }
            // A second tree for the same path is refused while the first is open.
            tarvik::test::HostTree rival(dir.file("w" + std::to_string(file) + ".mf4"));
            rival.addGroup(u"G");
            if (rival.create() != 2) ++wrong;
            const double values[3] = {1, 2, 3};
            for (int batch = 0; batch < 5; ++batch)
                if (tarvik::test::WriteBatch().group(0, 5, values, 3).channel(0, 5, values, 3).write(tree.content()) != 0) ++wrong;
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
    using namespace tarvik::test;
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
