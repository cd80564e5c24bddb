#pragma once
// UTF-8 and the UTF-16 text of the Windows API. The Qt-free code keeps its texts in UTF-8; the
// Windows branches convert where they call the system. Bytes that are not UTF-8 become U+FFFD.

#ifdef _WIN32
#include <string>
#include <string_view>

std::wstring Utf8ToWide(std::string_view text);
std::string WideToUtf8(std::wstring_view text);

// A UTF-8 path as the system's file functions take it. A path too long for the classic limit
// (MAX_PATH) is made a full path in the extended form ("\\?\C:\...", "\\?\UNC\server\..."),
// which reaches the file system's own limits. A path with bytes that are not UTF-8, or with a
// NUL, gives the empty path, which names no file: substituting U+FFFD would name another one.
std::wstring WidePath(std::string_view path);
// The full path of a wide path: relative to the current folder resolved, "." and ".." taken out,
// "/" made "\". Empty when the system gives none.
std::wstring FullWidePath(const std::wstring& path);
#endif
