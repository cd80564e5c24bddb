// Parsing of private-profile files: text encodings, lines, key lines, the section index and the
// quoting of values.

#include "platform/ProfileFile.h"

#include "platform/AsciiText.h"

#include <algorithm>
#include <utility>

namespace PrivateProfile::Internal {

using AsciiText::EqualNoCase;
using AsciiText::HashNoCase;
using AsciiText::IsSpaceOrTab;
using AsciiText::TrimSpaceOrTab;

namespace {

// ---------------------------------------------------------------------------------------------
// UTF-16 <-> UTF-8

constexpr char32_t ReplacementCharacter = 0xFFFD;

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

void AppendUtf16(std::string& out, char16_t unit, bool bigEndian) {
    const auto high = static_cast<char>(unit >> 8);
    const auto low = static_cast<char>(unit & 0xFF);
    out += bigEndian ? high : low;
    out += bigEndian ? low : high;
}

// Decodes UTF-16 bytes (behind the byte-order mark) to UTF-8. Unpaired surrogates become U+FFFD
// and a lone last byte is dropped; either makes the text one a write could not give back.
std::string DecodeUtf16(std::string_view bytes, bool bigEndian, bool& exact) {
    exact = bytes.size() % 2 == 0;
    const auto unitAt = [&](std::size_t i) {
        const auto b0 = static_cast<unsigned char>(bytes[i]);
        const auto b1 = static_cast<unsigned char>(bytes[i + 1]);
        return static_cast<char16_t>(bigEndian ? (b0 << 8 | b1) : (b1 << 8 | b0));
    };
    std::string text;
    text.reserve(bytes.size() / 2 * 3 / 2);
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        const char16_t unit = unitAt(i);
        char32_t c = unit;
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 3 < bytes.size() && unitAt(i + 2) >= 0xDC00 &&
            unitAt(i + 2) <= 0xDFFF) {
            c = 0x10000 + ((static_cast<char32_t>(unit) - 0xD800) << 10) + (unitAt(i + 2) - 0xDC00);
            i += 2;
        } else if (unit >= 0xD800 && unit <= 0xDFFF) {
            c = ReplacementCharacter;
            exact = false;
        }
        AppendUtf8(text, c);
    }
    return text;
}

// The next code point of UTF-8 text at pos, advancing pos; nullopt for an invalid sequence
// (overlong forms, surrogates and values above U+10FFFF included).
std::optional<char32_t> NextCodePoint(std::string_view text, std::size_t& pos) {
    const auto lead = static_cast<unsigned char>(text[pos]);
    std::size_t length = 0;
    char32_t c = 0;
    char32_t minimum = 0;
    if (lead < 0x80) {
        ++pos;
        return lead;
    } else if ((lead & 0xE0) == 0xC0) {
        length = 2, c = lead & 0x1F, minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, c = lead & 0x0F, minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, c = lead & 0x07, minimum = 0x10000;
    } else {
        return std::nullopt;
    }
    if (text.size() - pos < length) {
        return std::nullopt;
    }
    for (std::size_t k = 1; k < length; ++k) {
        const auto next = static_cast<unsigned char>(text[pos + k]);
        if ((next & 0xC0) != 0x80) {
            return std::nullopt;
        }
        c = (c << 6) | (next & 0x3F);
    }
    if (c < minimum || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
        return std::nullopt;
    }
    pos += length;
    return c;
}

std::optional<std::string> EncodeUtf16(std::string_view text, bool bigEndian) {
    std::string out;
    out.reserve(2 + text.size() * 2);
    AppendUtf16(out, 0xFEFF, bigEndian);
    for (std::size_t pos = 0; pos < text.size();) {
        const auto c = NextCodePoint(text, pos);
        if (!c) {
            return std::nullopt;
        }
        if (*c >= 0x10000) {
            AppendUtf16(out, static_cast<char16_t>(0xD800 + ((*c - 0x10000) >> 10)), bigEndian);
            AppendUtf16(out, static_cast<char16_t>(0xDC00 + ((*c - 0x10000) & 0x3FF)), bigEndian);
        } else {
            AppendUtf16(out, static_cast<char16_t>(*c), bigEndian);
        }
    }
    return out;
}

// The quotes of a quoted value's inside, when every quote there is doubled: the inside with each
// pair made one quote. nullopt when a quote stands alone.
std::optional<std::string> UndoubleQuotes(std::string_view inside) {
    std::string out;
    out.reserve(inside.size());
    for (std::size_t i = 0; i < inside.size(); ++i) {
        if (inside[i] == '"') {
            if (i + 1 == inside.size() || inside[i + 1] != '"') {
                return std::nullopt;
            }
            ++i;
        }
        out += inside[i];
    }
    return out;
}

} // namespace

// ---------------------------------------------------------------------------------------------

bool IsLineBreak(char c) {
    return c == '\n' || c == '\r' || c == '\0';
}

bool NameMatches(std::string_view fileName, std::string_view asked) {
    return EqualNoCase(fileName, TrimSpaceOrTab(asked));
}

std::string Unquote(std::string_view value) {
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
        if (auto inside = UndoubleQuotes(value.substr(1, value.size() - 2))) {
            return std::move(*inside);
        }
    }
    return std::string(value);
}

std::string QuoteForWrite(std::string_view value) {
    if (Unquote(TrimSpaceOrTab(value)) == value) {
        return std::string(value);
    }
    std::string quoted = "\"";
    for (char c : value) {
        quoted += c;
        if (c == '"') {
            quoted += c;
        }
    }
    quoted += '"';
    return quoted;
}

std::optional<std::string> Encode(std::string_view text, TextEncoding encoding) {
    switch (encoding) {
    case TextEncoding::Utf16Le:
        return EncodeUtf16(text, false);
    case TextEncoding::Utf16Be:
        return EncodeUtf16(text, true);
    case TextEncoding::Bytes:
        break;
    }
    return std::string(text);
}

// ---------------------------------------------------------------------------------------------

ParsedFile::ParsedFile(std::string bytes) {
    const bool little = bytes.starts_with("\xFF\xFE");
    if (little || bytes.starts_with("\xFE\xFF")) {
        FEncoding = little ? TextEncoding::Utf16Le : TextEncoding::Utf16Be;
        FText = DecodeUtf16(std::string_view(bytes).substr(2), !little, FReencodable);
    } else {
        FText = std::move(bytes);
    }
    Index();
}

std::size_t ParsedFile::MemoryBytes() const {
    return FText.capacity() + FSections.capacity() * sizeof(SectionRef) +
           FByName.capacity() * sizeof(NameKey);
}

std::string_view ParsedFile::Name(std::size_t i) const {
    return std::string_view(FText).substr(FSections[i].nameStart, FSections[i].nameLength);
}

std::size_t ParsedFile::BodyEnd(std::size_t i) const {
    return i + 1 < FSections.size() ? FSections[i + 1].headerStart : FText.size();
}

std::optional<std::size_t> ParsedFile::Find(std::string_view name) const {
    const NameKey key{HashNoCase(TrimSpaceOrTab(name)), 0};
    for (auto it = std::lower_bound(FByName.begin(), FByName.end(), key);
         it != FByName.end() && it->hash == key.hash; ++it) {
        if (NameMatches(Name(it->index), name)) {
            return it->index;
        }
    }
    return std::nullopt;
}

std::optional<KeyLine> ParsedFile::FindKey(std::size_t i, std::string_view key) const {
    std::optional<KeyLine> found;
    ForEachKey(i, [&](const KeyLine& keyLine) {
        if (NameMatches(keyLine.key, key)) {
            found = keyLine;
            return false;
        }
        return true;
    });
    return found;
}

std::string_view ParsedFile::LineBreak() const {
    const std::size_t p = FText.find_first_of("\r\n");
    if (p == std::string::npos || FText[p] == '\n') {
        return "\n";
    }
    return (p + 1 < FText.size() && FText[p + 1] == '\n') ? "\r\n" : "\r";
}

std::size_t ParsedFile::ContentStart() const {
    return FText.starts_with("\xEF\xBB\xBF") ? 3 : 0;
}

Line ParsedFile::LineAt(std::string_view text, std::size_t pos) {
    std::size_t end = pos;
    while (end < text.size() && !IsLineBreak(text[end])) {
        ++end;
    }
    std::size_t next = end;
    if (next < text.size()) {
        next += (text[next] == '\r' && next + 1 < text.size() && text[next + 1] == '\n') ? 2 : 1;
    }
    return {pos, end, next};
}

std::optional<KeyLine> ParsedFile::ParseKeyLine(std::string_view text, const Line& line) {
    std::size_t p = line.start;
    while (p < line.contentEnd && IsSpaceOrTab(text[p])) {
        ++p;
    }
    if (p == line.contentEnd || text[p] == ';' || text[p] == '#' || text[p] == '[') {
        return std::nullopt;
    }
    const std::string_view content = text.substr(p, line.contentEnd - p);
    const std::size_t eq = content.find('=');
    if (eq == std::string_view::npos) {
        return std::nullopt;
    }
    const std::string_view key = TrimSpaceOrTab(content.substr(0, eq));
    if (key.empty()) {
        return std::nullopt;
    }
    std::size_t valueStart = p + eq + 1;
    while (valueStart < line.contentEnd && IsSpaceOrTab(text[valueStart])) {
        ++valueStart;
    }
    std::size_t valueEnd = line.contentEnd;
    while (valueEnd > valueStart && IsSpaceOrTab(text[valueEnd - 1])) {
        --valueEnd;
    }
    return KeyLine{line, key, valueStart, valueEnd};
}

void ParsedFile::Index() {
    const std::string_view text = FText;
    for (std::size_t pos = ContentStart(); pos < text.size();) {
        const Line line = LineAt(text, pos);
        pos = line.next;
        std::size_t p = line.start;
        while (p < line.contentEnd && IsSpaceOrTab(text[p])) {
            ++p;
        }
        if (p == line.contentEnd || text[p] != '[') {
            continue;
        }
        const std::string_view rest = text.substr(p + 1, line.contentEnd - p - 1);
        const std::string_view name = TrimSpaceOrTab(rest.substr(0, rest.find(']')));
        const std::size_t nameStart =
            name.empty() ? p + 1 : static_cast<std::size_t>(name.data() - text.data());
        FSections.push_back({static_cast<std::uint32_t>(line.start),
                             static_cast<std::uint32_t>(nameStart),
                             static_cast<std::uint32_t>(name.size()),
                             static_cast<std::uint32_t>(line.next), false});
    }
    // Sort the named sections by the hash of their name, then by position, to mark the first
    // section of each name and to find sections by binary search.
    std::vector<NameKey> all;
    all.reserve(FSections.size());
    for (std::size_t i = 0; i < FSections.size(); ++i) {
        if (FSections[i].nameLength > 0) {
            all.push_back({HashNoCase(Name(i)), static_cast<std::uint32_t>(i)});
        }
    }
    std::sort(all.begin(), all.end());
    std::vector<std::uint32_t> namesOfHash; // the distinct names among one run of a hash
    for (std::size_t k = 0; k < all.size(); ++k) {
        if (k == 0 || all[k].hash != all[k - 1].hash) {
            namesOfHash.clear();
        }
        const std::uint32_t i = all[k].index;
        const bool seen = std::any_of(namesOfHash.begin(), namesOfHash.end(), [&](std::uint32_t j) {
            return EqualNoCase(Name(j), Name(i));
        });
        if (!seen) {
            namesOfHash.push_back(i);
            FSections[i].first = true;
            FByName.push_back(all[k]);
        }
    }
}

} // namespace PrivateProfile::Internal
