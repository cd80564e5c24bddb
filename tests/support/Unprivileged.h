#pragma once
// Runs a test that needs file permissions to restrict it as an unprivileged user when the test
// program runs as root (as CI does), where permissions restrict nothing.
//
//     TEST_F(Fixture, UnreadableFile) {
//         if (TestSupport::RanUnprivileged()) return;
//         ... the test as any unprivileged user runs it ...
//     }

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace TestSupport {

namespace Unprivileged {

inline constexpr uid_t Nobody = 65534;
inline constexpr gid_t NoGroup = 65534;
inline constexpr const char* ChildMark = "CALVENOR_UNPRIVILEGED_CHILD";

// LSAN_OPTIONS with its suppressions file copied into folder, which the child can read.
inline std::string LeakOptionsFor(const std::filesystem::path& folder) {
    const char* options = std::getenv("LSAN_OPTIONS");
    std::string text = options != nullptr ? options : "";
    const std::string key = "suppressions=";
    const std::size_t at = text.find(key);
    if (at == std::string::npos) {
        return text;
    }
    const std::size_t start = at + key.size();
    const std::size_t end = std::min(text.find(':', start), text.size());
    const std::filesystem::path copy = folder / "lsan.supp";
    std::error_code ignored;
    std::filesystem::copy_file(text.substr(start, end - start), copy, ignored);
    ::chmod(copy.c_str(), 0644);
    return text.replace(start, end - start, copy.string());
}

inline std::string ReadAll(int fd) {
    std::string out;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n > 0) {
            out.append(buffer, static_cast<std::size_t>(n));
        } else if (n == 0 || errno != EINTR) {
            return out;
        }
    }
}

} // namespace Unprivileged

// As root: runs the current test again in a child process as user nobody, group nogroup and no
// supplementary groups (setpriv), from a copy of the test program in a folder that user can
// reach, with a temporary folder of its own; the child's failures (and a child that skips the
// test) fail this test. Returns true then, and the caller returns at once. As any other user it
// returns false and the test goes on.
inline bool RanUnprivileged() {
    namespace fs = std::filesystem;
    using namespace Unprivileged;
    if (::geteuid() != 0) {
        return false;
    }
    if (std::getenv(ChildMark) != nullptr) {
        ADD_FAILURE() << "the unprivileged child still runs as root";
        return true;
    }
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    const std::string filter =
        std::string("--gtest_filter=") + test->test_suite_name() + "." + test->name();

    std::string pattern = (fs::temp_directory_path() / "unprivileged-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        ADD_FAILURE() << "no temporary folder";
        return true;
    }
    const fs::path folder = pattern;
    const fs::path program = folder / "test";
    const fs::path temp = folder / "tmp";
    std::error_code error;
    fs::copy_file("/proc/self/exe", program, error);
    fs::create_directory(temp, error);
    if (error || ::chmod(folder.c_str(), 0755) != 0 || ::chmod(program.c_str(), 0755) != 0 ||
        ::chown(temp.c_str(), Nobody, NoGroup) != 0) {
        ADD_FAILURE() << "cannot prepare " << folder << ": " << error.message();
        fs::remove_all(folder, error);
        return true;
    }
    const std::string leakOptions = LeakOptionsFor(folder);

    int pipeFds[2];
    EXPECT_EQ(::pipe(pipeFds), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        ::dup2(pipeFds[1], STDOUT_FILENO);
        ::dup2(pipeFds[1], STDERR_FILENO);
        ::close(pipeFds[0]);
        ::close(pipeFds[1]);
        ::setenv("TMPDIR", temp.c_str(), 1);
        ::setenv("LSAN_OPTIONS", leakOptions.c_str(), 1);
        ::setenv(ChildMark, "1", 1);
        if (::chdir(folder.c_str()) == 0) {
            ::execlp("setpriv", "setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups",
                     program.c_str(), filter.c_str(), static_cast<char*>(nullptr));
        }
        ::_exit(127);
    }
    ::close(pipeFds[1]);
    const std::string output = ReadAll(pipeFds[0]);
    ::close(pipeFds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    fs::remove_all(folder, error);
    const bool passed = WIFEXITED(status) && WEXITSTATUS(status) == 0 &&
                        output.find("[  PASSED  ] 1 test") != std::string::npos &&
                        output.find("[  SKIPPED ]") == std::string::npos;
    EXPECT_TRUE(passed) << "as user nobody:\n" << output;
    return true;
}

} // namespace TestSupport
