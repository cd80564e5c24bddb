#pragma once
// UTF-8 and the UTF-16 text of the Windows API. The Qt-free code keeps its texts in UTF-8; the
// Windows branches convert where they call the system. Bytes that are not UTF-8 become U+FFFD.

#ifdef _WIN32
#include <string>
#include <string_view>

std::wstring Utf8ToWide(std::string_view text);
std::string WideToUtf8(std::wstring_view text);
#endif
