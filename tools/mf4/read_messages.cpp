#include "read_messages.h"

#include <iostream>

#include "findings_printer.h"
#include "host_text.h"
#include "one_line.h"
#include "type_names.h"

namespace mf4tool {

void printErrors(std::ostream& out, std::span<const MF4Error> findings) {
    for (const MF4Error& finding : findings)
        if (finding.severity == 0) out << findingLine(finding) << '\n';
}

void noteSkippedChannels(std::ostream& out, const MF4Content& content,
                         const ChannelSelection& selection, const GroupRead& read) {
    for (std::size_t i = 0; i < selection.channels.size(); ++i) {
        if (read.channel(i) != nullptr) continue;
        const MF4Channel& channel = content.channels[selection.channels[i]];
        out << "mf4: left out channel " << flattened(toTerminalText(channel.name)) << " ("
            << valueTypeName(channel.valueType) << ", " << channelTypeName(channel.channelType)
            << "): its values have no fixed size\n";
    }
}

bool hasGroups(std::ostream& out, const std::string& file, const MF4Content& content) {
    if (content.groups != nullptr && content.groupCount > 0) return true;
    out << "mf4: " << flattened(file) << " has no data groups\n";
    return false;
}

void printUnreadable(std::ostream& out, const std::string& file,
                     std::span<const MF4Error> findings) {
    printFindings(out, findings);
    out << "mf4: cannot read " << flattened(file) << " ("
        << summaryText(countFindings(findings)) << ")\n";
}

MF4Content* contentWithGroups(ContentReading& reading, const std::string& file) {
    if (reading.content() == nullptr) {
        printUnreadable(std::cerr, file, reading.findings());
        return nullptr;
    }
    printErrors(std::cerr, reading.findings());
    return hasGroups(std::cerr, file, *reading.content()) ? reading.content() : nullptr;
}

}  // namespace mf4tool
