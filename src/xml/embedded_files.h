// Files compiled into the library at build time (the XML schemas), found by their relative path.
#pragma once

#include <cstddef>
#include <string_view>

namespace tarvik {

struct EmbeddedFile {
    const char* path;            // relative to src/xml, e.g. "schemas/410/cn_comment.xsd"
    const unsigned char* bytes;  // followed by one zero byte that is not part of the file
    std::size_t size;
};

extern const EmbeddedFile kEmbeddedFiles[];
extern const std::size_t kEmbeddedFileCount;

// The bytes of an embedded file, or nothing when no file has that path.
inline std::string_view embeddedFile(std::string_view path) {
    for (std::size_t i = 0; i < kEmbeddedFileCount; ++i)
        if (path == kEmbeddedFiles[i].path)
            return {reinterpret_cast<const char*>(kEmbeddedFiles[i].bytes), kEmbeddedFiles[i].size};
    return {};
}

}  // namespace tarvik
