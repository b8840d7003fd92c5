#include "findings/findings.h"

#include <cstdlib>
#include <new>
#include <utility>

#include "findings/message_table.h"
#include "platform/text.h"

namespace tarvik {

FindingList::FindingList(std::u16string_view currentFile) : currentFile_(currentFile) {}

void FindingList::addError(std::uint32_t number, std::optional<std::u16string> detail1,
                           std::optional<std::u16string> detail2) {
    errors_.push_back(Finding{number, std::move(detail1), std::move(detail2), Severity::Error});
}

void FindingList::addWarning(std::uint32_t number, std::optional<std::u16string> detail1,
                             std::optional<std::u16string> detail2) {
    warnings_.push_back(
        Finding{number, std::move(detail1), std::move(detail2), Severity::Warning});
}

void FindingList::addFileError(std::uint32_t number, std::optional<std::u16string> detail2) {
    addError(number, currentFile_, std::move(detail2));
}

void FindingList::addFileWarning(std::uint32_t number, std::optional<std::u16string> detail2) {
    addWarning(number, currentFile_, std::move(detail2));
}

FindingSummary FindingList::summary() const {
    if (hasErrors()) return warnings_.empty() ? kErrorsOnly : kErrorsAndWarnings;
    return warnings_.empty() ? kNoFindings : kWarningsOnly;
}

namespace {

// A host copy of an optional text: null stays null. False when the copy could not be made.
bool copyOptional(const std::optional<std::u16string>& text, MF4Char*& target) {
    target = nullptr;
    if (!text) return true;
    target = platform::newHostText(std::u16string_view(*text));
    return target != nullptr;
}

// Fills `record` (zeroed beforehand) from `finding`. On failure the texts already copied stay
// in the record, so that the caller's clean-up releases them with the rest.
bool fillRecord(MF4Error& record, const Finding& finding, const MessageTable& messages) {
    record.messageId = finding.number;
    record.severity = static_cast<std::uint32_t>(finding.severity);
    if (!copyOptional(finding.detail1, record.detail1)) return false;
    if (!copyOptional(finding.detail2, record.detail2)) return false;
    const auto text = messages.text(static_cast<std::int32_t>(finding.number));
    if (!text) return true;
    record.message =
        platform::newHostText(substituteDetails(*text, finding.detail1, finding.detail2));
    return record.message != nullptr;
}

}  // namespace

FindingSummary convertFindings(const FindingList& list, MF4Error** errors,
                               std::uint64_t* errorCount, const MessageTable& messages) {
    const FindingSummary summary = list.summary();
    if (summary == kNoFindings || errors == nullptr || errorCount == nullptr) return summary;

    const std::size_t count = list.errors().size() + list.warnings().size();
    // calloc leaves reserved0 zero and every text pointer null, so a partly filled array can
    // be released by the same loop as a complete one.
    auto* records = static_cast<MF4Error*>(std::calloc(count, sizeof(MF4Error)));
    if (records == nullptr) return summary;

    std::size_t filled = 0;
    try {
        for (const auto* findings : {&list.errors(), &list.warnings()}) {
            for (const Finding& finding : *findings) {
                MF4Error& record = records[filled++];
                if (!fillRecord(record, finding, messages)) {
                    releaseErrorRecords(records, filled);
                    return summary;
                }
            }
        }
    } catch (const std::bad_alloc&) {
        // Building a message text ran out of memory: hand out nothing rather than a part.
        releaseErrorRecords(records, filled);
        return summary;
    }

    *errors = records;
    *errorCount = count;
    return summary;
}

FindingSummary convertFindings(const FindingList& list, MF4Error** errors,
                               std::uint64_t* errorCount) {
    // The message file is read only by the first call that has something to report.
    if (list.empty()) return kNoFindings;
    return convertFindings(list, errors, errorCount, MessageTable::process());
}

void releaseErrorRecords(MF4Error* records, std::uint64_t count) {
    if (records == nullptr) return;
    for (std::uint64_t i = 0; i < count; ++i) {
        std::free(records[i].detail1);
        std::free(records[i].detail2);
        std::free(records[i].message);
        records[i].detail1 = records[i].detail2 = records[i].message = nullptr;
    }
    std::free(records);
}

std::uint32_t resultCode(FindingSummary summary) {
    switch (summary) {
    case kNoFindings:
        return 0;
    case kWarningsOnly:
        return 1;
    case kErrorsOnly:
    case kErrorsAndWarnings:
        return 2;
    }
    return 2;
}

}  // namespace tarvik
