// Reading private-profile files from disk, with a small per-path cache of their parses.

#include "platform/PrivateProfile.h"
#include "platform/ProfileFile.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <ctime>
#include <mutex>
#include <unordered_map>

#ifdef __GLIBC__
#include <malloc.h>
#endif

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include "platform/WideText.h"
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace PrivateProfile::Internal {
namespace {

// ---------------------------------------------------------------------------------------------
// The file system

// What tells one version of a file from another.
struct Stamp {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::int64_t size = 0;
    std::int64_t modified = 0; // seconds (Windows: 100 ns units since 1601)
    std::int64_t modifiedNs = 0;
    std::int64_t changed = 0; // status change (seconds; Windows: as modified)
    std::int64_t changedNs = 0;

    bool operator==(const Stamp&) const = default;
};

struct FileStatus {
    Stamp stamp;
    std::uint64_t size = 0;
    bool regular = false;
};

// A file changed this recently may change again without a visible change of its stamp.
constexpr std::int64_t RacySeconds = 2;

#ifdef _WIN32
// The stamp is the volume, the file's index on it, its size, and its last-write and change
// times in the file system's own 100 ns units, from the open handle: the same query serves the
// cache check and the read, so their stamps compare.
bool StatusOf(HANDLE file, FileStatus& status) {
    BY_HANDLE_FILE_INFORMATION info{};
    FILE_BASIC_INFO times{};
    if (!::GetFileInformationByHandle(file, &info) ||
        !::GetFileInformationByHandleEx(file, FileBasicInfo, &times, sizeof times)) {
        return false;
    }
    status.size = (std::uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow;
    status.regular = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
                     ::GetFileType(file) == FILE_TYPE_DISK;
    status.stamp = {info.dwVolumeSerialNumber,
                    (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow,
                    static_cast<std::int64_t>(status.size),
                    times.LastWriteTime.QuadPart,
                    0,
                    times.ChangeTime.QuadPart,
                    0};
    return true;
}

bool StatPath(const std::string& path, FileStatus& status) {
    const UniqueHandle file = OpenShared(path, FILE_READ_ATTRIBUTES, FILE_FLAG_BACKUP_SEMANTICS);
    return file.Valid() && StatusOf(file.Get(), status);
}

// Why the last call failed: a missing file, or one that cannot be read.
LoadStatus LastFailure() {
    switch (::GetLastError()) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
        return LoadStatus::Missing;
    default:
        return LoadStatus::Unreadable;
    }
}

// A file open for reading, in binary (no line-end translation).
class InputFile {
public:
    explicit InputFile(const std::string& path)
        : FFile(OpenShared(path, GENERIC_READ, FILE_FLAG_SEQUENTIAL_SCAN)) {}
    bool IsOpen() const { return FFile.Valid(); }
    bool Status(FileStatus& status) const { return StatusOf(FFile.Get(), status); }
    // Bytes read, 0 at the end, negative on failure.
    long long Read(char* buffer, std::size_t size) {
        DWORD done = 0;
        if (!::ReadFile(FFile.Get(), buffer, static_cast<DWORD>(size), &done, nullptr)) {
            return -1;
        }
        return done;
    }

private:
    UniqueHandle FFile;
};

// Whether any later change of the file must show in its stamp: its last-write time lies settled
// in the past.
bool Settled(const Stamp& stamp) {
    FILETIME now{};
    ::GetSystemTimeAsFileTime(&now);
    const auto ticks =
        static_cast<std::int64_t>((std::uint64_t{now.dwHighDateTime} << 32) | now.dwLowDateTime);
    return stamp.modified < ticks - RacySeconds * 10'000'000;
}
#else
FileStatus StatusOf(const struct stat& st) {
    FileStatus status;
    status.size = static_cast<std::uint64_t>(st.st_size);
    status.regular = S_ISREG(st.st_mode);
    status.stamp = {static_cast<std::uint64_t>(st.st_dev),
                    static_cast<std::uint64_t>(st.st_ino),
                    static_cast<std::int64_t>(st.st_size),
                    st.st_mtim.tv_sec,
                    st.st_mtim.tv_nsec,
                    st.st_ctim.tv_sec,
                    st.st_ctim.tv_nsec};
    return status;
}

bool StatPath(const std::string& path, FileStatus& status) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        return false;
    }
    status = StatusOf(st);
    return true;
}

// Why the last call failed: a missing file, or one that cannot be read.
LoadStatus LastFailure() {
    return errno == ENOENT || errno == ENOTDIR ? LoadStatus::Missing : LoadStatus::Unreadable;
}

// A file open for reading. O_NONBLOCK: a FIFO put in place of the file must not block the open.
class InputFile {
public:
    explicit InputFile(const std::string& path)
        : FFd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK)) {}
    bool IsOpen() const { return FFd.Get() >= 0; }
    bool Status(FileStatus& status) const {
        struct stat st {};
        if (::fstat(FFd.Get(), &st) != 0) {
            return false;
        }
        status = StatusOf(st);
        return true;
    }
    // Bytes read, 0 at the end, negative on failure.
    long long Read(char* buffer, std::size_t size) {
        for (;;) {
            const ssize_t n = ::read(FFd.Get(), buffer, size);
            if (n >= 0 || errno != EINTR) {
                return n;
            }
        }
    }

private:
    UniqueFd FFd;
};

// Whether any later change of the file must show in its stamp: its modification time lies
// settled in the past, or (where the status-change time is kept by the system clock alone) its
// status-change time does, so a file dated in the future by its modification time is cached too.
bool Settled(const Stamp& stamp) {
    const std::int64_t now = static_cast<std::int64_t>(std::time(nullptr));
    return stamp.modified < now - RacySeconds || stamp.changed < now - RacySeconds;
}
#endif

// At most this many files stay cached, none whose parse holds more than CacheFileLimit bytes
// and together no more than CacheByteLimit; the least recently used go first. Larger files are
// read anew by every call; a caller that reads many values of one takes a Snapshot.
constexpr std::size_t CacheCapacity = 16;
constexpr std::size_t CacheFileLimit = std::size_t{4} << 20;
constexpr std::size_t CacheByteLimit = std::size_t{16} << 20;

struct CacheEntry {
    Stamp stamp;
    std::shared_ptr<const ParsedFile> file;
    std::uint64_t lastUse = 0;
};

std::mutex cacheMutex;
std::unordered_map<std::string, CacheEntry> cache;
std::uint64_t useCounter = 0;
std::atomic<std::uint64_t> parseCount{0};

std::size_t CachedBytesLocked() {
    std::size_t total = 0;
    for (const auto& entry : cache) {
        total += entry.second.file->MemoryBytes();
    }
    return total;
}

void Remember(const std::string& path, const Stamp& stamp,
              const std::shared_ptr<const ParsedFile>& file) {
    const std::lock_guard lock(cacheMutex);
    cache.erase(path);
    const std::size_t size = file->MemoryBytes();
    if (size > CacheFileLimit) {
        return;
    }
    while (!cache.empty() &&
           (cache.size() >= CacheCapacity || CachedBytesLocked() + size > CacheByteLimit)) {
        cache.erase(std::min_element(cache.begin(), cache.end(), [](auto& a, auto& b) {
            return a.second.lastUse < b.second.lastUse;
        }));
    }
    cache[path] = CacheEntry{stamp, file, ++useCounter};
}

std::shared_ptr<const ParsedFile> Cached(const std::string& path, const Stamp& stamp) {
    const std::lock_guard lock(cacheMutex);
    const auto it = cache.find(path);
    if (it == cache.end() || !(it->second.stamp == stamp)) {
        return nullptr;
    }
    it->second.lastUse = ++useCounter;
    return it->second.file;
}

bool ReadAll(InputFile& input, std::string& out) {
    char chunk[65536];
    for (;;) {
        const long long n = input.Read(chunk, sizeof chunk);
        if (n < 0) {
            return false;
        }
        if (n == 0) {
            return true;
        }
        if (out.size() + static_cast<std::size_t>(n) > MaxFileSize) {
            return false;
        }
        out.append(chunk, static_cast<std::size_t>(n));
    }
}

// The parse of a large file leaves much of its memory in the allocator's free lists when it goes
// (the allocator keeps freed blocks below its mapping threshold); such memory goes back to the
// system when the parse is dropped, so that a program that read a large file once does not keep
// its size for the rest of its life.
std::shared_ptr<const ParsedFile> MakeParsedFile(std::string bytes) {
    const bool large = bytes.size() > CacheFileLimit;
    return std::shared_ptr<const ParsedFile>(new ParsedFile(std::move(bytes)),
                                             [large](const ParsedFile* file) {
                                                 delete file;
#ifdef __GLIBC__
                                                 if (large) {
                                                     ::malloc_trim(0);
                                                 }
#else
                                                 (void)large;
#endif
                                             });
}

Loaded Failed(const std::string& path, LoadStatus status) {
    Forget(path);
    return {status, nullptr};
}

} // namespace

#ifdef _WIN32
UniqueHandle::~UniqueHandle() {
    Close();
}

UniqueHandle& UniqueHandle::operator=(UniqueHandle&& other) noexcept {
    if (this != &other) {
        Close();
        FHandle = other.FHandle;
        other.FHandle = nullptr;
    }
    return *this;
}

bool UniqueHandle::Valid() const {
    return FHandle != nullptr && FHandle != INVALID_HANDLE_VALUE;
}

bool UniqueHandle::Close() {
    const bool valid = Valid();
    const HANDLE handle = FHandle;
    FHandle = nullptr;
    return !valid || ::CloseHandle(handle) != 0;
}

UniqueHandle OpenShared(const std::string& path, unsigned long access, unsigned long flags) {
    const std::wstring wide = WidePath(path);
    if (wide.empty()) {
        ::SetLastError(ERROR_INVALID_NAME);
        return UniqueHandle();
    }
    return UniqueHandle(::CreateFileW(wide.c_str(), access,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, flags, nullptr));
}
#else
UniqueFd::~UniqueFd() {
    if (FFd >= 0) {
        ::close(FFd);
    }
}

void UniqueFd::Reset(int fd) {
    Close();
    FFd = fd;
}

bool UniqueFd::Close() {
    const int fd = FFd;
    FFd = -1;
    return fd < 0 || ::close(fd) == 0;
}
#endif

void Forget(const std::string& path) {
    const std::lock_guard lock(cacheMutex);
    cache.erase(path);
}

Loaded Load(const std::string& path, CacheUse cacheUse) {
    if (path.empty()) {
        return {LoadStatus::Missing, nullptr};
    }
    FileStatus status;
    if (cacheUse == CacheUse::Use) {
        // A cache hit costs one stat call.
        if (!StatPath(path, status)) {
            return Failed(path, LastFailure());
        }
        if (auto file = Cached(path, status.stamp)) {
            return {LoadStatus::Ok, std::move(file)};
        }
    }
    InputFile input(path);
    if (!input.IsOpen()) {
        return Failed(path, LastFailure());
    }
    if (!input.Status(status) || !status.regular || status.size > MaxFileSize) {
        return Failed(path, LoadStatus::Unreadable);
    }
    std::string bytes;
    bytes.reserve(static_cast<std::size_t>(status.size));
    if (!ReadAll(input, bytes)) {
        return Failed(path, LoadStatus::Unreadable);
    }
    auto file = MakeParsedFile(std::move(bytes));
    parseCount.fetch_add(1, std::memory_order_relaxed);

    FileStatus after;
    const bool unchanged = input.Status(after) && after.stamp == status.stamp;
    if (cacheUse == CacheUse::Use && unchanged && Settled(status.stamp)) {
        Remember(path, status.stamp, file);
    } else {
        Forget(path);
    }
    return {LoadStatus::Ok, std::move(file)};
}

} // namespace PrivateProfile::Internal

namespace PrivateProfile {

void ClearCache() {
    const std::lock_guard lock(Internal::cacheMutex);
    Internal::cache.clear();
}

std::uint64_t ParseCount() {
    return Internal::parseCount.load(std::memory_order_relaxed);
}

std::size_t CachedBytes() {
    const std::lock_guard lock(Internal::cacheMutex);
    return Internal::CachedBytesLocked();
}

} // namespace PrivateProfile
