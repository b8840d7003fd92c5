#include "platform/file.h"

#include <cerrno>
#include <cstring>
#include <limits>
#include <new>

#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include "platform/text.h"

namespace tarvik::platform {
namespace {

int statusFromErrno(int error) {
    switch (error) {
        case EACCES:
        case EPERM:
        case EROFS: return kNoAccess;
        case ENOENT:
        case ENOTDIR: return kNotFound;
        default: return kFailed;
    }
}

// The system's form of a path, or false when it has none: a zero inside the path would
// silently cut it short at the system call, so such a path names no file.
bool systemPath(std::u16string_view path, std::string& out) {
    if (path.find(u'\0') != std::u16string_view::npos) return false;
    try {
        out = utf16ToUtf8(path);
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

// The caller's fopen mode with close-on-exec added where the C library understands it, so
// that processes the host starts do not inherit the library's files.
bool systemMode(const char* mode, char (&out)[16]) {
    std::size_t length = std::strlen(mode);
    if (length + 2 > sizeof out) return false;
    std::memcpy(out, mode, length);
#if defined(__linux__)
    out[length++] = 'e';
#endif
    out[length] = '\0';
    return true;
}

bool isDirectory(std::FILE* stream) {
    struct stat info {};
    return fstat(fileno(stream), &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace

int openFile(std::u16string_view path, const char* mode, std::FILE** stream) {
    if (stream == nullptr) return kFailed;
    *stream = nullptr;
    std::string name;
    char fullMode[16];
    if (mode == nullptr || !systemMode(mode, fullMode) || !systemPath(path, name)) return kFailed;

    std::FILE* opened = std::fopen(name.c_str(), fullMode);
    if (opened == nullptr) return statusFromErrno(errno);
    // Reading mode opens a directory without complaint; every read would fail later, so it is
    // turned away here as writing modes are.
    if (isDirectory(opened)) {
        std::fclose(opened);
        return kFailed;
    }
    *stream = opened;
    return kOk;
}

bool pathExists(std::u16string_view path) {
    std::string name;
    if (!systemPath(path, name)) return false;
    struct stat info {};
    return stat(name.c_str(), &info) == 0;
}

int resizeFile(std::FILE* stream, std::uint64_t newSize) {
    if (stream == nullptr) return kFailed;
    if (newSize > static_cast<std::uint64_t>(std::numeric_limits<off_t>::max())) return kFailed;
    if (std::fflush(stream) != 0) return kFailed;
    return ftruncate(fileno(stream), static_cast<off_t>(newSize)) == 0 ? kOk : kFailed;
}

int writeInPlace(std::FILE* stream, std::uint64_t offset, const void* bytes, std::size_t count) {
    if (stream == nullptr || offset > static_cast<std::uint64_t>(std::numeric_limits<off_t>::max())) return kFailed;
    // What the stream still buffers goes first, so the file receives the bytes in call order.
    if (std::fflush(stream) != 0) return kFailed;
    const char* from = static_cast<const char*>(bytes);
    while (count > 0) {
        const ssize_t written = pwrite(fileno(stream), from, count, static_cast<off_t>(offset));
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return kFailed;
        from += written;
        offset += static_cast<std::uint64_t>(written);
        count -= static_cast<std::size_t>(written);
    }
    return kOk;
}

std::size_t readAt(std::FILE* stream, std::uint64_t offset, void* bytes, std::size_t count) {
    if (stream == nullptr || offset > static_cast<std::uint64_t>(std::numeric_limits<off_t>::max())) return 0;
    char* into = static_cast<char*>(bytes);
    std::size_t done = 0;
    while (done < count) {
        const ssize_t got = pread(fileno(stream), into + done, count - done, static_cast<off_t>(offset + done));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        done += static_cast<std::size_t>(got);
    }
    return done;
}

bool MappedFile::map(std::FILE* stream, std::uint64_t size) {
    unmap();
    if (stream == nullptr || size == 0 || size > std::numeric_limits<std::size_t>::max()) return false;
    void* view = mmap(nullptr, static_cast<std::size_t>(size), PROT_READ, MAP_PRIVATE, fileno(stream), 0);
    if (view == MAP_FAILED) return false;
    bytes_ = static_cast<const std::uint8_t*>(view);
    size_ = size;
    return true;
}

void MappedFile::unmap() {
    if (bytes_ != nullptr) munmap(const_cast<std::uint8_t*>(bytes_), static_cast<std::size_t>(size_));
    bytes_ = nullptr;
    size_ = 0;
}

}  // namespace tarvik::platform
