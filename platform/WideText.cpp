#include "platform/WideText.h"

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <climits>

std::wstring Utf8ToWide(std::string_view text) {
    // The API counts in int; longer texts than that do not occur in names and values.
    if (text.empty() || text.size() > INT_MAX)
        return {};
    const int size = static_cast<int>(text.size());
    const int count = MultiByteToWideChar(CP_UTF8, 0, text.data(), size, nullptr, 0);
    std::wstring result(static_cast<size_t>(count), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), size, result.data(), count);
    return result;
}

std::string WideToUtf8(std::wstring_view text) {
    if (text.empty() || text.size() > INT_MAX)
        return {};
    const int size = static_cast<int>(text.size());
    const int count =
        WideCharToMultiByte(CP_UTF8, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
    std::string result(static_cast<size_t>(count), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), size, result.data(), count, nullptr, nullptr);
    return result;
}

std::wstring FullWidePath(const std::wstring& path) {
    std::wstring full(GetFullPathNameW(path.c_str(), 0, nullptr, nullptr), L'\0');
    const DWORD length =
        full.empty()
            ? 0
            : GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    // A length not below the size asked for means the current folder changed in between.
    full.resize(length < full.size() ? length : 0);
    return full;
}

std::wstring WidePath(std::string_view path) {
    if (path.empty() || path.size() > INT_MAX || path.find('\0') != std::string_view::npos ||
        MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path.data(),
                            static_cast<int>(path.size()), nullptr, 0) == 0) {
        return {};
    }
    std::wstring wide = Utf8ToWide(path);
    // Below this length every file function takes the path as it is (folders have the shortest
    // limit); the extended form takes only full paths with backslashes.
    constexpr std::size_t ClassicLimit = MAX_PATH - 12;
    if (wide.size() < ClassicLimit || wide.starts_with(L"\\\\?\\")) {
        return wide;
    }
    const std::wstring full = FullWidePath(wide);
    if (full.empty() || full.starts_with(L"\\\\.\\")) {
        return full.empty() ? wide : full; // a device keeps its form
    }
    if (full.starts_with(L"\\\\")) {
        return L"\\\\?\\UNC\\" + full.substr(2);
    }
    return L"\\\\?\\" + full;
}
#endif
