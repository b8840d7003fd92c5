#include "blocks/stream.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "blocks/block_layer.h"
#include "blocks/file_open.h"
#include "findings/findings.h"
#include "new_file.h"
#include "support/temp_dir.h"

namespace tarvik {
namespace {

using test::TempDir;
using test::widePath;

std::string readAll(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

TEST(Stream, CountedReadsStopAtTheBlockEndWithoutOverreading) {
    TempDir dir;
    const auto file = dir.write("data", std::string("\x01\x02\x03\x04\x05\x06\x07\x08\x09", 9));
    ZtCMF4Stream stream;
    ASSERT_EQ(stream.openRead(widePath(file)), platform::kOk);

    std::uint64_t remaining = 5;  // the block ends after byte 5 although the file goes on
    std::uint32_t first = 0;
    ASSERT_EQ(stream.readCounted(first, remaining), platform::kOk);
    EXPECT_EQ(first, 0x04030201u);
    EXPECT_EQ(remaining, 1u);

    std::uint16_t beyond = 0xFFFF;
    EXPECT_EQ(stream.readCounted(beyond, remaining), platform::kOk);
    EXPECT_EQ(beyond, 0u);
    EXPECT_EQ(remaining, 0u);
    EXPECT_EQ(stream.position(), 4u) << "a skipped field must not be consumed";

    // Once a field was skipped, the ones after it read as zero too, even if they would fit.
    std::uint8_t after = 0xFF;
    EXPECT_EQ(stream.readCounted(after, remaining), platform::kOk);
    EXPECT_EQ(after, 0u);
    EXPECT_EQ(stream.position(), 4u);

    std::uint64_t array[2] = {7, 7};
    remaining = 8;
    EXPECT_EQ(stream.readCountedU64Array(array, 2, remaining), platform::kOk);
    EXPECT_EQ(array[0], 0u);
    EXPECT_EQ(array[1], 0u);
    EXPECT_EQ(remaining, 0u);

    // A read that fails (the file ends before the block does) reports it and ends the block.
    std::uint64_t big = 0;
    EXPECT_EQ(stream.seekRead(6), platform::kOk);
    remaining = 100;
    EXPECT_EQ(stream.readCounted(big, remaining), platform::kFailed);
    EXPECT_EQ(remaining, 0u);
}

TEST(Stream, WritesPadAndResize) {
    test::NewFile file("out.mf4");
    ZtCMF4Stream& stream = file.stream;
    ASSERT_EQ(file.opened, platform::kOk);
    EXPECT_EQ(file.handle.GetStream(), stream.file()) << "the handle keeps the stream it opened";

    EXPECT_EQ(stream.padTo8(), 0u) << "an aligned position needs no padding";
    EXPECT_EQ(stream.write(std::uint16_t{0xBEEF}), platform::kOk);
    EXPECT_EQ(stream.write(std::uint8_t{0x11}), platform::kOk);
    EXPECT_EQ(stream.padTo8(), 8u);
    EXPECT_EQ(stream.padTo8(), 8u);
    const std::uint64_t values[] = {1, 0x0102030405060708};
    EXPECT_EQ(stream.writeU64Array(values, 2), platform::kOk);
    EXPECT_EQ(stream.position(), 24u);
    EXPECT_EQ(stream.flush(), platform::kOk);
    EXPECT_EQ(stream.size(), 24u);

    EXPECT_EQ(stream.resizeBy(8), platform::kOk);
    EXPECT_EQ(stream.size(), 32u);
    EXPECT_EQ(stream.position(), 32u);
    EXPECT_EQ(stream.resizeBy(-16), platform::kOk);
    EXPECT_EQ(stream.size(), 16u);
    EXPECT_EQ(stream.resizeBy(-100), platform::kFailed);

    const std::string bytes = file.bytes();
    ASSERT_EQ(bytes.size(), 16u);
    EXPECT_EQ(bytes.substr(0, 8), std::string("\xEF\xBE\x11\0\0\0\0\0", 8));
    EXPECT_EQ(bytes.substr(8, 8), std::string("\x01\0\0\0\0\0\0\0", 8));
}

TEST(Stream, LargeWritesArriveWhole) {
    test::NewFile file("big");
    std::string data(ZtCMF4Stream::kMaxWritePiece + 5, '\0');
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 7);
    EXPECT_EQ(file.stream.writeBytes(data.data(), data.size()), platform::kOk);
    EXPECT_EQ(file.stream.position(), data.size());
    EXPECT_EQ(file.bytes(), data);
}

TEST(Stream, CachedHandleStreamIsReusedAtItsEnd) {
    TempDir dir;
    dir.write("existing", "12345");
    ZtCLayerCore handle;
    handle.SetFilePath(widePath(dir.file("existing")));
    {
        ZtCMF4Stream first(&handle);
        ASSERT_EQ(first.openThroughHandle(OpenMode::Update), platform::kOk);
        EXPECT_EQ(first.position(), 0u);
    }  // the stream outlives its stream object: the handle owns it
    ASSERT_NE(handle.GetStream(), nullptr);
    ZtCMF4Stream second(&handle);
    ASSERT_EQ(second.openThroughHandle(OpenMode::Update), platform::kOk);
    EXPECT_EQ(second.tell(), 5u) << "a cached stream is taken at the end of the file";
    EXPECT_EQ(second.write(std::uint8_t{'6'}), platform::kOk);
    second.close();
    EXPECT_EQ(handle.GetStream(), nullptr) << "closing tells the handle";
    EXPECT_EQ(readAll(dir.file("existing")), "123456");
}

TEST(Stream, MissingStreamFailsEveryOperation) {
    ZtCMF4Stream stream;
    std::uint8_t byte = 0;
    EXPECT_EQ(stream.read(byte), platform::kFailed);
    EXPECT_EQ(stream.write(byte), platform::kFailed);
    EXPECT_EQ(stream.tell(), ZtCMF4Stream::kNoPosition);
    EXPECT_EQ(stream.size(), ZtCMF4Stream::kNoPosition);
    EXPECT_EQ(stream.seekEnd(), platform::kFailed);
    EXPECT_EQ(stream.flush(), platform::kFailed);
    EXPECT_EQ(stream.seekWrite(0), platform::kFailed);
    EXPECT_EQ(stream.resizeBy(8), platform::kFailed);
    EXPECT_EQ(stream.padTo8(), 0u);
    EXPECT_EQ(stream.openThroughHandle(OpenMode::Create), platform::kFailed) << "no handle";
}

std::uint32_t onlyErrorOf(const FindingList& findings) {
    EXPECT_EQ(findings.errors().size(), 1u);
    EXPECT_TRUE(findings.warnings().empty());
    return findings.errors().empty() ? 0 : findings.errors().front().number;
}

TEST(FileOpen, FailuresBecomeTheirFindings) {
    TempDir dir;
    {  // nothing at the path
        FindingList findings(u"missing");
        ZtCMF4Stream stream;
        EXPECT_EQ(openForReading(stream, widePath(dir.file("missing")), findings), platform::kFailed);
        EXPECT_EQ(onlyErrorOf(findings), 141u);
        ASSERT_FALSE(findings.errors().empty());
        EXPECT_EQ(findings.errors()[0].detail1, u"missing");
    }
    {  // something exists that cannot be opened as a file: a socket
        const auto socketPath = dir.file("socket");
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        ASSERT_GE(fd, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, socketPath.c_str(), sizeof address.sun_path - 1);
        ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        FindingList findings;
        ZtCMF4Stream stream;
        EXPECT_EQ(openForReading(stream, widePath(socketPath), findings), platform::kFailed);
        EXPECT_EQ(onlyErrorOf(findings), 100u);
        ::close(fd);
    }
    {  // writing into a folder that does not exist
        FindingList findings;
        ZtCLayerCore handle;
        handle.SetFilePath(widePath(dir.file("no-such-folder/out.mf4")));
        ZtCMF4Stream stream(&handle);
        EXPECT_EQ(openForWriting(stream, OpenMode::Create, findings), platform::kFailed);
        EXPECT_EQ(onlyErrorOf(findings), 141u);
    }
    {  // writing onto a folder
        FindingList findings;
        ZtCLayerCore handle;
        handle.SetFilePath(widePath(dir.path()));
        ZtCMF4Stream stream(&handle);
        EXPECT_EQ(openForWriting(stream, OpenMode::Update, findings), platform::kFailed);
        EXPECT_EQ(onlyErrorOf(findings), 101u);
    }
}

TEST(FileOpen, MissingPermissionsAreNoAccess) {
    if (::geteuid() == 0) GTEST_SKIP() << "permissions do not stop root";
    TempDir dir;
    const auto locked = dir.write("locked.mf4", "MDF     ");
    std::filesystem::permissions(locked, std::filesystem::perms::none);
    FindingList reading;
    ZtCMF4Stream readStream;
    EXPECT_EQ(openForReading(readStream, widePath(locked), reading), platform::kFailed);
    EXPECT_EQ(onlyErrorOf(reading), 148u);

    FindingList writing;
    ZtCLayerCore handle;
    handle.SetFilePath(widePath(locked));
    ZtCMF4Stream writeStream(&handle);
    EXPECT_EQ(openForWriting(writeStream, OpenMode::Update, writing), platform::kFailed);
    EXPECT_EQ(onlyErrorOf(writing), 147u);
}

}  // namespace
}  // namespace tarvik
