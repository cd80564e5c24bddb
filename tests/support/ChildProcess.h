#pragma once
// Runs a function of the test program in a child process, on POSIX systems and on Windows. A
// role is a named function of the program; on POSIX the child is a fork that calls it, on Windows
// (which has no fork) the program is started again for the current test, and the child runs its
// role before any test and exits with the role's result.
//
//     int WriteKeys(const TestSupport::ChildArgs& args);
//     const TestSupport::TChildRole writeKeys("WriteKeys", WriteKeys); // at namespace scope
//     ...
//     TestSupport::TChildProcess child = writeKeys.Start({path, "p"});
//     EXPECT_EQ(child.Wait(), 0);

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <utility>
#include <vector>

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <csignal>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace TestSupport {

using ChildArgs = std::vector<std::string>;
using ChildMain = int (*)(const ChildArgs& args);

// A started child process; one that is still running when this goes is killed.
class TChildProcess {
public:
#ifdef _WIN32
    explicit TChildProcess(HANDLE process = nullptr) : FProcess(process) {}
#else
    explicit TChildProcess(pid_t pid = -1) : FPid(pid) {}
#endif
    TChildProcess(TChildProcess&& other) noexcept {
        *this = std::move(other);
    }
    TChildProcess& operator=(TChildProcess&& other) noexcept {
        std::swap(FKilled, other.FKilled);
#ifdef _WIN32
        std::swap(FProcess, other.FProcess);
#else
        std::swap(FPid, other.FPid);
#endif
        return *this;
    }
    ~TChildProcess() {
        Kill();
        Wait();
    }

    // Waits for the child's end: its exit code, or -1 when it did not start, was killed or
    // ended abnormally.
    int Wait() {
#ifdef _WIN32
        if (FProcess == nullptr) {
            return -1;
        }
        DWORD code = 0;
        const bool ended = ::WaitForSingleObject(FProcess, INFINITE) == WAIT_OBJECT_0 &&
                           ::GetExitCodeProcess(FProcess, &code) != 0;
        ::CloseHandle(FProcess);
        FProcess = nullptr;
        return ended && !FKilled ? static_cast<int>(code) : -1;
#else
        if (FPid < 0) {
            return -1;
        }
        int status = 0;
        const bool ended = ::waitpid(FPid, &status, 0) == FPid;
        FPid = -1;
        return ended && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
    }

    void Kill() {
#ifdef _WIN32
        FKilled = FProcess != nullptr && ::TerminateProcess(FProcess, 1) != 0;
#else
        FKilled = FPid > 0 && ::kill(FPid, SIGKILL) == 0;
#endif
    }

private:
    bool FKilled = false;
#ifdef _WIN32
    HANDLE FProcess = nullptr;
#else
    pid_t FPid = -1;
#endif
};

namespace ChildDetail {

inline constexpr const char* RoleVariable = "CALVENOR_CHILD_ROLE";
inline constexpr const char* ArgsVariable = "CALVENOR_CHILD_ARGS";

inline std::map<std::string, ChildMain>& Roles() {
    static std::map<std::string, ChildMain> roles;
    return roles;
}

// The arguments as hexadecimal digits, two per byte, each argument ended by "-": plain ASCII
// for the environment whatever the arguments hold.
inline std::string Encode(const ChildArgs& args) {
    static constexpr char Digits[] = "0123456789abcdef";
    std::string text;
    for (const std::string& arg : args) {
        for (const char c : arg) {
            const auto byte = static_cast<unsigned char>(c);
            text += Digits[byte >> 4];
            text += Digits[byte & 15];
        }
        text += '-';
    }
    return text;
}

inline ChildArgs Decode(const std::string& text) {
    const auto value = [](char c) { return c <= '9' ? c - '0' : c - 'a' + 10; };
    ChildArgs args(1);
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '-') {
            args.emplace_back();
        } else if (i + 1 < text.size()) {
            args.back() += static_cast<char>(value(text[i]) * 16 + value(text[i + 1]));
            ++i;
        }
    }
    args.pop_back();
    return args;
}

#ifdef _WIN32
// In a child process: runs the role it was started for, before any test, and exits.
class TRoleRunner : public ::testing::Environment {
public:
    void SetUp() override {
        const char* role = std::getenv(RoleVariable);
        if (role == nullptr) {
            return;
        }
        const auto found = Roles().find(role);
        const char* args = std::getenv(ArgsVariable);
        const int code =
            found != Roles().end() ? found->second(Decode(args != nullptr ? args : "")) : 125;
        std::fflush(nullptr);
        std::_Exit(code);
    }
};
#endif

} // namespace ChildDetail

// A function of the test program that tests can run in child processes. Define roles at
// namespace scope, so that a child started for a test knows them before the tests run.
class TChildRole {
public:
    TChildRole(std::string name, ChildMain main) : FName(std::move(name)), FMain(main) {
        ChildDetail::Roles()[FName] = main;
#ifdef _WIN32
        static const bool runnerAdded =
            (::testing::AddGlobalTestEnvironment(new ChildDetail::TRoleRunner), true);
        (void)runnerAdded;
#endif
    }

    TChildProcess Start(const ChildArgs& args) const {
#ifdef _WIN32
        std::wstring program(32768, L'\0');
        program.resize(::GetModuleFileNameW(nullptr, program.data(), 32768));
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        const std::string filter = test != nullptr
                                       ? std::string(test->test_suite_name()) + "." + test->name()
                                       : std::string("*");
        std::wstring commandLine = L"\"" + program + L"\" --gtest_brief=1 --gtest_filter=";
        commandLine.append(filter.begin(), filter.end());
        // The child inherits the environment, where it finds its role and arguments.
        ::SetEnvironmentVariableA(ChildDetail::RoleVariable, FName.c_str());
        ::SetEnvironmentVariableA(ChildDetail::ArgsVariable, ChildDetail::Encode(args).c_str());
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION started{};
        const bool ok = ::CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr,
                                         FALSE, 0, nullptr, nullptr, &startup, &started) != 0;
        ::SetEnvironmentVariableA(ChildDetail::RoleVariable, nullptr);
        ::SetEnvironmentVariableA(ChildDetail::ArgsVariable, nullptr);
        if (!ok) {
            return TChildProcess();
        }
        ::CloseHandle(started.hThread);
        return TChildProcess(started.hProcess);
#else
        std::fflush(nullptr);
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::_exit(FMain(args));
        }
        return TChildProcess(pid);
#endif
    }

private:
    std::string FName;
    ChildMain FMain;
};

} // namespace TestSupport
