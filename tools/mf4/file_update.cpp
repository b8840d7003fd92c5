#include "file_update.h"

#include <iostream>
#include <span>

#include <CLI/CLI.hpp>

#include "content_reading.h"
#include "findings_printer.h"
#include "host_text.h"
#include "one_line.h"
#include "tool_identity.h"

namespace mf4tool {

CLI::Option* addHistoryOption(CLI::App& command, std::string& text) {
    return command.add_option("--history", text,
                              "Text of the history entry the change adds (default: none)");
}

const MF4Char* historyText(const CLI::Option& option, const std::u16string& text) {
    return option.count() > 0 ? text.c_str() : nullptr;
}

MF4Content* treeToUpdate(ContentReading& reading, const std::string& file) {
    MF4Content* content = reading.content();
    if (content == nullptr) {
        printFindings(std::cout, reading.findings());
        std::cout << flattened(file) << ": cannot be read\n";
    }
    return content;
}

std::uint32_t runUpdate(MF4Content& content, const std::string& file, const std::string& what,
                        const UpdateCall& call) {
    // The file's history should say that this tool made the change, not the program that
    // wrote the file first.
    const std::u16string vendor = toLibraryText(kToolVendor);
    const std::u16string version = toLibraryText(kToolVersion);
    UpdateToolInformation(&content, kToolProgramId, vendor.c_str(), version.c_str());
    MF4Error* errors = nullptr;
    std::uint64_t errorCount = 0;
    const std::uint32_t result = call(&errors, &errorCount);
    printFindings(std::cout, std::span<const MF4Error>(errors, errors ? errorCount : 0));
    FreeErrors(errors, errorCount);
    if (result == MF4_ERRORS) std::cout << flattened(file) << ": " << what << " not updated\n";
    return result;
}

}  // namespace mf4tool
