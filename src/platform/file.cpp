#include "platform/file.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <new>

#if defined(_WIN32)
#include <io.h>
#include <share.h>
#include <sys/stat.h>
#include <windows.h>
#else
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>
#endif

#include "platform/text.h"

// Each operation below is written once; where the systems differ, the system's own calls are
// chosen by the compiler inside a small helper.
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

#if defined(_WIN32)
// Windows takes UTF-16 paths as they are.
using SystemPath = std::wstring;
#else
// Linux takes paths as bytes, which are UTF-8 by convention.
using SystemPath = std::string;
#endif

// The system's form of a path, or false when it has none: a zero inside the path would
// silently cut it short at the system call, so such a path names no file.
bool systemPath(std::u16string_view path, SystemPath& out) {
    if (path.find(u'\0') != std::u16string_view::npos) return false;
    try {
#if defined(_WIN32)
        out.assign(path.begin(), path.end());
#else
        out = utf16ToUtf8(path);
#endif
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

// The caller's fopen mode with the flag that keeps the file from processes the host starts:
// close-on-exec on Linux, not inherited on Windows.
bool systemMode(const char* mode, char (&out)[16]) {
    std::size_t length = std::strlen(mode);
    if (length + 2 > sizeof out) return false;
    std::memcpy(out, mode, length);
#if defined(_WIN32)
    out[length++] = 'N';
#elif defined(__linux__)
    out[length++] = 'e';
#endif
    out[length] = '\0';
    return true;
}

#if defined(_WIN32)
using FileInfo = struct _stat64;
int infoOf(std::FILE* stream, FileInfo& info) { return _fstat64(_fileno(stream), &info); }
int infoOf(const SystemPath& path, FileInfo& info) { return _wstat64(path.c_str(), &info); }
bool isDirectoryMode(unsigned mode) { return (mode & _S_IFMT) == _S_IFDIR; }
// Other programs may read and write the file while the library has it open, as on Linux: a
// viewer can look into a file a logger is still writing.
std::FILE* systemOpen(const SystemPath& path, const char* mode) {
    std::wstring wideMode(mode, mode + std::strlen(mode));
    return _wfsopen(path.c_str(), wideMode.c_str(), _SH_DENYNO);
}
#else
using FileInfo = struct stat;
int infoOf(std::FILE* stream, FileInfo& info) { return fstat(fileno(stream), &info); }
int infoOf(const SystemPath& path, FileInfo& info) { return stat(path.c_str(), &info); }
bool isDirectoryMode(unsigned mode) { return S_ISDIR(mode); }
std::FILE* systemOpen(const SystemPath& path, const char* mode) { return std::fopen(path.c_str(), mode); }
#endif

bool isDirectory(std::FILE* stream) {
    FileInfo info{};
    return infoOf(stream, info) == 0 && isDirectoryMode(info.st_mode);
}

}  // namespace

int openFile(std::u16string_view path, const char* mode, std::FILE** stream) {
    if (stream == nullptr) return kFailed;
    *stream = nullptr;
    SystemPath name;
    char fullMode[16];
    if (mode == nullptr || !systemMode(mode, fullMode) || !systemPath(path, name)) return kFailed;

    std::FILE* opened = systemOpen(name, fullMode);
    if (opened == nullptr) {
        const int error = errno;
        // Windows refuses to open a directory as "access denied"; it is no file, as on Linux.
        FileInfo info{};
        if (infoOf(name, info) == 0 && isDirectoryMode(info.st_mode)) return kFailed;
        return statusFromErrno(error);
    }
    // Reading mode opens a directory without complaint on Linux; every read would fail later,
    // so it is turned away here as writing modes are.
    if (isDirectory(opened)) {
        std::fclose(opened);
        return kFailed;
    }
    *stream = opened;
    return kOk;
}

bool pathExists(std::u16string_view path) {
    SystemPath name;
    if (!systemPath(path, name)) return false;
    FileInfo info{};
    return infoOf(name, info) == 0;
}

int seekFile(std::FILE* stream, std::uint64_t offset, int origin) {
    if (stream == nullptr || offset > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()))
        return kFailed;
#if defined(_WIN32)
    return _fseeki64(stream, static_cast<__int64>(offset), origin) == 0 ? kOk : kFailed;
#else
    return fseeko(stream, static_cast<off_t>(offset), origin) == 0 ? kOk : kFailed;
#endif
}

std::int64_t tellFile(std::FILE* stream) {
    if (stream == nullptr) return -1;
#if defined(_WIN32)
    return _ftelli64(stream);
#else
    return ftello(stream);
#endif
}

int resizeFile(std::FILE* stream, std::uint64_t newSize) {
    if (stream == nullptr) return kFailed;
    if (newSize > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) return kFailed;
    if (std::fflush(stream) != 0) return kFailed;
#if defined(_WIN32)
    return _chsize_s(_fileno(stream), static_cast<__int64>(newSize)) == 0 ? kOk : kFailed;
#else
    return ftruncate(fileno(stream), static_cast<off_t>(newSize)) == 0 ? kOk : kFailed;
#endif
}

int writeInPlace(std::FILE* stream, std::uint64_t offset, const void* bytes, std::size_t count) {
    if (stream == nullptr || offset > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()))
        return kFailed;
    // What the stream still buffers goes first, so the file receives the bytes in call order.
    if (std::fflush(stream) != 0) return kFailed;
#if defined(_WIN32)
    // Windows has no write at an offset that leaves the file's position alone: the stream goes
    // there, writes, and comes back.
    const std::int64_t back = tellFile(stream);
    if (back < 0 || seekFile(stream, offset, SEEK_SET) != kOk) return kFailed;
    const bool written = std::fwrite(bytes, 1, count, stream) == count && std::fflush(stream) == 0;
    const bool returned = seekFile(stream, static_cast<std::uint64_t>(back), SEEK_SET) == kOk;
    return written && returned ? kOk : kFailed;
#else
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
#endif
}

std::size_t readAt(std::FILE* stream, std::uint64_t offset, void* bytes, std::size_t count) {
    if (stream == nullptr || offset > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) return 0;
    char* into = static_cast<char*>(bytes);
    std::size_t done = 0;
#if defined(_WIN32)
    const HANDLE file = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
    if (file == INVALID_HANDLE_VALUE) return 0;
    while (done < count) {
        const std::uint64_t at = offset + done;
        OVERLAPPED place{};
        place.Offset = static_cast<DWORD>(at);
        place.OffsetHigh = static_cast<DWORD>(at >> 32);
        const DWORD piece = static_cast<DWORD>(std::min<std::size_t>(count - done, 1u << 30));
        DWORD got = 0;
        if (!ReadFile(file, into + done, piece, &got, &place) || got == 0) break;
        done += got;
    }
#else
    while (done < count) {
        const ssize_t got = pread(fileno(stream), into + done, count - done, static_cast<off_t>(offset + done));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        done += static_cast<std::size_t>(got);
    }
#endif
    return done;
}

bool MappedFile::map(std::FILE* stream, std::uint64_t size) {
    unmap();
    if (stream == nullptr || size == 0 || size > std::numeric_limits<std::size_t>::max()) return false;
#if defined(_WIN32)
    const HANDLE file = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
    if (file == INVALID_HANDLE_VALUE) return false;
    const HANDLE section = CreateFileMappingW(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
    if (section == nullptr) return false;
    void* view = MapViewOfFile(section, FILE_MAP_READ, 0, 0, static_cast<SIZE_T>(size));
    // The view keeps the mapping alive by itself.
    CloseHandle(section);
    if (view == nullptr) return false;
#else
    void* view = mmap(nullptr, static_cast<std::size_t>(size), PROT_READ, MAP_PRIVATE, fileno(stream), 0);
    if (view == MAP_FAILED) return false;
#endif
    bytes_ = static_cast<const std::uint8_t*>(view);
    size_ = size;
    return true;
}

void MappedFile::unmap() {
    if (bytes_ != nullptr) {
#if defined(_WIN32)
        UnmapViewOfFile(bytes_);
#else
        munmap(const_cast<std::uint8_t*>(bytes_), static_cast<std::size_t>(size_));
#endif
    }
    bytes_ = nullptr;
    size_ = 0;
}

}  // namespace tarvik::platform
