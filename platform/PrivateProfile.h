#pragma once
// Private-profile (INI) files: read a value by section and key, list section and key names, write
// or delete a key, delete a section. Our own implementation of the two classic platform calls
// (get and write a profile string), with the same buffer conventions, and a snapshot view of a
// file for callers that read many values at once.
//
// How a file reads:
// - A file that starts with a UTF-16 byte-order mark (FF FE little-endian, FE FF big-endian) is
//   decoded to UTF-8 first; names and values of such a file arrive as UTF-8. Any other file is
//   read as its bytes; a UTF-8 byte-order mark at its start is skipped.
// - Lines end with LF, CRLF or a lone CR; a NUL character also ends a line (a value or a name
//   never contains NUL). "Blanks" are spaces and tabs.
// - A line whose first non-blank character is "[" opens a section. Its name is the text up to the
//   first "]" (or to the end of the line when there is none), blanks around it removed; text
//   after the "]" is ignored.
// - A line whose first non-blank character is ";" or "#" is a comment.
// - Any other line holding "=" is a key line: the key is the text before the first "=", the value
//   the text after it, both with blanks around them removed. A value that starts and ends with a
//   double quote, and in which every quote between those two is doubled, stands for the text
//   between them with each doubled quote made one: "\"  a \"" reads as "  a ", "\"say \"\"hi\"\"\""
//   as "say \"hi\"", "\"\"" as the empty text. Any other value reads as it stands, quotes and
//   all ("\"1\",\"2\"" stays "\"1\",\"2\"").
// - Lines without "=", key lines with an empty key, and key lines before the first section
//   are ignored (and kept when the file is written).
// - Section and key names compare without regard to ASCII letter case, and blanks around the
//   names passed in are ignored. The first section of a name is the section; a later section of
//   the same name is ignored, as is a later key of the same name within the section.
// - A missing file, a directory, any other non-regular file, an unreadable file or a file larger
//   than MaxFileSize reads as an empty file.
//
// How a file is written: under a lock (below), the file is read afresh and the new content goes
// to a temporary file in the same folder (flushed and synced), which then replaces the file by
// rename, so a failed or interrupted write leaves the old file as it was. Everything else in the
// file stays byte for byte: a changed value replaces only the old value text; a new key goes
// below the last key of its section; a new section goes to the end of the file. New lines use
// the file's first line ending (LF for a file without one); a UTF-16 file stays UTF-16 with the
// same byte order. A value is written as it stands when it would read back so, else in double
// quotes with its own quotes doubled, so every value a write accepts reads back identically
// (up to the 2,047 characters a read delivers). A file that does not exist is created; a
// symbolic link stays and its target is replaced.
// - Permissions: a new file gets the usual permissions (0666 less the umask). A replaced file's
//   temporary copy is readable by the writer alone until it is complete; then it takes the old
//   file's permission bits, its group whenever the writer belongs to that group, and its owner
//   when the process may give it (a privileged process).
// - A write fails (returns false) when the file exists but cannot be read or written, has no
//   write permission at all (even for a privileged user), is not a regular file, has more than
//   one name (hard links, which a rename would split), would change who may read it because its
//   owner or group cannot be kept, is a UTF-16 file that is not valid UTF-16 (or the new text is
//   not valid UTF-8), or when the folder does not accept the temporary file.
// - Temporary files are named ".~pp" and 12 random characters in the file's folder. A writer that
//   dies mid-write leaves its temporary file behind; the next write in that folder removes it.
// - Lost updates: writes to one file take turns from reading to renaming, between threads (a lock
//   per path) and between processes (an advisory lock on the folder, flock, which all writers of
//   the folder share). On a file system without such locks (some network file systems) writes
//   from several processes are not coordinated and the last rename wins.
// - On Windows the same rules hold with the system's means: the folder's lock is a mutex named
//   after the folder's identity (volume and index), shared by the processes of the session and
//   taken over from a writer that died holding it; the temporary file is opened unshared, so
//   nobody else opens it before it is complete; a replaced file passes its hidden, system,
//   archive and not-indexed attributes on (not its access list: the new file has the permissions
//   the folder gives new files), and a read-only file is not written. Readers share deletion, so
//   that the rename (with POSIX semantics where the system has them) replaces a file they hold
//   open; where an open file cannot be replaced, the rename is retried for up to a second. Paths
//   are UTF-8, converted to UTF-16; one that is not valid UTF-8 names no file.
//
// The cache: parsed files are cached per path and revalidated on every call by size,
// modification and status-change times (nanoseconds), inode and device; a cache hit costs one
// stat call. A file is cached only when any later change must show in that stamp: its
// modification time or its status-change time lies more than two seconds in the past (changes
// within the timestamp granularity of the file system are never missed; a file dated in the
// future by its modification time is cached once its status-change time has settled). At most 16
// files stay cached, none whose parse holds more than 4 MiB, 16 MiB in all (least recently used
// go first); a larger file is read again by every call, so a caller that reads many values of it
// takes a Snapshot. One change escapes the stamp: a change made through a writable shared memory
// mapping of the file (mmap with MAP_SHARED) updates the file's times only at the first write to
// a page after that page was last written back to disk, so later changes within that window
// leave a cached parse stale until the stamp changes by other means or ClearCache is called.
// Programs that change profile files through a shared mapping call ClearCache after doing so.
// On Windows the stamp is the volume, the file's index, its size and its last-write and change
// times (100 ns), and a file is cached once its last-write time lies two seconds in the past.
// Writes never use the cache.
//
// All functions are safe to call from several threads.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace PrivateProfile {

// Buffer sizes the INI reader uses: a value holds at most 2,047 characters plus its zero; an
// enumeration holds names, each with its zero, plus a final zero.
inline constexpr std::size_t ValueBufferSize = 2048;
inline constexpr std::size_t ListBufferSize = 16384;
// Files larger than this read as empty and are not written.
inline constexpr std::uint64_t MaxFileSize = std::uint64_t{1} << 30;

using OptText = std::optional<std::string_view>;

namespace Internal {
class ParsedFile;
}

// A file as it was when the snapshot was taken: one file check (and at most one parse) for any
// number of reads. Copies share the parse; it is dropped with the last copy. Names returned are
// views into the snapshot and stay valid while a copy of it lives.
class Snapshot {
public:
    // An empty file.
    Snapshot();
    // The file at path now (a missing or unreadable file reads as empty).
    static Snapshot Take(const std::string& path);

    // The section names in file order, as many as fit an enumeration buffer of listSize
    // characters (each with its zero, plus the final zero); the first one that does not fit ends
    // the list.
    std::vector<std::string_view> SectionNames(std::size_t listSize = ListBufferSize) const;
    // The key names of section in file order, cut in the same way.
    std::vector<std::string_view> KeyNames(std::string_view section,
                                           std::size_t listSize = ListBufferSize) const;
    // The value of key in section, or defaultValue when the section or the key is missing; cut
    // to valueSize - 1 characters (nothing for a valueSize of 0).
    std::string Value(std::string_view section, std::string_view key, std::string_view defaultValue,
                      std::size_t valueSize = ValueBufferSize) const;

    // Whether name (blanks around it ignored) names the section or key called fileName: the
    // matching every look-up of this layer uses.
    static bool NamesMatch(std::string_view fileName, std::string_view name);

private:
    std::shared_ptr<const Internal::ParsedFile> FFile;
};

// Reads from the file at path into buffer and returns the number of characters placed, not
// counting the final zero:
// - section and key given: the key's value, or defaultValue (empty when nullopt) when the file,
//   section or key is missing; cut to buffer.size() - 1 characters and ended by a zero.
// - section given, key nullopt: the section's key names; section nullopt: the section names.
//   The names are in file order, each ended by a zero, the list ended by one more zero. A name
//   that does not fit (with its zero and the final zero) is left out, and so are all after it.
// An empty buffer receives nothing and gives 0.
std::size_t GetString(OptText section, OptText key, OptText defaultValue, std::span<char> buffer,
                      const std::string& path);

// Changes the file at path and returns true on success:
// - section, key and value given: sets the key's value (creating section and key when needed).
//   Fails for a section name that is blank or holds "]", a key that is blank, holds "=" or starts
//   with "[", ";" or "#", and for any text holding CR, LF or NUL.
// - section and key given, value nullopt: deletes the key from the section.
// - section given, key nullopt: deletes every section of that name with all its lines.
// - all three nullopt: flush; nothing is buffered, so this just succeeds.
// - section nullopt with a key or value: fails.
// Deleting what is not there succeeds and leaves the file untouched (a missing file stays
// missing).
bool WriteString(OptText section, OptText key, OptText value, const std::string& path);

// Drops every cached parse (memory is given back; the next call reads the file again).
void ClearCache();

// Diagnostics for tests and benchmarks: how many times a file has been read and parsed so far,
// and the memory the cached parses hold.
std::uint64_t ParseCount();
std::size_t CachedBytes();

} // namespace PrivateProfile
