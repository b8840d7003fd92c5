// The file handle through which the block layer reaches a layer's path and cached stream.
#pragma once

#include <cstdio>
#include <string>

namespace tarvik {

class ZtIFileHandle {
public:
    virtual ~ZtIFileHandle() = default;
    // The path the layer works on (UTF-16); empty when none was set.
    virtual const std::u16string& GetFilePath() const = 0;
    virtual void SetFilePath(const std::u16string& path) = 0;
    // The stream the handle keeps open between operations, or null.
    virtual std::FILE* GetStream() const = 0;
    virtual void SetStream(std::FILE* stream) = 0;
    // Releases what the object holds.
    virtual void Close() = 0;
};

}  // namespace tarvik
