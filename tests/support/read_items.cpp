#include "support/read_items.h"

namespace tarvik::test {

OpenedFile::OpenedFile(const std::string& bytes) { open(widePath(dir_.write("read.mf4", bytes))); }

OpenedFile::OpenedFile(const std::filesystem::path& file) { open(widePath(file)); }

void OpenedFile::open(const std::u16string& path) {
    MF4Error* errors = nullptr;
    std::uint64_t count = 0;
    result_ = ReadContent(path.c_str(), &content_, &errors, &count);
    FreeErrors(errors, count);
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

}  // namespace tarvik::test
