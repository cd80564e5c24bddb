#pragma once
// Private-profile (INI) files: read a value by section and key, list section and key names, write
// or delete a key, delete a section. Our own implementation of the two classic platform calls
// (get and write a profile string), with the same buffer conventions.
//
// How a file reads:
// - Lines end with LF, CRLF or a lone CR; a NUL byte also ends a line (a value or a name never
//   contains NUL). A UTF-8 byte-order mark at the start of the file is skipped. "Blanks" are
//   spaces and tabs.
// - A line whose first non-blank character is "[" opens a section. Its name is the text up to the
//   first "]" (or to the end of the line when there is none), blanks around it removed; text
//   after the "]" is ignored.
// - A line whose first non-blank character is ";" or "#" is a comment.
// - Any other line holding "=" is a key line: the key is the text before the first "=", the value
//   the text after it, both with blanks around them removed. A value that is a whole quoted text
//   (starts and ends with a double quote and holds no other one) loses its two quotes, so
//   "\"1, 2\"" reads as "1, 2" while "\"1\",\"2\"" stays as it is.
// - Lines without "=", key lines with an empty key, and key lines before the first section
//   are ignored (and kept when the file is written).
// - Section and key names compare without regard to ASCII letter case, and blanks around the
//   names passed in are ignored. The first section of a name is the section; a later section of
//   the same name is ignored, as is a later key of the same name within the section.
// - A missing file, a directory, any other non-regular file, an unreadable file or a file larger
//   than MaxFileSize reads as an empty file.
//
// How a file is written: the new content goes to a temporary file in the same folder (flushed
// and synced), which then replaces the file by rename, so a failed write leaves the old file as
// it was. Everything else in the file stays byte for byte: a changed value replaces only the old
// value text; a new key goes below the last key of its section; a new section goes to the end of
// the file. New lines use the file's first line ending (LF for a file without one). A file that
// does not exist is created; a symbolic link stays and its target is replaced. A write fails
// (returns false) when the file exists but cannot be read or written, has no write permission
// at all (even for a privileged user), is not a regular file, or the folder does not accept the
// temporary file. A new file gets the usual permissions (0666 less the umask), a replaced file
// keeps its permission bits.
//
// Parsed files are cached per path and revalidated on every call by size, modification and
// status-change times (nanoseconds), inode and device; a file modified within the last two
// seconds is not cached at all, so changes within the timestamp granularity of the file system
// are never missed. At most 16 files and 256 MiB stay cached (least recently used go first). A
// cache hit costs one stat call. All functions are safe to call from several threads; writes
// from several processes at once are not coordinated (the last rename wins).

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace PrivateProfile {

// Buffer sizes the INI reader uses: a value holds at most 2,047 characters plus its zero; an
// enumeration holds names, each with its zero, plus a final zero.
inline constexpr std::size_t ValueBufferSize = 2048;
inline constexpr std::size_t ListBufferSize = 16384;
// Files larger than this read as empty and are not written.
inline constexpr std::uint64_t MaxFileSize = std::uint64_t{1} << 30;

using OptText = std::optional<std::string_view>;

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
//   with "[", ";" or "#", and for any text holding CR, LF or NUL. A value with blanks at either
//   end (and no double quote) is written in double quotes so that it reads back unchanged.
// - section and key given, value nullopt: deletes the key from the section.
// - section given, key nullopt: deletes every section of that name with all its lines.
// - all three nullopt: flush; nothing is buffered, so this just succeeds.
// - section nullopt with a key or value: fails.
// Deleting what is not there succeeds and leaves the file untouched (a missing file stays
// missing).
bool WriteString(OptText section, OptText key, OptText value, const std::string& path);

// Drops every cached parse (memory is given back; the next call reads the file again).
void ClearCache();

// How many times a file has been read and parsed so far; a diagnostic for tests and benchmarks.
std::uint64_t ParseCount();

} // namespace PrivateProfile
