#include "writer/recovery.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>
#include <optional>
#include <set>

#include "blocks/block_header.h"
#include "blocks/block_layer.h"
#include "blocks/data_blocks.h"
#include "blocks/file_open.h"
#include "blocks/id_block.h"
#include "blocks/read_context.h"
#include "blocks/stream.h"
#include "blocks/structure_read.h"
#include "content/record_field.h"
#include "content/value_kinds.h"
#include "content/value_type.h"
#include "findings/findings.h"
#include "writer/reduction_engine.h"
#include "writer/reduction_pass.h"

namespace tarvik {

using platform::kFailed;
using platform::kOk;

namespace {

constexpr std::uint64_t kCycleCountOffset = 80;   // in a CG block
constexpr std::uint64_t kDataLinkOffset = 40;     // dg_data in a DG block
constexpr std::uint64_t kWindowBytes = 1 << 18;   // records read at a time: they stay in the cache for the reduction
constexpr std::uint32_t kNotTheExpectedBlock = 103;
constexpr std::uint32_t kBlockNotWritten = 142;

// The records of a group whose master values keep rising. The first record is compared with the
// lowest value of the type and kept when it equals it (counters start at 0); NaN ends the run.
template <NumericKind T>
class RisingMaster {
public:
    explicit RisingMaster(RecordField<T> field) : field_(field) {}
    // How many of `count` records from `records` (stride apart) continue the run.
    std::uint64_t take(const std::uint8_t* records, std::uint64_t count, std::uint64_t stride) {
        for (std::uint64_t r = 0; r < count; ++r) {
            const T value = field_.read(records + r * stride);
            const bool rises = started_ ? value > previous_ : value >= std::numeric_limits<T>::lowest();
            if (!rises) return r;
            previous_ = value;
            started_ = true;
        }
        return count;
    }

private:
    RecordField<T> field_;
    T previous_ = std::numeric_limits<T>::lowest();
    bool started_ = false;
};

// A DL as it lies on disk: read whole, or not at all.
enum class ListState { Whole, Missing, EqualLength };

ListState readList(ZtCMF4Stream& stream, std::uint64_t fileSize, std::int64_t position, DlRecord& list) {
    list = DlRecord{};
    list.position = position;
    const auto at = static_cast<std::uint64_t>(position);
    if (position <= 0 || at > fileSize || fileSize - at < kBlockHeaderSize + 16) return ListState::Missing;
    if (stream.seekRead(at) != kOk || checkId(stream, "##DL") != kOk || readHeader(stream, "##DL", list.header) != kOk)
        return ListState::Missing;
    const std::uint64_t length = list.header.length, links = list.header.linkCount;
    if (length > fileSize - at || links == 0 || links > (length - kBlockHeaderSize) / 8 - 1) return ListState::Missing;
    std::vector<std::int64_t> linkValues(links);
    if (stream.readBytes(linkValues.data(), links * 8) != kOk || stream.read(list.dl_flags) != kOk ||
        stream.readBytes(list.dl_reserved, 3) != kOk || stream.read(list.dl_count) != kOk)
        return ListState::Missing;
    if (list.dl_flags & 1u) return ListState::EqualLength;
    list.dl_dl_next = linkValues[0];
    const std::uint64_t count = std::min<std::uint64_t>(list.dl_count, links - 1);
    if (kBlockHeaderSize + 8 * links + 8 + 8 * count > length) return ListState::Missing;
    list.dl_data.assign(linkValues.begin() + 1, linkValues.begin() + 1 + static_cast<std::ptrdiff_t>(count));
    list.dl_offset.resize(count);
    if (count != 0 && stream.readU64Array(list.dl_offset.data(), count) != kOk) return ListState::Missing;
    list.dl_count = static_cast<std::uint32_t>(count);
    return ListState::Whole;
}

// The changes one repair makes, applied together once every group was walked.
struct Repairs {
    std::vector<DlRecord> lists;                                   // rewritten whole, in place
    std::vector<std::pair<std::uint64_t, std::uint64_t>> fields;   // (file offset, u64 value)
};

// What became of one data block of the chain.
enum class BlockFate { Whole, Cut, Dropped };

// Where the walk hands the records it keeps, a window at a time, in their order.
class KeptRecords {
public:
    virtual ~KeptRecords() = default;
    // False ends the walk: the receiver has what it needs, or could not use the records.
    virtual bool take(const std::uint8_t* records, std::uint64_t count) = 0;
};

// Walks one data group's chain of DT blocks and records what must change.
template <NumericKind T>
class ChainRepair {
public:
    ChainRepair(ZtCMF4Stream& stream, std::uint64_t fileSize, FindingList& findings, RecordField<T> field,
                std::uint64_t stride, KeptRecords* kept)
        : stream_(stream), fileSize_(fileSize), findings_(findings), master_(field), stride_(stride), kept_(kept) {}

    // True when the receiver of the kept records ended the walk early.
    bool stopped() const { return stopped_; }

    // The records kept of the chain that dg_data of the DG at `dataGroup` starts at `first`.
    std::uint64_t walk(std::int64_t dataGroup, std::int64_t first, Repairs& repairs) {
        std::optional<DlRecord> previous;
        bool previousChanged = false;
        // The chain ends before the list at hand: the link that leads to it becomes 0.
        auto endBefore = [&] {
            if (previous) {
                previous->dl_dl_next = 0;
                previousChanged = true;
            } else {
                repairs.fields.emplace_back(static_cast<std::uint64_t>(dataGroup) + kDataLinkOffset, 0);
            }
        };
        std::set<std::int64_t> seen;
        for (std::int64_t position = first; position != 0 && seen.insert(position).second;) {
            DlRecord list;
            const ListState state = readList(stream_, fileSize_, position, list);
            // A list that is not all there ends the chain; one of equal-length blocks is another
            // writer's and is left alone when the chain starts with it.
            if (state == ListState::Missing || (state == ListState::EqualLength && previous)) endBefore();
            if (state != ListState::Whole) break;
            bool changed = false;
            const bool ends = walkList(list, changed, repairs);
            // A list left without blocks leaves the chain: a list always lists one at least.
            if (list.dl_count == 0) {
                endBefore();
                break;
            }
            if (previous && previousChanged) repairs.lists.push_back(*previous);
            previous = std::move(list);
            previousChanged = changed;
            if (ends || stopped_) break;
            position = previous->dl_dl_next;
        }
        if (previous && previousChanged) repairs.lists.push_back(*previous);
        return records_;
    }

private:
    // One list: true when the chain ends in it (its count and next link are then cut).
    bool walkList(DlRecord& list, bool& changed, Repairs& repairs) {
        for (std::uint32_t i = 0; i < list.dl_count; ++i) {
            if (list.dl_offset[i] != offset_) {
                list.dl_offset[i] = offset_;
                changed = true;
            }
            switch (repairBlock(list.dl_data[i], repairs)) {
            case BlockFate::Dropped: return endAt(list, i, changed);
            case BlockFate::Cut: return endAt(list, i + 1, changed);
            case BlockFate::Whole: break;
            }
            if (stopped_) return false;
        }
        return false;
    }

    static bool endAt(DlRecord& list, std::uint32_t count, bool& changed) {
        if (list.dl_count != count || list.dl_dl_next != 0) changed = true;
        list.dl_count = count;
        list.dl_data.resize(count);
        list.dl_offset.resize(count);
        list.dl_dl_next = 0;
        return true;
    }

    // Counts the records of the DT at `link` that continue the run. A block with records past
    // the run's end, or a piece of a record at its end, is cut to its kept records; one that
    // keeps none, or is not a whole DT, leaves the chain.
    BlockFate repairBlock(std::int64_t link, Repairs& repairs) {
        const auto at = static_cast<std::uint64_t>(link);
        BlockHeader header;
        if (link <= 0 || at > fileSize_ || fileSize_ - at < kBlockHeaderSize || stream_.seekRead(at) != kOk)
            return BlockFate::Dropped;
        if (checkId(stream_, "##DT") != kOk) {
            findings_.addFileError(kNotTheExpectedBlock, u"DT");
            return BlockFate::Dropped;
        }
        if (readHeader(stream_, "##DT", header) != kOk || header.length < kBlockHeaderSize ||
            header.length > fileSize_ - at)
            return BlockFate::Dropped;
        const std::uint64_t length = header.length - kBlockHeaderSize, records = length / stride_;
        const std::uint64_t perWindow = std::max<std::uint64_t>(1, kWindowBytes / stride_);
        std::uint64_t kept = 0;
        while (kept < records) {
            const std::uint64_t n = std::min(perWindow, records - kept);
            window_.resize(n * stride_);
            // Each window is sought: the receiver of the kept records may write in between.
            if (stream_.seekRead(at + kBlockHeaderSize + kept * stride_) != kOk ||
                stream_.readBytes(window_.data(), window_.size()) != kOk)
                break;
            const std::uint64_t rising = master_.take(window_.data(), n, stride_);
            kept += rising;
            if (kept_ != nullptr && rising != 0 && !kept_->take(window_.data(), rising)) {
                stopped_ = true;
                break;
            }
            if (rising < n) break;
        }
        records_ += kept;
        if (kept == 0) return BlockFate::Dropped;
        if (kept * stride_ == length) {
            offset_ += length;
            return BlockFate::Whole;
        }
        repairs.fields.emplace_back(at + 8, kBlockHeaderSize + kept * stride_);
        return BlockFate::Cut;
    }

    ZtCMF4Stream& stream_;
    std::uint64_t fileSize_;
    FindingList& findings_;
    RisingMaster<T> master_;
    std::uint64_t stride_;
    KeptRecords* kept_;
    bool stopped_ = false;
    std::vector<std::uint8_t> window_;
    std::uint64_t records_ = 0;
    std::uint64_t offset_ = 0;
};

// The first records of a group give the reduction its sampling period.
class PeriodRecords final : public KeptRecords {
public:
    explicit PeriodRecords(ReductionEngine& engine) : engine_(engine) {}
    bool take(const std::uint8_t* records, std::uint64_t count) override {
        engine_.estimatePeriod(records, count);
        taken_ += count;
        return taken_ < ReductionEngine::kPeriodRecords;
    }

private:
    ReductionEngine& engine_;
    std::uint64_t taken_ = 0;
};

// Every kept record goes into the reduction as the repair reads it; full row buffers are
// written at the end of the file (beyond every block the repair looks at).
class ReducedRecords final : public KeptRecords {
public:
    ReducedRecords(ReductionEngine& engine, ZtCMF4Stream& stream) : engine_(engine), stream_(stream) {}
    bool take(const std::uint8_t* records, std::uint64_t count) override {
        engine_.feed(records, count);
        failed_ = engine_.writeFullLevels(stream_) != kOk;
        return !failed_;
    }
    bool failed() const { return failed_; }

private:
    ReductionEngine& engine_;
    ZtCMF4Stream& stream_;
    bool failed_ = false;
};

// The numeric kind of a group's master, or 0 when the repair does not read it (no master, or
// one that is not a number).
std::uint32_t masterKind(const CgRecord& group) {
    const CnRecord* master = group.masterChannel();
    if (master == nullptr || master->cn_data_type > 5 || master->cn_bit_count == 0) return 0;
    return valueTypeOf(master->cn_data_type, master->cn_bit_count, master->cn_type);
}

// True when the group's reduction can be fed by the repair's own reading of its records: one
// channel group, no reduction data yet, no channel the reader rejected. Other groups are
// reduced by the pass over the finished file, which also reports why a group is not.
bool reducedWhileRepairing(const DgRecord& dataGroup) {
    if (dataGroup.groups.size() != 1 || dataGroup.dg_rec_id_size != 0) return false;
    const CgRecord& group = dataGroup.groups.front();
    return group.cg_sr_first == 0 && !group.channelsRejected;
}

// The repair of one data group: the records kept, and the changes to make. When the group is
// reduced on the way, the levels are complete and linked on return.
GroupRepair repairGroup(ZtCMF4Stream& stream, std::uint64_t fileSize, FindingList& findings, const DgRecord& dataGroup,
                        const HdRecord& header, Repairs& repairs, int& status) {
    GroupRepair result;
    if (dataGroup.groups.empty()) return result;
    const CgRecord& group = dataGroup.groups.front();
    result.recordsBefore = group.cg_cycle_count;
    const std::uint32_t kind = masterKind(group);
    if (kind == 0) return result;
    // Only chains of lists are repaired: a lone data block was never linked by a writer that
    // streams, and other storage is not the writer's.
    if (dataGroup.dg_data != 0 && probeBlock(stream, dataGroup.dg_data) != BlockKind::DL) return result;
    const std::uint64_t stride = std::uint64_t{group.cg_data_bytes} + group.cg_inval_bytes;
    if (stride == 0) return result;
    std::unique_ptr<ReductionEngine> reduction;
    if (reducedWhileRepairing(dataGroup))
        reduction = std::make_unique<ReductionEngine>(reductionLayout(group, header.conversions));
    withNumericKind(kind, [&](auto typed) {
        using T = decltype(typed);
        const RecordField<T> field(*group.masterChannel(), 0, stride);
        if (reduction) {
            // The period first, from a walk over the first records that changes and reports
            // nothing (the walk that repairs meets the same blocks).
            PeriodRecords period(*reduction);
            Repairs ignored;
            FindingList unreported;
            ChainRepair<T>(stream, fileSize, unreported, field, stride, &period)
                .walk(dataGroup.position, dataGroup.dg_data, ignored);
        }
        std::optional<ReducedRecords> reduced;
        if (reduction) reduced.emplace(*reduction, stream);
        ChainRepair<T> chain(stream, fileSize, findings, field, stride, reduced ? &*reduced : nullptr);
        result.recordsKept = chain.walk(dataGroup.position, dataGroup.dg_data, repairs);
        if (reduced && (reduced->failed() || reduction->finish(stream, group.position) != kOk)) status = kFailed;
        result.reduced = reduced.has_value();
    });
    result.repaired = true;
    if (result.recordsKept != group.cg_cycle_count)
        repairs.fields.emplace_back(static_cast<std::uint64_t>(group.position) + kCycleCountOffset, result.recordsKept);
    return result;
}

int applyRepairs(ZtCMF4Stream& stream, const Repairs& repairs) {
    bool written = true;
    for (DlRecord list : repairs.lists) {
        ZtCDLBlock block(list);
        written = written && stream.seekWrite(static_cast<std::uint64_t>(list.position)) == kOk &&
                  writeBlock(stream, block, list, "##DL") == kOk;
    }
    for (const auto& [offset, value] : repairs.fields) written = written && stream.writeAt(offset, value) == kOk;
    written = written && stream.flush() == kOk;
    // The identification changes last, once every repair is on disk.
    if (written) written = markFileFinished(stream) == kOk && stream.flush() == kOk;
    return written ? kOk : kFailed;
}

}  // namespace

int recoverStreamingFile(const std::u16string& path, FindingList& findings, std::vector<GroupRepair>& groups) {
    ZtCBlockLayerCore layer;
    layer.SetFilePath(path);
    if (readStructure(layer, findings, kReadSkipEvents | kReadSkipData | kReadUnfinished) != kOk) return kFailed;
    // A finished file is not the repair's to change.
    if (std::memcmp(layer.idRecord()->id_file, kFinishedFileId.data(), 8) == 0) {
        for (const DgRecord& dataGroup : layer.hdRecord()->dataGroups)
            groups.push_back({dataGroup.groups.empty() ? 0 : dataGroup.groups.front().cg_cycle_count,
                              dataGroup.groups.empty() ? 0 : dataGroup.groups.front().cg_cycle_count, false});
        return kOk;
    }

    // Opened for update before anything is read: a file that may not be written stays as it was.
    ZtCMF4Stream stream(&layer);
    if (openForWriting(stream, OpenMode::Update, findings) != kOk) return kFailed;
    const std::uint64_t fileSize = stream.size();
    Repairs repairs;
    int status = kOk;
    for (const DgRecord& dataGroup : layer.hdRecord()->dataGroups)
        if (status == kOk) groups.push_back(repairGroup(stream, fileSize, findings, dataGroup, *layer.hdRecord(), repairs, status));
    if (status == kOk) status = applyRepairs(stream, repairs);
    stream.close();
    if (status != kOk) {
        if (!findings.hasErrors()) findings.addFileError(kBlockNotWritten);
        return kFailed;
    }
    // Groups the repair did not read (or could not reduce) are reduced from the finished file.
    if (std::all_of(groups.begin(), groups.end(), [](const GroupRepair& group) { return group.reduced; })) return kOk;
    std::vector<GroupReduction> reductions;
    return addReductionData(path, findings, reductions);
}

}  // namespace tarvik
