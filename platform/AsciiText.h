#pragma once
// Character classes, trimming, letter case and hex digits of ASCII text, independent of the C
// locale (QApplication sets the user's locale, after which <cctype> answers differently).
// Bytes above 0x7F are never letters, blanks or digits here.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace AsciiText {

// The separator of number text: the space alone.
constexpr bool IsSpace(char c) {
    return c == ' ';
}

// The blanks of INI lines and names: space and tab.
constexpr bool IsSpaceOrTab(char c) {
    return c == ' ' || c == '\t';
}

// Space and every control character (0x00 to 0x20): what separates list items and what a name
// made only of such characters counts as blank.
constexpr bool IsSpaceOrControl(char c) {
    return static_cast<unsigned char>(c) <= ' ';
}

// True when text holds nothing but spaces and control characters (the empty text included).
constexpr bool IsSpaceOrControlOnly(std::string_view text) {
    for (char c : text) {
        if (!IsSpaceOrControl(c)) {
            return false;
        }
    }
    return true;
}

// Text without the spaces and tabs at either end.
constexpr std::string_view TrimSpaceOrTab(std::string_view text) {
    while (!text.empty() && IsSpaceOrTab(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && IsSpaceOrTab(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

constexpr char LowerCase(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

constexpr char UpperCase(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

// The text with a to z turned into A to Z; no other character changes.
inline std::string UpperCaseAscii(std::string_view text) {
    std::string result(text);
    for (char& c : result) {
        c = UpperCase(c);
    }
    return result;
}

// Equal when the texts differ at most in the letter case of ASCII letters.
constexpr bool EqualNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (LowerCase(a[i]) != LowerCase(b[i])) {
            return false;
        }
    }
    return true;
}

// FNV-1a over the lower-case bytes: the same for texts that are EqualNoCase.
constexpr std::uint64_t HashNoCase(std::string_view text) {
    std::uint64_t hash = 14695981039346656037ull;
    for (char c : text) {
        hash = (hash ^ static_cast<unsigned char>(LowerCase(c))) * 1099511628211ull;
    }
    return hash;
}

// The value of a hexadecimal digit of either case, -1 for any other character.
constexpr int HexDigitValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

} // namespace AsciiText
