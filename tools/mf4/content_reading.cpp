#include "content_reading.h"

#include "host_text.h"

namespace mf4tool {

namespace {

// Filter bit of ReadFilteredContent that leaves the events out.
constexpr std::uint64_t kSkipEvents = 1;

}  // namespace

ContentReading::ContentReading(const std::string& file, bool withEvents) {
    const std::u16string path = toLibraryText(file);
    result_ = withEvents ? ReadContent(path.c_str(), &content_, &errors_, &errorCount_)
                         : ReadFilteredContent(path.c_str(), kSkipEvents, &content_, &errors_,
                                               &errorCount_);
}

ContentReading::~ContentReading() {
    // The interface promises only that a non-null array may be released.
    if (errors_ != nullptr) FreeErrors(errors_, errorCount_);
    FreeContent(content_);
}

std::span<const MF4Error> ContentReading::findings() const {
    if (errors_ == nullptr) return {};
    return {errors_, static_cast<std::size_t>(errorCount_)};
}

}  // namespace mf4tool
