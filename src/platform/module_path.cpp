#include "platform/module_path.h"

#include <filesystem>
#include <system_error>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include "platform/text.h"

namespace tarvik::platform {
namespace {

// Any object of this file lies inside the binary we are looking for.
const char kAnchor = 0;

#if defined(_WIN32)
// Full path of the DLL (or program) that holds kAnchor, from its module handle.
std::filesystem::path loadedName() {
    HMODULE module = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCWSTR>(&kAnchor), &module))
        return {};
    // Paths may be longer than MAX_PATH; the buffer grows until the whole name fits.
    std::wstring name(MAX_PATH, L'\0');
    while (true) {
        const DWORD length = GetModuleFileNameW(module, name.data(), static_cast<DWORD>(name.size()));
        if (length == 0) return {};
        if (length < name.size()) {
            name.resize(length);
            return name;
        }
        if (name.size() >= 0x8000) return {};
        name.resize(name.size() * 2);
    }
}
#else
// File name of the binary that holds kAnchor, as the dynamic linker knows it. For a shared
// library that is the name it was loaded by; for the executable it is argv[0].
std::filesystem::path loadedName() {
    Dl_info info{};
    if (dladdr(&kAnchor, &info) == 0 || info.dli_fname == nullptr) return {};
    std::filesystem::path name = info.dli_fname;
    // argv[0] without a directory means the executable was found on PATH; only the system's
    // own link to it can tell where it lies then.
    if (!name.has_parent_path()) {
        std::error_code error;
        name = std::filesystem::read_symlink("/proc/self/exe", error);
        if (error) return {};
    }
    return name;
}
#endif

}  // namespace

std::u16string moduleDirectory() {
    try {
        std::filesystem::path name = loadedName();
        if (name.empty()) return {};
        // A relative name was given relative to the directory the process started in; the
        // current directory is the best guess for it (hosts rarely move before loading us).
        std::error_code error;
        std::filesystem::path full = std::filesystem::absolute(name, error);
        if (error) return {};
        const std::u8string directory = full.lexically_normal().parent_path().u8string();
        return utf8ToUtf16(std::string(directory.begin(), directory.end()));
    } catch (...) {
        // Out of memory while building the path: the location is as unknown as when the
        // system cannot tell.
        return {};
    }
}

}  // namespace tarvik::platform
