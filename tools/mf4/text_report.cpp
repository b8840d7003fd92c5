#include "text_report.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "conversion_rule.h"
#include "findings_printer.h"
#include "host_text.h"
#include "number_text.h"
#include "one_line.h"
#include "time_text.h"
#include "tree_arrays.h"
#include "type_names.h"
#include "xml_snippet.h"

namespace mf4tool {

namespace {

// Comments and other free texts are cut to this many characters on one line.
constexpr std::size_t kCommentWidth = 100;
// Longer tables, axis values and scopes show this many entries and a count of the rest.
constexpr std::size_t kListLimit = 10;
// Channel names are padded to a common width up to this one, so the columns line up.
constexpr std::size_t kNameColumn = 24;
// Structures nest no deeper than this in the report (the library bounds them as well).
constexpr int kMaxMemberDepth = 32;

std::string lineText(const MF4Char* text) { return flattened(toTerminalText(text)); }

std::string commentText(const MF4Char* text) {
    return shortened(toTerminalText(text), kCommentWidth);
}

std::string quoted(const std::string& text) { return '"' + text + '"'; }

std::string num(double value) { return shortestText(value); }

// "1 byte", "2 bytes"; `plural` for nouns that do not just add an "s".
std::string countedText(std::uint64_t count, const char* noun, const char* plural = nullptr) {
    if (count == 1) return "1 " + std::string(noun);
    return std::to_string(count) + ' ' + (plural != nullptr ? plural : noun + std::string("s"));
}

std::size_t characterCount(const std::string& utf8) {
    // Continuation bytes (10xxxxxx) do not start a character.
    return static_cast<std::size_t>(std::count_if(utf8.begin(), utf8.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
}

std::string padded(const std::string& text, std::size_t width) {
    const std::size_t length = characterCount(text);
    return length >= width ? text : text + std::string(width - length, ' ');
}

// Appends ", piece" (or just "piece" to an empty line).
void addPart(std::string& line, const std::string& piece) {
    if (!line.empty()) line += ", ";
    line += piece;
}

// History entries store their flags as in the file: bit 0 local time, bit 1 offsets valid.
std::uint32_t timeKindOfHistory(std::uint8_t timeFlags) {
    if ((timeFlags & 2u) != 0) return 1;
    if ((timeFlags & 1u) != 0) return 3;
    return 2;
}

class TextReport {
public:
    TextReport(std::ostream& out, const MF4Content& content) : out_(out), content_(content) {}

    void write(const std::string& file, std::span<const MF4Error> findings) {
        writeHeader(file);
        writeHistory();
        writeGroups();
        writeConversions();
        writeEvents();
        writeAttachments();
        writeFindings(findings);
    }

private:
    void field(const char* label, const std::string& value) {
        if (!value.empty()) out_ << padded(label, 13) << value << '\n';
    }

    void writeProperties(std::span<const MF4Property> properties, const std::string& indent) {
        for (const MF4Property& property : properties) {
            const std::string value = shortened(toTerminalText(property.value), kCommentWidth);
            out_ << indent << lineText(property.name) << " = " << (value.empty() ? "\"\"" : value);
            if (property.type != 0) out_ << " (" << propertyTypeName(property.type) << ')';
            out_ << '\n';
        }
    }

    void writeHeader(const std::string& file) {
        field("File", flattened(file));
        std::string format = "MDF " + formatVersionText(content_.formatVersion);
        const std::string program = flattened(programIdText(content_));
        if (!program.empty()) format += ", program " + quoted(program);
        field("Format", format);
        field("Start", timeStampText(content_.startTimeNs, content_.timeKind,
                                     content_.tzOffsetMin, content_.dstOffsetMin));
        std::string tool = lineText(content_.toolVendor);
        const std::string version = lineText(content_.toolVersion);
        if (!version.empty()) tool += (tool.empty() ? "" : " ") + version;
        field("Tool", tool);
        field("Comment", commentText(content_.headerComment));
        const auto properties = itemsOf(content_.headerProperties, content_.headerPropertyCount);
        if (!properties.empty()) {
            out_ << "Properties\n";
            writeProperties(properties, "  ");
        }
    }

    void writeHistory() {
        const auto history = itemsOf(content_.history, content_.historyCount);
        out_ << "\nHistory (" << history.size() << ")\n";
        for (std::size_t i = 0; i < history.size(); ++i) {
            const MF4HistoryEntry& entry = history[i];
            const std::string xml = toTerminalText(entry.comment);
            std::string text = elementText(xml, "TX");
            const std::string tool = elementText(xml, "tool_id");
            if (text.empty() && tool.empty()) text = xml;
            if (!tool.empty()) text += (text.empty() ? "" : " ") + ("[" + tool + ']');
            out_ << "  [" << i << "] "
                 << timeStampText(entry.timeNs, timeKindOfHistory(entry.timeFlags),
                                  entry.tzOffsetMin, entry.dstOffsetMin)
                 << "  " << shortened(text, kCommentWidth) << '\n';
        }
    }

    std::string conversionRef(std::int64_t index) const {
        if (index < 0) return {};
        std::string text = "conversion [" + std::to_string(index) + ']';
        const auto conversions = itemsOf(content_.conversions, content_.conversionCount);
        if (static_cast<std::uint64_t>(index) < conversions.size()) {
            const MF4Conversion& conversion = conversions[static_cast<std::size_t>(index)];
            text += ' ' + conversionTypeName(conversion.conversionType);
        }
        return text;
    }

    std::string channelRef(std::int64_t index) const {
        std::string text = "channel [" + std::to_string(index) + ']';
        const auto channels = itemsOf(content_.channels, content_.channelCount);
        if (index >= 0 && static_cast<std::uint64_t>(index) < channels.size())
            text += ' ' + lineText(channels[static_cast<std::size_t>(index)].name);
        return text;
    }

    void writeGroups() {
        const auto groups = itemsOf(content_.groups, content_.groupCount);
        const auto channels = itemsOf(content_.channels, content_.channelCount);
        // Channels are stored group by group; bucket them once instead of scanning per group.
        std::vector<std::vector<std::size_t>> channelsOfGroup(groups.size());
        for (std::size_t i = 0; i < channels.size(); ++i) {
            if (channels[i].groupIndex < groups.size())
                channelsOfGroup[static_cast<std::size_t>(channels[i].groupIndex)].push_back(i);
        }
        out_ << "\nGroups (" << groups.size() << ")\n";
        for (std::size_t g = 0; g < groups.size(); ++g) {
            writeGroup(g, groups[g]);
            writeChannelsOf(channels, channelsOfGroup[g]);
        }
    }

    // "CAN1 (path), CAN bus": name, path where it says more, and kind of source.
    static std::string sourceText(const MF4ChannelGroup& group) {
        const std::string name = lineText(group.sourceName);
        const std::string path = lineText(group.sourcePath);
        if (name.empty() && path.empty()) return {};
        std::string line = name.empty() ? path : name;
        if (!name.empty() && !path.empty() && path != name) line += " (" + path + ')';
        if (group.sourceType == 2 && group.busType != 0) {
            addPart(line, busTypeName(group.busType) + " bus");
        } else {
            addPart(line, sourceTypeName(group.sourceType));
            if (group.busType != 0) addPart(line, "bus " + busTypeName(group.busType));
        }
        return line;
    }

    void writeGroup(std::size_t index, const MF4ChannelGroup& group) {
        const std::string name = lineText(group.acquisitionName);
        out_ << "  [" << index << "] " << (name.empty() ? "(no acquisition name)" : name) << '\n';
        const std::string indent = "      ";
        const std::string source = sourceText(group);
        if (!source.empty()) out_ << indent << "source    " << source << '\n';
        out_ << indent << "records   " << countedText(group.cycleCount, "cycle") << " of "
             << countedText(group.recordDataBytes, "byte") << ", "
             << countedText(group.segmentCount, "segment") << '\n';
        std::string master = valueTypeName(group.masterValueType);
        if (group.masterRaster != 0) addPart(master, "raster " + num(group.masterRaster));
        if (group.masterRangeValid != 0)
            addPart(master,
                    "range " + num(group.masterRangeMin) + " .. " + num(group.masterRangeMax));
        if (group.masterConversion >= 0) addPart(master, conversionRef(group.masterConversion));
        if (group.reductionRaster != 0)
            addPart(master, "reduction raster " + num(group.reductionRaster));
        out_ << indent << "master    " << master << '\n';
        const std::string comment = commentText(group.comment);
        if (!comment.empty()) out_ << indent << "comment   " << comment << '\n';
        writeProperties(itemsOf(group.properties, group.propertyCount), indent + "property  ");
    }

    void writeChannelsOf(std::span<const MF4Channel> channels,
                         const std::vector<std::size_t>& members) {
        std::size_t width = 0;
        for (const std::size_t i : members)
            width = std::max(width, characterCount(lineText(channels[i].name)));
        width = std::min(width, kNameColumn);
        for (const std::size_t i : members)
            writeChannel("      ", "[" + std::to_string(i) + "] ", channels[i], width, 0);
    }

    std::string channelSummary(const MF4Channel& channel) const {
        std::string line;
        if (channel.channelType != 0) line = channelTypeName(channel.channelType) + ' ';
        line += valueTypeName(channel.valueType);
        if ((channel.valueType == 30 || channel.valueType == 31) && channel.stringEncoding != 0)
            line += " (" + stringEncodingName(channel.stringEncoding) + ')';
        line += ", " + countedText(channel.bitCount, "bit") + " at byte " +
                std::to_string(channel.byteOffset);
        if (channel.bitOffset != 0) line += " bit " + std::to_string(channel.bitOffset);
        const std::string unit = lineText(channel.unit);
        if (!unit.empty()) addPart(line, "unit " + quoted(unit));
        if (channel.conversion >= 0) addPart(line, conversionRef(channel.conversion));
        if (channel.syncType != 0) addPart(line, "sync " + syncTypeName(channel.syncType));
        if (channel.lengthChannel >= 0)
            addPart(line, "length from " + channelRef(channel.lengthChannel));
        return line;
    }

    // One line for the channel after `indent` and `label`; its details and structure members
    // follow, indented one step further.
    void writeChannel(const std::string& indent, const std::string& label,
                      const MF4Channel& channel, std::size_t width, int depth) {
        out_ << indent << label << padded(lineText(channel.name), width) << "  "
             << channelSummary(channel) << '\n';
        const std::string inner = indent + "    ";
        writeChannelDetails(channel, inner);
        writeMembers(channel, inner, depth);
    }

    void writeChannelDetails(const MF4Channel& channel, const std::string& indent) {
        const std::string display = lineText(channel.displayName);
        if (!display.empty()) out_ << indent << "display   " << display << '\n';
        const std::string comment = commentText(channel.comment);
        if (!comment.empty()) out_ << indent << "comment   " << comment << '\n';
        if (channel.dimensionCount != 0) writeArray(channel, indent);
    }

    void writeMembers(const MF4Channel& channel, const std::string& indent, int depth) {
        const auto children = itemsOf(channel.children, channel.childCount);
        if (children.empty()) return;
        if (depth >= kMaxMemberDepth) {
            out_ << indent << "(" << countedText(children.size(), "member") << " nested deeper)\n";
            return;
        }
        std::size_t memberWidth = 0;
        for (const MF4Channel& child : children)
            memberWidth = std::max(memberWidth, characterCount(lineText(child.name)));
        memberWidth = std::min(memberWidth, kNameColumn);
        for (const MF4Channel& child : children)
            writeChannel(indent, "member ", child, memberWidth, depth + 1);
    }

    void writeArray(const MF4Channel& channel, const std::string& indent) {
        const std::size_t dimensions = std::min<std::size_t>(channel.dimensionCount, 3);
        std::string line = "array     ";
        for (std::size_t d = 0; d < dimensions; ++d)
            line += (d == 0 ? "" : " x ") + std::to_string(channel.dimensionSizes[d]);
        std::string traits;
        if (channel.isLookup != 0) addPart(traits, "look-up");
        if (channel.isScalingAxis != 0) addPart(traits, "scaling axis");
        if (channel.inverseLayout != 0) addPart(traits, "column-major");
        if (channel.outputChannel >= 0)
            addPart(traits, "output " + channelRef(channel.outputChannel));
        if (channel.comparisonChannel >= 0)
            addPart(traits, "comparison " + channelRef(channel.comparisonChannel));
        if (!traits.empty()) line += " (" + traits + ')';
        out_ << indent << line << '\n';
        for (std::size_t d = 0; d < dimensions; ++d) {
            if (channel.axes[d] != nullptr) out_ << indent << "axis " << d + 1 << "    "
                                                 << axisText(*channel.axes[d]) << '\n';
        }
    }

    std::string axisText(const MF4Axis& axis) const {
        std::string line;
        if (axis.axisKind == 0) {
            line = "fixed " + listText(itemsOf(axis.values, axis.valueCount),
                                       [](double v) { return num(v); });
        } else if (axis.axisChannel >= 0) {
            line = (axis.axisKind == 1 ? "standard axis " : "axis ") + channelRef(axis.axisChannel);
        } else {
            line = "no axis";
        }
        if (axis.axisConversion >= 0) addPart(line, conversionRef(axis.axisConversion));
        if (axis.inputChannel >= 0) addPart(line, "input " + channelRef(axis.inputChannel));
        if (axis.dynamicSizeChannel >= 0)
            addPart(line, "size from " + channelRef(axis.dynamicSizeChannel));
        return line;
    }

    template <typename T, typename Format>
    static std::string listText(std::span<const T> items, Format format) {
        std::string line;
        for (std::size_t i = 0; i < items.size() && i < kListLimit; ++i)
            line += (i == 0 ? "" : " ") + format(items[i]);
        if (items.size() > kListLimit) line += " ... (" + std::to_string(items.size()) + " in all)";
        return line;
    }

    std::string conversionSummary(const MF4Conversion& conversion) const {
        std::string line = conversionRule(conversion);
        if (conversion.statusString != 0) addPart(line, "status strings");
        const std::string name = lineText(conversion.name);
        if (!name.empty()) addPart(line, "name " + quoted(name));
        const std::string unit = lineText(conversion.unit);
        if (!unit.empty()) addPart(line, "unit " + quoted(unit));
        const std::string defaultText = lineText(conversion.defaultText);
        if (!defaultText.empty()) addPart(line, "default " + quoted(defaultText));
        if (conversion.defaultConversion >= 0)
            addPart(line, "default " + conversionRef(conversion.defaultConversion));
        return line;
    }

    void writeConversionEntries(const MF4Conversion& conversion, const std::string& indent) {
        const auto& p = conversion.parameters;
        std::vector<std::string> lines;
        switch (conversion.conversionType) {
            case 4:
            case 5:
                for (const MF4ValuePair& pair : itemsOf(p.pairs, conversion.entryCount))
                    lines.push_back(num(pair.key) + " -> " + num(pair.value));
                break;
            case 7:
                for (const MF4ValueText& entry : itemsOf(p.valueTexts, conversion.entryCount))
                    lines.push_back(num(entry.value) + " -> " + quoted(commentText(entry.text)));
                break;
            case 8:
                for (const MF4RangeText& entry : itemsOf(p.rangeTexts, conversion.entryCount)) {
                    lines.push_back("[" + num(entry.lower) + ", " + num(entry.upper) + "] -> " +
                                    (entry.refKind == 1 ? conversionRef(entry.ref.conversion)
                                                        : quoted(commentText(entry.ref.text))));
                }
                break;
            default: return;
        }
        for (std::size_t i = 0; i < lines.size() && i < kListLimit; ++i)
            out_ << indent << lines[i] << '\n';
        if (lines.size() > kListLimit)
            out_ << indent << "... " << lines.size() - kListLimit << " more\n";
    }

    void writeConversions() {
        const auto conversions = itemsOf(content_.conversions, content_.conversionCount);
        out_ << "\nConversions (" << conversions.size() << ")\n";
        for (std::size_t i = 0; i < conversions.size(); ++i) {
            const MF4Conversion& conversion = conversions[i];
            out_ << "  [" << i << "] " << conversionSummary(conversion) << '\n';
            const std::string indent = "      ";
            const std::string comment = commentText(conversion.comment);
            if (!comment.empty()) out_ << indent << "comment   " << comment << '\n';
            writeConversionEntries(conversion, indent);
        }
    }

    std::string scopeText(const MF4Event& event) const {
        const auto scope = itemsOf(event.scope, event.scopeCount);
        if (scope.empty() || (event.scopeKind != 1 && event.scopeKind != 2)) return {};
        return (event.scopeKind == 1 ? "groups " : "channels ") +
               listText(scope, [](std::uint64_t i) { return std::to_string(i); });
    }

    void writeEvents() {
        const auto events = itemsOf(content_.events, content_.eventCount);
        out_ << "\nEvents (" << events.size() << ")\n";
        for (std::size_t i = 0; i < events.size(); ++i) {
            const MF4Event& event = events[i];
            std::string line = eventTypeName(event.eventType);
            addPart(line, eventRangeName(event.rangeType));
            addPart(line, "cause " + eventCauseName(event.cause));
            addPart(line, "at " + num(event.syncValue));
            if (event.rangeBegin >= 0)
                addPart(line, "closes [" + std::to_string(event.rangeBegin) + ']');
            const std::string name = lineText(event.name);
            if (!name.empty()) addPart(line, quoted(name));
            out_ << "  [" << i << "] " << line << '\n';
            const std::string indent = "      ";
            const std::string scope = scopeText(event);
            if (!scope.empty()) out_ << indent << "scope     " << scope << '\n';
            const std::string comment = commentText(event.comment);
            if (!comment.empty()) out_ << indent << "comment   " << comment << '\n';
        }
    }

    void writeAttachments() {
        const auto attachments = itemsOf(content_.attachments, content_.attachmentCount);
        out_ << "\nAttachments (" << attachments.size() << ")\n";
        for (std::size_t i = 0; i < attachments.size(); ++i) {
            const MF4Attachment& attachment = attachments[i];
            std::string line = lineText(attachment.fileName);
            const std::string mime = lineText(attachment.mimeType);
            if (!mime.empty()) addPart(line, mime);
            addPart(line, attachment.embedded != 0 ? "embedded" : "external");
            if (attachment.compressed != 0) addPart(line, "compressed");
            addPart(line, countedText(attachment.size, "byte"));
            addPart(line, attachment.md5Valid != 0 ? "MD5 valid" : "MD5 not valid");
            out_ << "  [" << i << "] " << line << '\n';
            const std::string comment = commentText(attachment.comment);
            if (!comment.empty()) out_ << "      comment   " << comment << '\n';
        }
    }

    void writeFindings(std::span<const MF4Error> findings) {
        out_ << "\nFindings: " << summaryText(countFindings(findings)) << '\n';
        printFindings(out_, findings, "  ");
    }

    std::ostream& out_;
    const MF4Content& content_;
};

}  // namespace

void writeTextReport(std::ostream& out, const std::string& file, const MF4Content& content,
                     std::span<const MF4Error> findings) {
    TextReport(out, content).write(file, findings);
}

}  // namespace mf4tool
