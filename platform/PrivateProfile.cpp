// The private-profile functions: snapshots of a file and the classic get and write calls on top
// of them.

#include "platform/PrivateProfile.h"

#include "platform/AsciiText.h"
#include "platform/ProfileFile.h"

#include <algorithm>
#include <unordered_set>
#include <utility>

namespace PrivateProfile {
namespace {

using Internal::KeyLine;
using Internal::ParsedFile;

struct NoCaseHash {
    std::size_t operator()(std::string_view s) const {
        return static_cast<std::size_t>(AsciiText::HashNoCase(s));
    }
};
struct NoCaseEqual {
    bool operator()(std::string_view a, std::string_view b) const {
        return AsciiText::EqualNoCase(a, b);
    }
};

// Whether a name of size characters still fits a list buffer of listSize characters that holds
// used characters already: the name, its zero and the list's final zero.
bool Fits(std::size_t used, std::size_t size, std::size_t listSize) {
    return used + size + 2 <= listSize;
}

std::size_t CopyText(std::string_view text, std::span<char> buffer) {
    const std::size_t n = std::min(text.size(), buffer.size() - 1);
    std::copy_n(text.data(), n, buffer.data());
    buffer[n] = '\0';
    return n;
}

// Fills buffer with zero-ended names and a final zero (names were cut to fit already).
std::size_t CopyList(const std::vector<std::string_view>& names, std::span<char> buffer) {
    std::size_t used = 0;
    for (const std::string_view name : names) {
        std::copy_n(name.data(), name.size(), buffer.data() + used);
        used += name.size();
        buffer[used++] = '\0';
    }
    buffer[used] = '\0';
    if (used + 1 < buffer.size()) {
        buffer[used + 1] = '\0';
    }
    return used;
}

} // namespace

Snapshot::Snapshot() = default;

Snapshot Snapshot::Take(const std::string& path) {
    Snapshot snapshot;
    // A path with a zero in it names no file: the system would read the part before the zero.
    if (path.find('\0') != std::string::npos) {
        return snapshot;
    }
    snapshot.FFile = Internal::Load(path).file;
    return snapshot;
}

bool Snapshot::NamesMatch(std::string_view fileName, std::string_view name) {
    return Internal::NameMatches(fileName, name);
}

std::vector<std::string_view> Snapshot::SectionNames(std::size_t listSize) const {
    std::vector<std::string_view> names;
    if (FFile == nullptr) {
        return names;
    }
    std::size_t used = 0;
    const auto& sections = FFile->Sections();
    for (std::size_t i = 0; i < sections.size(); ++i) {
        if (!sections[i].first) {
            continue;
        }
        const std::string_view name = FFile->Name(i);
        if (!Fits(used, name.size(), listSize)) {
            break;
        }
        names.push_back(name);
        used += name.size() + 1;
    }
    return names;
}

std::vector<std::string_view> Snapshot::KeyNames(std::string_view section,
                                                 std::size_t listSize) const {
    std::vector<std::string_view> names;
    const auto s = FFile != nullptr ? FFile->Find(section) : std::nullopt;
    if (!s) {
        return names;
    }
    // Only names that fit are gathered, which bounds the set of names seen.
    std::unordered_set<std::string_view, NoCaseHash, NoCaseEqual> seen;
    std::size_t used = 0;
    FFile->ForEachKey(*s, [&](const KeyLine& keyLine) {
        if (!seen.insert(keyLine.key).second) {
            return true;
        }
        if (!Fits(used, keyLine.key.size(), listSize)) {
            return false;
        }
        names.push_back(keyLine.key);
        used += keyLine.key.size() + 1;
        return true;
    });
    return names;
}

std::string Snapshot::Value(std::string_view section, std::string_view key,
                            std::string_view defaultValue, std::size_t valueSize) const {
    std::string value;
    const auto s = FFile != nullptr ? FFile->Find(section) : std::nullopt;
    const auto keyLine = s ? FFile->FindKey(*s, key) : std::nullopt;
    if (keyLine) {
        const std::string_view text = FFile->Text();
        value = Internal::Unquote(
            text.substr(keyLine->valueStart, keyLine->valueEnd - keyLine->valueStart));
    } else {
        value = defaultValue;
    }
    value.resize(std::min(value.size(), valueSize > 0 ? valueSize - 1 : 0));
    return value;
}

std::size_t GetString(OptText section, OptText key, OptText defaultValue, std::span<char> buffer,
                      const std::string& path) {
    if (buffer.empty()) {
        return 0;
    }
    const Snapshot snapshot = Snapshot::Take(path);
    if (!section) {
        return CopyList(snapshot.SectionNames(buffer.size()), buffer);
    }
    if (!key) {
        return CopyList(snapshot.KeyNames(*section, buffer.size()), buffer);
    }
    return CopyText(
        snapshot.Value(*section, *key, defaultValue.value_or(std::string_view()), buffer.size()),
        buffer);
}

bool WriteString(OptText section, OptText key, OptText value, const std::string& path) {
    if (!section) {
        return !key && !value;
    }
    if (!key) {
        value.reset(); // a missing key name means: delete the section
    }
    if (value && (!Internal::ValidSectionName(*section) || !Internal::ValidKeyName(*key) ||
                  Internal::HasLineBreak(*value))) {
        return false;
    }
    if (path.empty() || path.find('\0') != std::string::npos) {
        return false;
    }
    return Internal::WriteFile(*section, key, value, path);
}

} // namespace PrivateProfile
