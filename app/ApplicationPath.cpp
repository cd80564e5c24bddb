#include "app/ApplicationPath.h"

#include "platform/AsciiText.h"
#include "platform/Exceptions.h"
#include "platform/Registry.h"

#include <optional>

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>
#endif

std::string ProgramFilesFolder;
std::string CommonFilesFolder;
std::string ExeFolder;
std::string VendorFolder;
std::string SharedDataFolder;

namespace {

constexpr std::string_view CurrentVersionKey = "Software\\Microsoft\\Windows\\CurrentVersion";

#ifdef _WIN32
constexpr std::string_view DefaultProgramFiles = "C:\\Program Files\\";
constexpr std::string_view DefaultCommonFiles = "C:\\Program Files\\Common Files\\";
#else
constexpr std::string_view DefaultProgramFiles = "/opt/";
constexpr std::string_view DefaultCommonFiles = "/opt/Common Files/";
#endif

std::string WithTrailingDelim(std::string folder) {
    if (folder.empty() || folder.back() != PathDelim)
        folder += PathDelim;
    return folder;
}

std::string ReadFolder(const TRegistry& registry, std::string_view valueName,
                       std::string_view fallback) {
    const std::optional<std::string> value =
        registry.ReadString(TRegistryRoot::LocalMachine, CurrentVersionKey, valueName);
    if (!value || value->empty())
        return std::string(fallback);
    return WithTrailingDelim(*value);
}

#ifndef _WIN32
bool IsExistingFolder(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}
#endif

// The vendor folder for a match of name at position p of exeFolder (upper is its upper-cased
// copy). Windows takes the prefix from the upper-cased copy; its file system ignores letter case.
// Elsewhere the prefix keeps its own case, and the name is spelled as the executable's folder
// spells it when that spelling names an existing folder (an installation under ".../velmora/"),
// else as given.
std::string VendorFolderAt(std::string_view exeFolder, std::string_view upper, size_t p,
                           std::string_view name) {
#ifdef _WIN32
    (void)exeFolder;
    return std::string(upper.substr(0, p)) + std::string(name) + PathDelim;
#else
    (void)upper;
    const std::string prefix(exeFolder.substr(0, p));
    const std::string spelled(exeFolder.substr(p, name.size()));
    if (spelled != name && IsExistingFolder(prefix + spelled))
        return prefix + spelled + PathDelim;
    return prefix + std::string(name) + PathDelim;
#endif
}

bool IsFolderEnd(char c) {
#ifdef _WIN32
    return c == '\\' || c == '/' || c == ':';
#else
    return c == '/';
#endif
}

} // namespace

std::string ReadProgramFilesFolder(const TRegistry& registry) {
    return ReadFolder(registry, "ProgramFilesDir", DefaultProgramFiles);
}

std::string ReadCommonFilesFolder(const TRegistry& registry) {
    return ReadFolder(registry, "CommonFilesDir", DefaultCommonFiles);
}

std::string ReadProgramFilesFolder() {
    return ReadProgramFilesFolder(SystemRegistry());
}

std::string ReadCommonFilesFolder() {
    return ReadCommonFilesFolder(SystemRegistry());
}

std::string ExeFolderOf(std::string_view exePath) {
    for (size_t i = exePath.size(); i > 0; --i)
        if (IsFolderEnd(exePath[i - 1]))
            return std::string(exePath.substr(0, i));
    return {};
}

std::string RunningExecutablePath() {
#ifdef _WIN32
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0)
            throw Exception("Cannot determine the path of the running program");
        if (length < buffer.size()) {
            buffer.resize(length);
            break;
        }
        buffer.resize(buffer.size() * 2);
    }
    const int count = WideCharToMultiByte(
        CP_UTF8, 0, buffer.data(), static_cast<int>(buffer.size()), nullptr, 0, nullptr, nullptr);
    std::string path(static_cast<size_t>(count), '\0');
    WideCharToMultiByte(CP_UTF8, 0, buffer.data(), static_cast<int>(buffer.size()), path.data(),
                        count, nullptr, nullptr);
    return path;
#else
    std::string buffer(256, '\0');
    for (;;) {
        const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (length < 0)
            throw Exception(std::string("Cannot determine the path of the running program: ") +
                            std::strerror(errno));
        if (static_cast<size_t>(length) < buffer.size()) {
            buffer.resize(static_cast<size_t>(length));
            return buffer;
        }
        buffer.resize(buffer.size() * 2); // possibly truncated: try a larger buffer
    }
#endif
}

std::string FindVendorFolder(std::string_view programFilesFolder, std::string_view exeFolder) {
    const std::string upper = AsciiText::UpperCaseAscii(exeFolder);
    if (const size_t p = upper.find("VELMORA"); p != std::string::npos)
        return VendorFolderAt(exeFolder, upper, p, "Velmora");
    if (const size_t q = upper.find("5VQ"); q != std::string::npos)
        return VendorFolderAt(exeFolder, upper, q, "5vq");
    return std::string(programFilesFolder) + "Velmora" + PathDelim;
}

std::string FindVendorFolder() {
    return FindVendorFolder(ProgramFilesFolder, ExeFolder);
}

TApplicationFolders ResolveApplicationFolders(const TRegistry& registry, std::string_view exePath) {
    TApplicationFolders folders;
    folders.ProgramFiles = ReadProgramFilesFolder(registry);
    folders.CommonFiles = ReadCommonFilesFolder(registry);
    folders.Exe = ExeFolderOf(exePath);
    if (folders.Exe.empty())
        throw Exception("The program's path \"" + std::string(exePath) + "\" names no folder");
    folders.Vendor = FindVendorFolder(folders.ProgramFiles, folders.Exe);
    folders.SharedData = folders.Vendor + "Common Files" + PathDelim;
    return folders;
}

void InitApplicationFolders() {
    TApplicationFolders folders =
        ResolveApplicationFolders(SystemRegistry(), RunningExecutablePath());
    ProgramFilesFolder = std::move(folders.ProgramFiles);
    CommonFilesFolder = std::move(folders.CommonFiles);
    ExeFolder = std::move(folders.Exe);
    VendorFolder = std::move(folders.Vendor);
    SharedDataFolder = std::move(folders.SharedData);
}

void ClearApplicationFolders() {
    SharedDataFolder.clear();
    VendorFolder.clear();
    ExeFolder.clear();
    CommonFilesFolder.clear();
    ProgramFilesFolder.clear();
}
