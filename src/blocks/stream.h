// The stream every file access of the library goes through: typed little-endian reads and
// writes, reads counted against a block's remaining length, and the few file operations the
// readers and writers need.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string_view>
#include <type_traits>
#include <unordered_map>
#include <vector>

#include "platform/file.h"

namespace tarvik {

// MDF 4 numbers are little-endian; the typed reads and writes copy them as they lie in memory.
static_assert(std::endian::native == std::endian::little, "the library needs a little-endian host");

class ZtIFileHandle;

// How a file handle's path is opened for writing.
enum class OpenMode { Create, Update };

class ZtCMF4Stream {
public:
    static constexpr std::uint64_t kNoPosition = ~std::uint64_t{0};
    // Largest piece handed to one fwrite, in bytes and in u64 values.
    static constexpr std::size_t kMaxWritePiece = 0xA00000;

    ZtCMF4Stream() = default;
    explicit ZtCMF4Stream(ZtIFileHandle* handle) : handle_(handle) {}
    ~ZtCMF4Stream();
    ZtCMF4Stream(const ZtCMF4Stream&) = delete;
    ZtCMF4Stream& operator=(const ZtCMF4Stream&) = delete;

    // Opens `path` for reading. kOk, kNoAccess or kFailed.
    int openRead(std::u16string_view path);
    // Opens through the file handle: its cached stream when it has one (positioned at the end),
    // else its path in update ("r+b") or create ("w+b") mode, handing the new stream to it.
    // kOk, kNoAccess, kNotFound or kFailed.
    int openThroughHandle(OpenMode mode);
    // Closes the stream and tells the handle that it no longer has one.
    void close();

    // Hands an already open stream to this object (it then closes it).
    void adopt(std::FILE* stream);
    std::FILE* file() const { return stream_; }
    // True when there is a stream whose error indicator is clear.
    bool usable() const;

    std::uint64_t position() const { return position_; }
    int seekRead(std::uint64_t offset);
    int seekWrite(std::uint64_t offset);
    std::uint64_t tell() const;
    std::uint64_t size();
    int seekEnd();
    int flush();
    // Writes zeros up to the next multiple of 8; returns the (new) position.
    std::uint64_t padTo8();
    // Grows (or with a negative delta shrinks) the file, then seeks to its end.
    int resizeBy(std::int64_t delta);

    // Plain reads: a short read gives kFailed.
    int readBytes(void* target, std::size_t count);
    template <typename T>
    int read(T& value) {
        static_assert(std::is_trivially_copyable_v<T> && (sizeof(T) <= 8));
        return readBytes(&value, sizeof(T));
    }
    int readU64Array(std::uint64_t* values, std::size_t count);

    // Counted reads: the value is read only when `remaining` holds it entirely, and then
    // `remaining` shrinks by its size. Otherwise the value lies beyond the block's end: it is
    // set to 0 without consuming anything, and `remaining` becomes 0 so that every later field
    // of the block reads as 0 too. A failing read sets `remaining` to 0 and gives kFailed.
    int readCountedBytes(void* target, std::size_t count, std::uint64_t& remaining);
    template <typename T>
    int readCounted(T& value, std::uint64_t& remaining) {
        static_assert(std::is_trivially_copyable_v<T> && (sizeof(T) <= 8));
        return readCountedBytes(&value, sizeof(T), remaining);
    }
    int readCountedU64Array(std::uint64_t* values, std::size_t count, std::uint64_t& remaining);

    // The `count` bytes at `offset` as they lie in the file, without a copy, for a stream
    // opened for reading (the file is mapped at the first call); null when they do not lie
    // inside the file as it was when opened, for other streams, or when the file cannot be
    // mapped. Valid until the stream closes.
    const std::uint8_t* bytesInPlace(std::uint64_t offset, std::uint64_t count);

    // Writes: kFailed without a usable stream or on a short write; the cached position
    // advances by the nominal size either way.
    int writeBytes(const void* source, std::size_t count);
    template <typename T>
    int write(T value) {
        static_assert(std::is_trivially_copyable_v<T> && (sizeof(T) <= 8));
        return writeBytes(&value, sizeof(T));
    }
    int writeU64Array(const std::uint64_t* values, std::size_t count);
    // Writes `count` bytes at `offset`, after everything written before, without moving the
    // stream's position: for fields patched in place, and for large pieces that need not pass
    // through the stream's buffer.
    int writeBytesAt(std::uint64_t offset, const void* source, std::size_t count) {
        if (!usable()) return platform::kFailed;
        return platform::writeInPlace(stream_, offset, source, count);
    }
    // Writes `value` at `offset` (a link, count or field patched in place), as writeBytesAt.
    template <typename T>
    int writeAt(std::uint64_t offset, T value) {
        static_assert(std::is_trivially_copyable_v<T> && (sizeof(T) <= 8));
        return writeBytesAt(offset, &value, sizeof(T));
    }

private:
    // A stream opened for reading keeps the aligned pages of the file it has read, up to a
    // bound: the structure of even a large file fits, so every page is read from the system once.
    static constexpr std::size_t kPageBytes = 0x4000;
    static constexpr std::size_t kMaxPages = 1024;

    struct Page {
        std::uint64_t start = 0;  // a multiple of kPageBytes
        std::vector<char> bytes;  // fewer than kPageBytes at the end of the file
    };

    void refreshPosition();
    // Writes `count` elements in fwrite calls of at most kMaxWritePiece elements each.
    int writeElements(const void* source, std::size_t elementSize, std::size_t count);
    // readBytes of a stream opened for reading: through the pages, or past them for large reads.
    int readThroughPages(char* target, std::size_t count);
    // The page that holds `offset`, read when it is not held (all pages are let go first when
    // the bound is reached); null when the file has no byte there.
    const Page* pageAt(std::uint64_t offset);

    std::FILE* stream_ = nullptr;
    std::uint64_t position_ = 0;
    ZtIFileHandle* handle_ = nullptr;

    // A stream opened by openRead reads the file through pages of its own at explicit offsets
    // and keeps position and size itself: a structure read jumps from block to block, often
    // back to where it was a moment ago, and stdio drops its buffer at every seek and asks the
    // system for the position after every read, a system call or two per block. Reads within
    // the pages held cost none.
    bool readOnly_ = false;
    std::unordered_map<std::uint64_t, std::unique_ptr<Page>> pages_;  // by page number
    const Page* lastPage_ = nullptr;  // most reads continue in the page of the one before
    std::uint64_t fileSize_ = 0;
    // The read-only mapping bytesInPlace hands out; tried once per open.
    platform::MappedFile mapping_;
    bool mappingTried_ = false;
};

}  // namespace tarvik
