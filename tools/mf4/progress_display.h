// A percentage on one terminal line ("\rexporting group 0: 45%") for long work. It shows only
// when stderr is a terminal, so redirected output and logs stay free of it.
#pragma once

#include <cstdint>
#include <string>

namespace mf4tool {

class ProgressDisplay {
public:
    explicit ProgressDisplay(std::string label);
    ~ProgressDisplay() { finish(); }
    ProgressDisplay(const ProgressDisplay&) = delete;
    ProgressDisplay& operator=(const ProgressDisplay&) = delete;

    // Shows done/total as a percentage when it changed since the last call.
    void update(std::uint64_t done, std::uint64_t total);
    // Ends the line once something was shown.
    void finish();

private:
    std::string label_;
    bool enabled_;
    int shown_ = -1;  // percentage on the line, -1 for none yet
    bool finished_ = false;
};

}  // namespace mf4tool
