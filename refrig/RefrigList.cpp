// Coefficient lists of the data file: splitting a value into items and converting them to reals.

#include <stdexcept>
#include <string>

#include "platform/AsciiText.h"
#include "platform/NumberText.h"
#include "refrig/Refrig.h"

namespace {

// Spaces and control characters separate items, like commas.
using AsciiText::IsSpaceOrControl;

// Reads a double-quoted item starting at the opening quote; pos ends behind the closing quote.
// Without a closing quote the item is the rest of the text, opening quote included.
std::string QuotedItem(std::string_view text, std::size_t& pos) {
    const std::size_t open = pos;
    std::string item;
    ++pos;
    while (pos < text.size()) {
        if (text[pos] != '"') {
            item += text[pos++];
        } else if (pos + 1 < text.size() && text[pos + 1] == '"') {
            item += '"';
            pos += 2;
        } else {
            ++pos;
            return item;
        }
    }
    return std::string(text.substr(open));
}

} // namespace

std::vector<std::string> SplitListItems(std::string_view text) {
    std::vector<std::string> items;
    std::size_t pos = 0;
    const auto skipBlanks = [&] {
        while (pos < text.size() && IsSpaceOrControl(text[pos])) {
            ++pos;
        }
    };
    skipBlanks();
    while (pos < text.size()) {
        if (text[pos] == '"') {
            items.push_back(QuotedItem(text, pos));
        } else {
            const std::size_t start = pos;
            while (pos < text.size() && !IsSpaceOrControl(text[pos]) && text[pos] != ',') {
                ++pos;
            }
            items.emplace_back(text.substr(start, pos - start));
        }
        skipBlanks();
        if (pos < text.size() && text[pos] == ',') {
            ++pos;
            if (pos == text.size()) {
                items.emplace_back();
            }
            skipBlanks();
        }
    }
    return items;
}

void ParseRealList(std::string_view text, std::size_t n, std::span<double> destination,
                   std::size_t& item) {
    item = 0;
    if (n > destination.size()) {
        throw std::out_of_range("ParseRealList: " + std::to_string(n) +
                                " items do not fit a list of " +
                                std::to_string(destination.size()));
    }
    if (n == 0) {
        return;
    }
    const std::vector<std::string> items = SplitListItems(text);
    for (; item < n; ++item) {
        if (item >= items.size()) {
            throw EListError("List index out of bounds (" + std::to_string(item) + ")");
        }
        destination[item] = StrToFloat(items[item]);
    }
}

void ParseRealList(std::string_view text, std::size_t n, std::span<double> destination) {
    std::size_t item = 0;
    ParseRealList(text, n, destination, item);
}
