#include "writer/reduction_pass.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <vector>

#include "blocks/block_layer.h"
#include "blocks/data_source.h"
#include "blocks/file_open.h"
#include "blocks/read_context.h"
#include "blocks/stream.h"
#include "blocks/structure_read.h"
#include "findings/findings.h"
#include "platform/text.h"
#include "writer/reduction_engine.h"

namespace tarvik {

using platform::kFailed;
using platform::kOk;

namespace {

constexpr std::uint32_t kGroupNotReduced = 145;
constexpr std::uint32_t kBlockNotWritten = 142;
constexpr std::uint64_t kChunkRecords = 1000;
constexpr std::uint64_t kChunkBytes = 1 << 20;

std::u16string groupName(const CgRecord& group) {
    if (group.acquisitionName && !group.acquisitionName->empty()) return *group.acquisitionName;
    char text[32];
    std::snprintf(text, sizeof text, "0x%" PRIx64, static_cast<std::uint64_t>(group.position));
    return platform::utf8ToUtf16(text);
}

// Reads the group's records chunk by chunk: first the ones the period is estimated from, then
// all of them through the engine. Records a damaged chain does not deliver end the pass early;
// the levels then cover the records that were read.
class GroupPass {
public:
    GroupPass(ZtCMF4Stream& stream, const DgRecord& dataGroup, const CgRecord& group, ReductionEngine& engine,
              std::uint64_t stride)
        : stream_(stream), engine_(engine), stride_(stride), records_(group.cg_cycle_count),
          source_(DataSource::forDataGroup(dataGroup, stride * group.cg_cycle_count)),
          chunkRecords_(std::clamp<std::uint64_t>(kChunkBytes / stride, 1, kChunkRecords)) {}

    int run() {
        forEachChunk(std::min(records_, ReductionEngine::kPeriodRecords),
                     [&](const std::uint8_t* records, std::uint64_t n) { engine_.estimatePeriod(records, n); return kOk; });
        return forEachChunk(records_, [&](const std::uint8_t* records, std::uint64_t n) {
            engine_.feed(records, n);
            return engine_.writeFullLevels(stream_);
        });
    }

private:
    template <typename Use>
    int forEachChunk(std::uint64_t count, Use use) {
        for (std::uint64_t first = 0; first < count;) {
            const std::uint64_t wanted = std::min(chunkRecords_, count - first);
            // The buffer grows only with bytes that arrive: a damaged group cannot make it
            // larger than its data.
            const std::uint64_t arrived = source_.readInto(stream_, first * stride_, wanted * stride_, buffer_) / stride_;
            if (arrived != 0 && use(buffer_.data(), arrived) != kOk) return kFailed;
            if (arrived < wanted) break;
            first += arrived;
        }
        return kOk;
    }

    ZtCMF4Stream& stream_;
    ReductionEngine& engine_;
    std::uint64_t stride_;
    std::uint64_t records_;
    DataSource source_;
    std::uint64_t chunkRecords_;
    std::vector<std::uint8_t> buffer_;
};

// Whether the pass reduces the data group, and why not when it does not. A group whose channels
// the reader rejected could not be reduced whole; finding 145 names it.
GroupReduction::Outcome outcomeOf(const DgRecord& dataGroup, FindingList& findings) {
    if (dataGroup.groups.size() != 1 || dataGroup.dg_rec_id_size != 0) return GroupReduction::Outcome::Unsorted;
    const CgRecord& group = dataGroup.groups.front();
    if (group.cg_cycle_count == 0 || std::uint64_t{group.cg_data_bytes} + group.cg_inval_bytes == 0)
        return GroupReduction::Outcome::NoRecords;
    if (group.cg_sr_first != 0) return GroupReduction::Outcome::HadReduction;
    if (group.channelsRejected) {
        findings.addWarning(kGroupNotReduced, groupName(group), std::nullopt);
        return GroupReduction::Outcome::ChannelsRejected;
    }
    return GroupReduction::Outcome::Reduced;
}

int reduceGroup(ZtCMF4Stream& stream, const DgRecord& dataGroup, const HdRecord& header, GroupReduction& result) {
    const CgRecord& group = dataGroup.groups.front();
    const std::uint64_t stride = std::uint64_t{group.cg_data_bytes} + group.cg_inval_bytes;
    ReductionEngine engine(reductionLayout(group, header.conversions));
    GroupPass pass(stream, dataGroup, group, engine, stride);
    if (pass.run() != kOk || engine.writeFullLevels(stream) != kOk) return kFailed;
    result.levels = engine.levelCount();
    result.firstInterval = 64 * engine.period();
    return engine.finish(stream, group.position);
}

}  // namespace

int addReductionData(const std::u16string& path, FindingList& findings, std::vector<GroupReduction>& groups) {
    ZtCBlockLayerCore layer;
    layer.SetFilePath(path);
    if (readStructure(layer, findings, kReadSkipEvents) != kOk) return kFailed;
    const HdRecord& header = *layer.hdRecord();
    bool work = false;
    for (const DgRecord& dataGroup : header.dataGroups) {
        groups.push_back({outcomeOf(dataGroup, findings)});
        work = work || groups.back().outcome == GroupReduction::Outcome::Reduced;
    }
    // A file with nothing to reduce is not even opened for writing.
    if (!work) return kOk;
    ZtCMF4Stream stream(&layer);
    if (openForWriting(stream, OpenMode::Update, findings) != kOk) return kFailed;
    int status = kOk;
    for (std::size_t g = 0; g < groups.size() && status == kOk; ++g)
        if (groups[g].outcome == GroupReduction::Outcome::Reduced)
            status = reduceGroup(stream, header.dataGroups[g], header, groups[g]);
    if (stream.flush() != kOk) status = kFailed;
    stream.close();
    if (status != kOk && !findings.hasErrors()) findings.addFileError(kBlockNotWritten);
    return status;
}

}  // namespace tarvik
