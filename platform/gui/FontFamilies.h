#pragma once
// Font families as the system's font matching settles them. Where a family is not installed
// ("MS Sans Serif" and "Tahoma" on Linux), Qt asks fontconfig for a sorted list of every installed
// font to find a fallback, once for each name, pitch and slant, the first time such a font is
// used: over a million instructions each on the main thread. The first family of that list is
// the one Qt draws with. Resolved here once, ahead of the first window and on another thread if
// the caller wishes, and handed to Qt by name, it gives the same font without the search.
//
// Without fontconfig (Windows) every name resolves to itself and Qt matches it as before.

#include <cstddef>
#include <span>
#include <string>

struct TFontFamilyRequest {
    std::string Name;
    bool FixedPitch = false; // Qt then adds fontconfig's "monospace" as a weak family
    bool Italic = false;

    auto operator<=>(const TFontFamilyRequest&) const = default;
};

// The family Qt ends with for a font of this name, pitch and slant: the name itself when a font of
// that family is installed (letter case aside), otherwise the first family of fontconfig's
// fallback list for the request. Names Qt parses or folds on its own ("family [foundry]", lists,
// non-ASCII letters) and the empty name resolve to themselves. Each request is resolved once per
// process; safe to call from any thread.
std::string ResolvedFontFamily(const TFontFamilyRequest& request);

// Loads the font configuration and resolves the requests ahead of their use (the start-up
// warm-up thread). A call from another thread meanwhile waits for it instead of loading the
// configuration a second time.
void ResolveFontFamilies(std::span<const TFontFamilyRequest> requests);

// How many requests have been resolved so far in this process.
size_t ResolvedFontFamilyCount();
