#include "platform/PrivateProfile.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace PrivateProfile {
namespace {

// ---------------------------------------------------------------------------------------------
// Text helpers

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}
bool IsLineBreak(char c) {
    return c == '\n' || c == '\r' || c == '\0';
}

std::string_view TrimBlanks(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) {
        s.remove_prefix(1);
    }
    while (!s.empty() && IsBlank(s.back())) {
        s.remove_suffix(1);
    }
    return s;
}

unsigned char Lower(char c) {
    const auto u = static_cast<unsigned char>(c);
    return (u >= 'A' && u <= 'Z') ? static_cast<unsigned char>(u + ('a' - 'A')) : u;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (Lower(a[i]) != Lower(b[i])) {
            return false;
        }
    }
    return true;
}

// FNV-1a over the lower-case bytes: equal for names that compare equal without case.
std::uint64_t HashNoCase(std::string_view s) {
    std::uint64_t h = 14695981039346656037ull;
    for (char c : s) {
        h = (h ^ Lower(c)) * 1099511628211ull;
    }
    return h;
}

struct NoCaseHash {
    std::size_t operator()(std::string_view s) const {
        return static_cast<std::size_t>(HashNoCase(s));
    }
};
struct NoCaseEqual {
    bool operator()(std::string_view a, std::string_view b) const { return EqualNoCase(a, b); }
};

// Removes the double quotes around a whole quoted value; a value with a quote inside keeps them.
std::string_view Unquote(std::string_view v) {
    if (v.size() >= 2 && v.front() == '"' && v.back() == '"' &&
        v.substr(1, v.size() - 2).find('"') == std::string_view::npos) {
        return v.substr(1, v.size() - 2);
    }
    return v;
}

// ---------------------------------------------------------------------------------------------
// Lines

struct Line {
    std::size_t start;      // first character
    std::size_t contentEnd; // the line break (or end of text)
    std::size_t next;       // start of the next line
};

Line LineAt(std::string_view text, std::size_t pos) {
    std::size_t end = pos;
    while (end < text.size() && !IsLineBreak(text[end])) {
        ++end;
    }
    std::size_t next = end;
    if (next < text.size()) {
        next += (text[next] == '\r' && next + 1 < text.size() && text[next + 1] == '\n') ? 2 : 1;
    }
    return {pos, end, next};
}

// A key line of a section: where its parts lie in the text.
struct KeyLine {
    Line line;
    std::string_view key;   // trimmed
    std::size_t valueStart; // after "=" and the blanks behind it
    std::size_t valueEnd;   // before the trailing blanks
};

std::optional<KeyLine> ParseKeyLine(std::string_view text, const Line& line) {
    std::size_t p = line.start;
    while (p < line.contentEnd && IsBlank(text[p])) {
        ++p;
    }
    if (p == line.contentEnd || text[p] == ';' || text[p] == '#' || text[p] == '[') {
        return std::nullopt;
    }
    const std::string_view content = text.substr(p, line.contentEnd - p);
    const std::size_t eq = content.find('=');
    if (eq == std::string_view::npos) {
        return std::nullopt;
    }
    const std::string_view key = TrimBlanks(content.substr(0, eq));
    if (key.empty()) {
        return std::nullopt;
    }
    std::size_t vs = p + eq + 1;
    while (vs < line.contentEnd && IsBlank(text[vs])) {
        ++vs;
    }
    std::size_t ve = line.contentEnd;
    while (ve > vs && IsBlank(text[ve - 1])) {
        --ve;
    }
    return KeyLine{line, key, vs, ve};
}

// ---------------------------------------------------------------------------------------------
// A parsed file: its bytes and an index of its section headers. Keys are found by scanning the
// section's lines on demand, which keeps the index small for any file.

struct SectionRef {
    std::uint32_t headerStart;
    std::uint32_t nameStart;
    std::uint32_t nameLength;
    std::uint32_t bodyStart;
    bool first; // the first section of its name (the one that counts)
};

class ParsedFile {
public:
    explicit ParsedFile(std::string bytes) : FText(std::move(bytes)) { Index(); }

    std::string_view Text() const { return FText; }
    const std::vector<SectionRef>& Sections() const { return FSections; }

    std::string_view Name(std::size_t i) const {
        return std::string_view(FText).substr(FSections[i].nameStart, FSections[i].nameLength);
    }
    std::size_t BodyEnd(std::size_t i) const {
        return i + 1 < FSections.size() ? FSections[i + 1].headerStart : FText.size();
    }

    // The index of the section that counts for name, if any.
    std::optional<std::size_t> Find(std::string_view name) const {
        name = TrimBlanks(name);
        const NameKey key{HashNoCase(name), 0};
        for (auto it = std::lower_bound(FByName.begin(), FByName.end(), key);
             it != FByName.end() && it->hash == key.hash; ++it) {
            if (EqualNoCase(Name(it->index), name)) {
                return it->index;
            }
        }
        return std::nullopt;
    }

    // Calls f(KeyLine) for each key line of section i in file order until f returns false.
    template <class F> void ForEachKey(std::size_t i, F&& f) const {
        const std::string_view text = FText;
        const std::size_t end = BodyEnd(i);
        for (std::size_t pos = FSections[i].bodyStart; pos < end;) {
            const Line line = LineAt(text, pos);
            pos = line.next;
            if (const auto kl = ParseKeyLine(text, line)) {
                if (!f(*kl)) {
                    return;
                }
            }
        }
    }

    // The first key line of key in section i.
    std::optional<KeyLine> FindKey(std::size_t i, std::string_view key) const {
        key = TrimBlanks(key);
        std::optional<KeyLine> found;
        ForEachKey(i, [&](const KeyLine& kl) {
            if (EqualNoCase(kl.key, key)) {
                found = kl;
                return false;
            }
            return true;
        });
        return found;
    }

    // The line break new lines use: the file's first one, LF when it has none.
    std::string_view LineBreak() const {
        const std::size_t p = FText.find_first_of("\r\n");
        if (p == std::string::npos) {
            return "\n";
        }
        if (FText[p] == '\n') {
            return "\n";
        }
        return (p + 1 < FText.size() && FText[p + 1] == '\n') ? "\r\n" : "\r";
    }

    std::size_t ContentStart() const { return FText.starts_with("\xEF\xBB\xBF") ? 3 : 0; }

private:
    void Index() {
        const std::string_view text = FText;
        for (std::size_t pos = ContentStart(); pos < text.size();) {
            const Line line = LineAt(text, pos);
            pos = line.next;
            std::size_t p = line.start;
            while (p < line.contentEnd && IsBlank(text[p])) {
                ++p;
            }
            if (p == line.contentEnd || text[p] != '[') {
                continue;
            }
            const std::string_view rest = text.substr(p + 1, line.contentEnd - p - 1);
            const std::string_view raw = rest.substr(0, rest.find(']'));
            const std::string_view name = TrimBlanks(raw);
            const std::size_t nameStart =
                name.empty() ? p + 1 : static_cast<std::size_t>(name.data() - text.data());
            FSections.push_back({static_cast<std::uint32_t>(line.start),
                                 static_cast<std::uint32_t>(nameStart),
                                 static_cast<std::uint32_t>(name.size()),
                                 static_cast<std::uint32_t>(line.next), false});
        }
        // Sort the named sections by the hash of their name, then by position, to mark the first
        // section of each name and to find sections by binary search.
        std::vector<NameKey> all;
        all.reserve(FSections.size());
        for (std::size_t i = 0; i < FSections.size(); ++i) {
            if (FSections[i].nameLength > 0) {
                all.push_back({HashNoCase(Name(i)), static_cast<std::uint32_t>(i)});
            }
        }
        std::sort(all.begin(), all.end());
        std::vector<std::uint32_t> namesOfHash; // the distinct names among one run of a hash
        for (std::size_t k = 0; k < all.size(); ++k) {
            if (k == 0 || all[k].hash != all[k - 1].hash) {
                namesOfHash.clear();
            }
            const std::uint32_t i = all[k].index;
            const bool seen =
                std::any_of(namesOfHash.begin(), namesOfHash.end(),
                            [&](std::uint32_t j) { return EqualNoCase(Name(j), Name(i)); });
            if (!seen) {
                namesOfHash.push_back(i);
                FSections[i].first = true;
                FByName.push_back(all[k]);
            }
        }
    }

    struct NameKey {
        std::uint64_t hash;
        std::uint32_t index;
        auto operator<=>(const NameKey&) const = default;
    };

    std::string FText;
    std::vector<SectionRef> FSections;
    std::vector<NameKey> FByName; // first sections, sorted by name hash and position
};

// ---------------------------------------------------------------------------------------------
// Loading with a per-path cache

struct Stamp {
    dev_t dev = 0;
    ino_t ino = 0;
    off_t size = 0;
    timespec mtime{};
    timespec ctime{};

    static Stamp Of(const struct stat& st) {
        return {st.st_dev, st.st_ino, st.st_size, st.st_mtim, st.st_ctim};
    }
    bool operator==(const Stamp& o) const {
        return dev == o.dev && ino == o.ino && size == o.size && mtime.tv_sec == o.mtime.tv_sec &&
               mtime.tv_nsec == o.mtime.tv_nsec && ctime.tv_sec == o.ctime.tv_sec &&
               ctime.tv_nsec == o.ctime.tv_nsec;
    }
};

// A file modified this recently may change again without a visible change of its stamp.
constexpr time_t RacySeconds = 2;
// At most this many files and bytes stay cached; the least recently used go first.
constexpr std::size_t CacheCapacity = 16;
constexpr std::size_t CacheByteLimit = std::size_t{256} << 20;

struct CacheEntry {
    Stamp stamp;
    std::shared_ptr<const ParsedFile> file;
    std::uint64_t lastUse = 0;
};

std::mutex cacheMutex;
std::unordered_map<std::string, CacheEntry> cache;
std::uint64_t useCounter = 0;
std::atomic<std::uint64_t> parseCount{0};

enum class LoadStatus { Ok, Missing, Unreadable };

struct Loaded {
    LoadStatus status;
    std::shared_ptr<const ParsedFile> file; // set when Ok
};

class Fd {
public:
    explicit Fd(int fd) : FFd(fd) {}
    ~Fd() {
        if (FFd >= 0) {
            ::close(FFd);
        }
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int Get() const { return FFd; }
    int Release() { return std::exchange(FFd, -1); }

private:
    int FFd;
};

bool ReadAll(int fd, std::string& out) {
    char chunk[65536];
    for (;;) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
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

void Forget(const std::string& path) {
    const std::lock_guard lock(cacheMutex);
    cache.erase(path);
}

void Remember(const std::string& path, const Stamp& stamp,
              const std::shared_ptr<const ParsedFile>& file) {
    const std::lock_guard lock(cacheMutex);
    cache.erase(path);
    const std::size_t size = file->Text().size();
    if (size > CacheByteLimit) {
        return;
    }
    const auto cachedBytes = [] {
        std::size_t total = 0;
        for (const auto& [key, entry] : cache) {
            total += entry.file->Text().size();
        }
        return total;
    };
    while (!cache.empty() &&
           (cache.size() >= CacheCapacity || cachedBytes() + size > CacheByteLimit)) {
        cache.erase(std::min_element(cache.begin(), cache.end(), [](auto& a, auto& b) {
            return a.second.lastUse < b.second.lastUse;
        }));
    }
    cache[path] = CacheEntry{stamp, file, ++useCounter};
}

Loaded Load(const std::string& path) {
    if (path.empty()) {
        return {LoadStatus::Missing, nullptr};
    }
    // A cache hit costs one stat call.
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        const bool missing = errno == ENOENT || errno == ENOTDIR;
        Forget(path);
        return {missing ? LoadStatus::Missing : LoadStatus::Unreadable, nullptr};
    }
    {
        const std::lock_guard lock(cacheMutex);
        const auto it = cache.find(path);
        if (it != cache.end() && it->second.stamp == Stamp::Of(st)) {
            it->second.lastUse = ++useCounter;
            return {LoadStatus::Ok, it->second.file};
        }
    }
    // O_NONBLOCK: a FIFO put in place of the file must not block the open.
    const Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (fd.Get() < 0) {
        const bool missing = errno == ENOENT || errno == ENOTDIR;
        Forget(path);
        return {missing ? LoadStatus::Missing : LoadStatus::Unreadable, nullptr};
    }
    if (::fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode) ||
        static_cast<std::uint64_t>(st.st_size) > MaxFileSize) {
        Forget(path);
        return {LoadStatus::Unreadable, nullptr};
    }
    const Stamp stamp = Stamp::Of(st);
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    std::string bytes;
    bytes.reserve(static_cast<std::size_t>(st.st_size));
    if (!ReadAll(fd.Get(), bytes)) {
        Forget(path);
        return {LoadStatus::Unreadable, nullptr};
    }
    auto file = std::make_shared<const ParsedFile>(std::move(bytes));
    parseCount.fetch_add(1, std::memory_order_relaxed);

    struct stat after {};
    const bool unchanged = ::fstat(fd.Get(), &after) == 0 && Stamp::Of(after) == stamp;
    const bool settled = st.st_mtim.tv_sec < now.tv_sec - RacySeconds;
    if (unchanged && settled) {
        Remember(path, stamp, file);
    } else {
        Forget(path);
    }
    return {LoadStatus::Ok, file};
}

// ---------------------------------------------------------------------------------------------
// Reading

std::size_t CopyText(std::string_view text, std::span<char> buffer) {
    const std::size_t n = std::min(text.size(), buffer.size() - 1);
    std::copy_n(text.data(), n, buffer.data());
    buffer[n] = '\0';
    return n;
}

// Fills buffer with zero-ended names and a final zero; stops at the first name that does not
// fit. next() gives the next name or nullopt at the end.
template <class Next> std::size_t CopyList(std::span<char> buffer, Next next) {
    std::size_t used = 0;
    while (const auto name = next()) {
        if (used + name->size() + 2 > buffer.size()) {
            break;
        }
        std::copy_n(name->data(), name->size(), buffer.data() + used);
        used += name->size();
        buffer[used++] = '\0';
    }
    buffer[used] = '\0';
    if (used + 1 < buffer.size()) {
        buffer[used + 1] = '\0';
    }
    return used;
}

std::size_t ListSectionNames(const ParsedFile* file, std::span<char> buffer) {
    std::size_t i = 0;
    return CopyList(buffer, [&]() -> std::optional<std::string_view> {
        if (file == nullptr) {
            return std::nullopt;
        }
        const auto& sections = file->Sections();
        while (i < sections.size() && !sections[i].first) {
            ++i;
        }
        if (i == sections.size()) {
            return std::nullopt;
        }
        return file->Name(i++);
    });
}

std::size_t ListKeyNames(const ParsedFile* file, std::string_view section, std::span<char> buffer) {
    std::vector<std::string_view> keys;
    if (file != nullptr) {
        if (const auto s = file->Find(section)) {
            // Only as many names as the buffer can hold are gathered, which bounds the set.
            std::unordered_set<std::string_view, NoCaseHash, NoCaseEqual> seen;
            std::size_t room = buffer.size();
            file->ForEachKey(*s, [&](const KeyLine& kl) {
                if (!seen.insert(kl.key).second) {
                    return true;
                }
                keys.push_back(kl.key);
                if (kl.key.size() + 1 >= room) {
                    return false;
                }
                room -= kl.key.size() + 1;
                return true;
            });
        }
    }
    std::size_t i = 0;
    return CopyList(buffer, [&]() -> std::optional<std::string_view> {
        if (i == keys.size()) {
            return std::nullopt;
        }
        return keys[i++];
    });
}

// ---------------------------------------------------------------------------------------------
// Writing

bool HasLineBreak(std::string_view s) {
    return std::any_of(s.begin(), s.end(), IsLineBreak);
}

bool ValidSectionName(std::string_view s) {
    return !TrimBlanks(s).empty() && !HasLineBreak(s) && s.find(']') == std::string_view::npos;
}

bool ValidKeyName(std::string_view k) {
    const std::string_view t = TrimBlanks(k);
    return !t.empty() && !HasLineBreak(k) && k.find('=') == std::string_view::npos &&
           t.front() != '[' && t.front() != ';' && t.front() != '#';
}

// The value text as written: quoted when blanks at its ends would otherwise be lost on reading.
std::string ValueText(std::string_view value) {
    const bool padded = !value.empty() && (IsBlank(value.front()) || IsBlank(value.back()));
    if (padded && value.find('"') == std::string_view::npos) {
        std::string quoted;
        quoted.reserve(value.size() + 2);
        quoted.append(1, '"').append(value).append(1, '"');
        return quoted;
    }
    return std::string(value);
}

std::string SetValue(const ParsedFile& file, std::string_view section, std::string_view key,
                     std::string_view value) {
    const std::string_view text = file.Text();
    const std::string valueText = ValueText(value);
    const std::string_view eol = file.LineBreak();
    const auto s = file.Find(section);
    if (!s) {
        std::string out(text);
        if (text.size() > file.ContentStart() && !IsLineBreak(text.back())) {
            out += eol;
        }
        out.append("[").append(TrimBlanks(section)).append("]").append(eol);
        out.append(TrimBlanks(key)).append("=").append(valueText).append(eol);
        return out;
    }
    if (const auto kl = file.FindKey(*s, key)) {
        std::string out(text.substr(0, kl->valueStart));
        out += valueText;
        out += text.substr(kl->valueEnd);
        return out;
    }
    // Below the section's last key line, or right below its header.
    std::size_t at = file.Sections()[*s].bodyStart;
    file.ForEachKey(*s, [&](const KeyLine& kl) {
        at = kl.line.next;
        return true;
    });
    std::string insert;
    if (at > 0 && !IsLineBreak(text[at - 1])) {
        insert += eol;
    }
    insert.append(TrimBlanks(key)).append("=").append(valueText).append(eol);
    std::string out(text);
    out.insert(at, insert);
    return out;
}

// Text without the given [start, end) ranges, which are in ascending order.
std::string Without(std::string_view text,
                    const std::vector<std::pair<std::size_t, std::size_t>>& ranges) {
    std::string out;
    out.reserve(text.size());
    std::size_t pos = 0;
    for (const auto& [start, end] : ranges) {
        out.append(text.substr(pos, start - pos));
        pos = end;
    }
    out.append(text.substr(pos));
    return out;
}

std::vector<std::pair<std::size_t, std::size_t>>
KeyLines(const ParsedFile& file, std::string_view section, std::string_view key) {
    std::vector<std::pair<std::size_t, std::size_t>> ranges;
    if (const auto s = file.Find(section)) {
        key = TrimBlanks(key);
        file.ForEachKey(*s, [&](const KeyLine& kl) {
            if (EqualNoCase(kl.key, key)) {
                ranges.emplace_back(kl.line.start, kl.line.next);
            }
            return true;
        });
    }
    return ranges;
}

std::vector<std::pair<std::size_t, std::size_t>> SectionBlocks(const ParsedFile& file,
                                                               std::string_view section) {
    std::vector<std::pair<std::size_t, std::size_t>> ranges;
    section = TrimBlanks(section);
    const auto& sections = file.Sections();
    for (std::size_t i = 0; i < sections.size(); ++i) {
        if (!section.empty() && EqualNoCase(file.Name(i), section)) {
            ranges.emplace_back(sections[i].headerStart, file.BodyEnd(i));
        }
    }
    return ranges;
}

bool WriteAll(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Writes content to a new file in target's folder, syncs it and renames it over target.
bool ReplaceFile(const std::string& target, std::string_view content, std::optional<mode_t> mode) {
    static std::atomic<unsigned> counter{0};
    const std::string folder = FolderOf(target);
    const std::string base = target.substr(target.rfind('/') + 1);
    std::string temp;
    int raw = -1;
    for (int attempt = 0; attempt < 100 && raw < 0; ++attempt) {
        temp = folder + "/." + base + "." + std::to_string(::getpid()) + "." +
               std::to_string(counter.fetch_add(1)) + ".tmp";
        raw = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (raw < 0 && errno != EEXIST) {
            return false;
        }
    }
    if (raw < 0) {
        return false;
    }
    Fd fd(raw);
    const bool written = (!mode || ::fchmod(fd.Get(), *mode & 07777) == 0) &&
                         WriteAll(fd.Get(), content) && ::fsync(fd.Get()) == 0 &&
                         ::close(fd.Release()) == 0;
    if (!written || ::rename(temp.c_str(), target.c_str()) != 0) {
        ::unlink(temp.c_str());
        return false;
    }
    // Make the rename itself durable; a failure here no longer endangers the data.
    const Fd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.Get() >= 0) {
        ::fsync(dir.Get());
    }
    return true;
}

// The file a write must replace: the target of a symbolic link, else path itself.
std::optional<std::string> WriteTarget(const std::string& path) {
    struct stat lst {};
    if (::lstat(path.c_str(), &lst) != 0 || !S_ISLNK(lst.st_mode)) {
        return path;
    }
    char resolved[PATH_MAX];
    if (::realpath(path.c_str(), resolved) == nullptr) {
        return std::nullopt;
    }
    return std::string(resolved);
}

bool Modify(OptText section, OptText key, OptText value, const std::string& path) {
    const auto target = WriteTarget(path);
    if (!target) {
        return false;
    }
    struct stat st {};
    const bool exists = ::stat(target->c_str(), &st) == 0;
    if (!exists && errno != ENOENT) {
        return false;
    }
    // A file without any write permission stays untouched even for a privileged user.
    if (exists && (!S_ISREG(st.st_mode) || (st.st_mode & 0222) == 0 ||
                   ::access(target->c_str(), R_OK | W_OK) != 0)) {
        return false;
    }
    const Loaded loaded = Load(*target);
    if (loaded.status == LoadStatus::Unreadable) {
        return false;
    }
    const ParsedFile empty{std::string()};
    const ParsedFile& file = loaded.file ? *loaded.file : empty;

    std::string content;
    if (value) {
        content = SetValue(file, *section, *key, *value);
    } else {
        const auto ranges = key ? KeyLines(file, *section, *key) : SectionBlocks(file, *section);
        if (ranges.empty()) {
            return true;
        }
        content = Without(file.Text(), ranges);
    }
    if (content.size() > MaxFileSize) {
        return false;
    }
    const bool ok =
        ReplaceFile(*target, content, exists ? std::optional(st.st_mode) : std::nullopt);
    Forget(*target);
    Forget(path);
    return ok;
}

} // namespace

std::size_t GetString(OptText section, OptText key, OptText defaultValue, std::span<char> buffer,
                      const std::string& path) {
    if (buffer.empty()) {
        return 0;
    }
    const Loaded loaded = Load(path);
    const ParsedFile* file = loaded.file.get();
    if (!section) {
        return ListSectionNames(file, buffer);
    }
    if (!key) {
        return ListKeyNames(file, *section, buffer);
    }
    if (file != nullptr) {
        if (const auto s = file->Find(*section)) {
            if (const auto kl = file->FindKey(*s, *key)) {
                const std::string_view text = file->Text();
                return CopyText(Unquote(text.substr(kl->valueStart, kl->valueEnd - kl->valueStart)),
                                buffer);
            }
        }
    }
    return CopyText(defaultValue.value_or(std::string_view()), buffer);
}

bool WriteString(OptText section, OptText key, OptText value, const std::string& path) {
    if (!section) {
        return !key && !value;
    }
    if (!key) {
        value.reset(); // a missing key name means: delete the section
    }
    if (value && (!ValidSectionName(*section) || !ValidKeyName(*key) || HasLineBreak(*value))) {
        return false;
    }
    if (path.empty()) {
        return false;
    }
    return Modify(section, key, value, path);
}

void ClearCache() {
    const std::lock_guard lock(cacheMutex);
    cache.clear();
}

std::uint64_t ParseCount() {
    return parseCount.load(std::memory_order_relaxed);
}

} // namespace PrivateProfile
