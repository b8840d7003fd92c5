#include "findings_printer.h"

#include "host_text.h"
#include "one_line.h"

namespace mf4tool {

namespace {

bool isError(const MF4Error& finding) { return finding.severity == 0; }

std::string counted(std::uint64_t count, const char* noun) {
    return std::to_string(count) + ' ' + noun + (count == 1 ? "" : "s");
}

}  // namespace

FindingCounts countFindings(std::span<const MF4Error> findings) {
    FindingCounts counts;
    for (const MF4Error& finding : findings) ++(isError(finding) ? counts.errors : counts.warnings);
    return counts;
}

std::string findingLine(const MF4Error& finding) {
    std::string line = isError(finding) ? "error " : "warning ";
    line += std::to_string(finding.messageId) + ": ";
    if (finding.message != nullptr) return line + flattened(toTerminalText(finding.message));
    // Without the message file only the details can be shown.
    line += flattened(toTerminalText(finding.detail1));
    if (finding.detail2 != nullptr) line += " (" + flattened(toTerminalText(finding.detail2)) + ')';
    return line;
}

void printFindings(std::ostream& out, std::span<const MF4Error> findings,
                   const std::string& indent) {
    for (const MF4Error& finding : findings) out << indent << findingLine(finding) << '\n';
}

std::string summaryText(const FindingCounts& counts) {
    return counted(counts.errors, "error") + ", " + counted(counts.warnings, "warning");
}

}  // namespace mf4tool
