#include "support/host_tree.h"

#include <cstring>

#include "support/temp_dir.h"

namespace tarvik::test {

namespace {

// Finding numbers of a call's errors, released.
std::uint32_t collect(std::uint32_t result, MF4Error* errors, std::uint64_t count, std::vector<std::uint32_t>* findings) {
    for (std::uint64_t i = 0; findings != nullptr && i < count; ++i) findings->push_back(errors[i].messageId);
    FreeErrors(errors, count);
    return result;
}

}  // namespace

HostTree::HostTree(const std::filesystem::path& file, std::uint16_t version) : path_(widePath(file)) {
    root_.formatVersion = version;
    std::memcpy(root_.programId, "tests   ", 8);
    root_.timeKind = 2;
    root_.startTimeNs = 1'700'000'000'000'000'000;
    root_.filePath = text(path_);
}

MF4Char* HostTree::text(std::u16string_view value) { return texts_.emplace_back(value).data(); }

MF4ChannelGroup& HostTree::addGroup(std::u16string_view name, std::uint32_t masterType) {
    MF4ChannelGroup& group = groups_.emplace_back();
    group.structSize = sizeof group;
    group.acquisitionName = text(name);
    group.masterValueType = masterType;
    group.masterConversion = -1;
    return group;
}

MF4Channel& HostTree::addChannel(std::uint64_t group, std::u16string_view name, std::uint32_t valueType,
                                 std::uint32_t bitCount) {
    MF4Channel& channel = channels_.emplace_back();
    channel.structSize = sizeof channel;
    channel.groupIndex = group;
    channel.name = text(name);
    channel.valueType = valueType;
    channel.bitCount = bitCount;
    channel.conversion = channel.syncAttachment = channel.lengthChannel = -1;
    channel.outputChannel = channel.comparisonChannel = -1;
    return channel;
}

MF4Conversion& HostTree::addConversion(std::uint32_t type, std::u16string_view name) {
    MF4Conversion& conversion = conversions_.emplace_back();
    conversion.structSize = sizeof conversion;
    conversion.conversionType = type;
    conversion.defaultConversion = -1;
    if (!name.empty()) conversion.name = text(name);
    return conversion;
}

MF4Event& HostTree::addEvent(std::uint32_t type, std::u16string_view name, double time) {
    MF4Event& event = events_.emplace_back();
    event.structSize = sizeof event;
    event.eventType = type;
    event.name = text(name);
    event.syncValue = time;
    event.rangeBegin = -1;
    return event;
}

MF4Attachment& HostTree::addAttachment(std::u16string_view fileName, const std::string& bytes, bool embedded) {
    MF4Attachment& attachment = attachments_.emplace_back();
    attachment.structSize = sizeof attachment;
    attachment.fileName = text(fileName);
    attachment.embedded = embedded;
    attachment.md5Valid = 1;
    std::string& data = bytes_.emplace_back(bytes);
    attachment.data = reinterpret_cast<std::uint8_t*>(data.data());
    attachment.size = data.size();
    return attachment;
}

MF4Content* HostTree::content() {
    root_.groups = groups_.empty() ? nullptr : groups_.data();
    root_.groupCount = groups_.size();
    root_.channels = channels_.empty() ? nullptr : channels_.data();
    root_.channelCount = channels_.size();
    root_.conversions = conversions_.empty() ? nullptr : conversions_.data();
    root_.conversionCount = conversions_.size();
    root_.events = events_.empty() ? nullptr : events_.data();
    root_.eventCount = events_.size();
    root_.attachments = attachments_.empty() ? nullptr : attachments_.data();
    root_.attachmentCount = attachments_.size();
    return &root_;
}

std::uint32_t HostTree::create(std::vector<std::uint32_t>* findings) {
    MF4Error* errors = nullptr;
    std::uint64_t count = 0;
    const std::uint32_t result = WriteContent(path_.c_str(), content(), &errors, &count);
    return collect(result, errors, count, findings);
}

std::uint32_t HostTree::finish(std::vector<std::uint32_t>* findings) {
    MF4Error* errors = nullptr;
    std::uint64_t count = 0;
    const std::uint32_t result = FinishWriting(&root_, &errors, &count);
    return collect(result, errors, count, findings);
}

WriteBatch& WriteBatch::group(std::uint64_t group, std::uint32_t valueType, const void* values, std::uint64_t count) {
    MF4WriteGroup& item = groups_.emplace_back();
    item.structSize = sizeof item;
    item.group = group;
    item.valueType = valueType;
    item.values = const_cast<void*>(values);
    item.valueCount = count;
    return *this;
}

WriteBatch& WriteBatch::interruptions(std::vector<std::uint64_t> indices) {
    interruptions_ = std::move(indices);
    return *this;
}

WriteBatch& WriteBatch::channel(std::uint64_t channel, std::uint32_t valueType, const void* values, std::uint64_t count,
                                std::vector<std::uint64_t> memberPath, const void* lengths) {
    MF4WriteChannel& item = channels_.emplace_back();
    item.structSize = sizeof item;
    item.channel = channel;
    item.valueType = valueType;
    item.values = const_cast<void*>(values);
    item.valueCount = count;
    item.lengths = const_cast<void*>(lengths);
    std::vector<std::uint64_t>& path = paths_.emplace_back(std::move(memberPath));
    item.memberCount = path.size();
    item.memberPath = path.empty() ? nullptr : path.data();
    return *this;
}

WriteBatch& WriteBatch::events(MF4Event* events, std::uint64_t count) {
    events_ = events;
    eventCount_ = count;
    return *this;
}

std::uint32_t WriteBatch::write(MF4Content* content, std::vector<std::uint32_t>* findings) {
    if (!groups_.empty() && !interruptions_.empty()) {
        groups_.front().interruptions = interruptions_.data();
        groups_.front().interruptionCount = interruptions_.size();
    }
    MF4WriteRequest request{};
    request.structSize = sizeof request;
    request.groups = groups_.data();
    request.groupCount = groups_.size();
    request.channels = channels_.data();
    request.channelCount = channels_.size();
    request.events = events_;
    request.eventCount = eventCount_;
    MF4Error* errors = nullptr;
    std::uint64_t count = 0;
    const std::uint32_t result = WriteData(content, &request, &errors, &count);
    return collect(result, errors, count, findings);
}

}  // namespace tarvik::test
