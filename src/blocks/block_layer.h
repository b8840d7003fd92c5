// The objects that hold an open file between calls: the path and cached stream every layer
// has, and the block layer that keeps the file's block records in memory.
#pragma once

#include <cstdio>
#include <memory>
#include <string>

#include "blocks/decoded_blocks.h"
#include "blocks/file_handle.h"
#include "blocks/hd_block.h"
#include "blocks/id_block.h"
#include "blocks/master_bounds.h"

namespace tarvik {

class ZtCLayerCore : public ZtIFileHandle {
public:
    const std::u16string& GetFilePath() const override { return path_; }
    void SetFilePath(const std::u16string& path) override { path_ = path; }
    std::FILE* GetStream() const override { return stream_; }
    void SetStream(std::FILE* stream) override { stream_ = stream; }
    // Releases the path. The stream is not closed here: whoever cached it closes it.
    void Close() override { path_.clear(); }

private:
    std::u16string path_;
    std::FILE* stream_ = nullptr;
};

class ZtCBlockLayerCore : public ZtCLayerCore {
public:
    IdRecord* idRecord() const { return id_.get(); }
    HdRecord* hdRecord() const { return hd_.get(); }
    void setIdRecord(std::unique_ptr<IdRecord> record) { id_ = std::move(record); }
    void setHdRecord(std::unique_ptr<HdRecord> record) { hd_ = std::move(record); }
    // The file's DZ blocks decoded by earlier reads.
    DecodedBlocks& decodedBlocks() { return decodedBlocks_; }
    // The master times at the ends of the compressed blocks decoded so far.
    MasterBounds& masterBounds() { return masterBounds_; }

    // Releases the header tree, the ID record, the decoded blocks and their bounds, then what
    // every layer holds.
    void Close() override;

private:
    std::unique_ptr<IdRecord> id_;
    std::unique_ptr<HdRecord> hd_;
    DecodedBlocks decodedBlocks_;
    MasterBounds masterBounds_;
};

}  // namespace tarvik
