// One change of a file in place, after ReadContent returned its tree: the block records the
// reading layer keeps, the tree, the file opened for update through the layer's handle, and
// the findings and XML state of the call. Blocks written are read back through a reading
// stream of their own, so that layer and tree come out of the call as the file now is.
#pragma once

#include <cstdint>

#include "TarvikMF4Access.h"
#include "blocks/block_layer.h"
#include "blocks/stream.h"

namespace tarvik {

class FindingList;
class XmlCallContext;
class ZtCReadContext;

class FileUpdate {
public:
    FileUpdate(ZtCBlockLayerCore& blocks, MF4Content& content, FindingList& findings, XmlCallContext& xml)
        : blocks_(blocks), content_(content), findings_(findings), xml_(xml), stream_(&blocks) {}
    // Closes the stream, so that no later call finds it cached.
    ~FileUpdate() { stream_.close(); }
    FileUpdate(const FileUpdate&) = delete;
    FileUpdate& operator=(const FileUpdate&) = delete;

    // Opens the file for update; a file that may not be written gives finding 147. kOk or
    // kFailed. Nothing is opened for writing before a call knows what it will write.
    int open();
    // Writes out what the stream still buffers. kOk or kFailed.
    int flush();

    // Reads the event chain again into the layer and rebuilds the tree's events from it.
    int reloadEvents();

    ZtCMF4Stream& stream() { return stream_; }
    HdRecord& header() { return *blocks_.hdRecord(); }
    MF4Content& content() { return content_; }
    FindingList& findings() { return findings_; }
    XmlCallContext& xml() { return xml_; }
    std::uint16_t version() const { return blocks_.idRecord()->id_ver; }

private:
    ZtCBlockLayerCore& blocks_;
    MF4Content& content_;
    FindingList& findings_;
    XmlCallContext& xml_;
    ZtCMF4Stream stream_;
};

}  // namespace tarvik
