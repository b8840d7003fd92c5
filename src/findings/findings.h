// The findings of one exported call: numbered errors and warnings with their detail texts,
// collected while the call works and handed to the caller as MF4Error records at its end.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "TarvikMF4Access.h"

namespace tarvik {

class MessageTable;

enum class Severity : std::uint32_t { Error = 0, Warning = 1 };

struct Finding {
    std::uint32_t number = 0;
    std::optional<std::u16string> detail1;  // usually the file path; absent = null
    std::optional<std::u16string> detail2;  // formatted detail; absent = null
    Severity severity = Severity::Error;
};

// Severity summary of a list: which kinds of findings it holds.
enum FindingSummary : int {
    kNoFindings = 0,
    kErrorsOnly = 1,
    kWarningsOnly = 2,
    kErrorsAndWarnings = 3,
};

class FindingList {
public:
    explicit FindingList(std::u16string_view currentFile = {});

    // The path of the file the call works on; the usual first detail of a finding.
    const std::u16string& currentFile() const { return currentFile_; }

    void addError(std::uint32_t number, std::optional<std::u16string> detail1,
                  std::optional<std::u16string> detail2);
    void addWarning(std::uint32_t number, std::optional<std::u16string> detail1,
                    std::optional<std::u16string> detail2);

    // The common pattern: the current file as detail1 and `detail2` (possibly absent).
    void addFileError(std::uint32_t number, std::optional<std::u16string> detail2 = std::nullopt);
    void addFileWarning(std::uint32_t number, std::optional<std::u16string> detail2 = std::nullopt);

    const std::vector<Finding>& errors() const { return errors_; }
    const std::vector<Finding>& warnings() const { return warnings_; }
    bool empty() const { return errors_.empty() && warnings_.empty(); }
    bool hasErrors() const { return !errors_.empty(); }
    FindingSummary summary() const;

private:
    std::u16string currentFile_;
    std::vector<Finding> errors_;
    std::vector<Finding> warnings_;
};

// Turns the list into the caller's MF4Error array: errors first, then warnings, each in the
// order raised, with message texts from `messages` ("%1" <- detail1, "%2" <- detail2).
// Writes nothing when the list is empty. Returns the list's summary. When the array cannot
// be allocated, nothing is written and the summary still tells the caller the outcome.
FindingSummary convertFindings(const FindingList& list, MF4Error** errors, std::uint64_t* errorCount,
                               const MessageTable& messages);

// As above with the process-wide message table, loaded on first use.
FindingSummary convertFindings(const FindingList& list, MF4Error** errors, std::uint64_t* errorCount);

// Releases the texts of the first `count` records and then the array (null is accepted).
void releaseErrorRecords(MF4Error* records, std::uint64_t count);

// The result code of an exported call for a summary: 0 none, 1 warnings only, 2 errors.
std::uint32_t resultCode(FindingSummary summary);

}  // namespace tarvik
