#include "json_report.h"

#include <algorithm>
#include <cstdint>

#include "host_text.h"
#include "json_writer.h"
#include "tree_arrays.h"

namespace mf4tool {

namespace {

class JsonReport {
public:
    explicit JsonReport(std::ostream& out) : writer_(out) {}

    void write(const std::string& file, std::uint32_t result, const MF4Content& content,
               std::span<const MF4Error> findings) {
        writer_.beginObject();
        // The path comes from the command line as bytes; the round trip through UTF-16 turns
        // whatever is not UTF-8 into U+FFFD, so the document stays valid.
        writer_.key("file");
        writer_.text(toTerminalText(toLibraryText(file).c_str()));
        number("result", result);
        writeContent(content);
        array("findings", findings, [this](const MF4Error& e) { writeFinding(e); });
        writer_.endObject();
        writer_.finish();
    }

private:
    void text(const char* key, const MF4Char* value) {
        writer_.key(key);
        if (value == nullptr)
            writer_.null();
        else
            writer_.text(toTerminalText(value));
    }

    template <typename T>
    void number(const char* key, T value) {
        writer_.key(key);
        writer_.number(value);
    }

    template <typename T, typename WriteItem>
    void array(const char* key, std::span<const T> items, WriteItem writeItem) {
        writer_.key(key);
        writer_.beginArray();
        for (const T& item : items) writeItem(item);
        writer_.endArray();
    }

    void numbers(const char* key, std::span<const double> values) {
        array(key, values, [this](double v) { writer_.number(v); });
    }

    void propertyList(const char* key, const MF4Property* items, std::uint64_t count) {
        array(key, itemsOf(items, count), [this](const MF4Property& property) {
            writer_.beginObject();
            text("name", property.name);
            number("type", property.type);
            text("value", property.value);
            writer_.endObject();
        });
    }

    void writeContent(const MF4Content& c) {
        number("channelCount", c.channelCount);
        number("groupCount", c.groupCount);
        number("conversionCount", c.conversionCount);
        number("attachmentCount", c.attachmentCount);
        number("headerPropertyCount", c.headerPropertyCount);
        number("eventCount", c.eventCount);
        number("historyCount", c.historyCount);
        array("channels", itemsOf(c.channels, c.channelCount),
              [this](const MF4Channel& channel) { writeChannel(channel, 0); });
        array("groups", itemsOf(c.groups, c.groupCount),
              [this](const MF4ChannelGroup& group) { writeGroup(group); });
        array("conversions", itemsOf(c.conversions, c.conversionCount),
              [this](const MF4Conversion& conversion) { writeConversion(conversion); });
        array("events", itemsOf(c.events, c.eventCount),
              [this](const MF4Event& event) { writeEvent(event); });
        propertyList("headerProperties", c.headerProperties, c.headerPropertyCount);
        array("attachments", itemsOf(c.attachments, c.attachmentCount),
              [this](const MF4Attachment& attachment) { writeAttachment(attachment); });
        array("history", itemsOf(c.history, c.historyCount),
              [this](const MF4HistoryEntry& entry) { writeHistoryEntry(entry); });
        writer_.key("programId");
        writer_.text(programIdText(c));
        number("formatVersion", c.formatVersion);
        number("timeKind", c.timeKind);
        number("startTimeNs", c.startTimeNs);
        number("tzOffsetMin", c.tzOffsetMin);
        number("dstOffsetMin", c.dstOffsetMin);
        number("contentFlags", c.contentFlags);
        text("toolVendor", c.toolVendor);
        text("toolVersion", c.toolVersion);
        text("filePath", c.filePath);
        text("headerComment", c.headerComment);
        text("historyComment", c.historyComment);
    }

    void writeAxis(const MF4Axis& axis) {
        writer_.beginObject();
        number("inputChannel", axis.inputChannel);
        number("dynamicSizeChannel", axis.dynamicSizeChannel);
        number("axisKind", axis.axisKind);
        number("axisConversion", axis.axisConversion);
        numbers("values", itemsOf(axis.values, axis.valueCount));
        number("valueCount", axis.valueCount);
        number("axisChannel", axis.axisChannel);
        writer_.endObject();
    }

    void writeChannel(const MF4Channel& ch, int depth) {
        // Structures nest only as deep as the library lets them; the bound keeps a broken
        // tree from exhausting the stack all the same.
        constexpr int kMaxMemberDepth = 64;
        const std::size_t dimensions = std::min<std::size_t>(ch.dimensionCount, 3);
        writer_.beginObject();
        text("name", ch.name);
        text("sourceName", ch.sourceName);
        text("sourcePath", ch.sourcePath);
        number("valueType", ch.valueType);
        number("cycleCount", ch.cycleCount);
        number("segmentCount", ch.segmentCount);
        number("dimensionCount", ch.dimensionCount);
        array("dimensionSizes", std::span<const std::uint64_t>(ch.dimensionSizes, dimensions),
              [this](std::uint64_t size) { writer_.number(size); });
        number("isLookup", ch.isLookup);
        array("axes", std::span<MF4Axis* const>(ch.axes, dimensions), [this](const MF4Axis* axis) {
            if (axis == nullptr)
                writer_.null();
            else
                writeAxis(*axis);
        });
        number("outputChannel", ch.outputChannel);
        number("comparisonChannel", ch.comparisonChannel);
        number("isScalingAxis", ch.isScalingAxis);
        number("inverseLayout", ch.inverseLayout);
        text("displayName", ch.displayName);
        text("comment", ch.comment);
        text("unit", ch.unit);
        text("format", ch.format);
        number("calibration", ch.calibration);
        number("calculated", ch.calculated);
        number("isVirtual", ch.isVirtual);
        number("limitValid", ch.limitValid);
        number("busEvent", ch.busEvent);
        number("limitMin", ch.limitMin);
        number("limitMax", ch.limitMax);
        number("extLimitValid", ch.extLimitValid);
        number("extLimitMin", ch.extLimitMin);
        number("extLimitMax", ch.extLimitMax);
        number("bitCount", ch.bitCount);
        number("propertyCount", ch.propertyCount);
        propertyList("properties", ch.properties, ch.propertyCount);
        number("groupIndex", ch.groupIndex);
        number("conversion", ch.conversion);
        number("syncAttachment", ch.syncAttachment);
        number("lengthChannel", ch.lengthChannel);
        number("syncType", ch.syncType);
        number("channelType", ch.channelType);
        number("childCount", ch.childCount);
        const auto children = itemsOf(ch.children, ch.childCount);
        array("children", depth < kMaxMemberDepth ? children : children.first(0),
              [this, depth](const MF4Channel& child) { writeChannel(child, depth + 1); });
        number("byteOffset", ch.byteOffset);
        number("bitOffset", ch.bitOffset);
        number("precisionValid", ch.precisionValid);
        number("precision", ch.precision);
        number("stringEncoding", ch.stringEncoding);
        writer_.endObject();
    }

    void writeGroup(const MF4ChannelGroup& g) {
        writer_.beginObject();
        text("acquisitionName", g.acquisitionName);
        text("sourceName", g.sourceName);
        text("sourcePath", g.sourcePath);
        number("pathSeparator", g.pathSeparator);
        number("masterValueType", g.masterValueType);
        number("cycleCount", g.cycleCount);
        number("segmentCount", g.segmentCount);
        number("reductionRaster", g.reductionRaster);
        text("comment", g.comment);
        number("propertyCount", g.propertyCount);
        propertyList("properties", g.properties, g.propertyCount);
        number("withReduction", g.withReduction);
        number("busEventGroup", g.busEventGroup);
        number("plainBusEventGroup", g.plainBusEventGroup);
        text("sourceChannelNumber", g.sourceChannelNumber);
        number("sourceType", g.sourceType);
        number("busType", g.busType);
        number("masterRaster", g.masterRaster);
        number("masterRangeValid", g.masterRangeValid);
        number("masterRangeMin", g.masterRangeMin);
        number("masterRangeMax", g.masterRangeMax);
        number("masterConversion", g.masterConversion);
        number("masterByteOffset", g.masterByteOffset);
        number("masterBitOffset", g.masterBitOffset);
        number("recordDataBytes", g.recordDataBytes);
        number("dataGroupPosition", g.dataGroupPosition);
        writer_.endObject();
    }

    // Only the member of the parameter union that the conversion type selects.
    void writeParameters(const MF4Conversion& cc) {
        const auto& p = cc.parameters;
        writer_.key("parameters");
        writer_.beginObject();
        switch (cc.conversionType) {
            case 1: numbers("linear", p.linear); break;
            case 2: numbers("rational", p.rational); break;
            case 4:
            case 5:
                array("pairs", itemsOf(p.pairs, cc.entryCount), [this](const MF4ValuePair& e) {
                    writer_.beginObject();
                    number("key", e.key);
                    number("value", e.value);
                    writer_.endObject();
                });
                break;
            case 7:
                array("valueTexts", itemsOf(p.valueTexts, cc.entryCount),
                      [this](const MF4ValueText& e) {
                          writer_.beginObject();
                          number("value", e.value);
                          text("text", e.text);
                          writer_.endObject();
                      });
                break;
            case 8:
                array("rangeTexts", itemsOf(p.rangeTexts, cc.entryCount),
                      [this](const MF4RangeText& e) {
                          writer_.beginObject();
                          number("lower", e.lower);
                          number("upper", e.upper);
                          number("refKind", e.refKind);
                          if (e.refKind == 1)
                              number("conversion", e.ref.conversion);
                          else
                              text("text", e.ref.text);
                          writer_.endObject();
                      });
                break;
            default: break;
        }
        writer_.endObject();
    }

    void writeConversion(const MF4Conversion& cc) {
        writer_.beginObject();
        number("conversionType", cc.conversionType);
        text("name", cc.name);
        text("comment", cc.comment);
        text("format", cc.format);
        text("unit", cc.unit);
        text("formula", cc.formula);
        text("defaultText", cc.defaultText);
        number("defaultConversion", cc.defaultConversion);
        number("entryCount", cc.entryCount);
        number("physMin", cc.physMin);
        number("physMax", cc.physMax);
        number("precisionValid", cc.precisionValid);
        number("precision", cc.precision);
        number("statusString", cc.statusString);
        number("propertyCount", cc.propertyCount);
        propertyList("properties", cc.properties, cc.propertyCount);
        writeParameters(cc);
        writer_.endObject();
    }

    void writeEvent(const MF4Event& ev) {
        writer_.beginObject();
        number("eventType", ev.eventType);
        number("rangeType", ev.rangeType);
        number("cause", ev.cause);
        number("postProcessing", ev.postProcessing);
        number("scopeKind", ev.scopeKind);
        number("scopeCount", ev.scopeCount);
        array("scope", itemsOf(ev.scope, ev.scopeCount),
              [this](std::uint64_t index) { writer_.number(index); });
        number("syncValue", ev.syncValue);
        text("name", ev.name);
        text("comment", ev.comment);
        number("preTrigger", ev.preTrigger);
        number("postTrigger", ev.postTrigger);
        text("syntax", ev.syntax);
        number("rangeBegin", ev.rangeBegin);
        number("timeout", ev.timeout);
        number("timeoutTriggered", ev.timeoutTriggered);
        number("typeProperty", ev.typeProperty);
        number("colorProperty", ev.colorProperty);
        number("systemTime", ev.systemTime);
        number("position", ev.position);
        writer_.endObject();
    }

    void writeAttachment(const MF4Attachment& at) {
        writer_.beginObject();
        text("fileName", at.fileName);
        text("mimeType", at.mimeType);
        text("comment", at.comment);
        number("embedded", at.embedded);
        number("compressed", at.compressed);
        number("md5Valid", at.md5Valid);
        number("size", at.size);
        number("propertyCount", at.propertyCount);
        propertyList("properties", at.properties, at.propertyCount);
        writer_.key("hasData");
        writer_.boolean(at.data != nullptr);
        writer_.endObject();
    }

    void writeHistoryEntry(const MF4HistoryEntry& entry) {
        writer_.beginObject();
        number("timeNs", entry.timeNs);
        number("tzOffsetMin", entry.tzOffsetMin);
        number("dstOffsetMin", entry.dstOffsetMin);
        number("timeFlags", entry.timeFlags);
        text("comment", entry.comment);
        writer_.endObject();
    }

    void writeFinding(const MF4Error& finding) {
        writer_.beginObject();
        number("number", finding.messageId);
        number("severity", finding.severity);
        text("message", finding.message);
        text("detail1", finding.detail1);
        text("detail2", finding.detail2);
        writer_.endObject();
    }

    JsonWriter writer_;
};

}  // namespace

void writeJsonReport(std::ostream& out, const std::string& file, std::uint32_t result,
                     const MF4Content& content, std::span<const MF4Error> findings) {
    JsonReport(out).write(file, result, content, findings);
}

}  // namespace mf4tool
