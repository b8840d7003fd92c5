#include "support/killable_child.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace tarvik::test {
namespace {

void closeEnd(int& fd) {
#if defined(_WIN32)
    if (fd >= 0) _close(fd);
#else
    if (fd >= 0) close(fd);
#endif
    fd = -1;
}

}  // namespace

void writeByte(int fd, char byte) {
#if defined(_WIN32)
    while (_write(fd, &byte, 1) < 0 && errno == EINTR) {}
#else
    while (write(fd, &byte, 1) < 0 && errno == EINTR) {}
#endif
}

bool readByte(int fd) {
    char byte = 0;
#if defined(_WIN32)
    int got;
    while ((got = _read(fd, &byte, 1)) < 0 && errno == EINTR) {}
#else
    ssize_t got;
    while ((got = read(fd, &byte, 1)) < 0 && errno == EINTR) {}
#endif
    return got == 1;
}

void KillableChild::readReports(std::string& received, std::size_t count) {
    char chunk[4096];
    while (received.size() < count) {
        const unsigned wanted = static_cast<unsigned>(std::min(sizeof chunk, count - received.size()));
#if defined(_WIN32)
        const int got = _read(reports_, chunk, wanted);
#else
        const ssize_t got = read(reports_, chunk, wanted);
#endif
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return;
        received.append(chunk, static_cast<std::size_t>(got));
    }
}

#if defined(_WIN32)

namespace {

// Tells a restarted program that it is a child: the numbers of its inherited pipe handles, then
// the argument.
const wchar_t kChildVariable[] = L"TARVIK_KILLABLE_CHILD";
// The exit code a kill gives; the bodies end with small codes of their own.
constexpr UINT kKilledExitCode = 0xDEAD;

// The argument crosses the environment in UTF-16; std::filesystem converts both ways (the
// library's own converter lies inside the DLL, out of the tests' reach).
std::wstring wide(const std::string& text) { return std::filesystem::path(std::u8string(text.begin(), text.end())).wstring(); }

std::string utf8(const std::wstring& text) {
    const std::u8string converted = std::filesystem::path(text).u8string();
    return {converted.begin(), converted.end()};
}

}  // namespace

KillableChild::~KillableChild() {
    if (process_ != nullptr) killAndWait();
    if (job_ != nullptr) CloseHandle(job_);
    closeEnd(reports_);
    closeEnd(go_);
}

std::string KillableChild::start(ChildBody, const std::string& argument) {
    SECURITY_ATTRIBUTES inherited{sizeof inherited, nullptr, TRUE};
    HANDLE reportsRead = nullptr, reportsWrite = nullptr, goRead = nullptr, goWrite = nullptr;
    if (!CreatePipe(&reportsRead, &reportsWrite, &inherited, 0)) return "CreatePipe failed";
    if (!CreatePipe(&goRead, &goWrite, &inherited, 0)) {
        CloseHandle(reportsRead);
        CloseHandle(reportsWrite);
        return "CreatePipe failed";
    }
    // The parent's ends stay here.
    SetHandleInformation(reportsRead, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(goWrite, HANDLE_FLAG_INHERIT, 0);
    reports_ = _open_osfhandle(reinterpret_cast<intptr_t>(reportsRead), _O_RDONLY | _O_BINARY);
    go_ = _open_osfhandle(reinterpret_cast<intptr_t>(goWrite), _O_WRONLY | _O_BINARY);

    wchar_t program[MAX_PATH * 4];
    const DWORD length = GetModuleFileNameW(nullptr, program, static_cast<DWORD>(std::size(program)));
    const std::wstring job = std::to_wstring(reinterpret_cast<std::uintptr_t>(reportsWrite)) + L" " +
                             std::to_wstring(reinterpret_cast<std::uintptr_t>(goRead)) + L" " + wide(argument);
    std::wstring commandLine = L"\"" + std::wstring(program, length) + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    SetEnvironmentVariableW(kChildVariable, job.c_str());
    // Suspended until it is in the job that ends it with the parent.
    const BOOL created = CreateProcessW(program, commandLine.data(), nullptr, nullptr, TRUE, CREATE_SUSPENDED, nullptr,
                                        nullptr, &startup, &started);
    SetEnvironmentVariableW(kChildVariable, nullptr);
    CloseHandle(reportsWrite);
    CloseHandle(goRead);
    if (!created) return "CreateProcess failed";
    process_ = started.hProcess;
    job_ = CreateJobObjectW(nullptr, nullptr);
    if (job_ != nullptr) {
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
        limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
        SetInformationJobObject(job_, JobObjectExtendedLimitInformation, &limits, sizeof limits);
        AssignProcessToJobObject(job_, process_);
    }
    ResumeThread(started.hThread);
    CloseHandle(started.hThread);
    return {};
}

bool KillableChild::sendGo() { return _write(go_, "g", 1) == 1; }

bool KillableChild::killAndWait() {
    TerminateProcess(process_, kKilledExitCode);
    WaitForSingleObject(process_, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(process_, &code);
    CloseHandle(process_);
    process_ = nullptr;
    return code == kKilledExitCode;
}

void runAsChildWhenAsked(ChildBody body) {
    wchar_t job[32768];
    const DWORD length = GetEnvironmentVariableW(kChildVariable, job, static_cast<DWORD>(std::size(job)));
    if (length == 0 || length >= std::size(job)) return;
    const std::wstring text(job, length);
    const std::size_t first = text.find(L' '), second = text.find(L' ', first + 1);
    if (first == std::wstring::npos || second == std::wstring::npos) std::_Exit(7);
    const auto handleAt = [&](std::size_t from, std::size_t to) {
        return reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(std::stoull(text.substr(from, to - from))));
    };
    const int reportFd = _open_osfhandle(reinterpret_cast<intptr_t>(handleAt(0, first)), _O_WRONLY | _O_BINARY);
    const int goFd = _open_osfhandle(reinterpret_cast<intptr_t>(handleAt(first + 1, second)), _O_RDONLY | _O_BINARY);
    body(utf8(text.substr(second + 1)), reportFd, goFd);
    std::_Exit(8);
}

#else

KillableChild::~KillableChild() {
    if (pid_ > 0) killAndWait();
    closeEnd(reports_);
    closeEnd(go_);
}

std::string KillableChild::start(ChildBody body, const std::string& argument) {
    int reports[2] = {-1, -1}, go[2] = {-1, -1};
    if (pipe2(reports, O_CLOEXEC) != 0 || pipe2(go, O_CLOEXEC) != 0) {
        for (int* fd : {&reports[0], &reports[1], &go[0], &go[1]}) closeEnd(*fd);
        return "pipe2 failed";
    }
    pid_ = fork();
    if (pid_ == 0) {
        // A child whose parent died (a crashed test run) must not write on forever.
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() == 1) std::_Exit(6);
        closeEnd(reports[0]);
        closeEnd(go[1]);
        body(argument, reports[1], go[0]);
        std::_Exit(8);
    }
    closeEnd(reports[1]);
    closeEnd(go[0]);
    reports_ = reports[0];
    go_ = go[1];
    return pid_ < 0 ? "fork failed" : "";
}

bool KillableChild::sendGo() { return write(go_, "g", 1) == 1; }

bool KillableChild::killAndWait() {
    kill(pid_, SIGKILL);
    int status = 0;
    while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {}
    pid_ = -1;
    return WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
}

void runAsChildWhenAsked(ChildBody) {}

#endif

}  // namespace tarvik::test
