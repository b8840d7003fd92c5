// A new file in a temporary folder, opened for writing through a file handle the way the
// library's writers open theirs.
#pragma once

#include <fstream>
#include <string>

#include "blocks/block_layer.h"
#include "blocks/stream.h"
#include "support/temp_dir.h"

namespace tarvik::test {

inline std::string contentOf(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

struct NewFile {
    explicit NewFile(const char* name) : path(dir.file(name)) {
        handle.SetFilePath(widePath(path));
        opened = stream.openThroughHandle(OpenMode::Create);
    }

    // The bytes on disk, after flushing what the stream holds.
    std::string bytes() {
        stream.flush();
        return contentOf(path);
    }

    TempDir dir;
    std::filesystem::path path;
    ZtCLayerCore handle;
    ZtCMF4Stream stream{&handle};
    int opened = platform::kFailed;
};

}  // namespace tarvik::test
