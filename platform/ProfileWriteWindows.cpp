// Writing private-profile files on Windows: the folder's lock, the temporary file and its rename
// over the old file (the plan of the change and the temporary names are in ProfileWrite.cpp).

#ifdef _WIN32
#include "platform/PrivateProfile.h"
#include "platform/ProfileFile.h"
#include "platform/WideText.h"

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstring>
#include <mutex>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace PrivateProfile::Internal {
namespace {

std::string JoinPath(const std::string& folder, std::string_view name) {
    std::string path = folder;
    if (!path.empty() && path.back() != '\\') {
        path += '\\';
    }
    return path.append(name);
}

// Writers of one folder take turns at a mutex named after the folder's identity (its volume and
// index there, the same by every path to it), which the processes of the session share. The
// folder must be one.
class LockedFolder {
public:
    explicit LockedFolder(const std::string& folder) {
        const UniqueHandle handle =
            OpenShared(folder, FILE_READ_ATTRIBUTES, FILE_FLAG_BACKUP_SEMANTICS);
        BY_HANDLE_FILE_INFORMATION info{};
        if (!handle.Valid() || !::GetFileInformationByHandle(handle.Get(), &info) ||
            (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
            return;
        }
        FIsFolder = true;
        const std::wstring name =
            L"Local\\CalvenorProfile-" + std::to_wstring(info.dwVolumeSerialNumber) + L"-" +
            std::to_wstring(info.nFileIndexHigh) + L"-" + std::to_wstring(info.nFileIndexLow);
        FMutex = UniqueHandle(::CreateMutexW(nullptr, FALSE, name.c_str()));
        if (!FMutex.Valid()) {
            return;
        }
        // A writer that died holding the mutex leaves it abandoned: it is ours then.
        const DWORD result =
            ::WaitForSingleObject(FMutex.Get(), static_cast<DWORD>(LockWait().count()));
        FState = result == WAIT_OBJECT_0 || result == WAIT_ABANDONED ? LockState::Locked
                 : result == WAIT_TIMEOUT                            ? LockState::TimedOut
                                                                     : LockState::Unsupported;
    }
    ~LockedFolder() {
        if (FState == LockState::Locked) {
            ::ReleaseMutex(FMutex.Get());
        }
    }
    LockedFolder(const LockedFolder&) = delete;
    LockedFolder& operator=(const LockedFolder&) = delete;
    bool IsFolder() const { return FIsFolder; }
    LockState State() const { return FState; }

private:
    UniqueHandle FMutex;
    bool FIsFolder = false;
    LockState FState = LockState::Unsupported;
};

// Under the folder's lock no other writer of the session has a temporary file open there: any
// left behind is a dead writer's and goes. (One that another session's writer holds open is not
// shared, so deleting it fails and it stays.)
void RemoveLeftovers(const std::string& folder) {
    WIN32_FIND_DATAW found{};
    const HANDLE search = ::FindFirstFileW(WidePath(JoinPath(folder, ".~pp*")).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        return;
    }
    std::vector<std::string> leftovers;
    do {
        const std::string name = WideToUtf8(found.cFileName);
        if ((found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) ==
                0 &&
            IsTempName(name)) {
            leftovers.push_back(name);
        }
    } while (::FindNextFileW(search, &found));
    ::FindClose(search);
    for (const std::string& name : leftovers) {
        ::DeleteFileW(WidePath(JoinPath(folder, name)).c_str());
    }
}

bool Retryable(DWORD error) {
    return error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION ||
           error == ERROR_LOCK_VIOLATION;
}

// Renames the open file over target with POSIX semantics (Windows 10 and later, on NTFS): the
// target is replaced even while readers hold it open, as long as they share its deletion, as the
// readers of this layer do.
bool RenameOpenFile(HANDLE file, const std::wstring& target) {
    // FILE_RENAME_INFO with the flags that replace its older ReplaceIfExists.
    struct RenameInfo {
        DWORD flags;
        HANDLE rootDirectory;
        DWORD fileNameLength;
        WCHAR fileName[1];
    };
    constexpr auto RenameInfoEx = static_cast<FILE_INFO_BY_HANDLE_CLASS>(22);
    constexpr DWORD ReplaceIfExists = 1;
    constexpr DWORD PosixSemantics = 2;
    const std::size_t nameBytes = target.size() * sizeof(WCHAR);
    std::vector<unsigned char> buffer(offsetof(RenameInfo, fileName) + nameBytes + sizeof(WCHAR));
    auto* info = new (buffer.data())
        RenameInfo{ReplaceIfExists | PosixSemantics, nullptr, static_cast<DWORD>(nameBytes), {}};
    std::memcpy(buffer.data() + offsetof(RenameInfo, fileName), target.c_str(),
                nameBytes + sizeof(WCHAR));
    return ::SetFileInformationByHandle(file, RenameInfoEx, info,
                                        static_cast<DWORD>(buffer.size())) != 0;
}

// Puts the complete temporary file (open as file, named temp) in target's place in one step. The
// POSIX-semantics rename is tried first; where the system lacks it, the file is closed and
// renamed by name, which fails while anyone has the target open. Readers hold a file only
// briefly, so such failures are retried for up to about a second.
bool MoveOver(UniqueHandle& file, const std::wstring& temp, const std::wstring& target) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    auto pause = std::chrono::milliseconds(1);
    bool posix = true;
    for (;;) {
        if (posix && RenameOpenFile(file.Get(), target)) {
            file.Close();
            return true;
        }
        if (posix && !Retryable(::GetLastError())) {
            posix = false;
            if (!file.Close()) {
                return false;
            }
        }
        if (!posix && ::MoveFileExW(temp.c_str(), target.c_str(),
                                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
            return true;
        }
        if (!Retryable(::GetLastError()) || std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(pause);
        pause = std::min(pause * 2, std::chrono::milliseconds(50));
    }
}

// Writes content to a new file in the folder, with the given attributes, flushes it and renames
// it over target. The new file is not shared while it is being written, so nobody else opens it
// before it is complete.
bool ReplaceFile(const std::string& folder, const std::string& target, std::string_view content,
                 DWORD attributes) {
    std::string tempName;
    std::wstring temp;
    UniqueHandle file;
    for (int attempt = 0; attempt < 16 && !file.Valid(); ++attempt) {
        tempName = RandomTempName();
        temp = WidePath(JoinPath(folder, tempName));
        file = UniqueHandle(::CreateFileW(temp.c_str(), GENERIC_WRITE | DELETE, 0, nullptr,
                                          CREATE_NEW, attributes, nullptr));
        if (!file.Valid() && ::GetLastError() != ERROR_FILE_EXISTS) {
            return false;
        }
    }
    if (!file.Valid()) {
        return false;
    }
    TempFileCreated(folder, tempName);
    bool written = true;
    while (written && !content.empty()) {
        DWORD done = 0;
        const auto chunk = static_cast<DWORD>(std::min<std::size_t>(content.size(), 1u << 30));
        written = ::WriteFile(file.Get(), content.data(), chunk, &done, nullptr) != 0;
        content.remove_prefix(done);
    }
    written = ::FlushFileBuffers(file.Get()) != 0 && written;
    if (!written || !MoveOver(file, temp, WidePath(target))) {
        file.Close();
        ::DeleteFileW(temp.c_str());
        return false;
    }
    return true;
}

// The file a write replaces, as a full path in the system's spelling (relative parts resolved,
// "/" made "\", a symbolic link followed to its target, which is replaced while the link stays),
// and what it is when it exists.
struct Target {
    std::string path;
    bool exists = false;
    BY_HANDLE_FILE_INFORMATION info{};
};

// The path the system gives for an open file, with links followed. The extended form is kept only
// beyond the classic limit or where the path has no drive letter (WidePath adds it again).
std::wstring FinalPath(HANDLE file) {
    std::wstring path(::GetFinalPathNameByHandleW(file, nullptr, 0, FILE_NAME_NORMALIZED), L'\0');
    const DWORD length = path.empty() ? 0
                                      : ::GetFinalPathNameByHandleW(file, path.data(),
                                                                    static_cast<DWORD>(path.size()),
                                                                    FILE_NAME_NORMALIZED);
    path.resize(length < path.size() ? length : 0);
    if (path.size() < MAX_PATH - 12 && path.starts_with(L"\\\\?\\UNC\\")) {
        path = L"\\\\" + path.substr(8);
    } else if (path.size() < MAX_PATH - 12 && path.starts_with(L"\\\\?\\") && path.size() > 6 &&
               path[5] == L':' && path[6] == L'\\') {
        path = path.substr(4);
    }
    return path;
}

std::optional<Target> FindTarget(const std::string& path) {
    const std::wstring wide = WidePath(path);
    if (wide.empty()) {
        return std::nullopt;
    }
    Target target;
    const UniqueHandle file = OpenShared(path, FILE_READ_ATTRIBUTES, FILE_FLAG_BACKUP_SEMANTICS);
    if (file.Valid()) {
        target.exists = ::GetFileInformationByHandle(file.Get(), &target.info) != 0;
        target.path = WideToUtf8(FinalPath(file.Get()));
        return target.exists && !target.path.empty() ? std::optional(target) : std::nullopt;
    }
    // Not there; but a link whose target is missing is there, and stays (as on POSIX systems).
    if (::GetLastError() != ERROR_FILE_NOT_FOUND ||
        ::GetFileAttributesW(wide.c_str()) != INVALID_FILE_ATTRIBUTES) {
        return std::nullopt;
    }
    target.path = WideToUtf8(FullWidePath(wide));
    return target.path.empty() ? std::nullopt : std::optional(target);
}

// The folder of a full path: a drive's root keeps its backslash.
FolderAndName SplitFullPath(const std::string& path) {
    FolderAndName parts = SplitPath(path);
    if (!parts.folder.empty() && parts.folder.back() == ':') {
        parts.folder += '\\';
    }
    return parts;
}

// Attributes a replaced file passes on to its new content.
constexpr DWORD KeptAttributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                 FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

} // namespace

bool WriteFile(std::string_view section, OptText key, OptText value, const std::string& path) {
    const auto target = FindTarget(path);
    if (!target) {
        return false;
    }
    const FolderAndName parts = SplitFullPath(target->path);
    if (parts.name.empty()) {
        return false;
    }
    const std::lock_guard threadLock(PathMutex(target->path));
    const LockedFolder folder(parts.folder);
    if (!folder.IsFolder() || folder.State() == LockState::TimedOut) {
        return false;
    }
    if (folder.State() == LockState::Locked) {
        RemoveLeftovers(parts.folder);
    }
    // A read-only file stays untouched, and a file with several names is not split into two.
    const DWORD attributes = target->info.dwFileAttributes;
    if (target->exists &&
        ((attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) != 0 ||
         target->info.nNumberOfLinks > 1)) {
        return false;
    }
    const Change change = PlanChange(target->path, section, key, value);
    bool ok = change.plan != Plan::Fail;
    if (change.plan == Plan::Write) {
        const DWORD kept = target->exists ? attributes & KeptAttributes : 0;
        ok = ReplaceFile(parts.folder, target->path, change.bytes,
                         kept != 0 ? kept : FILE_ATTRIBUTE_NORMAL);
    }
    Forget(target->path);
    Forget(path);
    return ok;
}

} // namespace PrivateProfile::Internal
#endif
