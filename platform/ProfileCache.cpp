// Reading private-profile files from disk, with a small per-path cache of their parses.

#include "platform/PrivateProfile.h"
#include "platform/ProfileFile.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <ctime>
#include <mutex>
#include <unordered_map>

#include <fcntl.h>
#ifdef __GLIBC__
#include <malloc.h>
#endif
#include <sys/stat.h>

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace PrivateProfile::Internal {
namespace {

// ---------------------------------------------------------------------------------------------
// The file system

#ifdef _WIN32
using StatBuffer = struct _stat64;

int StatPath(const std::string& path, StatBuffer& st) {
    return ::_wstat64(WidePath(path).c_str(), &st);
}

int OpenForReading(const std::string& path) {
    return ::_wopen(WidePath(path).c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT);
}

int StatOpen(int fd, StatBuffer& st) {
    return ::_fstat64(fd, &st);
}

int ReadSome(int fd, char* buffer, std::size_t size) {
    return ::_read(fd, buffer, static_cast<unsigned>(size));
}

void CloseFd(int fd) {
    ::_close(fd);
}

bool IsRegular(const StatBuffer& st) {
    return (st.st_mode & _S_IFMT) == _S_IFREG;
}
#else
using StatBuffer = struct stat;

int StatPath(const std::string& path, StatBuffer& st) {
    return ::stat(path.c_str(), &st);
}

// O_NONBLOCK: a FIFO put in place of the file must not block the open.
int OpenForReading(const std::string& path) {
    return ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
}

int StatOpen(int fd, StatBuffer& st) {
    return ::fstat(fd, &st);
}

ssize_t ReadSome(int fd, char* buffer, std::size_t size) {
    return ::read(fd, buffer, size);
}

void CloseFd(int fd) {
    ::close(fd);
}

bool IsRegular(const StatBuffer& st) {
    return S_ISREG(st.st_mode);
}
#endif

// What tells one version of a file from another.
struct Stamp {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::int64_t size = 0;
    std::int64_t modified = 0; // seconds
    std::int64_t modifiedNs = 0;
    std::int64_t changed = 0; // status change (seconds)
    std::int64_t changedNs = 0;

    static Stamp Of(const StatBuffer& st) {
#ifdef _WIN32
        return {static_cast<std::uint64_t>(st.st_dev), 0, st.st_size, st.st_mtime, 0, 0, 0};
#else
        return {static_cast<std::uint64_t>(st.st_dev),
                static_cast<std::uint64_t>(st.st_ino),
                static_cast<std::int64_t>(st.st_size),
                st.st_mtim.tv_sec,
                st.st_mtim.tv_nsec,
                st.st_ctim.tv_sec,
                st.st_ctim.tv_nsec};
#endif
    }
    bool operator==(const Stamp&) const = default;
};

// A file changed this recently may change again without a visible change of its stamp.
constexpr std::int64_t RacySeconds = 2;

// Whether any later change of the file must show in its stamp: its modification time lies
// settled in the past, or (where the status-change time is kept by the system clock alone) its
// status-change time does, so a file dated in the future by its modification time is cached too.
bool Settled(const Stamp& stamp) {
    const std::int64_t now = static_cast<std::int64_t>(std::time(nullptr));
#ifdef _WIN32
    return stamp.modified < now - RacySeconds;
#else
    return stamp.modified < now - RacySeconds || stamp.changed < now - RacySeconds;
#endif
}

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

bool ReadAll(int fd, std::string& out) {
    char chunk[65536];
    for (;;) {
        const auto n = ReadSome(fd, chunk, sizeof chunk);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
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

Loaded Failed(const std::string& path, int error) {
    Forget(path);
    const bool missing = error == ENOENT || error == ENOTDIR;
    return {missing ? LoadStatus::Missing : LoadStatus::Unreadable, nullptr};
}

} // namespace

#ifdef _WIN32
std::wstring WidePath(const std::string& path) {
    const int count =
        ::MultiByteToWideChar(CP_UTF8, 0, path.data(), static_cast<int>(path.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(count), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, path.data(), static_cast<int>(path.size()), wide.data(),
                          count);
    return wide;
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
    StatBuffer st{};
    if (cacheUse == CacheUse::Use) {
        // A cache hit costs one stat call.
        if (StatPath(path, st) != 0) {
            return Failed(path, errno);
        }
        if (auto file = Cached(path, Stamp::Of(st))) {
            return {LoadStatus::Ok, std::move(file)};
        }
    }
    const int fd = OpenForReading(path);
    if (fd < 0) {
        return Failed(path, errno);
    }
    struct Closer {
        int fd;
        ~Closer() { CloseFd(fd); }
    } closer{fd};
    if (StatOpen(fd, st) != 0 || !IsRegular(st) ||
        static_cast<std::uint64_t>(st.st_size) > MaxFileSize) {
        return Failed(path, EACCES);
    }
    const Stamp stamp = Stamp::Of(st);
    std::string bytes;
    bytes.reserve(static_cast<std::size_t>(st.st_size));
    if (!ReadAll(fd, bytes)) {
        return Failed(path, EACCES);
    }
    auto file = MakeParsedFile(std::move(bytes));
    parseCount.fetch_add(1, std::memory_order_relaxed);

    StatBuffer after{};
    const bool unchanged = StatOpen(fd, after) == 0 && Stamp::Of(after) == stamp;
    if (cacheUse == CacheUse::Use && unchanged && Settled(stamp)) {
        Remember(path, stamp, file);
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
