// The host's side of ReadData for tests: a file opened with ReadContent, and buffers with their
// counters that hand out read items pointing at them.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "TarvikMF4Access.h"
#include "support/temp_dir.h"

namespace tarvik::test {

// ReadData on `content` with list A (channel items) and list B; the findings are dropped.
std::uint32_t readData(MF4Content* content, std::uint32_t mode, MF4ReadItem* listA, std::uint64_t countA,
                       MF4ReadItem* listB, std::uint64_t countB, std::uint32_t* cancel = nullptr);

// A call that changes a file by its path (RecoverStreamingFile, AddReductionData): the result;
// `findings` receives the finding numbers.
using FileCall = std::uint32_t (*)(const MF4Char*, MF4Error**, std::uint64_t*);
std::uint32_t fileCall(FileCall call, const std::filesystem::path& file, std::vector<std::uint32_t>* findings = nullptr);

// Everything ReadContent (or, with a filter, ReadFilteredContent) returned for a file, released
// with the object.
struct ContentRead {
    explicit ContentRead(std::u16string file, std::uint64_t filter = 0);
    explicit ContentRead(const std::filesystem::path& file, std::uint64_t filter = 0)
        : ContentRead(widePath(file), filter) {}
    // Writes `bytes` to a file of `dir` first.
    ContentRead(const TempDir& dir, std::string_view bytes) : ContentRead(dir.write("read.mf4", bytes)) {}
    ~ContentRead();
    ContentRead(const ContentRead&) = delete;
    ContentRead& operator=(const ContentRead&) = delete;

    // The first finding with `number`, or null.
    const MF4Error* finding(std::uint32_t number) const;

    std::u16string path;
    std::uint32_t result = 0;
    MF4Content* tree = nullptr;
    MF4Error* errors = nullptr;
    std::uint64_t errorCount = 0;
};

// A content tree read from `bytes` (written to a temporary file) or from a file, ready for
// ReadData; released with the object.
class OpenedFile {
public:
    explicit OpenedFile(const std::string& bytes) : read_(dir_, bytes) {}
    explicit OpenedFile(const std::filesystem::path& file) : read_(file) {}

    MF4Content* content() const { return read_.tree; }
    std::uint32_t result() const { return read_.result; }

    // readData on this file's tree.
    std::uint32_t read(std::uint32_t mode, std::vector<MF4ReadItem> listA, std::vector<MF4ReadItem> listB = {},
                       std::uint32_t* cancel = nullptr) {
        return readData(read_.tree, mode, listA.data(), listA.size(), listB.data(), listB.size(), cancel);
    }

private:
    TempDir dir_;
    ContentRead read_;
};

// Position in content.channels of the channel of group `group` named `name` (its name read as
// ASCII), or channelCount when there is none.
std::uint64_t channelNamed(const MF4Content& content, std::uint64_t group, const std::string& name);

// Value `i` of a buffer of values of the numeric VARTYPE `type`, as a double.
double numberAt(const void* values, std::uint32_t type, std::uint64_t i);

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
