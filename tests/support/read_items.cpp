#include "support/read_items.h"

#include <cstring>
#include <utility>

namespace tarvik::test {

ContentRead::ContentRead(std::u16string file, std::uint64_t filter) : path(std::move(file)) {
    result = filter == 0 ? ReadContent(path.c_str(), &tree, &errors, &errorCount)
                         : ReadFilteredContent(path.c_str(), filter, &tree, &errors, &errorCount);
}

ContentRead::~ContentRead() {
    FreeErrors(errors, errorCount);
    FreeContent(tree);
}

const MF4Error* ContentRead::finding(std::uint32_t number) const {
    for (std::uint64_t i = 0; i < errorCount; ++i)
        if (errors[i].messageId == number) return &errors[i];
    return nullptr;
}

double numberAt(const void* values, std::uint32_t type, std::uint64_t i) {
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

std::uint32_t readData(MF4Content* content, std::uint32_t mode, MF4ReadItem* listA, std::uint64_t countA,
                       MF4ReadItem* listB, std::uint64_t countB, std::uint32_t* cancel) {
    MF4ReadRequest request{};
    request.structSize = sizeof request;
    request.mode = mode;
    request.channelItems = listA;
    request.channelItemCount = countA;
    request.groupItems = listB;
    request.groupItemCount = countB;
    request.cancelFlag = cancel;
    MF4Error* errors = nullptr;
    std::uint64_t count = 0;
    const std::uint32_t result = ReadData(content, &request, &errors, &count);
    FreeErrors(errors, count);
    return result;
}

std::uint32_t fileCall(FileCall call, const std::filesystem::path& file, std::vector<std::uint32_t>* findings) {
    const std::u16string path = widePath(file);
    MF4Error* errors = nullptr;
    std::uint64_t count = 0;
    const std::uint32_t result = call(path.c_str(), &errors, &count);
    for (std::uint64_t i = 0; findings != nullptr && i < count; ++i) findings->push_back(errors[i].messageId);
    FreeErrors(errors, count);
    return result;
}

std::uint64_t channelNamed(const MF4Content& content, std::uint64_t group, const std::string& name) {
    for (std::uint64_t i = 0; i < content.channelCount; ++i) {
        const MF4Channel& channel = content.channels[i];
        std::string text;
        for (const MF4Char* c = channel.name; c && *c; ++c) text.push_back(static_cast<char>(*c));
        if (channel.groupIndex == group && text == name) return i;
    }
    return content.channelCount;
}

}  // namespace tarvik::test
