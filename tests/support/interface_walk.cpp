#include "support/interface_walk.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

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
        if (ch.dimensionCount > 3) problem("channel with " + std::to_string(ch.dimensionCount) + " dimensions");
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

struct Counters {
    std::uint64_t stored = 0, total = 0, eventsStored = 0, eventsTotal = 0;
};

// One channel item with its own buffers.
struct Item {
    MF4ReadItem item{};
    Counters counters;
    std::vector<std::uint64_t> values;  // 8-byte slots hold every numeric kind and a pointer
    std::vector<std::uint8_t> bytes;    // byte arrays: records, or the bytes of variable-length values
    std::vector<std::uint64_t> path;
    std::uint64_t events[4] = {};
    double usedInterval = 0;
    const MF4Channel* channel = nullptr;

    Item() = default;
    Item(const Item&) = delete;
    Item& operator=(const Item&) = delete;

    void bind() {
        item.structSize = sizeof item;
        item.valuesStored = &counters.stored;
        item.valuesTotal = &counters.total;
        item.eventsStored = &counters.eventsStored;
        item.eventsTotal = &counters.eventsTotal;
        item.eventSamples = events;
        item.eventCapacity = 4;
        item.usedInterval = &usedInterval;
        item.memberPath = path.empty() ? nullptr : path.data();
        item.memberCount = path.size();
    }
};

bool isNumber(std::uint32_t type) { return type != 30 && type != 31 && type != 36 && type != 0; }

std::uint64_t elementCount(const MF4Channel& channel) {
    std::uint64_t elements = 1;
    for (unsigned d = 0; d < channel.dimensionCount && d < 3; ++d)
        elements = std::min<std::uint64_t>(elements * std::max<std::uint64_t>(channel.dimensionSizes[d], 1), kBufferBytes);
    return elements;
}

// Buffers for one channel as a host sizes them from the tree: numbers and strings in 8-byte
// slots, byte arrays in records of their declared size (fewer records when they are large).
void sizeFor(Item& it, const MF4Channel& channel) {
    it.channel = &channel;
    it.item.valueKind = channel.valueType == 30 || channel.valueType == 31 ? channel.valueType : 0;
    if (channel.valueType != 36) {
        it.values.assign(kSlots * elementCount(channel), 0);
        it.item.values = it.values.data();
        it.item.capacity = it.values.size();
        return;
    }
    const std::uint64_t recordBytes =
        channel.channelType == 1 ? (channel.bitCount + 7ull) / 8 : (channel.bitCount * elementCount(channel) + 7) / 8;
    const std::uint64_t records = recordBytes == 0 ? kSlots : std::min(kSlots, kBufferBytes / recordBytes);
    it.bytes.assign(std::max<std::uint64_t>(records * recordBytes, 1), 0);
    it.item.values = it.bytes.data();
    it.item.capacity = records;
    if (channel.channelType == 1) {
        it.values.assign(kBufferBytes / 8, 0);
        it.item.byteData = it.values.data();
        it.item.reserved = kBufferBytes;
    }
}

// Every channel of group `g` with the member paths of its structure members.
void collectItems(const MF4Content& content, std::uint64_t g, std::vector<std::unique_ptr<Item>>& items) {
    std::function<void(const MF4Channel&, std::uint64_t, std::vector<std::uint64_t>&)> add =
        [&](const MF4Channel& channel, std::uint64_t index, std::vector<std::uint64_t>& path) {
            auto it = std::make_unique<Item>();
            it->item.index = index;
            it->path = path;
            sizeFor(*it, channel);
            it->bind();
            items.push_back(std::move(it));
            if (path.size() >= 8) return;
            for (std::uint64_t m = 0; m < channel.childCount; ++m) {
                path.push_back(m);
                add(channel.children[m], index, path);
                path.pop_back();
            }
        };
    for (std::uint64_t c = 0; c < content.channelCount; ++c) {
        if (content.channels[c].groupIndex != g) continue;
        std::vector<std::uint64_t> path;
        add(content.channels[c], c, path);
    }
}

class ValueCheck {
public:
    ValueCheck(MF4Content& content, std::vector<std::string>& problems) : content_(content), problems_(problems) {}

    void run() {
        for (std::uint64_t g = 0; g < content_.groupCount; ++g) readGroup(g);
    }

private:
    std::uint32_t read(std::uint32_t mode, std::vector<MF4ReadItem>& listA, std::vector<MF4ReadItem>& listB) {
        MF4ReadRequest request{};
        request.structSize = sizeof request;
        request.mode = mode;
        request.channelItems = listA.data();
        request.channelItemCount = listA.size();
        request.groupItems = listB.data();
        request.groupItemCount = listB.size();
        MF4Error* errors = nullptr;
        std::uint64_t count = 0;
        const std::uint32_t result = ReadData(&content_, &request, &errors, &count);
        FreeErrors(errors, count);
        return result;
    }

    void expectCounters(const Item& it, std::uint32_t mode, const char* list) {
        const Counters& c = it.counters;
        if (c.stored > c.total || c.eventsStored > c.eventsTotal || c.eventsStored > it.item.eventCapacity)
            problems_.push_back("mode " + std::to_string(mode) + ", list " + list + ", channel " +
                                std::to_string(it.item.index) + ": stored more than counted or than fits");
    }

    // The caller owns its strings once ReadData returns.
    static void releaseStrings(Item& it) {
        if (it.item.valueKind == 0) return;
        FreeStrings(reinterpret_cast<void**>(it.values.data()), std::min(it.counters.stored, it.item.capacity),
                    it.item.valueKind == 31 ? 1 : 0);
    }

    // A master value as a time, for the time-based requests.
    double timeOf(const MF4ChannelGroup& group, double raw) const {
        if (group.masterConversion >= 0 && static_cast<std::uint64_t>(group.masterConversion) < content_.conversionCount) {
            const MF4Conversion& cc = content_.conversions[group.masterConversion];
            if (cc.conversionType == 1) return cc.parameters.linear[0] + cc.parameters.linear[1] * raw;
        }
        return raw;
    }

    // Value `i` of a buffer of values of VARTYPE `type`, as a double.
    static double numberAt(const void* values, std::uint32_t type, std::uint64_t i) {
        const auto* bytes = static_cast<const std::uint8_t*>(values);
        auto at = [&](auto kind) {
            decltype(kind) value;
            std::memcpy(&value, bytes + i * sizeof value, sizeof value);
            return static_cast<double>(value);
        };
        switch (type) {
        case 2: return at(std::int16_t{});
        case 3: return at(std::int32_t{});
        case 4: return at(float{});
        case 5: return at(double{});
        case 16: return at(std::int8_t{});
        case 17: return at(std::uint8_t{});
        case 18: return at(std::uint16_t{});
        case 19: return at(std::uint32_t{});
        case 20: return at(std::int64_t{});
        default: return at(std::uint64_t{});
        }
    }

    // The master value of the last record the item counted.
    double lastMasterValue(const Item& master) {
        Item last;
        last.item.index = master.item.index;
        last.values.assign(1, 0);
        last.item.values = last.values.data();
        last.item.capacity = 1;
        last.bind();
        last.item.firstSample = master.counters.total - 1;
        last.item.sampleCount = 1;
        std::vector<MF4ReadItem> none, listB{last.item};
        read(0, none, listB);
        return numberAt(last.values.data(), content_.groups[master.item.index].masterValueType, 0);
    }

    void readGroup(std::uint64_t g) {
        const MF4ChannelGroup& group = content_.groups[g];
        std::vector<std::unique_ptr<Item>> items;
        collectItems(content_, g, items);

        // Modes 0 and 2: the master values and every channel, the whole range and then a time range.
        Item master;
        master.item.index = g;
        master.values.assign(kSlots, 0);
        master.item.values = master.values.data();
        master.item.capacity = kSlots;
        master.bind();
        std::vector<MF4ReadItem> listA;
        for (auto& it : items) listA.push_back(it->item);
        std::vector<MF4ReadItem> listB{master.item};
        double first = 0, last = 0;
        for (std::uint32_t mode : {0u, 2u}) {
            if (mode == 2)
                for (MF4ReadItem* item : pointers(listA, listB)) item->startTime = first, item->endTime = (first + last) / 2;
            read(mode, listA, listB);
            expectCounters(master, mode, "B");
            for (auto& it : items) {
                expectCounters(*it, mode, "A");
                releaseStrings(*it);
            }
            if (mode == 0 && master.counters.stored > 0) {
                first = timeOf(group, numberAt(master.values.data(), group.masterValueType, 0));
                last = timeOf(group, lastMasterValue(master));
            }
        }

        // Modes 1 and 3: the numeric channels paired with position buffers; then mode 4 on the
        // first extreme of each, from the reduction level mode 3 read.
        std::vector<std::unique_ptr<Item>> reduced, positions;
        for (auto& it : items) {
            if (!isNumber(it->channel->valueType)) continue;
            auto a = std::make_unique<Item>(), b = std::make_unique<Item>();
            for (Item* x : {a.get(), b.get()}) {
                x->item.index = it->item.index;
                x->path = it->path;
                x->values.assign(2 * kSlots * elementCount(*it->channel), 0);
                x->item.values = x->values.data();
                x->item.capacity = x->values.size();
                x->bind();
                x->item.method = static_cast<std::uint32_t>(reduced.size() % 4);
                x->item.sampleCount = 1000;
                x->item.bucketSamples = 3;
                x->item.startTime = first;
                x->item.endTime = last;
                x->item.bucketTime = last > first && std::isfinite(last - first) ? (last - first) / 5 : 1.0;
                x->item.levelTime = -1;
                x->item.withNeighbours = 1;
            }
            a->channel = b->channel = it->channel;
            reduced.push_back(std::move(a));
            positions.push_back(std::move(b));
        }
        if (reduced.empty()) return;
        for (std::uint32_t mode : {1u, 3u}) {
            std::vector<MF4ReadItem> a, b;
            for (auto& it : reduced) a.push_back(it->item);
            for (auto& it : positions) b.push_back(it->item);
            read(mode, a, b);
            for (std::size_t k = 0; k < reduced.size(); ++k) {
                expectCounters(*reduced[k], mode, "A");
                expectCounters(*positions[k], mode, "B");
            }
        }
        for (std::size_t k = 0; k < reduced.size(); ++k) {
            Item& it = *reduced[k];
            if (it.counters.stored == 0 || it.usedInterval <= 0) continue;
            it.item.reducedType = it.channel->valueType;
            std::memcpy(it.item.reducedValue.bytes, &it.values[0], 8);
            it.item.levelTime = it.usedInterval;
            it.item.startTime = timeOf(group, numberAt(positions[k]->values.data(), group.masterValueType, 0));
            std::vector<MF4ReadItem> a{it.item}, none;
            read(4, a, none);
            expectCounters(it, 4, "A");
        }
    }

    static std::vector<MF4ReadItem*> pointers(std::vector<MF4ReadItem>& a, std::vector<MF4ReadItem>& b) {
        std::vector<MF4ReadItem*> all;
        for (auto& item : a) all.push_back(&item);
        for (auto& item : b) all.push_back(&item);
        return all;
    }

    MF4Content& content_;
    std::vector<std::string>& problems_;
};

}  // namespace

std::vector<std::string> treeShapeProblems(const MF4Content& content) { return ShapeCheck(content).run(); }

std::vector<std::string> readThroughInterface(const std::u16string& path) {
    MF4Content* content = nullptr;
    MF4Error* errors = nullptr;
    std::uint64_t count = 0;
    ReadContent(path.c_str(), &content, &errors, &count);
    FreeErrors(errors, count);
    if (content == nullptr) return {};
    std::vector<std::string> problems = treeShapeProblems(*content);
    if (problems.empty()) ValueCheck(*content, problems).run();
    FreeContent(content);
    return problems;
}

}  // namespace tarvik::test
