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
    // A stored copy of a library text, code unit for code unit; null for null.
    MF4Char* copy(const MF4Char* text);

private:
    std::deque<std::u16string> texts_;
};

// An event at one point in time (eventType, cause and the rest as MF4Event has them), with
// no scope and no range; its texts are kept in `texts`.
MF4Event pointEvent(TextStore& texts, std::uint32_t type, std::uint32_t cause, double time,
                    std::string_view name, std::string_view comment);

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
