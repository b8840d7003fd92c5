#include "content/content_release.h"

#include <cstdlib>

namespace tarvik {

namespace {

template <typename T>
void freeAndClear(T*& pointer) {
    std::free(pointer);
    pointer = nullptr;
}

void releaseAxes(MF4Channel& channel) {
    // Axes exist only for look-up arrays; other channels never own them.
    if (channel.isLookup != 1 || channel.dimensionCount == 0) return;
    const unsigned axes = channel.dimensionCount < 3 ? channel.dimensionCount : 3;
    for (unsigned i = 0; i < axes; ++i) {
        MF4Axis* axis = channel.axes[i];
        if (axis == nullptr) continue;
        if (axis->axisKind == 0) freeAndClear(axis->values);
        freeAndClear(channel.axes[i]);
    }
}

void releaseGroup(MF4ChannelGroup& group) {
    freeAndClear(group.acquisitionName);
    freeAndClear(group.sourceName);
    freeAndClear(group.sourcePath);
    freeAndClear(group.comment);
    freeAndClear(group.sourceChannelNumber);
    releaseProperties(group.properties, group.propertyCount);
}

void releaseConversionTable(MF4Conversion& conversion) {
    switch (conversion.conversionType) {
    case 4:
    case 5:
        freeAndClear(conversion.parameters.pairs);
        break;
    case 7:
        if (MF4ValueText* entries = conversion.parameters.valueTexts) {
            for (std::uint64_t i = 0; i < conversion.entryCount; ++i) freeAndClear(entries[i].text);
            freeAndClear(conversion.parameters.valueTexts);
        }
        break;
    case 8:
        if (MF4RangeText* entries = conversion.parameters.rangeTexts) {
            for (std::uint64_t i = 0; i < conversion.entryCount; ++i)
                if (entries[i].refKind == 0) freeAndClear(entries[i].ref.text);
            freeAndClear(conversion.parameters.rangeTexts);
        }
        break;
    default:  // types 0 to 3 and 9 carry numbers only
        break;
    }
}

}  // namespace

void releaseConversion(MF4Conversion& conversion) {
    freeAndClear(conversion.name);
    freeAndClear(conversion.comment);
    freeAndClear(conversion.format);
    freeAndClear(conversion.unit);
    freeAndClear(conversion.formula);
    freeAndClear(conversion.defaultText);
    releaseConversionTable(conversion);
    releaseProperties(conversion.properties, conversion.propertyCount);
}

namespace {

void releaseEvent(MF4Event& event) {
    freeAndClear(event.name);
    freeAndClear(event.comment);
    freeAndClear(event.syntax);
    if (event.scopeCount != 0 && (event.scopeKind == 1 || event.scopeKind == 2))
        freeAndClear(event.scope);
}

void releaseAttachment(MF4Attachment& attachment) {
    freeAndClear(attachment.fileName);
    freeAndClear(attachment.mimeType);
    freeAndClear(attachment.comment);
    releaseProperties(attachment.properties, attachment.propertyCount);
    freeAndClear(attachment.data);
}

template <typename Record, typename ReleaseOne>
void releaseArray(Record*& records, std::uint64_t& count, ReleaseOne releaseOne) {
    if (records != nullptr)
        for (std::uint64_t i = 0; i < count; ++i) releaseOne(records[i]);
    freeAndClear(records);
    count = 0;
}

}  // namespace

void releaseProperties(MF4Property*& properties, std::uint64_t& count) {
    releaseArray(properties, count, [](MF4Property& property) {
        freeAndClear(property.name);
        freeAndClear(property.value);
    });
}

void releaseChannel(MF4Channel& channel) {
    releaseArray(channel.children, channel.childCount, releaseChannel);
    freeAndClear(channel.name);
    freeAndClear(channel.sourceName);
    freeAndClear(channel.sourcePath);
    freeAndClear(channel.displayName);
    freeAndClear(channel.comment);
    freeAndClear(channel.unit);
    freeAndClear(channel.format);
    releaseProperties(channel.properties, channel.propertyCount);
    releaseAxes(channel);
}

void releaseContentTree(MF4Content* content) {
    if (content == nullptr) return;
    freeAndClear(content->toolVendor);
    freeAndClear(content->toolVersion);
    freeAndClear(content->filePath);
    freeAndClear(content->headerComment);
    freeAndClear(content->historyComment);
    releaseArray(content->channels, content->channelCount, releaseChannel);
    releaseArray(content->groups, content->groupCount, releaseGroup);
    releaseArray(content->conversions, content->conversionCount, releaseConversion);
    releaseArray(content->events, content->eventCount, releaseEvent);
    releaseArray(content->attachments, content->attachmentCount, releaseAttachment);
    releaseProperties(content->headerProperties, content->headerPropertyCount);
    releaseArray(content->history, content->historyCount,
                 [](MF4HistoryEntry& entry) { freeAndClear(entry.comment); });
    std::free(content);
}

}  // namespace tarvik
