// Reading a block's fields in file order, counted against the block's remaining length. Each
// record lists its fields once, in a layout function taking a field visitor, so the order of
// reading and the order of writing come from the same list.
#pragma once

#include <cstddef>
#include <cstdint>

#include "blocks/stream.h"

namespace tarvik {

class CountedFieldReader {
public:
    CountedFieldReader(ZtCMF4Stream& stream, std::uint64_t remaining) : stream_(stream), remaining_(remaining) {}

    template <typename T>
    void operator()(T& value) {
        if (status_ == platform::kOk) status_ = stream_.readCounted(value, remaining_);
    }
    void bytes(void* target, std::size_t count) {
        if (status_ == platform::kOk) status_ = stream_.readCountedBytes(target, count, remaining_);
    }

    int status() const { return status_; }
    std::uint64_t remaining() const { return remaining_; }

private:
    ZtCMF4Stream& stream_;
    std::uint64_t remaining_;
    int status_ = platform::kOk;
};

// Writing the same fields, in the same order, for the writers.
class FieldWriter {
public:
    explicit FieldWriter(ZtCMF4Stream& stream) : stream_(stream) {}

    template <typename T>
    void operator()(const T& value) {
        if (status_ == platform::kOk) status_ = stream_.write(value);
    }
    void bytes(const void* source, std::size_t count) {
        if (status_ == platform::kOk) status_ = stream_.writeBytes(source, count);
    }

    int status() const { return status_; }

private:
    ZtCMF4Stream& stream_;
    int status_ = platform::kOk;
};

}  // namespace tarvik
