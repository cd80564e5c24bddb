#include "platform/Registry.h"

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <vector>
#endif

namespace {

#ifdef _WIN32

std::wstring Widen(std::string_view text) {
    if (text.empty())
        return {};
    const int count =
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring result(static_cast<size_t>(count), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), result.data(),
                        count);
    return result;
}

std::string Narrow(std::wstring_view text) {
    if (text.empty())
        return {};
    const int count = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                          nullptr, 0, nullptr, nullptr);
    std::string result(static_cast<size_t>(count), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), result.data(),
                        count, nullptr, nullptr);
    return result;
}

// Closes the key when the lookup ends, whichever way it ends.
class TKeyHandle {
public:
    explicit TKeyHandle(HKEY key) : Key(key) {}
    ~TKeyHandle() { RegCloseKey(Key); }
    TKeyHandle(const TKeyHandle&) = delete;
    TKeyHandle& operator=(const TKeyHandle&) = delete;
    HKEY Key;
};

class TWindowsRegistry final : public TRegistry {
public:
    std::optional<std::string> ReadString(TRegistryRoot root, std::string_view key,
                                          std::string_view name) const override {
        const HKEY rootKey =
            root == TRegistryRoot::LocalMachine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
        HKEY opened = nullptr;
        // Read access only: a standard account may read the machine-wide keys but not write
        // them, so asking for more would fail there and hide the real values.
        if (RegOpenKeyExW(rootKey, Widen(key).c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS)
            return std::nullopt;
        const TKeyHandle handle(opened);
        const std::wstring valueName = Widen(name);
        DWORD type = 0;
        DWORD size = 0;
        if (RegQueryValueExW(handle.Key, valueName.c_str(), nullptr, &type, nullptr, &size) !=
            ERROR_SUCCESS)
            return std::nullopt;
        if (type != REG_SZ && type != REG_EXPAND_SZ)
            return std::nullopt;
        // The stored text need not be terminated: read it into a buffer one character larger.
        std::vector<wchar_t> buffer(size / sizeof(wchar_t) + 1, L'\0');
        DWORD bytes = static_cast<DWORD>((buffer.size() - 1) * sizeof(wchar_t));
        if (RegQueryValueExW(handle.Key, valueName.c_str(), nullptr, &type,
                             reinterpret_cast<BYTE*>(buffer.data()), &bytes) != ERROR_SUCCESS)
            return std::nullopt;
        std::wstring_view text(buffer.data(), bytes / sizeof(wchar_t));
        if (const auto end = text.find(L'\0'); end != std::wstring_view::npos)
            text = text.substr(0, end);
        return Narrow(text);
    }
};

#else

// No registry on this platform: no key can be opened.
class TAbsentRegistry final : public TRegistry {
public:
    std::optional<std::string> ReadString(TRegistryRoot, std::string_view,
                                          std::string_view) const override {
        return std::nullopt;
    }
};

#endif

} // namespace

const TRegistry& SystemRegistry() {
#ifdef _WIN32
    static const TWindowsRegistry registry;
#else
    static const TAbsentRegistry registry;
#endif
    return registry;
}
