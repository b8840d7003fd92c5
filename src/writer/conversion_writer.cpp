// The conversion blocks of a new file, one per conversion of the tree, shared by index.
#include <vector>

#include "blocks/block_header.h"
#include "blocks/cc_block.h"
#include "writer/layout_target.h"

namespace tarvik {

using platform::kFailed;
using platform::kOk;

namespace {

constexpr std::uint8_t kValueToText = 7;
constexpr std::uint8_t kRangeToText = 8;

class ConversionWriter {
public:
    explicit ConversionWriter(LayoutTarget& target)
        : target_(target), content_(*target.session.content), state_(content_.conversionCount, State::Unwritten) {}

    int writeAll() {
        target_.session.conversionPositions.assign(state_.size(), 0);
        for (std::uint64_t i = state_.size(); i-- > 0;)
            if (write(i) != kOk) return kFailed;
        return kOk;
    }

private:
    enum class State { Unwritten, Writing, Written };

    std::int64_t positionOf(std::int64_t index) const {
        if (index < 0 || static_cast<std::uint64_t>(index) >= state_.size()) return 0;
        return target_.session.conversionPositions[static_cast<std::size_t>(index)];
    }

    // Conversions this one refers to, written before it. A conversion that leads back to
    // itself gets a zero link where the loop closes.
    int writeReferenced(const MF4Conversion& conversion) {
        auto visit = [&](std::int64_t index) {
            return index >= 0 && static_cast<std::uint64_t>(index) < state_.size() ? write(static_cast<std::uint64_t>(index)) : kOk;
        };
        if (conversion.conversionType == kRangeToText && conversion.parameters.rangeTexts != nullptr)
            for (std::uint64_t k = 0; k < conversion.entryCount; ++k)
                if (conversion.parameters.rangeTexts[k].refKind == 1 &&
                    visit(conversion.parameters.rangeTexts[k].ref.conversion) != kOk)
                    return kFailed;
        if (conversion.conversionType == kValueToText || conversion.conversionType == kRangeToText)
            return visit(conversion.defaultConversion);
        return kOk;
    }

    // The texts or conversions of cc_ref and the numbers of cc_val, by conversion type.
    int fillTable(const MF4Conversion& conversion, CcRecord& record) {
        const auto& p = conversion.parameters;
        const std::uint64_t n = conversion.entryCount;
        auto text = [&](const MF4Char* value) {
            std::int64_t link = 0;
            if (target_.text(value, link) != kOk) return false;
            record.cc_ref.push_back(link);
            return true;
        };
        switch (conversion.conversionType) {
        case 1: record.cc_val.assign(p.linear, p.linear + 2); break;
        case 2: record.cc_val.assign(p.rational, p.rational + 6); break;
        case 3:
            if (!text(conversion.formula)) return kFailed;
            break;
        case 4:
        case 5:
            for (std::uint64_t k = 0; p.pairs != nullptr && k < n; ++k) {
                record.cc_val.push_back(p.pairs[k].key);
                record.cc_val.push_back(p.pairs[k].value);
            }
            break;
        case kValueToText:
            for (std::uint64_t k = 0; p.valueTexts != nullptr && k < n; ++k) {
                record.cc_val.push_back(p.valueTexts[k].value);
                if (!text(p.valueTexts[k].text)) return kFailed;
            }
            break;
        case kRangeToText:
            for (std::uint64_t k = 0; p.rangeTexts != nullptr && k < n; ++k) {
                const MF4RangeText& entry = p.rangeTexts[k];
                record.cc_val.push_back(entry.lower);
                record.cc_val.push_back(entry.upper);
                if (entry.refKind == 1) record.cc_ref.push_back(positionOf(entry.ref.conversion));
                else if (!text(entry.ref.text)) return kFailed;
            }
            break;
        default:
            break;
        }
        if (conversion.conversionType == kValueToText || conversion.conversionType == kRangeToText) {
            if (conversion.defaultConversion >= 0) record.cc_ref.push_back(positionOf(conversion.defaultConversion));
            else if (!text(conversion.defaultText)) return kFailed;
        }
        return kOk;
    }

    int write(std::uint64_t index) {
        if (state_[index] != State::Unwritten) return kOk;
        state_[index] = State::Writing;
        const MF4Conversion& conversion = content_.conversions[index];
        // A nameless identity says nothing: channels that use it simply have no conversion.
        if (conversion.conversionType == 0 && isEmptyText(conversion.name)) {
            state_[index] = State::Written;
            return kOk;
        }
        if (writeReferenced(conversion) != kOk) return kFailed;
        CcRecord record;
        record.cc_type = static_cast<std::uint8_t>(conversion.conversionType);
        record.cc_precision = conversion.precision;
        record.cc_flags = static_cast<std::uint16_t>((conversion.precisionValid ? 1u : 0u) |
                                                     (conversion.statusString ? 4u : 0u));
        record.cc_phy_range_min = conversion.physMin;
        record.cc_phy_range_max = conversion.physMax;
        const std::optional<std::u16string> comment = target_.comments.conversion(conversion);
        ZtCMF4Stream& stream = target_.stream;
        if (!comment || stream.seekEnd() != kOk || target_.text(conversion.name, record.cc_tx_name) != kOk ||
            target_.text(conversion.unit, record.cc_md_unit) != kOk ||
            target_.comment(*comment, record.cc_md_comment) != kOk || fillTable(conversion, record) != kOk)
            return kFailed;
        record.cc_ref_count = static_cast<std::uint16_t>(record.cc_ref.size());
        record.cc_val_count = static_cast<std::uint16_t>(record.cc_val.size());
        ZtCCCBlock block(record);
        if (writeBlock(stream, block, record, "##CC") != kOk) return kFailed;
        target_.session.conversionPositions[index] = record.position;
        target_.keepComment(kConversionComment, record.position, 2, *comment,
                            [&conversion](CommentRenderer& r) { return r.conversion(conversion); });
        state_[index] = State::Written;
        return kOk;
    }

    LayoutTarget& target_;
    const MF4Content& content_;
    std::vector<State> state_;
};

}  // namespace

int writeConversions(LayoutTarget& target) {
    if (target.session.content->conversions == nullptr) return kOk;
    return ConversionWriter(target).writeAll();
}

}  // namespace tarvik
