// One read of a file's content tree through the public interface, owning what the library
// hands out until it is given back.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "TarvikMF4Access.h"

namespace mf4tool {

class ContentReading {
public:
    // Reads the file at the UTF-8 path `file`; without events when `withEvents` is false.
    ContentReading(const std::string& file, bool withEvents);
    ~ContentReading();
    ContentReading(const ContentReading&) = delete;
    ContentReading& operator=(const ContentReading&) = delete;

    // MF4_OK, MF4_WARNINGS or MF4_ERRORS.
    std::uint32_t result() const { return result_; }
    // The tree, or null when the library delivered none.
    const MF4Content* content() const { return content_; }
    // The same tree for calls that take it as the handle of the open file (ReadData).
    MF4Content* content() { return content_; }
    std::span<const MF4Error> findings() const;

private:
    std::uint32_t result_ = MF4_ERRORS;
    MF4Content* content_ = nullptr;
    MF4Error* errors_ = nullptr;
    std::uint64_t errorCount_ = 0;
};

}  // namespace mf4tool
