#include "platform/Registry.h"

#ifdef _WIN32
#include "platform/WideText.h"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cwchar>
#include <vector>
#endif

namespace {

#ifdef _WIN32

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
        if (RegOpenKeyExW(rootKey, Utf8ToWide(key).c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS)
            return std::nullopt;
        const TKeyHandle handle(opened);
        const std::optional<std::wstring> text = ReadText(handle.Key, Utf8ToWide(name));
        if (!text)
            return std::nullopt;
        return WideToUtf8(*text);
    }

private:
    // The text of a REG_SZ or REG_EXPAND_SZ value (the latter with its environment variables
    // expanded), up to its first NUL: the stored text need not be terminated.
    static std::optional<std::wstring> ReadText(HKEY key, const std::wstring& name) {
        DWORD type = 0;
        DWORD bytes = 0;
        LSTATUS status = ERROR_MORE_DATA;
        // A first read with no room tells the size. The value may grow before the next read,
        // which then asks again. The buffer has room for an odd last byte and a terminating NUL.
        std::vector<wchar_t> buffer(1, L'\0');
        for (int attempt = 0; attempt < 4 && status == ERROR_MORE_DATA; ++attempt) {
            if (attempt > 0)
                buffer.assign(bytes / sizeof(wchar_t) + 2, L'\0');
            bytes = static_cast<DWORD>((buffer.size() - 1) * sizeof(wchar_t));
            status = RegQueryValueExW(key, name.c_str(), nullptr, &type,
                                      reinterpret_cast<BYTE*>(buffer.data()), &bytes);
            if (type != REG_SZ && type != REG_EXPAND_SZ)
                return std::nullopt;
        }
        if (status != ERROR_SUCCESS)
            return std::nullopt;
        std::wstring text(buffer.data(), bytes / sizeof(wchar_t));
        text.resize(std::wcslen(text.c_str()));
        if (type == REG_SZ)
            return text;
        return Expanded(text);
    }

    // text with its %NAME% references replaced by the environment's values.
    static std::optional<std::wstring> Expanded(const std::wstring& text) {
        DWORD size = ExpandEnvironmentStringsW(text.c_str(), nullptr, 0);
        for (int attempt = 0; attempt < 4 && size != 0; ++attempt) {
            std::wstring result(size, L'\0');
            const DWORD needed = ExpandEnvironmentStringsW(text.c_str(), result.data(), size);
            if (needed != 0 && needed <= size) {
                result.resize(needed - 1); // without the terminating NUL
                return result;
            }
            size = needed;
        }
        return std::nullopt;
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
