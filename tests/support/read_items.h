// The host's side of ReadData for tests: a file opened with ReadContent, and buffers with their
// counters that hand out read items pointing at them.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "TarvikMF4Access.h"
#include "support/temp_dir.h"

namespace tarvik::test {

// ReadData on `content` with list A (channel items) and list B; the findings are dropped.
std::uint32_t readData(MF4Content* content, std::uint32_t mode, MF4ReadItem* listA, std::uint64_t countA,
                       MF4ReadItem* listB, std::uint64_t countB, std::uint32_t* cancel = nullptr);

// A content tree read from `bytes` (written to a temporary file) or from a file, released with
// the object.
class OpenedFile {
public:
    explicit OpenedFile(const std::string& bytes);
    explicit OpenedFile(const std::filesystem::path& file);
    ~OpenedFile() { FreeContent(content_); }
    OpenedFile(const OpenedFile&) = delete;
    OpenedFile& operator=(const OpenedFile&) = delete;

    MF4Content* content() const { return content_; }
    std::uint32_t result() const { return result_; }

    // readData on this file's tree.
    std::uint32_t read(std::uint32_t mode, std::vector<MF4ReadItem> listA, std::vector<MF4ReadItem> listB = {},
                       std::uint32_t* cancel = nullptr) {
        return readData(content_, mode, listA.data(), listA.size(), listB.data(), listB.size(), cancel);
    }

private:
    void open(const std::u16string& path);

    TempDir dir_;
    MF4Content* content_ = nullptr;
    std::uint32_t result_ = 0;
};

// A value buffer and the counters of one item. Counters start at 77 and unused slots hold
// `fill`, so that a test sees what the library wrote.
template <typename T>
struct Buffer {
    explicit Buffer(std::size_t size, T fill = T{}) : values(size, fill) {}
    std::vector<T> values;
    std::uint64_t stored = 77, total = 77, eventsStored = 77, eventsTotal = 77;
    std::vector<std::uint64_t> events = std::vector<std::uint64_t>(4, 55);
    double usedInterval = -1;

    // `pattern` (what to read) writing into this buffer and its counters.
    MF4ReadItem bind(MF4ReadItem pattern) {
        MF4ReadItem it = pattern;
        it.structSize = sizeof it;
        it.values = values.data();
        it.valuesStored = &stored;
        it.valuesTotal = &total;
        it.eventsStored = &eventsStored;
        it.eventsTotal = &eventsTotal;
        it.eventCapacity = events.size();
        it.eventSamples = events.data();
        it.usedInterval = &usedInterval;
        return it;
    }
    // An item for channel or group `index` that writes `capacity` slots into this buffer.
    MF4ReadItem item(std::uint64_t index, std::uint64_t capacity) {
        return bind({.index = index, .capacity = capacity});
    }
    MF4ReadItem item(std::uint64_t index) { return item(index, values.size()); }

    // The values stored.
    std::vector<T> got() const {
        return {values.begin(), values.begin() + static_cast<std::ptrdiff_t>(std::min<std::uint64_t>(stored, values.size()))};
    }
};

}  // namespace tarvik::test
