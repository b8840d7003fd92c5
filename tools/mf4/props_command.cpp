#include "props_command.h"

#include <cstdint>
#include <iostream>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "content_reading.h"
#include "exit_codes.h"
#include "file_update.h"
#include "file_writing.h"
#include "findings_printer.h"
#include "host_text.h"
#include "one_line.h"
#include "table_printer.h"
#include "tree_arrays.h"
#include "type_names.h"

namespace mf4tool {

namespace {

constexpr std::uint32_t kStringType = 31;

struct PropsOptions {
    std::string file;
    std::string comment;
    std::vector<std::string> settings;  // NAME=VALUE[:TYPE]
    std::string history;
    CLI::Option* commentOption = nullptr;
    CLI::Option* historyOption = nullptr;

    bool changes() const { return commentOption->count() > 0 || !settings.empty(); }
};

struct Setting {
    std::string name;
    std::string value;
    std::uint32_t type = kStringType;
};

// NAME=VALUE[:TYPE]. The type is split off at the last ':' only when a type name follows it,
// so that values with colons of their own (times, addresses) need none; a value that ends in
// ":integer" as text takes ":string" after it.
std::optional<Setting> parseSetting(const std::string& text) {
    const std::size_t equals = text.find('=');
    if (equals == 0 || equals == std::string::npos) return std::nullopt;
    Setting setting{text.substr(0, equals), text.substr(equals + 1)};
    const std::size_t colon = setting.value.rfind(':');
    if (colon == std::string::npos) return setting;
    if (const auto type = propertyTypeCode(std::string_view(setting.value).substr(colon + 1))) {
        setting.type = *type;
        setting.value.resize(colon);
    }
    return setting;
}

// What a property's type is called; no type attribute means a string.
std::string typeText(std::uint32_t type) { return type == 0 ? "string" : propertyTypeName(type); }

// The header comment's text and a table of its properties: name, type, value.
void printProperties(const std::string& file, const MF4Content& content) {
    const std::string comment = flattened(toTerminalText(content.headerComment));
    std::cout << flattened(file) << ": " << (comment.empty() ? "no comment text" : "comment \"" + comment + '"')
              << '\n';
    const auto properties = itemsOf(content.headerProperties, content.headerPropertyCount);
    if (properties.empty()) {
        std::cout << "no properties\n";
        return;
    }
    std::cout << properties.size() << (properties.size() == 1 ? " property\n" : " properties\n");
    TablePrinter table(std::cout);
    for (const MF4Property& property : properties) {
        const std::string value = flattened(toTerminalText(property.value));
        table.addRow({"  " + flattened(toTerminalText(property.name)), typeText(property.type),
                      value.empty() ? "\"\"" : value});
    }
    table.flush();
}

int props(const PropsOptions& options, const std::vector<Setting>& settings) {
    ContentReading reading(options.file, false);
    MF4Content* content = treeToUpdate(reading, options.file);
    if (content == nullptr) return kExitErrors;
    printFindings(std::cout, reading.findings());
    const int readCode = reading.result() == MF4_ERRORS ? kExitErrors : kExitClean;
    if (!options.changes()) {
        printProperties(options.file, *content);
        return readCode;
    }

    TextStore texts;
    std::vector<MF4Property> properties;
    for (const Setting& setting : settings) {
        MF4Property& property = properties.emplace_back();
        property.structSize = sizeof property;
        property.name = texts.add(setting.name);
        property.type = setting.type;
        // An empty value is still a value: "" and not the absent text that add() makes of it.
        property.value = setting.value.empty() ? texts.copy(u"") : texts.add(setting.value);
    }
    const std::u16string comment = toLibraryText(options.comment);
    const std::u16string history = toLibraryText(options.history);
    const std::uint32_t result = runUpdate(*content, options.file, "properties", [&](MF4Error** errors,
                                                                                    std::uint64_t* count) {
        return UpdateProperties(content, options.commentOption->count() > 0 ? comment.c_str() : nullptr,
                                properties.empty() ? nullptr : properties.data(), properties.size(),
                                historyText(*options.historyOption, history), errors, count);
    });
    if (result == MF4_ERRORS) return kExitErrors;
    printProperties(options.file, *content);
    return readCode;
}

}  // namespace

void addPropsCommand(CLI::App& app, int& exitCode) {
    auto options = std::make_shared<PropsOptions>();
    CLI::App* command = app.add_subcommand(
        "props", "List the header comment of FILE and its properties (name, type, value); or set "
                 "them in place");
    command->footer(
        "--set changes the value and type of the property of that name, or adds one; TYPE is one "
        "of integer, float, decimal, boolean, dateTime, time, string (default string). It is "
        "taken from after the last ':' only when one of these names follows, so "
        "\"start=2024-01-01T10:00:00:dateTime\" and \"url=http://x\" both work, and a text that "
        "ends in such a name needs \":string\" after it. A value the type does not allow (\"abc\" "
        "as an integer) is refused and the file stays as it was. All changes of one run are made "
        "in one update; afterwards the comment and the properties are listed as the file now "
        "holds them. The list shows dateTime as date: the content tree keeps both as one type.");
    command->add_option("FILE", options->file, "finished MDF 4 file")->required();
    options->commentOption =
        command->add_option("--comment", options->comment, "New text of the header comment");
    command->add_option("--set", options->settings, "Set a property: NAME=VALUE[:TYPE]")
        ->type_name("NAME=VALUE[:TYPE]")
        ->allow_extra_args(false);
    options->historyOption = addHistoryOption(*command, options->history);
    command->callback([options, &exitCode] {
        std::vector<Setting> settings;
        std::set<std::string> names;
        for (const std::string& text : options->settings) {
            const std::optional<Setting> setting = parseSetting(text);
            if (!setting) throw CLI::ValidationError("--set", "not NAME=VALUE[:TYPE]: " + text);
            if (!names.insert(setting->name).second)
                throw CLI::ValidationError("--set", "sets \"" + setting->name + "\" twice");
            settings.push_back(*setting);
        }
        if (options->historyOption->count() > 0 && !options->changes())
            throw CLI::ValidationError("--history", "needs --comment or --set");
        exitCode = props(*options, settings);
    });
}

}  // namespace mf4tool
