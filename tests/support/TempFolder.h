#pragma once
// Temporary folders, file times and link counts for tests that run on POSIX systems and on
// Windows.

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <random>
#include <string>
#include <string_view>
#include <system_error>

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#endif

namespace TestSupport {

// A new, empty folder of this process's own in the system's temporary folder, named prefix and
// six or more random characters; empty when none could be made.
inline std::filesystem::path MakeTempFolder(std::string_view prefix) {
    namespace fs = std::filesystem;
#ifdef _WIN32
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const fs::path folder =
            fs::temp_directory_path() / (std::string(prefix) + std::to_string(random()));
        std::error_code error;
        // Fails for a name that exists already, so the folder is this process's alone.
        if (fs::create_directory(folder, error)) {
            return folder;
        }
    }
    return {};
#else
    std::string pattern = (fs::temp_directory_path() / (std::string(prefix) + "XXXXXX")).string();
    return ::mkdtemp(pattern.data()) != nullptr ? fs::path(pattern) : fs::path();
#endif
}

#ifdef _WIN32
namespace FileDetail {
// Seconds since 1970 as the system's file time (100 ns since 1601).
inline FILETIME FromUnix(std::time_t seconds) {
    const auto ticks = static_cast<ULONGLONG>((seconds + 11644473600LL) * 10000000LL);
    return {static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

inline HANDLE Open(const std::filesystem::path& path, DWORD access) {
    return ::CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}
} // namespace FileDetail
#endif

// Sets the file's access and modification times to whole seconds before now.
inline bool AgeFile(const std::filesystem::path& path, long seconds) {
    const std::time_t then = std::time(nullptr) - seconds;
#ifdef _WIN32
    const HANDLE file = FileDetail::Open(path, FILE_WRITE_ATTRIBUTES);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    const FILETIME time = FileDetail::FromUnix(then);
    const bool set = ::SetFileTime(file, nullptr, &time, &time) != 0;
    ::CloseHandle(file);
    return set;
#else
    struct timespec times[2];
    times[0].tv_sec = times[1].tv_sec = then;
    times[0].tv_nsec = times[1].tv_nsec = 0;
    return ::utimensat(AT_FDCWD, path.c_str(), times, 0) == 0;
#endif
}

// Gives to the access and modification times of from, to the finest unit the system keeps.
inline bool CopyFileTimes(const std::filesystem::path& from, const std::filesystem::path& to) {
#ifdef _WIN32
    FILETIME accessed{};
    FILETIME modified{};
    const HANDLE source = FileDetail::Open(from, FILE_READ_ATTRIBUTES);
    if (source == INVALID_HANDLE_VALUE) {
        return false;
    }
    const bool read = ::GetFileTime(source, nullptr, &accessed, &modified) != 0;
    ::CloseHandle(source);
    const HANDLE target = FileDetail::Open(to, FILE_WRITE_ATTRIBUTES);
    if (!read || target == INVALID_HANDLE_VALUE) {
        return false;
    }
    const bool set = ::SetFileTime(target, nullptr, &accessed, &modified) != 0;
    ::CloseHandle(target);
    return set;
#else
    struct stat st {};
    if (::stat(from.c_str(), &st) != 0) {
        return false;
    }
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    return ::utimensat(AT_FDCWD, to.c_str(), times, 0) == 0;
#endif
}

// How many names the file has (mingw-w64's standard library always says 1).
inline std::uintmax_t HardLinkCount(const std::filesystem::path& path) {
#ifdef _WIN32
    const HANDLE file = FileDetail::Open(path, FILE_READ_ATTRIBUTES);
    BY_HANDLE_FILE_INFORMATION info{};
    const bool read = file != INVALID_HANDLE_VALUE && ::GetFileInformationByHandle(file, &info);
    if (file != INVALID_HANDLE_VALUE) {
        ::CloseHandle(file);
    }
    return read ? info.nNumberOfLinks : 0;
#else
    return std::filesystem::hard_link_count(path);
#endif
}

} // namespace TestSupport
