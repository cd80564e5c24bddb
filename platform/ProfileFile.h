#pragma once
// Inside the private-profile layer: a parsed file, its cache and the reading of files from disk.
// Not for use outside platform/PrivateProfile*.cpp and platform/Profile*.cpp.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace PrivateProfile::Internal {

// How the file's bytes encode its text. UTF-16 files (with a byte-order mark) are decoded to UTF-8
// for parsing and encoded back when written; every other file is parsed as its bytes.
enum class TextEncoding { Bytes, Utf16Le, Utf16Be };

// The section and key name matching of the whole layer: blanks around the name asked for are
// ignored, ASCII letters compare without regard to case. fileName is a name as parsed (trimmed).
bool NameMatches(std::string_view fileName, std::string_view asked);

struct Line {
    std::size_t start;      // first character
    std::size_t contentEnd; // the line break (or end of text)
    std::size_t next;       // start of the next line
};

// A key line of a section: where its parts lie in the text.
struct KeyLine {
    Line line;
    std::string_view key;   // trimmed
    std::size_t valueStart; // after "=" and the blanks behind it
    std::size_t valueEnd;   // before the trailing blanks
};

struct SectionRef {
    std::uint32_t headerStart;
    std::uint32_t nameStart;
    std::uint32_t nameLength;
    std::uint32_t bodyStart;
    bool first; // the first section of its name (the one that counts)
};

// A parsed file: its text and an index of its section headers. Keys are found by scanning the
// section's lines on demand, which keeps the index small for any file.
class ParsedFile {
public:
    // Decodes bytes (UTF-16 with a byte-order mark to UTF-8) and indexes the sections.
    explicit ParsedFile(std::string bytes);

    std::string_view Text() const { return FText; }
    TextEncoding Encoding() const { return FEncoding; }
    // False when the bytes were not valid UTF-16 (an odd length, an unpaired surrogate): their
    // text is then not what a write could give back, so writes refuse such a file.
    bool Reencodable() const { return FReencodable; }
    // Memory the parse holds: the text and the index.
    std::size_t MemoryBytes() const;

    const std::vector<SectionRef>& Sections() const { return FSections; }
    std::string_view Name(std::size_t i) const;
    std::size_t BodyEnd(std::size_t i) const;

    // The index of the section that counts for name, if any.
    std::optional<std::size_t> Find(std::string_view name) const;

    // Calls f(KeyLine) for each key line of section i in file order until f returns false.
    template <class F> void ForEachKey(std::size_t i, F&& f) const {
        const std::string_view text = FText;
        const std::size_t end = BodyEnd(i);
        for (std::size_t pos = FSections[i].bodyStart; pos < end;) {
            const Line line = LineAt(text, pos);
            pos = line.next;
            if (const auto keyLine = ParseKeyLine(text, line)) {
                if (!f(*keyLine)) {
                    return;
                }
            }
        }
    }

    // The first key line of key in section i.
    std::optional<KeyLine> FindKey(std::size_t i, std::string_view key) const;

    // The line break new lines use: the file's first one, LF when it has none.
    std::string_view LineBreak() const;
    // Where the text proper starts: behind a UTF-8 byte-order mark.
    std::size_t ContentStart() const;

    static Line LineAt(std::string_view text, std::size_t pos);
    static std::optional<KeyLine> ParseKeyLine(std::string_view text, const Line& line);

private:
    struct NameKey {
        std::uint64_t hash;
        std::uint32_t index;
        bool operator<(const NameKey& other) const {
            return hash != other.hash ? hash < other.hash : index < other.index;
        }
    };

    std::string FText;
    TextEncoding FEncoding = TextEncoding::Bytes;
    bool FReencodable = true;
    std::vector<SectionRef> FSections;
    std::vector<NameKey> FByName; // the first section of each name, sorted by hash

    void Index();
};

// The value text of a key line as read: a value in double quotes loses them (see
// PrivateProfile.h for the rule).
std::string Unquote(std::string_view value);
// The value text to write for value, such that Unquote(TrimSpaceOrTab(text)) gives value back.
std::string QuoteForWrite(std::string_view value);

// The bytes to store for text in encoding; nullopt when text is not valid UTF-8 and the encoding
// is UTF-16.
std::optional<std::string> Encode(std::string_view text, TextEncoding encoding);

bool IsLineBreak(char c);
bool HasLineBreak(std::string_view text);

// ---------------------------------------------------------------------------------------------
// Changing a file's text

// Names a write accepts: a section name that is not blank and holds no "]"; a key that is not
// blank, holds no "=" and does not start with "[", ";" or "#"; neither holds a line break.
bool ValidSectionName(std::string_view section);
bool ValidKeyName(std::string_view key);

// The file's text after the change: key and value given sets the value; key given without value
// deletes the key; neither deletes the section. nullopt when a deletion finds nothing to delete.
std::optional<std::string> EditedText(const ParsedFile& file, std::string_view section,
                                      std::optional<std::string_view> key,
                                      std::optional<std::string_view> value);

// ---------------------------------------------------------------------------------------------
// Reading files

enum class LoadStatus { Ok, Missing, Unreadable };

struct Loaded {
    LoadStatus status;
    std::shared_ptr<const ParsedFile> file; // null unless Ok
};

enum class CacheUse { Use, Bypass };

// The parse of the file at path: from the cache when its stamp still matches (CacheUse::Use), or
// read now and never cached (CacheUse::Bypass, for a writer holding the folder's lock).
Loaded Load(const std::string& path, CacheUse cacheUse = CacheUse::Use);
// Drops the cached parse of path.
void Forget(const std::string& path);

// Sets a value, deletes a key or deletes a section of the file at path (see EditedText); the
// caller has checked the names.
bool WriteFile(std::string_view section, std::optional<std::string_view> key,
               std::optional<std::string_view> value, const std::string& path);

// ---------------------------------------------------------------------------------------------
// Writing files: what the platforms' write paths share

enum class Plan { Fail, Nothing, Write };

struct Change {
    Plan plan;
    std::string bytes; // the new file, for Plan::Write
};

// Reads the file at target afresh (the caller holds the folder's lock) and works out its new
// bytes in the file's own encoding.
Change PlanChange(const std::string& target, std::string_view section,
                  std::optional<std::string_view> key, std::optional<std::string_view> value);

enum class LockState { Locked, Unsupported, TimedOut };

// How long a write waits for the folder's lock.
std::chrono::milliseconds LockWait();

// Threads of this process writing the same path take turns here first; processes (and threads
// that reach the same file by other paths) take turns at the folder's lock.
std::mutex& PathMutex(const std::string& path);

// Temporary files are named ".~pp" and 12 random letters and digits: short, so that a file whose
// own name is near the limit can still be written, and unpredictable, so that names put in the
// way beforehand cannot block a write.
bool IsTempName(std::string_view name);
std::string RandomTempName();

struct FolderAndName {
    std::string folder;
    std::string name;
};
FolderAndName SplitPath(const std::string& path);

// Calls the test hook (below), if one is set.
void TempFileCreated(const std::string& folder, const std::string& name);

// The one test-access point of the layer.
namespace TestAccess {
// Called by every write right after it created its temporary file (the folder as the write found
// it, and the temporary file's name), before anything is written to it. Empty: nothing is called.
using TempFileHook = std::function<void(const std::string& folder, const std::string& name)>;
void SetTempFileHook(TempFileHook hook);
// How long a write waits for the folder's lock before it fails (30 s unless set).
void SetLockWait(std::chrono::milliseconds wait);
} // namespace TestAccess

#ifdef _WIN32
// Owns a handle of the system (a HANDLE); null and INVALID_HANDLE_VALUE hold none.
class UniqueHandle {
public:
    explicit UniqueHandle(void* handle = nullptr) : FHandle(handle) {}
    ~UniqueHandle();
    UniqueHandle(UniqueHandle&& other) noexcept : FHandle(other.FHandle) {
        other.FHandle = nullptr;
    }
    UniqueHandle& operator=(UniqueHandle&& other) noexcept;
    void* Get() const { return FHandle; }
    bool Valid() const;
    // Closes the handle and reports whether that succeeded.
    bool Close();

private:
    void* FHandle;
};

// Opens the file or folder at path (a UTF-8 path) with the given access (a Windows access mask)
// and flags, sharing reading, writing, deletion and renaming with everyone, so that the file
// stays replaceable while it is open.
UniqueHandle OpenShared(const std::string& path, unsigned long access, unsigned long flags);
#else
// Owns a file descriptor.
class UniqueFd {
public:
    explicit UniqueFd(int fd = -1) : FFd(fd) {}
    ~UniqueFd();
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    int Get() const { return FFd; }
    // Closes the descriptor held and takes fd.
    void Reset(int fd);
    // Closes the descriptor and reports whether close succeeded.
    bool Close();

private:
    int FFd;
};
#endif

} // namespace PrivateProfile::Internal
