#include "data/read_strategy.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "blocks/hd_block.h"
#include "content/value_type.h"
#include "data/data_source.h"
#include "data/sample_strategy.h"
#include "data/value_decoding.h"
#include "data/value_kinds.h"
#include "data/value_store.h"

namespace tarvik {

ZtCReadDataStrategy::ZtCReadDataStrategy(const HdRecord& header, ZtCMF4Stream& stream)
    : header_(header), stream_(stream) {}

int ZtCReadDataStrategy::Read(GroupJob& job, std::uint64_t recordSize) {
    Init(job);
    const DgRecord& dataGroup = *job.dataGroup;
    cache_ = std::make_unique<RecordCache>(stream_, DataSource::forDataGroup(dataGroup, recordSize * recordCount_),
                                           recordSize, recordCount_);
    ComputeRanges();
    const int status = ReadRecords();
    Release();
    return status;
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
    if (master_ != nullptr) {
        masterType_ = valueTypeOf(master_->cn_data_type, master_->cn_bit_count, master_->cn_type);
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
            ranges_[e].valuesPerRecord = entry.channel->array->elementCount;
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

double ZtCReadDataStrategy::MasterTimeOf(const CnRecord& channel, std::uint64_t record) {
    double value = 0;
    const std::uint32_t kind = valueTypeOf(channel.cn_data_type, channel.cn_bit_count, channel.cn_type);
    withNumericKind(kind, [&](auto type) { value = static_cast<double>(GetValue<decltype(type)>(channel, record)); });
    if (channel.cn_type == kCnMaster && channel.conversionIndex >= 0) {
        const CcRecord& conversion = header_.conversions[static_cast<std::size_t>(channel.conversionIndex)];
        if (conversion.cc_type == 1 && conversion.cc_val.size() >= 2)
            value = value * conversion.cc_val[1] + conversion.cc_val[0];
    }
    return value;
}

double ZtCReadDataStrategy::MasterTime(std::uint64_t record) {
    return master_ != nullptr ? MasterTimeOf(*master_, record) : 0.0;
}

void ZtCReadDataStrategy::ProcessEntry(ChannelEntry& entry, std::uint64_t record) {
    // Only the data types the library reads: integers, floats, strings and byte arrays.
    if (entry.channel->cn_data_type > 10) return;
    BeginValue(entry, record);
    const CaRecord* array = entry.channel->array.get();
    if (array != nullptr && entry.elementIndices == nullptr && entry.valueType != kVtRecord) {
        forEachElement(*array, [&](std::uint64_t i, std::uint64_t j, std::uint64_t k) {
            StoreElement(entry, entry.valueType, record, i, j, k);
        });
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
    int status = 0;
    for (std::uint64_t r = first; r <= last && status == 0; ++r) {
        if (job_->cancelled()) {
            status = 3;
            break;
        }
        BeginRecord(r);
        if (IsInRange(r, masterEntry_)) {
            if (masterEntry_ != kNone) ProcessEntry(job_->entries[masterEntry_], r);
            else StoreValue(nullptr, masterType_, r);
        }
        for (std::size_t e = 0; e < job_->entries.size(); ++e) {
            if (e == masterEntry_) continue;
            if (job_->cancelled()) {
                status = 3;
                break;
            }
            if (IsInRange(r, e)) ProcessEntry(job_->entries[e], r);
        }
        EndRecord(r);
        // The data ends here: a damaged record count must not keep the loop counting for ever.
        if (cache_->failed()) break;
    }
    loopLast_ = kNone;
    if (status == 0) FinishEntries();
    return status;
}

void ZtCReadDataStrategy::FinishEntries() {
    for (std::size_t e = 0; e < job_->entries.size(); ++e) {
        ChannelEntry& entry = job_->entries[e];
        if (entry.channel->cn_type == kCnVariableLength)
            readVariableLengthValues(stream_, entry, ranges_[e]);
        const CaRecord* array = entry.channel->array.get();
        if (array != nullptr && array->ca_type == 2 && array->ca_ndim >= 2 && e != masterEntry_ &&
            entry.elementIndices == nullptr)
            transposeYXValues(entry, ranges_[e]);
    }
}

std::unique_ptr<ZtCReadDataStrategy> createStrategy(std::uint32_t mode, const HdRecord& header, ZtCMF4Stream& stream) {
    switch (mode) {
    case 0: return std::make_unique<ZtCSampleBasedStrategy>(header, stream);
    case 2: return std::make_unique<ZtCTimeBasedStrategy>(header, stream);
    default: return nullptr;
    }
}

}  // namespace tarvik
