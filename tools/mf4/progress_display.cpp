#include "progress_display.h"

#include <cstdio>
#include <iostream>

#if defined(_WIN32)
#include <io.h>
#define MF4_ISATTY _isatty
#define MF4_FILENO _fileno
#else
#include <unistd.h>
#define MF4_ISATTY isatty
#define MF4_FILENO fileno
#endif

namespace mf4tool {

ProgressDisplay::ProgressDisplay(std::string label)
    : label_(std::move(label)), enabled_(MF4_ISATTY(MF4_FILENO(stderr)) != 0) {}

void ProgressDisplay::update(std::uint64_t done, std::uint64_t total) {
    if (!enabled_ || finished_) return;
    const int percent = total == 0 || done >= total
                            ? 100
                            : static_cast<int>(static_cast<double>(done) * 100.0 /
                                               static_cast<double>(total));
    if (percent == shown_) return;
    shown_ = percent;
    std::cerr << '\r' << label_ << ": " << percent << '%' << std::flush;
}

void ProgressDisplay::finish() {
    if (finished_) return;
    finished_ = true;
    if (shown_ >= 0) std::cerr << std::endl;
}

}  // namespace mf4tool
