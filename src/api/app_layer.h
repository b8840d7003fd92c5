// One open file of a host: the path, the content tree that belongs to it, and the block layer
// that performs all file access.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "TarvikMF4Access.h"
#include "blocks/block_layer.h"
#include "writer/write_session.h"

namespace tarvik {

class ZtCAppLayerCore final : public ZtCLayerCore {
public:
    explicit ZtCAppLayerCore(const std::u16string& path) { SetFilePath(path); }

    // The block layer gets the path too, since it opens the file.
    void SetFilePath(const std::u16string& path) override {
        blockLayer_.SetFilePath(path);
        ZtCLayerCore::SetFilePath(path);
    }

    // Forgets the content tree (without releasing it) and releases the block records.
    void Close() override {
        content_ = nullptr;
        writeSession_.reset();
        blockLayer_.Close();
        ZtCLayerCore::Close();
    }

    MF4Content* content() const { return content_; }
    void setContent(MF4Content* content) { content_ = content; }
    ZtCBlockLayerCore& blockLayer() { return blockLayer_; }
    // What a file being written keeps between calls; null for files opened for reading.
    WriteSession* writeSession() const { return writeSession_.get(); }
    void setWriteSession(std::unique_ptr<WriteSession> session) { writeSession_ = std::move(session); }

    // Two tuning values every layer carries; no operation of the library reads them yet.
    std::uint64_t smallSetting = 1000;
    std::uint64_t largeSetting = 10000000;

private:
    MF4Content* content_ = nullptr;
    ZtCBlockLayerCore blockLayer_;
    std::unique_ptr<WriteSession> writeSession_;
};

}  // namespace tarvik
