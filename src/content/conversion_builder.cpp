// The conversions of the content tree, in the order of the file's conversion table.
#include "content/build_state.h"
#include "content/content_release.h"
#include "content/host_memory.h"

namespace tarvik {

namespace {

bool isSupported(std::uint8_t type) { return type <= 5 || type == 7 || type == 8; }

double valueAt(const CcRecord& record, std::size_t i) { return i < record.cc_val.size() ? record.cc_val[i] : 0.0; }

const CcRefEntry* refAt(const CcRecord& record, std::size_t i) {
    return i < record.refs.size() ? &record.refs[i] : nullptr;
}

MF4Char* refText(const CcRecord& record, std::size_t i) {
    const CcRefEntry* entry = refAt(record, i);
    return entry != nullptr && entry->kind == 0 ? hostText(entry->text) : nullptr;
}

std::uint64_t entryCountOf(const CcRecord& record) {
    switch (record.cc_type) {
    case 4: case 5: case 8: return record.cc_val_count / 2u;
    case 7: return record.cc_val_count;
    default: return 0;
    }
}

void buildTable(const CcRecord& record, MF4Conversion& conversion) {
    const std::uint64_t count = conversion.entryCount;
    switch (record.cc_type) {
    case 1:
        for (std::size_t i = 0; i < 2; ++i) conversion.parameters.linear[i] = valueAt(record, i);
        break;
    case 2:
        for (std::size_t i = 0; i < 6; ++i) conversion.parameters.rational[i] = valueAt(record, i);
        break;
    case 4:
    case 5:
        conversion.parameters.pairs = hostArray<MF4ValuePair>(count);
        for (std::size_t i = 0; i < count; ++i)
            conversion.parameters.pairs[i] = {sizeof(MF4ValuePair), valueAt(record, 2 * i), valueAt(record, 2 * i + 1)};
        break;
    case 7:
        conversion.parameters.valueTexts = hostArray<MF4ValueText>(count);
        for (std::size_t i = 0; i < count; ++i) {
            MF4ValueText& entry = conversion.parameters.valueTexts[i];
            entry.structSize = sizeof(MF4ValueText);
            entry.value = valueAt(record, i);
            entry.text = refText(record, i);
        }
        break;
    case 8:
        conversion.parameters.rangeTexts = hostArray<MF4RangeText>(count);
        for (std::size_t i = 0; i < count; ++i) {
            MF4RangeText& entry = conversion.parameters.rangeTexts[i];
            entry.structSize = sizeof(MF4RangeText);
            entry.lower = valueAt(record, 2 * i);
            entry.upper = valueAt(record, 2 * i + 1);
            const CcRefEntry* ref = refAt(record, i);
            if (ref != nullptr && ref->kind == 1) {
                entry.refKind = 1;
                entry.ref.conversion = ref->conversionIndex;
            } else {
                entry.ref.text = refText(record, i);
            }
        }
        break;
    default:
        break;
    }
}

// Value-to-text and range-to-text conversions end with a default: a text or a conversion. A
// table without a usable default cannot be evaluated and is delivered as unsupported.
void applyDefault(const CcRecord& record, MF4Conversion& conversion) {
    const CcRefEntry* fallback = refAt(record, conversion.entryCount);
    if (fallback != nullptr && fallback->kind == 1) {
        conversion.defaultConversion = fallback->conversionIndex;
    } else if (fallback != nullptr) {
        std::free(conversion.defaultText);
        conversion.defaultText = hostText(fallback->text);
    } else {
        releaseConversion(conversion);
        conversion.conversionType = 9;
        conversion.entryCount = 0;
    }
}

}  // namespace

void buildConversions(BuildState& state) {
    const auto& table = state.header.conversions;
    MF4Content& root = *state.root;
    root.conversions = hostArray<MF4Conversion>(table.size());
    root.conversionCount = table.size();
    for (std::size_t k = 0; k < table.size(); ++k) {
        const CcRecord& record = table[k];
        MF4Conversion& conversion = root.conversions[k];
        conversion.structSize = sizeof(MF4Conversion);
        conversion.defaultConversion = -1;
        conversion.conversionType = isSupported(record.cc_type) ? record.cc_type : 9;
        conversion.name = hostText(record.name);
        std::unique_ptr<ZtCComment> comment =
            state.comments.parse(record.comment, {BlockKind::CC, u"CC Block", record.position, u"cc_md_comment"});
        conversion.comment = CommentReader::text(record.comment, comment.get());
        conversion.format = takeProperty(comment.get(), u"format");
        conversion.defaultText = takeProperty(comment.get(), u"default_value");
        hostProperties(comment.get(), conversion.properties, conversion.propertyCount);
        conversion.unit = unitText(state, record.unit);
        if (record.cc_type == 3) conversion.formula = refText(record, 0);
        conversion.physMin = record.cc_phy_range_min;
        conversion.physMax = record.cc_phy_range_max;
        conversion.precisionValid = record.cc_flags & 1u;
        conversion.precision = record.cc_precision;
        conversion.statusString = (record.cc_flags >> 2) & 1u;
        if (conversion.conversionType == 9) continue;
        conversion.entryCount = entryCountOf(record);
        buildTable(record, conversion);
        if (record.cc_type == 7 || record.cc_type == 8) applyDefault(record, conversion);
    }
}

}  // namespace tarvik
