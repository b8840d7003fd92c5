// The host's side of writing, for tests: a content tree that owns every array and text it
// points to, and write requests built item by item. Through the public interface only.
#pragma once

#include <cstdint>
#include <deque>
#include <filesystem>
#include <string>
#include <vector>

#include "TarvikMF4Access.h"

namespace tarvik::test {

class HostTree {
public:
    explicit HostTree(const std::filesystem::path& file, std::uint16_t version = 410);
    HostTree(const HostTree&) = delete;
    HostTree& operator=(const HostTree&) = delete;

    // A text that lives as long as the tree.
    MF4Char* text(std::u16string_view value);

    // Groups, channels and conversions get the "none" indices set; the references stay valid
    // until the next add of the same kind. Call content() once everything is added.
    MF4ChannelGroup& addGroup(std::u16string_view name, std::uint32_t masterType = 5);
    MF4Channel& addChannel(std::uint64_t group, std::u16string_view name, std::uint32_t valueType,
                           std::uint32_t bitCount);
    MF4Conversion& addConversion(std::uint32_t type, std::u16string_view name = u"");
    MF4Event& addEvent(std::uint32_t type, std::u16string_view name, double time);
    MF4Attachment& addAttachment(std::u16string_view fileName, const std::string& bytes, bool embedded);

    // The tree with its arrays in place, ready for WriteContent.
    MF4Content* content();
    const std::u16string& path() const { return path_; }

    // WriteContent on the tree: the result; `findings` receives the finding numbers.
    std::uint32_t create(std::vector<std::uint32_t>* findings = nullptr);
    std::uint32_t finish(std::vector<std::uint32_t>* findings = nullptr);

private:
    std::u16string path_;
    MF4Content root_{};
    std::deque<std::u16string> texts_;
    std::deque<std::string> bytes_;
    std::vector<MF4ChannelGroup> groups_;
    std::vector<MF4Channel> channels_;
    std::vector<MF4Conversion> conversions_;
    std::vector<MF4Event> events_;
    std::vector<MF4Attachment> attachments_;
};

// One WriteData request, built item by item; the value arrays stay the caller's.
class WriteBatch {
public:
    WriteBatch& group(std::uint64_t group, std::uint32_t valueType, const void* values, std::uint64_t count);
    WriteBatch& interruptions(std::vector<std::uint64_t> indices);
    WriteBatch& channel(std::uint64_t channel, std::uint32_t valueType, const void* values, std::uint64_t count,
                        std::vector<std::uint64_t> memberPath = {}, const void* lengths = nullptr);
    WriteBatch& events(MF4Event* events, std::uint64_t count);

    // WriteData with this request: the result; `findings` receives the finding numbers.
    std::uint32_t write(MF4Content* content, std::vector<std::uint32_t>* findings = nullptr);

private:
    std::vector<MF4WriteGroup> groups_;
    std::vector<MF4WriteChannel> channels_;
    std::deque<std::vector<std::uint64_t>> paths_;
    std::vector<std::uint64_t> interruptions_;
    MF4Event* events_ = nullptr;
    std::uint64_t eventCount_ = 0;
};

}  // namespace tarvik::test
