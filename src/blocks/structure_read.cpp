#include "blocks/structure_read.h"

#include <memory>

#include "api/findings.h"
#include "blocks/block_layer.h"
#include "blocks/file_open.h"
#include "blocks/id_block.h"
#include "blocks/read_context.h"

namespace tarvik {

using platform::kFailed;
using platform::kOk;

namespace {

// The walk below the identification block. The header block and everything hanging from it
// are not read by this version of the library yet, so a file that passes its identification
// checks still ends the read without a content.
int readBlockGraph(ZtCReadContext&, ZtCBlockLayerCore&) { return kFailed; }

}  // namespace

int readStructure(ZtCBlockLayerCore& layer, FindingList& findings, std::uint64_t options) {
    ZtCReadContext context(layer.GetFilePath(), findings, options);
    if (openForReading(context.stream, context.path, findings) != kOk) return kFailed;

    auto id = std::make_unique<IdRecord>();
    const int idStatus = readIdBlock(context, *id);
    layer.setIdRecord(std::move(id));
    const int status = idStatus == kOk ? readBlockGraph(context, layer) : kFailed;
    context.stream.close();
    return status;
}

}  // namespace tarvik
