#include "support/interface_walk.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "support/read_items.h"

namespace tarvik::test {

namespace {

// Every byte the walk reads lands here, so that no read can be left out by the optimiser.
volatile std::uint64_t sink = 0;

class ShapeCheck {
public:
    explicit ShapeCheck(const MF4Content& content) : content_(content) {}

    std::vector<std::string> run() {
        const MF4Content& c = content_;
        for (const MF4Char* text : {c.toolVendor, c.toolVersion, c.filePath, c.headerComment, c.historyComment})
            touch(text);
        properties("header", c.headerProperties, c.headerPropertyCount);
        if (array("channels", c.channels, c.channelCount))
            for (std::uint64_t i = 0; i < c.channelCount; ++i) channel(c.channels[i], 0);
        if (array("groups", c.groups, c.groupCount))
            for (std::uint64_t i = 0; i < c.groupCount; ++i) group(c.groups[i]);
        if (array("conversions", c.conversions, c.conversionCount))
            for (std::uint64_t i = 0; i < c.conversionCount; ++i) conversion(c.conversions[i]);
        if (array("events", c.events, c.eventCount))
            for (std::uint64_t i = 0; i < c.eventCount; ++i) event(c.events[i]);
        if (array("attachments", c.attachments, c.attachmentCount))
            for (std::uint64_t i = 0; i < c.attachmentCount; ++i) attachment(c.attachments[i]);
        if (array("history", c.history, c.historyCount))
            for (std::uint64_t i = 0; i < c.historyCount; ++i) touch(c.history[i].comment);
        return std::move(problems_);
    }

private:
    void problem(const std::string& what) { problems_.push_back(what); }

    static void touch(const MF4Char* text) {
        if (text == nullptr) return;
        std::uint64_t sum = 0;
        for (const MF4Char* p = text; *p != 0; ++p) sum += *p;
        sink = sink + sum;
    }

    // A count goes with an array of that many records, and 0 with null.
    template <typename T>
    bool array(const std::string& what, const T* items, std::uint64_t count) {
        if ((count == 0) != (items == nullptr)) {
            problem(what + ": count " + std::to_string(count) + (items ? " with an array" : " without an array"));
            return false;
        }
        return true;
    }

    // An index into an array of `count` records, or -1.
    void index(const std::string& what, std::int64_t value, std::uint64_t count) {
        if (value != -1 && (value < 0 || static_cast<std::uint64_t>(value) >= count))
            problem(what + ": index " + std::to_string(value) + " of " + std::to_string(count));
    }

    void properties(const std::string& owner, const MF4Property* items, std::uint64_t count) {
        if (!array(owner + " properties", items, count)) return;
        for (std::uint64_t i = 0; i < count; ++i) {
            touch(items[i].name);
            touch(items[i].value);
        }
    }

    void channel(const MF4Channel& ch, int depth) {
        for (const MF4Char* text : {ch.name, ch.sourceName, ch.sourcePath, ch.displayName, ch.comment, ch.unit, ch.format})
            touch(text);
        properties("channel", ch.properties, ch.propertyCount);
        const std::uint64_t channels = content_.channelCount;
        if (ch.groupIndex >= content_.groupCount) problem("channel group index " + std::to_string(ch.groupIndex));
        index("channel conversion", ch.conversion, content_.conversionCount);
        index("channel sync attachment", ch.syncAttachment, content_.attachmentCount);
        index("channel length channel", ch.lengthChannel, channels);
        index("lookup output channel", ch.outputChannel, channels);
        index("lookup comparison channel", ch.comparisonChannel, channels);
        for (const MF4Axis* axis : ch.axes) {
            if (axis == nullptr) continue;
            if (array("axis values", axis->values, axis->valueCount))
                for (std::uint64_t v = 0; v < axis->valueCount; ++v) sink = sink + static_cast<std::uint64_t>(axis->values[v] != 0);
            index("axis input channel", axis->inputChannel, channels);
            index("axis size channel", axis->dynamicSizeChannel, channels);
            index("axis channel", axis->axisChannel, channels);
            index("axis conversion", axis->axisConversion, content_.conversionCount);
        }
        if (depth > 64) {
            problem("structure members nested deeper than 64");
            return;
        }
        if (array("structure members", ch.children, ch.childCount))
            for (std::uint64_t i = 0; i < ch.childCount; ++i) channel(ch.children[i], depth + 1);
    }

    void group(const MF4ChannelGroup& g) {
        for (const MF4Char* text : {g.acquisitionName, g.sourceName, g.sourcePath, g.comment, g.sourceChannelNumber})
            touch(text);
        properties("group", g.properties, g.propertyCount);
        index("master conversion", g.masterConversion, content_.conversionCount);
    }

    void conversion(const MF4Conversion& cc) {
        for (const MF4Char* text : {cc.name, cc.comment, cc.format, cc.unit, cc.formula, cc.defaultText}) touch(text);
        properties("conversion", cc.properties, cc.propertyCount);
        index("default conversion", cc.defaultConversion, content_.conversionCount);
        const std::uint64_t n = cc.entryCount;
        switch (cc.conversionType) {
        case 4:
        case 5:
            if (array("conversion pairs", cc.parameters.pairs, n))
                for (std::uint64_t i = 0; i < n; ++i) sink = sink + static_cast<std::uint64_t>(cc.parameters.pairs[i].key != 0);
            break;
        case 7:
            if (array("conversion value texts", cc.parameters.valueTexts, n))
                for (std::uint64_t i = 0; i < n; ++i) touch(cc.parameters.valueTexts[i].text);
            break;
        case 8:
            if (!array("conversion range texts", cc.parameters.rangeTexts, n)) break;
            for (std::uint64_t i = 0; i < n; ++i) {
                const MF4RangeText& entry = cc.parameters.rangeTexts[i];
                if (entry.refKind == 0) touch(entry.ref.text);
                else index("range text conversion", entry.ref.conversion, content_.conversionCount);
            }
            break;
        default:
            break;
        }
    }

    void event(const MF4Event& ev) {
        for (const MF4Char* text : {ev.name, ev.comment, ev.syntax}) touch(text);
        index("range begin", ev.rangeBegin, content_.eventCount);
        if (!array("event scope", ev.scope, ev.scopeCount)) return;
        // A channel scope that names no channel of the tree holds channelCount.
        const std::uint64_t limit = ev.scopeKind == 1 ? content_.groupCount : content_.channelCount + 1;
        for (std::uint32_t i = 0; i < ev.scopeCount; ++i)
            if (ev.scope[i] >= limit) problem("event scope entry " + std::to_string(ev.scope[i]));
        if (ev.scopeCount != 0 && ev.scopeKind != 1 && ev.scopeKind != 2)
            problem("event scope of kind " + std::to_string(ev.scopeKind));
    }

    void attachment(const MF4Attachment& at) {
        for (const MF4Char* text : {at.fileName, at.mimeType, at.comment}) touch(text);
        properties("attachment", at.properties, at.propertyCount);
        // The data may be missing (an attachment that holds less than it declares); when it is
        // there, it has `size` bytes.
        if (at.data == nullptr) return;
        std::uint64_t sum = 0;
        for (std::uint64_t i = 0; i < at.size; ++i) sum += at.data[i];
        sink = sink + sum;
    }

    const MF4Content& content_;
    std::vector<std::string> problems_;
};

// ----------------------------------------------------------------------------------------------
// Values.

// The most values and bytes one item may ask for: a host sizes its buffers, it does not take a
// damaged count at its word.
constexpr std::uint64_t kSlots = 7;
constexpr std::uint64_t kBufferBytes = 1 << 16;

// One item of a channel (or structure member) with buffers a host sizes from the tree: numbers
// and strings in 8-byte slots, byte arrays in records of their declared size (fewer records when
// they are large) with a bounded byteData for the variable-length ones.
struct Item {
    Item(const MF4Channel* ch, std::uint64_t index, std::vector<std::uint64_t> memberPath, std::uint64_t slots)
        : channel(ch), buffer(slots), path(std::move(memberPath)) {
        item = buffer.item(index);
        item.memberPath = path.empty() ? nullptr : path.data();
        item.memberCount = path.size();
    }
    const MF4Channel* channel;  // null for a group item
    Buffer<std::uint64_t> buffer;
    std::vector<std::uint64_t> path;
    std::vector<std::uint8_t> bytes;
    MF4ReadItem item{};
};

bool isNumber(std::uint32_t type) { return type != 30 && type != 31 && type != 36 && type != 0; }

std::uint64_t elementCount(const MF4Channel& channel) {
    std::uint64_t elements = 1;
    for (unsigned d = 0; d < channel.dimensionCount && d < 3; ++d)
        elements = std::min<std::uint64_t>(elements * std::max<std::uint64_t>(channel.dimensionSizes[d], 1), kBufferBytes);
    return elements;
}

std::unique_ptr<Item> valueItem(const MF4Channel& channel, std::uint64_t index, const std::vector<std::uint64_t>& path) {
    const bool bytes = channel.valueType == 36, variable = channel.channelType == 1;
    auto it = std::make_unique<Item>(&channel, index, path, bytes ? (variable ? kBufferBytes / 8 : 1) : kSlots * elementCount(channel));
    it->item.valueKind = channel.valueType == 30 || channel.valueType == 31 ? channel.valueType : 0;
    if (!bytes) return it;
    const std::uint64_t recordBytes = variable ? (channel.bitCount + 7ull) / 8 : (channel.bitCount * elementCount(channel) + 7) / 8;
    const std::uint64_t records = recordBytes == 0 ? kSlots : std::min(kSlots, kBufferBytes / recordBytes);
    it->bytes.assign(std::max<std::uint64_t>(records * recordBytes, 1), 0);
    it->item.values = it->bytes.data();
    it->item.capacity = records;
    if (variable) {
        it->item.byteData = it->buffer.values.data();
        it->item.reserved = kBufferBytes;
    }
    return it;
}

// Every channel of group `g` and every structure member below it.
std::vector<std::unique_ptr<Item>> itemsOf(const MF4Content& content, std::uint64_t g) {
    std::vector<std::unique_ptr<Item>> items;
    std::vector<std::uint64_t> path;
    std::function<void(const MF4Channel&, std::uint64_t)> add = [&](const MF4Channel& channel, std::uint64_t index) {
        items.push_back(valueItem(channel, index, path));
        for (std::uint64_t m = 0; m < channel.childCount && path.size() < 8; ++m) {
            path.push_back(m);
            add(channel.children[m], index);
            path.pop_back();
        }
    };
    for (std::uint64_t c = 0; c < content.channelCount; ++c)
        if (content.channels[c].groupIndex == g) add(content.channels[c], c);
    return items;
}

class ValueCheck {
public:
    ValueCheck(MF4Content& content, std::vector<std::string>& problems) : content_(content), problems_(problems) {}

    void run() {
        for (std::uint64_t g = 0; g < content_.groupCount; ++g) readGroup(g);
    }

private:
    void read(std::uint32_t mode, const std::vector<Item*>& listA, const std::vector<Item*>& listB) {
        std::vector<MF4ReadItem> a, b;
        for (Item* it : listA) a.push_back(it->item);
        for (Item* it : listB) b.push_back(it->item);
        readData(&content_, mode, a.data(), a.size(), b.data(), b.size());
        for (const auto* list : {&listA, &listB}) {
            for (Item* it : *list) {
                const Buffer<std::uint64_t>& c = it->buffer;
                if (c.stored > c.total || c.eventsStored > c.eventsTotal || c.eventsStored > it->item.eventCapacity)
                    problems_.push_back("mode " + std::to_string(mode) + ", channel " + std::to_string(it->item.index) +
                                        ": stored more than counted or than fits");
                // The caller owns its strings once ReadData returns.
                if (it->item.valueKind != 0 && list == &listA)
                    FreeStrings(reinterpret_cast<void**>(it->buffer.values.data()), std::min(c.stored, it->item.capacity),
                                it->item.valueKind == 31 ? 1 : 0);
            }
        }
    }

    // A master value as a time, for the time-based requests.
    double timeOf(const MF4ChannelGroup& group, double raw) const {
        if (group.masterConversion >= 0 && static_cast<std::uint64_t>(group.masterConversion) < content_.conversionCount) {
            const MF4Conversion& cc = content_.conversions[group.masterConversion];
            if (cc.conversionType == 1) return cc.parameters.linear[0] + cc.parameters.linear[1] * raw;
        }
        return raw;
    }

    void readGroup(std::uint64_t g) {
        const MF4ChannelGroup& group = content_.groups[g];
        const auto items = itemsOf(content_, g);
        std::vector<Item*> all;
        for (const auto& it : items) all.push_back(it.get());

        // Modes 0 and 2: the master values and every channel, the whole range, then the time
        // range of the first records.
        Item master(nullptr, g, {}, kSlots);
        read(0, all, {&master});
        if (master.buffer.stored == 0) return;
        const double first = timeOf(group, numberAt(master.buffer.values.data(), group.masterValueType, 0));
        const double last =
            timeOf(group, numberAt(master.buffer.values.data(), group.masterValueType, master.buffer.stored - 1));
        for (Item* it : all) it->item.startTime = first, it->item.endTime = last;
        master.item.startTime = first, master.item.endTime = last;
        read(2, all, {&master});

        // Modes 1 and 3 on the numeric channels, each paired with a position buffer: buckets of
        // three records, and time buckets from the first record on, from a reduction level where
        // the file has one; then mode 4 on the first extreme a level gave.
        std::vector<std::unique_ptr<Item>> reduced, positions;
        std::vector<Item*> listA, listB;
        for (const auto& it : items) {
            if (!isNumber(it->channel->valueType)) continue;
            for (auto* list : {&reduced, &positions}) {
                auto x = std::make_unique<Item>(it->channel, it->item.index, it->path, 2 * kSlots * elementCount(*it->channel));
                x->item.method = static_cast<std::uint32_t>(reduced.size() % 4);
                x->item.sampleCount = 1000;
                x->item.bucketSamples = 3;
                x->item.startTime = first;
                x->item.endTime = 1e300;
                x->item.bucketTime = last > first && std::isfinite(last - first) ? last - first : 1.0;
                x->item.levelTime = -1;
                x->item.withNeighbours = 1;
                (list == &reduced ? listA : listB).push_back(x.get());
                list->push_back(std::move(x));
            }
        }
        if (reduced.empty()) return;
        read(1, listA, listB);
        read(3, listA, listB);
        for (std::size_t k = 0; k < reduced.size(); ++k) {
            Item& it = *reduced[k];
            if (it.buffer.stored == 0 || it.buffer.usedInterval <= 0) continue;
            it.item.reducedType = it.channel->valueType;
            std::memcpy(it.item.reducedValue.bytes, it.buffer.values.data(), 8);
            it.item.levelTime = it.buffer.usedInterval;
            it.item.startTime = timeOf(group, numberAt(positions[k]->buffer.values.data(), group.masterValueType, 0));
            read(4, {&it}, {});
        }
    }

    MF4Content& content_;
    std::vector<std::string>& problems_;
};

}  // namespace

std::vector<std::string> treeShapeProblems(const MF4Content& content) { return ShapeCheck(content).run(); }

std::vector<std::string> readThroughInterface(const std::u16string& path) {
    ContentRead read(path);
    if (read.tree == nullptr) return {};
    std::vector<std::string> problems = treeShapeProblems(*read.tree);
    if (problems.empty()) ValueCheck(*read.tree, problems).run();
    return problems;
}

std::vector<std::string> changeThroughInterface(std::string bytes, const std::string& file) {
    std::vector<std::string> problems;
    if (bytes.size() < 8) return problems;
    for (const auto& [identifier, change, name] : {std::tuple{"UnFinMF ", FileCall{RecoverStreamingFile}, "recovered"},
                                                   std::tuple{"MDF     ", FileCall{AddReductionData}, "reduced"}}) {
        bytes.replace(0, 8, identifier);
        std::FILE* out = std::fopen(file.c_str(), "wb");
        if (out == nullptr) return problems;
        const bool written = std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
        std::fclose(out);
        if (!written) return problems;
        fileCall(change, file);
        for (const std::string& problem : readThroughInterface(widePath(file))) problems.push_back(std::string(name) + ": " + problem);
    }
    // The file as AddReductionData left it is read and changed in place: a bookmark more and a
    // property set, on whatever the tree holds.
    const std::u16string path = widePath(file);
    ContentRead read(path);
    if (read.tree == nullptr) return problems;
    std::vector<MF4Event> bookmarks(read.tree->events, read.tree->events + read.tree->eventCount);
    MF4Event mark{.structSize = sizeof(MF4Event), .eventType = 6, .syncValue = 1.0, .rangeBegin = -1};
    bookmarks.push_back(mark);
    MF4Error* errors = nullptr;
    std::uint64_t count = 0;
    UpdateBookmarks(read.tree, bookmarks.data(), bookmarks.size(), u"fuzz", &errors, &count);
    FreeErrors(errors, count);
    MF4Char name[] = u"checked", value[] = u"1";
    const MF4Property property{sizeof(MF4Property), name, 20, value};
    errors = nullptr;
    count = 0;
    UpdateProperties(read.tree, nullptr, &property, 1, nullptr, &errors, &count);
    FreeErrors(errors, count);
    for (const std::string& problem : treeShapeProblems(*read.tree)) problems.push_back("updated tree: " + problem);
    for (const std::string& problem : readThroughInterface(path)) problems.push_back("updated: " + problem);
    return problems;
}

}  // namespace tarvik::test
