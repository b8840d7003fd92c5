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

}  // namespace
