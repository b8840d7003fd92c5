// Opening files by UTF-16 path, with failures sorted into the library's status codes.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

namespace tarvik::platform {

// Status codes shared by every internal operation.
enum Status : int {
    kOk = 0,
    kFailed = 2,
    kCancelled = 3,
    kNoAccess = 4,
    kNotFound = 5,
};

// Opens `path` (UTF-16, converted to UTF-8 for the system) with a C `fopen` mode such as "rb",
// "r+b" or "w+b". On success stores the stream in *stream and returns kOk. On failure
// *stream is null and the system error is mapped: EACCES, EPERM, EROFS give kNoAccess;
// ENOENT, ENOTDIR give kNotFound; anything else kFailed.
int openFile(std::u16string_view path, const char* mode, std::FILE** stream);

// True when something exists at `path` (file or directory).
bool pathExists(std::u16string_view path);

// Moves `stream` to `offset` bytes from its start (SEEK_SET) or its end (SEEK_END), with 64-bit
// offsets on every system. kOk or kFailed.
int seekFile(std::FILE* stream, std::uint64_t offset, int origin);

// The position of `stream`, or -1 when the system cannot tell.
std::int64_t tellFile(std::FILE* stream);

// Sets the size of the file behind `stream` (flushed first). kOk or kFailed.
int resizeFile(std::FILE* stream, std::uint64_t newSize);

// Writes `count` bytes at `offset` of the file behind `stream` without moving the stream's
// position; what the stream buffers is flushed first. Patching a few bytes so costs no seek and
// no re-read of the stream's buffer. kOk or kFailed.
int writeInPlace(std::FILE* stream, std::uint64_t offset, const void* bytes, std::size_t count);

// Reads up to `count` bytes at `offset` of the file behind `stream`, past the stream's buffer,
// so that a second thread may read while the stream is in use on the first (nothing the stream
// has buffered for writing is seen). Returns the bytes read. Only for streams that read through
// readAt alone: on Windows the system's position of the file moves with each read.
std::size_t readAt(std::FILE* stream, std::uint64_t offset, void* bytes, std::size_t count);

// A read-only view of the first `size` bytes of an open file, where the system can map files
// into memory: the bytes are read from the page cache as they are touched, with no copy and no
// system call per read. Only for files nobody shortens while the view lives: touching a page
// that a shortened file no longer has kills the process on most systems.
class MappedFile {
public:
    MappedFile() = default;
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;
    ~MappedFile() { unmap(); }

    // Maps the file behind `stream`; false (and nothing mapped) when it cannot be.
    bool map(std::FILE* stream, std::uint64_t size);
    void unmap();
    const std::uint8_t* bytes() const { return bytes_; }
    std::uint64_t size() const { return size_; }

private:
    const std::uint8_t* bytes_ = nullptr;
    std::uint64_t size_ = 0;
};

}  // namespace tarvik::platform
