// Changes to a private-profile file's text: setting a value, deleting keys and sections. Only the
// lines concerned change; everything else stays byte for byte.

#include "platform/AsciiText.h"
#include "platform/ProfileFile.h"

#include <algorithm>
#include <utility>

namespace PrivateProfile::Internal {

using AsciiText::TrimSpaceOrTab;

namespace {

using Ranges = std::vector<std::pair<std::size_t, std::size_t>>;

std::string SetValue(const ParsedFile& file, std::string_view section, std::string_view key,
                     std::string_view value) {
    const std::string_view text = file.Text();
    const std::string valueText = QuoteForWrite(value);
    const std::string_view eol = file.LineBreak();
    const auto s = file.Find(section);
    if (!s) {
        std::string out(text);
        if (text.size() > file.ContentStart() && !IsLineBreak(text.back())) {
            out += eol;
        }
        out.append("[").append(TrimSpaceOrTab(section)).append("]").append(eol);
        out.append(TrimSpaceOrTab(key)).append("=").append(valueText).append(eol);
        return out;
    }
    if (const auto keyLine = file.FindKey(*s, key)) {
        std::string out(text.substr(0, keyLine->valueStart));
        out += valueText;
        out += text.substr(keyLine->valueEnd);
        return out;
    }
    // Below the section's last key line, or right below its header.
    std::size_t at = file.Sections()[*s].bodyStart;
    file.ForEachKey(*s, [&](const KeyLine& keyLine) {
        at = keyLine.line.next;
        return true;
    });
    std::string insert;
    if (at > 0 && !IsLineBreak(text[at - 1])) {
        insert += eol;
    }
    insert.append(TrimSpaceOrTab(key)).append("=").append(valueText).append(eol);
    std::string out(text);
    out.insert(at, insert);
    return out;
}

// Text without the given [start, end) ranges, which are in ascending order.
std::string Without(std::string_view text, const Ranges& ranges) {
    std::string out;
    out.reserve(text.size());
    std::size_t pos = 0;
    for (const auto& [start, end] : ranges) {
        out.append(text.substr(pos, start - pos));
        pos = end;
    }
    out.append(text.substr(pos));
    return out;
}

Ranges KeyLines(const ParsedFile& file, std::string_view section, std::string_view key) {
    Ranges ranges;
    if (const auto s = file.Find(section)) {
        file.ForEachKey(*s, [&](const KeyLine& keyLine) {
            if (NameMatches(keyLine.key, key)) {
                ranges.emplace_back(keyLine.line.start, keyLine.line.next);
            }
            return true;
        });
    }
    return ranges;
}

Ranges SectionBlocks(const ParsedFile& file, std::string_view section) {
    Ranges ranges;
    const auto& sections = file.Sections();
    for (std::size_t i = 0; i < sections.size(); ++i) {
        if (sections[i].nameLength > 0 && NameMatches(file.Name(i), section)) {
            ranges.emplace_back(sections[i].headerStart, file.BodyEnd(i));
        }
    }
    return ranges;
}

} // namespace

std::optional<std::string> EditedText(const ParsedFile& file, std::string_view section,
                                      std::optional<std::string_view> key,
                                      std::optional<std::string_view> value) {
    if (key && value) {
        return SetValue(file, section, *key, *value);
    }
    const Ranges ranges = key ? KeyLines(file, section, *key) : SectionBlocks(file, section);
    if (ranges.empty()) {
        return std::nullopt;
    }
    return Without(file.Text(), ranges);
}

bool ValidSectionName(std::string_view section) {
    return !TrimSpaceOrTab(section).empty() && !HasLineBreak(section) &&
           section.find(']') == std::string_view::npos;
}

bool ValidKeyName(std::string_view key) {
    const std::string_view trimmed = TrimSpaceOrTab(key);
    return !trimmed.empty() && !HasLineBreak(key) && key.find('=') == std::string_view::npos &&
           trimmed.front() != '[' && trimmed.front() != ';' && trimmed.front() != '#';
}

bool HasLineBreak(std::string_view text) {
    return std::any_of(text.begin(), text.end(), IsLineBreak);
}

} // namespace PrivateProfile::Internal
