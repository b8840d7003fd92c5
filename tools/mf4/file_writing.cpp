#include "file_writing.h"

#include <algorithm>
#include <filesystem>
#include <iostream>
#include <span>
#include <system_error>

#include "findings_printer.h"
#include "host_text.h"
#include "one_line.h"

namespace mf4tool {

MF4Char* TextStore::add(std::string_view utf8) {
    if (utf8.empty()) return nullptr;
    return texts_.emplace_back(toLibraryText(utf8)).data();
}

MF4Char* TextStore::copy(const MF4Char* text) {
    if (text == nullptr) return nullptr;
    return texts_.emplace_back(text).data();
}

MF4Event pointEvent(TextStore& texts, std::uint32_t type, std::uint32_t cause, double time,
                    std::string_view name, std::string_view comment) {
    MF4Event event{};
    event.structSize = sizeof event;
    event.eventType = type;
    event.cause = cause;
    event.syncValue = time;
    event.name = texts.add(name);
    event.comment = texts.add(comment);
    event.rangeBegin = -1;
    return event;
}

FileWriting::FileWriting(MF4Content& content, const std::string& path, std::string who)
    : content_(content), path_(path), libraryPath_(toLibraryText(path)), who_(std::move(who)) {
    content_.filePath = libraryPath_.data();
}

FileWriting::~FileWriting() {
    if (state_ == State::fresh || (state_ == State::finished && worst_ != MF4_ERRORS)) return;
    // After a failed WriteData or FinishWriting the library has already let the file go.
    if (state_ == State::open) CloseUnfinished(&content_);
    std::error_code ignored;
    if (std::filesystem::remove(systemPath(path_), ignored))
        std::cerr << who_ << ": removed the unfinished " << flattened(path_) << '\n';
}

bool FileWriting::settle(const char* call, std::uint32_t result, MF4Error* errors,
                         std::uint64_t count) {
    const std::span<const MF4Error> findings(errors, errors == nullptr ? 0 : count);
    printFindings(std::cerr, findings);
    if (errors != nullptr) FreeErrors(errors, count);
    worst_ = std::max(worst_, result);
    if (result == MF4_ERRORS && findings.empty())
        std::cerr << who_ << ": " << call << " refused its arguments\n";
    return result != MF4_ERRORS;
}

bool FileWriting::create() {
    // A file that a failed WriteContent leaves where there was none is the call's debris; one
    // that was there before may be untouched and stays.
    std::error_code ignored;
    const bool existed = std::filesystem::exists(systemPath(path_), ignored);
    MF4Error* errors = nullptr;
    std::uint64_t count = 0;
    const std::uint32_t result = WriteContent(libraryPath_.c_str(), &content_, &errors, &count);
    // A WriteContent with any finding leaves no file open for the tree.
    if (result == MF4_OK) state_ = State::open;
    else if (!existed) state_ = State::failed;
    settle("WriteContent", result, errors, count);
    if (result != MF4_OK)
        std::cerr << who_ << ": cannot create " << flattened(path_) << '\n';
    return result == MF4_OK;
}

bool FileWriting::write(MF4WriteRequest& request) {
    MF4Error* errors = nullptr;
    std::uint64_t count = 0;
    const std::uint32_t result = WriteData(&content_, &request, &errors, &count);
    // A refused request keeps the file open; one that raised an error ended the write.
    if (result == MF4_ERRORS && count != 0) state_ = State::failed;
    return settle("WriteData", result, errors, count);
}

bool FileWriting::finish() {
    MF4Error* errors = nullptr;
    std::uint64_t count = 0;
    const std::uint32_t result = FinishWriting(&content_, &errors, &count);
    state_ = State::finished;
    return settle("FinishWriting", result, errors, count);
}

}  // namespace mf4tool
