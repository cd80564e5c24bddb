#include "platform/gui/FontFamilies.h"

#include "platform/AsciiText.h"

#include <algorithm>
#include <map>
#include <mutex>
#include <optional>
#include <string_view>

#ifdef CALVENOR_HAVE_FONTCONFIG
#include <fontconfig/fontconfig.h>
#endif

namespace {

// Guards the table and every fontconfig call made here, the loading of the configuration among
// them.
std::mutex& TableMutex() {
    static std::mutex mutex;
    return mutex;
}

std::map<TFontFamilyRequest, std::string>& Table() {
    static std::map<TFontFamilyRequest, std::string> table;
    return table;
}

// Names Qt reads as more than a family ("family [foundry]"), or compares with Unicode case
// folding, are left to Qt.
bool Resolvable(std::string_view name) {
    return !name.empty() && std::ranges::all_of(name, [](char c) {
        return c > 0x1F && c < 0x7F && c != '[' && c != ']' && c != ',';
    });
}

#ifdef CALVENOR_HAVE_FONTCONFIG

const FcChar8* Text(std::string_view text) {
    return reinterpret_cast<const FcChar8*>(text.data());
}

std::string_view Text(const FcChar8* text) {
    return reinterpret_cast<const char*>(text);
}

// Whether some installed font lists the name among its families, as Qt's font list has them;
// Qt compares family names without regard to letter case.
bool Installed(const std::string& name) {
    FcPattern* pattern = FcPatternCreate();
    FcObjectSet* objects = FcObjectSetBuild(FC_FAMILY, nullptr);
    if (pattern == nullptr || objects == nullptr) {
        if (pattern != nullptr)
            FcPatternDestroy(pattern);
        if (objects != nullptr)
            FcObjectSetDestroy(objects);
        return true; // cannot tell: Qt matches the name itself
    }
    FcPatternAddString(pattern, FC_FAMILY, Text(name));
    FcFontSet* fonts = FcFontList(nullptr, pattern, objects);
    FcObjectSetDestroy(objects);
    FcPatternDestroy(pattern);
    if (fonts == nullptr)
        return true;
    bool found = false;
    for (int i = 0; i < fonts->nfont && !found; ++i) {
        FcChar8* family = nullptr;
        for (int k = 0;
             !found && FcPatternGetString(fonts->fonts[i], FC_FAMILY, k, &family) == FcResultMatch;
             ++k)
            found = AsciiText::EqualNoCase(Text(family), name);
    }
    FcFontSetDestroy(fonts);
    return found;
}

// The first family of the fallback list Qt builds for a family it does not have, for text of no
// particular script (Latin text counts as such): the name bound strongly, the slant, the
// default language, "monospace" bound weakly for a fixed pitch, the configuration's substitutions
// and defaults, then every font sorted by how well it matches. The requested family itself is
// passed over.
std::optional<std::string> FirstFallback(const TFontFamilyRequest& request) {
    FcPattern* pattern = FcPatternCreate();
    if (pattern == nullptr)
        return std::nullopt;
    FcValue value;
    value.type = FcTypeString;
    value.u.s = Text(request.Name);
    FcPatternAdd(pattern, FC_FAMILY, value, FcTrue);
    FcPatternAddInteger(pattern, FC_SLANT, request.Italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
    if (FcPattern* defaults = FcPatternCreate()) {
        FcDefaultSubstitute(defaults);
        FcChar8* language = nullptr;
        if (FcPatternGetString(defaults, FC_LANG, 0, &language) == FcResultMatch)
            FcPatternAddString(pattern, FC_LANG, language);
        FcPatternDestroy(defaults);
    }
    if (request.FixedPitch) {
        value.u.s = Text("monospace");
        FcPatternAddWeak(pattern, FC_FAMILY, value, FcTrue);
    }
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultMatch;
    FcFontSet* sorted = FcFontSort(nullptr, pattern, FcFalse, nullptr, &result);
    FcPatternDestroy(pattern);
    if (sorted == nullptr)
        return std::nullopt;
    std::optional<std::string> first;
    for (int i = 0; i < sorted->nfont && !first; ++i) {
        FcChar8* family = nullptr;
        if (FcPatternGetString(sorted->fonts[i], FC_FAMILY, 0, &family) == FcResultMatch &&
            !AsciiText::EqualNoCase(Text(family), request.Name))
            first = std::string(Text(family));
    }
    FcFontSetDestroy(sorted);
    return first;
}

#endif

std::string Resolve(const TFontFamilyRequest& request) {
#ifdef CALVENOR_HAVE_FONTCONFIG
    if (Resolvable(request.Name) && !Installed(request.Name))
        if (auto fallback = FirstFallback(request))
            return std::move(*fallback);
#endif
    return request.Name;
}

// The caller holds the table's mutex.
const std::string& ResolveLocked(const TFontFamilyRequest& request) {
    auto found = Table().find(request);
    if (found == Table().end())
        found = Table().emplace(request, Resolve(request)).first;
    return found->second;
}

} // namespace

std::string ResolvedFontFamily(const TFontFamilyRequest& request) {
    const std::lock_guard lock(TableMutex());
    return ResolveLocked(request);
}

void ResolveFontFamilies(std::span<const TFontFamilyRequest> requests) {
    const std::lock_guard lock(TableMutex());
#ifdef CALVENOR_HAVE_FONTCONFIG
    // Builds the process-wide configuration once; a later call, also Qt's own, finds it ready.
    FcInit();
#endif
    for (const TFontFamilyRequest& request : requests)
        ResolveLocked(request);
}

size_t ResolvedFontFamilyCount() {
    const std::lock_guard lock(TableMutex());
    return Table().size();
}
