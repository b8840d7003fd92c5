#include "blocks/stream.h"

#include <algorithm>
#include <cstring>

#include "blocks/file_handle.h"

namespace tarvik {

using platform::kFailed;
using platform::kOk;

ZtCMF4Stream::~ZtCMF4Stream() {
    // A stream that lives in the file handle is the handle's to keep open between calls.
    const bool handleOwnsIt = handle_ != nullptr && handle_->GetStream() == stream_;
    if (stream_ != nullptr && !handleOwnsIt) std::fclose(stream_);
}

int ZtCMF4Stream::openRead(std::u16string_view path) {
    close();
    position_ = 0;
    std::FILE* opened = nullptr;
    const int status = platform::openFile(path, "rb", &opened);
    if (status != kOk) return status == platform::kNoAccess ? status : kFailed;
    stream_ = opened;
    fileSize_ = size();
    if (fileSize_ == kNoPosition) {
        close();
        return kFailed;
    }
    readOnly_ = true;
    return kOk;
}

int ZtCMF4Stream::openThroughHandle(OpenMode mode) {
    position_ = 0;
    if (handle_ == nullptr) return kFailed;
    if (std::FILE* cached = handle_->GetStream()) {
        stream_ = cached;
        if (platform::seekFile(stream_, 0, SEEK_END) != kOk) {
            close();
            return kFailed;
        }
        // The cached position starts at 0 after every open, as for a fresh stream.
        return kOk;
    }
    std::FILE* opened = nullptr;
    const int status = platform::openFile(handle_->GetFilePath(),
                                          mode == OpenMode::Update ? "r+b" : "w+b", &opened);
    if (status != kOk) return status;
    stream_ = opened;
    handle_->SetStream(opened);
    return kOk;
}

void ZtCMF4Stream::close() {
    readOnly_ = false;
    mapping_.unmap();
    mappingTried_ = false;
    pages_.clear();
    lastPage_ = nullptr;
    if (stream_ != nullptr) std::fclose(stream_);
    if (handle_ != nullptr && handle_->GetStream() == stream_) handle_->SetStream(nullptr);
    stream_ = nullptr;
}

void ZtCMF4Stream::adopt(std::FILE* stream) {
    close();
    stream_ = stream;
    position_ = 0;
}

bool ZtCMF4Stream::usable() const { return stream_ != nullptr && std::ferror(stream_) == 0; }

void ZtCMF4Stream::refreshPosition() { position_ = tell(); }

int ZtCMF4Stream::seekRead(std::uint64_t offset) {
    if (stream_ == nullptr) return kFailed;
    if (readOnly_) {
        // As for a stream, a place beyond the end is taken; reading from it fails.
        position_ = offset;
        return kOk;
    }
    const int status = platform::seekFile(stream_, offset, SEEK_SET);
    refreshPosition();
    return status;
}

int ZtCMF4Stream::seekWrite(std::uint64_t offset) {
    if (!usable()) return kFailed;
    return seekRead(offset);
}

std::uint64_t ZtCMF4Stream::tell() const {
    if (stream_ == nullptr) return kNoPosition;
    if (readOnly_) return position_;
    const std::int64_t at = platform::tellFile(stream_);
    return at < 0 ? kNoPosition : static_cast<std::uint64_t>(at);
}

std::uint64_t ZtCMF4Stream::size() {
    if (stream_ == nullptr) return kNoPosition;
    if (readOnly_) return fileSize_;
    const std::int64_t back = platform::tellFile(stream_);
    if (back < 0 || platform::seekFile(stream_, 0, SEEK_END) != kOk) return kNoPosition;
    const std::int64_t end = platform::tellFile(stream_);
    platform::seekFile(stream_, static_cast<std::uint64_t>(back), SEEK_SET);
    return end < 0 ? kNoPosition : static_cast<std::uint64_t>(end);
}

int ZtCMF4Stream::seekEnd() {
    if (readOnly_ && usable()) {
        position_ = fileSize_;
        return kOk;
    }
    if (!usable() || platform::seekFile(stream_, 0, SEEK_END) != kOk) return kFailed;
    refreshPosition();
    return kOk;
}

int ZtCMF4Stream::flush() {
    if (!usable()) return kFailed;
    return std::fflush(stream_) == 0 ? kOk : kFailed;
}

std::uint64_t ZtCMF4Stream::padTo8() {
    if (stream_ == nullptr || position_ % 8 == 0) return position_;
    static constexpr char zeros[8] = {};
    writeBytes(zeros, static_cast<std::size_t>(8 - position_ % 8));
    return position_;
}

int ZtCMF4Stream::resizeBy(std::int64_t delta) {
    if (!usable()) return kFailed;
    const std::uint64_t current = size();
    if (current == kNoPosition) return kFailed;
    if (delta < 0 && static_cast<std::uint64_t>(-delta) > current) return kFailed;
    if (platform::resizeFile(stream_, current + static_cast<std::uint64_t>(delta)) != kOk)
        return kFailed;
    return seekEnd();
}

const ZtCMF4Stream::Page* ZtCMF4Stream::pageAt(std::uint64_t offset) {
    const std::uint64_t number = offset / kPageBytes;
    auto held = pages_.find(number);
    if (held == pages_.end()) {
        if (pages_.size() >= kMaxPages) {
            pages_.clear();
            lastPage_ = nullptr;
        }
        auto page = std::make_unique<Page>();
        page->start = number * kPageBytes;
        page->bytes.resize(kPageBytes);
        page->bytes.resize(platform::readAt(stream_, page->start, page->bytes.data(), kPageBytes));
        held = pages_.emplace(number, std::move(page)).first;
    }
    const Page* page = held->second.get();
    lastPage_ = page;
    return offset - page->start < page->bytes.size() ? page : nullptr;
}

int ZtCMF4Stream::readThroughPages(char* target, std::size_t count) {
    std::size_t done = 0;
    while (done < count) {
        if (count - done >= kPageBytes) {
            // A large read goes straight to its target.
            const std::size_t got = platform::readAt(stream_, position_, target + done, count - done);
            position_ += got;
            done += got;
            break;
        }
        const Page* page = pageAt(position_);
        if (page == nullptr) break;
        const std::size_t at = static_cast<std::size_t>(position_ - page->start);
        const std::size_t piece = std::min(count - done, page->bytes.size() - at);
        std::memcpy(target + done, page->bytes.data() + at, piece);
        position_ += piece;
        done += piece;
    }
    return done == count ? kOk : kFailed;
}

int ZtCMF4Stream::readBytes(void* target, std::size_t count) {
    if (stream_ == nullptr) return kFailed;
    if (readOnly_) {
        if (lastPage_ != nullptr && position_ >= lastPage_->start &&
            position_ - lastPage_->start + count <= lastPage_->bytes.size()) {
            std::memcpy(target, lastPage_->bytes.data() + (position_ - lastPage_->start), count);
            position_ += count;
            return kOk;
        }
        return readThroughPages(static_cast<char*>(target), count);
    }
    const std::size_t got = count == 0 ? 0 : std::fread(target, 1, count, stream_);
    refreshPosition();
    return got == count ? kOk : kFailed;
}

const std::uint8_t* ZtCMF4Stream::bytesInPlace(std::uint64_t offset, std::uint64_t count) {
    if (!readOnly_ || stream_ == nullptr || offset > fileSize_ || count > fileSize_ - offset) return nullptr;
    if (!mappingTried_) {
        mappingTried_ = true;
        mapping_.map(stream_, fileSize_);
    }
    return mapping_.bytes() != nullptr ? mapping_.bytes() + offset : nullptr;
}

int ZtCMF4Stream::readU64Array(std::uint64_t* values, std::size_t count) {
    if (count > SIZE_MAX / sizeof(std::uint64_t)) return kFailed;
    return readBytes(values, count * sizeof(std::uint64_t));
}

int ZtCMF4Stream::readCountedBytes(void* target, std::size_t count, std::uint64_t& remaining) {
    if (remaining < count) {
        // The field lies beyond the block's stored length: it reads as zero, and so does every
        // field after it.
        std::memset(target, 0, count);
        remaining = 0;
        return kOk;
    }
    if (readBytes(target, count) != kOk) {
        remaining = 0;
        return kFailed;
    }
    remaining -= count;
    return kOk;
}

int ZtCMF4Stream::readCountedU64Array(std::uint64_t* values, std::size_t count,
                                      std::uint64_t& remaining) {
    if (count > remaining / sizeof(std::uint64_t)) {
        std::fill(values, values + count, std::uint64_t{0});
        remaining = 0;
        return kOk;
    }
    return readCountedBytes(values, count * sizeof(std::uint64_t), remaining);
}

int ZtCMF4Stream::writeElements(const void* source, std::size_t elementSize, std::size_t count) {
    if (!usable()) return kFailed;
    const auto* bytes = static_cast<const unsigned char*>(source);
    bool complete = true;
    for (std::size_t done = 0; done < count && complete;) {
        const std::size_t piece = std::min(count - done, kMaxWritePiece);
        complete = std::fwrite(bytes + done * elementSize, elementSize, piece, stream_) == piece;
        done += piece;
    }
    // The cached position follows the nominal size, which spares a tell per write.
    position_ += static_cast<std::uint64_t>(count) * elementSize;
    return complete ? kOk : kFailed;
}

int ZtCMF4Stream::writeBytes(const void* source, std::size_t count) {
    return writeElements(source, 1, count);
}

int ZtCMF4Stream::writeU64Array(const std::uint64_t* values, std::size_t count) {
    return writeElements(values, sizeof(std::uint64_t), count);
}

}  // namespace tarvik
