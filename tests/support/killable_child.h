// A child process that the test can kill at any moment, as a crash would: it runs a body with
// two pipes to the parent, one for reports (child to parent) and one for a go (parent to child).
// On POSIX the child is forked and killed with SIGKILL; on Windows it is this program started
// again (a fork does not exist there) and ended with TerminateProcess. Either way the child
// dies with the parent, and nothing of the child runs the parent's code after the body.
#pragma once

#include <cstddef>
#include <string>

namespace tarvik::test {

// What a child runs: the argument it was started with and the ends of its pipes as C file
// descriptors. Never returns (ends the process with std::_Exit).
using ChildBody = void (*)(const std::string& argument, int reportFd, int goFd);

class KillableChild {
public:
    KillableChild() = default;
    KillableChild(const KillableChild&) = delete;
    KillableChild& operator=(const KillableChild&) = delete;
    // Kills the child if it still runs, and closes the pipes.
    ~KillableChild();

    // Starts `body(argument, ...)` in the child. On Windows the body must be the one that
    // runAsChildWhenAsked hands the restarted program. Empty when it runs, else why not.
    std::string start(ChildBody body, const std::string& argument);

    // Adds the child's reports to `received` until it holds `count` or the pipe ends.
    void readReports(std::string& received, std::size_t count);
    // Sends the go byte; false when it could not be sent.
    bool sendGo();
    // Kills the child and waits for its end; true when the kill ended it, false when it had
    // ended by itself before.
    bool killAndWait();

private:
#if defined(_WIN32)
    void* process_ = nullptr;
    void* job_ = nullptr;
#else
    int pid_ = -1;
#endif
    int reports_ = -1;  // the parent's ends
    int go_ = -1;
};

// The child's side of a pipe: one byte written in one call (so that a kill never leaves a part
// of it), or read; false when the parent is gone.
void writeByte(int fd, char byte);
bool readByte(int fd);

// On Windows: when this process is a child that KillableChild started, runs `body` and never
// returns. Called by a static initializer, before main. Elsewhere does nothing.
void runAsChildWhenAsked(ChildBody body);

}  // namespace tarvik::test
