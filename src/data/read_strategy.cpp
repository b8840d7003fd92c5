#include "data/read_strategy.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "blocks/hd_block.h"
#include "content/value_type.h"
#include "blocks/data_source.h"
#include "data/downsampled_strategy.h"
#include "data/original_timestamp_strategy.h"
#include "data/sample_strategy.h"
#include "data/value_decoding.h"
#include "content/value_kinds.h"
#include "data/value_store.h"

namespace tarvik {

ZtCReadDataStrategy::ZtCReadDataStrategy(const HdRecord& header, ZtCMF4Stream& stream)
    : header_(header), stream_(stream) {}

int ZtCReadDataStrategy::Read(GroupJob& job, std::uint64_t recordSize) {
    groupRecordSize_ = recordSize;
    Init(job);
    openData();
    ComputeRanges();
    const int status = ReadRecords();
    Release();
    return status;
}

void ZtCReadDataStrategy::openRecords(DataSource source, std::uint64_t recordSize, std::uint64_t recordCount) {
    recordCount_ = recordCount;
    bounds_ = nullptr;
    source.shareDecodedBlocks(job_->decodedBlocks);
    if (cache_) cache_->reset(std::move(source), recordSize, recordCount);
    else cache_ = std::make_unique<RecordCache>(stream_, std::move(source), recordSize, recordCount);
}

void ZtCReadDataStrategy::openGroupRecords() {
    const std::uint64_t count = job_->dataGroup->groups.front().cg_cycle_count;
    DataSource source = DataSource::forDataGroup(*job_->dataGroup, groupRecordSize_ * count);
    const bool timed = master_ != nullptr && job_->masterBounds != nullptr;
    if (timed)
        source.onBlockDecoded([this](std::uint64_t start, const std::vector<std::uint8_t>& bytes) {
            noteDecodedBlock(start, bytes);
        });
    openRecords(std::move(source), groupRecordSize_, count);
    if (timed) bounds_ = job_->masterBounds;
}

void ZtCReadDataStrategy::noteDecodedBlock(std::uint64_t sectionStart, const std::vector<std::uint8_t>& bytes) {
    const std::uint64_t size = groupRecordSize_;
    if (size == 0 || recordCount_ == 0) return;
    // The block's whole records: a record cut by the block's border belongs to neither side.
    const std::uint64_t first = sectionStart / size + (sectionStart % size != 0 ? 1 : 0);
    const std::uint64_t end = std::min((sectionStart + bytes.size()) / size, recordCount_);
    if (first >= end) return;
    const std::uint64_t last = end - 1;
    const MasterBounds::Span span{first, last, masterTimeIn(bytes.data() + (first * size - sectionStart)),
                                  masterTimeIn(bytes.data() + (last * size - sectionStart))};
    job_->masterBounds->note(job_->dataGroup->position, span);
    ++notedBlocks_;
}

void ZtCReadDataStrategy::Init(GroupJob& job) {
    job_ = &job;
    const CgRecord& group = job.dataGroup->groups.front();
    recordCount_ = group.cg_cycle_count;
    masterIndex_ = masterEntry_ = kNone;
    master_ = nullptr;
    for (std::size_t i = 0; i < group.channels.size(); ++i) {
        if (group.channels[i].cn_type == kCnMaster) {
            masterIndex_ = i;
            master_ = &group.channels[i];
            break;
        }
    }
    masterFactor_ = 1;
    masterOffset_ = 0;
    if (master_ != nullptr) {
        masterType_ = valueTypeOf(master_->cn_data_type, master_->cn_bit_count, master_->cn_type);
        if (master_->conversionIndex >= 0) {
            const CcRecord& conversion = header_.conversions[static_cast<std::size_t>(master_->conversionIndex)];
            // A factor of 0 would make every time the same and the inverse meaningless.
            if (conversion.cc_type == 1 && conversion.cc_val.size() >= 2 && conversion.cc_val[1] != 0) {
                masterOffset_ = conversion.cc_val[0];
                masterFactor_ = conversion.cc_val[1];
            }
        }
        for (std::size_t e = 0; e < job.entries.size(); ++e)
            if (job.entries[e].channel == master_) {
                masterEntry_ = e;
                break;
            }
    }
    ranges_.assign(job.entries.size(), ChannelRange{});
    for (std::size_t e = 0; e < job.entries.size(); ++e) {
        const ChannelEntry& entry = job.entries[e];
        if (entry.channel->array && entry.elementIndices == nullptr)
            ranges_[e].valuesPerRecord = elementsInRecord(*entry.channel, groupRecordSize_);
    }
}

void ZtCReadDataStrategy::BeginValue(ChannelEntry& entry, std::uint64_t) {
    ranges_[entry.entryNumber].outputIndex = entry.a.produced;
}

bool ZtCReadDataStrategy::IsInRange(std::uint64_t record, std::uint64_t entryIndex) const {
    return entryIndex == kNone || ranges_[entryIndex].contains(record);
}

const std::uint8_t* ZtCReadDataStrategy::recordBytes(std::uint64_t record) {
    std::uint64_t hint = RecordCache::kUnlimited;
    if (singleRecord_) hint = 1;
    else if (loopLast_ != kNone && loopLast_ >= record) hint = loopLast_ - record + 1;
    return cache_->fetch(record, hint);
}

const std::uint8_t* ZtCReadDataStrategy::fieldOf(const CnRecord& channel, std::uint64_t record, std::uint64_t size) {
    if (size > cache_->recordSize() || channel.cn_byte_offset > cache_->recordSize() - size) return nullptr;
    const std::uint8_t* bytes = recordBytes(record);
    return bytes != nullptr ? bytes + channel.cn_byte_offset : nullptr;
}

double ZtCReadDataStrategy::MasterTime(std::uint64_t record) {
    if (master_ == nullptr) return 0.0;
    double value = 0;
    withNumericKind(masterType_, [&](auto type) { value = static_cast<double>(GetValue<decltype(type)>(*master_, record)); });
    return timeOfMasterValue(value);
}

std::pair<double, double> ZtCReadDataStrategy::firstAndLastTime() {
    cache_->prefetch(recordCount_ - 1);
    const double first = MasterTime(0);
    return {first, MasterTime(recordCount_ - 1)};
}

void ZtCReadDataStrategy::prefetchNear(double t) {
    if (recordCount_ == 0) return;
    const Range range = knownRange(t, {0, recordCount_ - 1});
    if (!(range.loTime < t && t < range.hiTime)) return;  // unknown (NaN) or outside
    const double share = (t - range.loTime) / (range.hiTime - range.loTime);
    cache_->prefetch(range.lo + static_cast<std::uint64_t>(share * static_cast<double>(range.hi - range.lo)));
}

double ZtCReadDataStrategy::masterTimeIn(const std::uint8_t* record) const {
    double value = 0;
    withNumericKind(masterType_, [&](auto type) {
        value = static_cast<double>(RecordField<decltype(type)>(*master_, 0, groupRecordSize_).read(record));
    });
    return timeOfMasterValue(value);
}

void ZtCReadDataStrategy::ProcessEntry(ChannelEntry& entry, std::uint64_t record) {
    // Only the data types the library reads: integers, floats, strings and byte arrays.
    if (entry.channel->cn_data_type > 10) return;
    BeginValue(entry, record);
    const CaRecord* array = entry.channel->array.get();
    if (array != nullptr && entry.elementIndices == nullptr && entry.valueType != kVtRecord) {
        // In storage order, so that a strategy whose buffer is full can end the loop; the
        // elements left out count as produced, like any value beyond the buffer.
        const std::uint64_t count = ranges_[entry.entryNumber].valuesPerRecord;
        std::uint64_t visited = 0;
        while (visited < count) {
            const ElementIndices at = elementAt(*array, visited++);
            if (!StoreElement(entry, entry.valueType, record, at.i, at.j, at.k)) break;
        }
        entry.a.produced += count - visited;
    } else if (array != nullptr && entry.elementIndices != nullptr && entry.valueType != kVtRecord) {
        if (selectionInside(*array, entry.elementIndices))
            StoreElement(entry, entry.valueType, record, entry.elementIndices[0],
                         array->ca_ndim > 1 ? entry.elementIndices[1] : kNone,
                         array->ca_ndim > 2 ? entry.elementIndices[2] : kNone);
    } else {
        StoreValue(&entry, entry.valueType, record);
    }
    EndValue(entry, record);
}

void ZtCReadDataStrategy::openLevel(const SrRecord& level) {
    const CgRecord& group = job_->dataGroup->groups.front();
    const std::uint64_t size =
        3 * std::uint64_t{group.cg_data_bytes} + ((level.sr_flags & 1) != 0 ? group.cg_inval_bytes : 0);
    openRecords(DataSource::forSampleReduction(level, size * level.sr_cycle_count), size, level.sr_cycle_count);
}

bool ZtCReadDataStrategy::loopRange(std::uint64_t& first, std::uint64_t& last) const {
    if (recordCount_ == 0 || job_->entries.empty()) return false;
    first = kNone;
    last = 0;
    for (const ChannelRange& range : ranges_) {
        if (range.empty()) continue;
        first = std::min(first, range.first);
        last = std::max(last, range.last);
    }
    last = std::min(last, recordCount_ - 1);
    return first != kNone && first <= last;
}

int ZtCReadDataStrategy::ReadRecords() {
    std::uint64_t first = 0, last = 0;
    if (!loopRange(first, last)) return 0;
    loopLast_ = last;
    std::vector<bool> typed(job_->entries.size());
    for (std::size_t e = 0; e < typed.size(); ++e) typed[e] = readsTyped(job_->entries[e]);
    int status = 0;
    for (std::uint64_t r = first; r <= last;) {
        if (job_->cancelled()) {
            status = 3;
            break;
        }
        const std::uint8_t* window = recordBytes(r);
        // The data ends here (a damaged or cut file): the records that exist were delivered. A
        // damaged record count could otherwise keep the loop counting for ever.
        if (window == nullptr) break;
        const std::uint64_t windowLast = std::min(cache_->lastHeld(), last);
        // The typed entries first: they read from `window`, which a record fetched for one of
        // the others may replace.
        for (bool typedPass : {true, false}) {
            for (std::size_t e = 0; e < job_->entries.size(); ++e) {
                const ChannelRange& range = ranges_[e];
                const std::uint64_t from = std::max(r, range.first), to = std::min(windowLast, range.last);
                if (typed[e] != typedPass || range.empty() || from > to) continue;
                ChannelEntry& entry = job_->entries[e];
                if (typedPass) {
                    readTypedWindow(entry, window, r, from, to);
                    continue;
                }
                for (std::uint64_t record = from; record <= to; ++record) {
                    // Without a master entry the master step still runs: strategies that place
                    // values by their master value take it there.
                    if (masterEntry_ == kNone) StoreValue(nullptr, masterType_, record);
                    ProcessEntry(entry, record);
                }
            }
        }
        r = windowLast + 1;
    }
    loopLast_ = kNone;
    if (status == 0) FinishEntries();
    return status;
}

void ZtCReadDataStrategy::FinishEntries() {
    for (std::size_t e = 0; e < job_->entries.size(); ++e) {
        ChannelEntry& entry = job_->entries[e];
        if (entry.channel->cn_type == kCnVariableLength)
            readVariableLengthValues(stream_, entry);
        const CaRecord* array = entry.channel->array.get();
        if (array != nullptr && array->ca_type == 2 && array->ca_ndim >= 2 && e != masterEntry_ &&
            entry.elementIndices == nullptr)
            transposeYXValues(entry, ranges_[e]);
    }
}

bool ZtCReadDataStrategy::narrow(double t, Range& range, std::uint64_t& exact) {
    std::uint64_t& lo = range.lo;
    std::uint64_t& hi = range.hi;
    if (hi - lo < kNarrowFrom) return false;
    const double first = std::isnan(range.loTime) ? MasterTime(lo) : range.loTime;
    const double last = std::isnan(range.hiTime) ? MasterTime(hi) : range.hiTime;
    if (!(first < t && t < last)) return false;  // t outside (or not a number): bisection decides
    // From here on the time at lo stays below t and the time at hi above it.
    const double share = (t - first) / (last - first);
    const std::uint64_t span = hi - lo;
    const std::uint64_t p = lo + std::clamp<std::uint64_t>(static_cast<std::uint64_t>(share * static_cast<double>(span)), 1, span - 1);
    const double v = MasterTime(p);
    if (v == t) {
        exact = p;
        return true;
    }
    const bool up = v < t;
    (up ? lo : hi) = p;
    for (std::uint64_t step = 1;; step *= 2) {
        const std::uint64_t q = up ? p + std::min(step, hi - p) : p - std::min(step, p - lo);
        const double w = MasterTime(q);
        if (w == t) {
            exact = q;
            return true;
        }
        if ((w < t) != up) {
            (up ? hi : lo) = q;
            return false;
        }
        // Still on p's side of t: the next step is twice as long, unless the range ends here
        // (only times that do not rise, or cannot be read, get this far).
        (up ? lo : hi) = q;
        if (q == (up ? hi : lo)) return false;
    }
}

ZtCReadDataStrategy::Range ZtCReadDataStrategy::knownRange(double t, Range range) {
    if (bounds_ == nullptr) return range;
    return bounds_->narrow(job_->dataGroup->position, t, range);
}

std::uint64_t ZtCReadDataStrategy::search(double t, Bound bound, Range range, bool restricted) {
    const std::uint64_t startHi = range.hi;
    std::uint64_t noted = notedBlocks_;
    if (std::uint64_t exact = kNone; narrow(t, range, exact)) return exact;
    std::uint64_t lo = range.lo, hi = range.hi;
    std::uint64_t mid = lo;
    bool crossed = false;
    bool leftEdge = false;
    while (true) {
        // A probe that decoded a block taught where its times lie: the records that can hold t
        // may all lie inside that block, with no other decode needed.
        if (!restricted && noted != notedBlocks_) {
            noted = notedBlocks_;
            const Range known = knownRange(t, {lo, hi});
            lo = known.lo;
            hi = known.hi;
        }
        mid = lo + (hi - lo) / 2;
        const double v = MasterTime(mid);
        if (v > t) {
            if (lo + hi < 2 || mid == 0) {
                leftEdge = true;
                break;
            }
            hi = mid - 1;
        } else if (v == t) {
            return mid;
        } else {
            lo = mid + 1;
        }
        if (lo > hi) {
            crossed = true;
            break;
        }
    }
    std::uint64_t result;
    if (crossed) {
        if (restricted || lo >= recordCount_) return kNone;
        result = hi;
    } else {
        if (restricted || !leftEdge) return kNone;
        result = mid;
    }
    if (bound == Bound::Lower && t > MasterTime(result) && result < startHi) ++result;
    return result;
}

std::uint64_t ZtCReadDataStrategy::FindRecord(double t, Bound bound) {
    if (recordCount_ == 0) return kNone;
    if (cache_->firstHeld() != kNone) {
        const std::uint64_t found = search(t, bound, {cache_->firstHeld(), cache_->lastHeld()}, true);
        if (found != kNone) return found;
    }
    return search(t, bound, knownRange(t, {0, recordCount_ - 1}), false);
}

std::uint64_t ZtCReadDataStrategy::eventPosition(std::uint64_t cursor, double time) const {
    const auto& times = job_->eventTimes;
    while (cursor < times.size() && times[cursor] < time) ++cursor;
    return cursor;
}

bool ZtCReadDataStrategy::eventsWanted(const ChannelEntry& entry) const {
    return entry.a.item.eventCapacity != 0 && !job_->eventTimes.empty();
}

void ZtCReadDataStrategy::markEvents(ChannelEntry& entry, double time) {
    const MF4ReadItem& item = entry.a.item;
    if (item.eventCapacity == 0) return;
    ChannelRange& range = ranges_[entry.entryNumber];
    range.eventCursor = eventPosition(range.eventCursor, time);
    const std::uint64_t position = range.eventCursor;
    if (range.lastEventPosition != kNone && position <= range.lastEventPosition) return;
    range.lastEventPosition = position;
    if (item.eventsStored != nullptr && *item.eventsStored < item.eventCapacity && item.eventSamples != nullptr &&
        item.valuesStored != nullptr)
        item.eventSamples[(*item.eventsStored)++] = *item.valuesStored - 1;
    if (item.eventsTotal != nullptr) ++*item.eventsTotal;
}

std::unique_ptr<ZtCReadDataStrategy> createStrategy(std::uint32_t mode, const HdRecord& header, ZtCMF4Stream& stream) {
    switch (mode) {
    case 0: return std::make_unique<ZtCSampleBasedStrategy>(header, stream);
    case 1: return std::make_unique<ZtCDownSampledSampleBasedStrategy>(header, stream);
    case 2: return std::make_unique<ZtCTimeBasedStrategy>(header, stream);
    case 3: return std::make_unique<ZtCDownSampledTimeBasedStrategy>(header, stream);
    case 4: return std::make_unique<ZtCOriginalTimestampStrategy>(header, stream);
    default: return nullptr;
    }
}

}  // namespace tarvik
