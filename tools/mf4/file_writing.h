// One new MDF file written through WriteContent, WriteData and FinishWriting. Each call's
// findings go to stderr as they come, and a write that does not end with a finished file takes
// its output away: a file left half-written would look like a measurement that went wrong.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <string_view>

#include "TarvikMF4Access.h"

namespace mf4tool {

// Library texts that stay where they are while a tree points at them.
class TextStore {
public:
    // A stored UTF-16 copy of `utf8`; null for an empty text, which the tree reads as absent.
    MF4Char* add(std::string_view utf8);

private:
    std::deque<std::u16string> texts_;
};

class FileWriting {
public:
    // Points content.filePath at the library form of `path`; nothing is written yet. `who`
    // starts every message ("mf4 import").
    FileWriting(MF4Content& content, const std::string& path, std::string who);
    // Closes and removes a file that was created but not finished without errors.
    ~FileWriting();
    FileWriting(const FileWriting&) = delete;
    FileWriting& operator=(const FileWriting&) = delete;

    // Each answers whether the file can go on being written (warnings allow it).
    bool create();
    bool write(MF4WriteRequest& request);
    bool finish();

    // Every call so far returned MF4_OK.
    bool clean() const { return worst_ == MF4_OK; }

private:
    bool settle(const char* call, std::uint32_t result, MF4Error* errors, std::uint64_t count);

    enum class State { fresh, open, finished, failed };

    MF4Content& content_;
    std::string path_;
    std::u16string libraryPath_;
    std::string who_;
    State state_ = State::fresh;
    std::uint32_t worst_ = MF4_OK;
};

}  // namespace mf4tool
