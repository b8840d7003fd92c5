#include "blocks/stream.h"

#if !defined(_WIN32)
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#endif

#include <cstring>

#include "blocks/file_open.h"
#include "new_file.h"
#include "structure_walk.h"

namespace tarvik::test {
namespace {

using platform::kFailed;
using platform::kOk;

TEST(Stream, CountedReadsStopAtTheBlockEndWithoutOverreading) {
    TempDir dir;
    ZtCMF4Stream stream;
    ASSERT_EQ(stream.openRead(widePath(dir.write("data", "\x01\x02\x03\x04\x05\x06\x07\x08\x09"))),
              kOk);

    std::uint64_t remaining = 5;  // the block ends after byte 5 although the file goes on
    std::uint32_t first = 0;
    ASSERT_EQ(stream.readCounted(first, remaining), kOk);
    EXPECT_EQ(first, 0x04030201u);
    EXPECT_EQ(remaining, 1u);
    std::uint16_t beyond = 0xFFFF;
    EXPECT_EQ(stream.readCounted(beyond, remaining), kOk);
    EXPECT_EQ(beyond, 0u);
    EXPECT_EQ(remaining, 0u);
    EXPECT_EQ(stream.position(), 4u) << "a skipped field must not be consumed";
    // Once a field was skipped, the ones after it read as zero too, even if they would fit.
    std::uint8_t after = 0xFF;
    EXPECT_EQ(stream.readCounted(after, remaining), kOk);
    EXPECT_EQ(after, 0u);
    EXPECT_EQ(stream.position(), 4u);

    std::uint64_t array[2] = {7, 7};
    remaining = 8;
    EXPECT_EQ(stream.readCountedU64Array(array, 2, remaining), kOk);
    EXPECT_EQ(array[0] | array[1], 0u);
    EXPECT_EQ(remaining, 0u);

    // A read that fails (the file ends before the block does) reports it and ends the block.
    std::uint64_t big = 0;
    EXPECT_EQ(stream.seekRead(6), kOk);
    remaining = 100;
    EXPECT_EQ(stream.readCounted(big, remaining), kFailed);
    EXPECT_EQ(remaining, 0u);
}

// A stream opened for reading serves reads from pages of the file it keeps: any sequence of
// seeks and reads, across page borders, into and past the end, gives the file's bytes, and a
// read cut short by the end leaves the position where the bytes ran out.
TEST(Stream, ReadsAnywhereGiveTheFilesBytes) {
    TempDir dir;
    std::string bytes(200'000, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 131 + i / 997);
    ZtCMF4Stream stream;
    ASSERT_EQ(stream.openRead(widePath(dir.write("pages", bytes))), kOk);
    EXPECT_EQ(stream.size(), bytes.size());
    std::uint64_t seed = 17;
    auto next = [&seed](std::uint64_t below) { return (seed = seed * 6364136223846793005u + 1442695040888963407u) % below; };
    for (int i = 0; i < 3000; ++i) {
        const std::uint64_t at = i % 7 == 0 ? bytes.size() - next(100) : next(bytes.size() + 50);
        const std::size_t count = static_cast<std::size_t>(i % 11 == 0 ? next(70'000) : next(300));
        std::string got(count, '\x55');
        ASSERT_EQ(stream.seekRead(at), kOk);
        const bool whole = at + count <= bytes.size();
        ASSERT_EQ(stream.readBytes(got.data(), count), whole ? kOk : kFailed) << at << " + " << count;
        const std::uint64_t arrived = whole ? count : (at < bytes.size() ? bytes.size() - at : 0);
        EXPECT_EQ(stream.position(), at + arrived);
        if (arrived != 0) {
            ASSERT_EQ(got.substr(0, arrived), bytes.substr(at, arrived)) << at << " + " << count;
        }
    }
}

TEST(Stream, WritesPadResizeAndArriveWhole) {
    NewFile file("out.mf4");
    ZtCMF4Stream& stream = file.stream;
    ASSERT_EQ(file.opened, kOk);
    EXPECT_EQ(file.handle.GetStream(), stream.file()) << "the handle keeps the stream it opened";
    EXPECT_EQ(stream.padTo8(), 0u) << "an aligned position needs no padding";
    EXPECT_EQ(stream.write(std::uint16_t{0xBEEF}), kOk);
    EXPECT_EQ(stream.write(std::uint8_t{0x11}), kOk);
    EXPECT_EQ(stream.padTo8(), 8u);
    EXPECT_EQ(stream.padTo8(), 8u);
    const std::uint64_t values[] = {1, 0x0102030405060708};
    EXPECT_EQ(stream.writeU64Array(values, 2), kOk);
    EXPECT_EQ(stream.position(), 24u);
    EXPECT_EQ(stream.flush(), kOk);
    EXPECT_EQ(stream.size(), 24u);

    EXPECT_EQ(stream.resizeBy(8), kOk);
    EXPECT_EQ(stream.size(), 32u);
    EXPECT_EQ(stream.position(), 32u);
    EXPECT_EQ(stream.resizeBy(-16), kOk);
    EXPECT_EQ(stream.resizeBy(-100), kFailed);
    EXPECT_EQ(file.bytes(), std::string("\xEF\xBE\x11\0\0\0\0\0\x01\0\0\0\0\0\0\0", 16));

    NewFile big("big");  // more than one piece of fwrite
    std::string data(ZtCMF4Stream::kMaxWritePiece + 5, '\0');
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 7);
    EXPECT_EQ(big.stream.writeBytes(data.data(), data.size()), kOk);
    EXPECT_EQ(big.stream.position(), data.size());
    EXPECT_EQ(big.bytes(), data);
}

TEST(Stream, CachedHandleStreamIsReusedAtItsEnd) {
    TempDir dir;
    ZtCLayerCore handle;
    handle.SetFilePath(widePath(dir.write("existing", "12345")));
    {
        ZtCMF4Stream first(&handle);
        ASSERT_EQ(first.openThroughHandle(OpenMode::Update), kOk);
        EXPECT_EQ(first.position(), 0u);
    }  // the stream outlives its stream object: the handle owns it
    ASSERT_NE(handle.GetStream(), nullptr);
    ZtCMF4Stream second(&handle);
    ASSERT_EQ(second.openThroughHandle(OpenMode::Update), kOk);
    EXPECT_EQ(second.tell(), 5u) << "a cached stream is taken at the end of the file";
    EXPECT_EQ(second.write(std::uint8_t{'6'}), kOk);
    second.close();
    EXPECT_EQ(handle.GetStream(), nullptr) << "closing tells the handle";
    EXPECT_EQ(contentOf(dir.file("existing")), "123456");
}

TEST(Stream, MissingStreamFailsEveryOperation) {
    ZtCMF4Stream stream;
    std::uint8_t byte = 0;
    EXPECT_EQ(stream.read(byte), kFailed);
    EXPECT_EQ(stream.write(byte), kFailed);
    EXPECT_EQ(stream.tell(), ZtCMF4Stream::kNoPosition);
    EXPECT_EQ(stream.size(), ZtCMF4Stream::kNoPosition);
    EXPECT_EQ(stream.seekEnd(), kFailed);
    EXPECT_EQ(stream.flush(), kFailed);
    EXPECT_EQ(stream.seekWrite(0), kFailed);
    EXPECT_EQ(stream.resizeBy(8), kFailed);
    EXPECT_EQ(stream.padTo8(), 0u);
    EXPECT_EQ(stream.openThroughHandle(OpenMode::Create), kFailed) << "no handle";
}

// The findings of opening `path` for reading, or for writing in `mode`; the open must fail.
Lines openFailure(const std::filesystem::path& path, std::optional<OpenMode> mode = {}) {
    FindingList findings;
    ZtCLayerCore handle;
    handle.SetFilePath(widePath(path));
    ZtCMF4Stream stream(&handle);
    EXPECT_EQ(mode ? openForWriting(stream, *mode, findings)
                   : openForReading(stream, widePath(path), findings),
              kFailed);
    EXPECT_TRUE(findings.warnings().empty());
    return render(findings.errors());
}

TEST(FileOpen, FailuresBecomeTheirFindings) {
    TempDir dir;
    EXPECT_EQ(openFailure(dir.file("missing")), Lines{"141"});
    EXPECT_EQ(openFailure(dir.file("no-such-folder/out.mf4"), OpenMode::Create), Lines{"141"});
    EXPECT_EQ(openFailure(dir.path(), OpenMode::Update), Lines{"101"}) << "a folder";

    // Something exists that cannot be opened as a file: a folder to read, and a socket.
    EXPECT_EQ(openFailure(dir.path()), Lines{"100"});
#if !defined(_WIN32)
    const auto socketPath = dir.file("socket");
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, socketPath.c_str(), sizeof address.sun_path - 1);
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    EXPECT_EQ(openFailure(socketPath), Lines{"100"});
    ::close(fd);
#endif
}

TEST(FileOpen, MissingPermissionsAreNoAccess) {
    if (!readsCanBeRefused()) GTEST_SKIP() << "nothing stops this process reading a file (root, or Windows)";
    TempDir dir;
    const auto locked = dir.write("locked.mf4", "MDF     ");
    std::filesystem::permissions(locked, std::filesystem::perms::none);
    EXPECT_EQ(openFailure(locked), Lines{"148"});
    EXPECT_EQ(openFailure(locked, OpenMode::Update), Lines{"147"});
}

}  // namespace
}  // namespace tarvik::test
