#pragma once
// Read-only access to string values of the system registry. On Windows this is the real
// registry; elsewhere there is no registry, so no key opens and every lookup reports "absent",
// which makes callers fall back to their built-in defaults. Tests pass their own TRegistry.

#include <memory>
#include <optional>
#include <string>
#include <string_view>

enum class TRegistryRoot { CurrentUser, LocalMachine };

class TRegistry {
public:
    virtual ~TRegistry() = default;

    // The string value Name of the key Key under Root, opened for reading only and never
    // created. Absent (nullopt) when the key does not open, the value does not exist, is not a
    // string, or cannot be read. Texts are UTF-8.
    virtual std::optional<std::string> ReadString(TRegistryRoot root, std::string_view key,
                                                  std::string_view name) const = 0;
};

// The registry of the platform the program runs on (shared, lives until the process ends).
const TRegistry& SystemRegistry();
