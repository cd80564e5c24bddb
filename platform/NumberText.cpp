#include "platform/NumberText.h"

#include "platform/AsciiText.h"
#include "platform/Exceptions.h"

#include <array>
#include <charconv>
#include <cmath>
#include <limits>
#include <system_error>

namespace {

// Widths and precisions beyond this are rejected: no format the system uses comes near it, and
// it bounds the size of every text Format builds.
constexpr int MaxWidthOrPrecision = 1000;
constexpr int DefaultFixedPrecision = 2;
constexpr int DefaultGeneralPrecision = 15;
// Values whose decimal exponent lies below this are written in scientific form by "%g" and
// FloatToStr (that is, values below 0.00001).
constexpr int SmallestFixedExponent = -5;

// A finite non-negative value as exact decimal digits: value = 0.d1d2d3... * 10^Point.
// Digits holds no leading zeros; it is empty for zero.
struct TDecimal {
    std::string Digits;
    int Point = 0;
};

// Number of fractional decimal digits that the exact value of a finite double needs: a double is
// an integer multiple of 2^(e-53) (frexp exponent e), never finer than 2^-1074.
int ExactFractionDigits(double value) {
    int exponent = 0;
    std::frexp(value, &exponent);
    const int lsbExponent = exponent - 53;
    if (lsbExponent >= 0)
        return 0;
    return std::min(-lsbExponent, 1074);
}

// The exact decimal expansion of |value| (finite): fixed-point to_chars with as many fractional
// digits as the binary value has is exact, so no rounding has happened yet.
TDecimal ExactDecimal(double value) {
    value = std::fabs(value);
    // 309 integer digits, the point and 1074 fractional digits at most.
    std::array<char, 1400> buffer;
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value,
                                      std::chars_format::fixed, ExactFractionDigits(value));
    TDecimal decimal;
    if (result.ec != std::errc())
        throw EFormatError("Number too long to format");
    bool beforePoint = true;
    for (const char* p = buffer.data(); p != result.ptr; ++p) {
        if (*p == '.') {
            beforePoint = false;
            continue;
        }
        if (decimal.Digits.empty() && *p == '0') {
            if (!beforePoint)
                --decimal.Point;
            continue;
        }
        decimal.Digits.push_back(*p);
        if (beforePoint)
            ++decimal.Point;
    }
    while (!decimal.Digits.empty() && decimal.Digits.back() == '0')
        decimal.Digits.pop_back();
    if (decimal.Digits.empty())
        decimal.Point = 0;
    return decimal;
}

// Keeps the first `keep` digits, rounding half away from zero on the exact digits: the magnitude
// goes up exactly when the first dropped digit is 5 or more.
void RoundDigits(TDecimal& decimal, int keep) {
    if (keep < 0 || static_cast<size_t>(keep) >= decimal.Digits.size()) {
        if (keep < 0) {
            decimal.Digits.clear();
            decimal.Point = 0;
        }
        return;
    }
    const bool up = decimal.Digits[keep] >= '5';
    decimal.Digits.resize(keep);
    if (up) {
        int i = keep - 1;
        while (i >= 0 && decimal.Digits[i] == '9') {
            decimal.Digits[i] = '0';
            --i;
        }
        if (i >= 0)
            ++decimal.Digits[i];
        else {
            decimal.Digits.insert(decimal.Digits.begin(), '1');
            ++decimal.Point;
        }
    }
    while (!decimal.Digits.empty() && decimal.Digits.back() == '0')
        decimal.Digits.pop_back();
    if (decimal.Digits.empty())
        decimal.Point = 0;
}

char DigitAt(const TDecimal& decimal, int index) {
    return index >= 0 && static_cast<size_t>(index) < decimal.Digits.size() ? decimal.Digits[index]
                                                                            : '0';
}

// Fixed-point text of already rounded digits with exactly `decimals` fractional digits.
std::string FixedText(const TDecimal& decimal, bool negative, int decimals) {
    std::string text;
    // A value that rounds to zero is written without a sign: "-0.00" reads as a different value.
    if (negative && !decimal.Digits.empty())
        text.push_back('-');
    if (decimal.Point <= 0)
        text.push_back('0');
    for (int i = 0; i < decimal.Point; ++i)
        text.push_back(DigitAt(decimal, i));
    if (decimals > 0) {
        text.push_back(FormatSettings().DecimalSeparator);
        for (int i = 0; i < decimals; ++i)
            text.push_back(DigitAt(decimal, decimal.Point + i));
    }
    return text;
}

std::string NonFiniteText(double value) {
    if (std::isnan(value))
        return "NAN";
    return value < 0 ? "-INF" : "INF";
}

std::string FormatFixed(double value, int decimals) {
    if (!std::isfinite(value))
        return NonFiniteText(value);
    TDecimal decimal = ExactDecimal(value);
    RoundDigits(decimal, decimal.Point + decimals);
    return FixedText(decimal, std::signbit(value), decimals);
}

// Shortest text of rounded digits: fixed point without trailing zeros when the exponent lies in
// [SmallestFixedExponent, maxFixedExponent], otherwise a mantissa without trailing zeros, "E",
// and the exponent with a "-" when negative and at least `exponentDigits` digits.
std::string GeneralText(const TDecimal& decimal, bool negative, int maxFixedExponent,
                        int exponentDigits) {
    if (decimal.Digits.empty())
        return "0";
    std::string text = negative ? "-" : "";
    const int exponent = decimal.Point - 1;
    const int count = static_cast<int>(decimal.Digits.size());
    if (exponent >= SmallestFixedExponent && exponent <= maxFixedExponent) {
        text += FixedText(decimal, false, std::max(0, count - decimal.Point));
        return text;
    }
    text.push_back(decimal.Digits[0]);
    if (count > 1) {
        text.push_back(FormatSettings().DecimalSeparator);
        text.append(decimal.Digits, 1);
    }
    text.push_back('E');
    if (exponent < 0)
        text.push_back('-');
    const std::string digits = std::to_string(std::abs(exponent));
    if (static_cast<int>(digits.size()) < exponentDigits)
        text.append(exponentDigits - digits.size(), '0');
    text += digits;
    return text;
}

std::string FormatGeneral(double value, int precision) {
    if (!std::isfinite(value))
        return NonFiniteText(value);
    TDecimal decimal = ExactDecimal(value);
    RoundDigits(decimal, std::max(precision, 1));
    return GeneralText(decimal, std::signbit(value), std::max(precision, 1) - 1, 3);
}

struct TConversion {
    bool LeftAlign = false;
    int Width = 0;
    int Precision = -1;
    char Type = 0;
};

[[noreturn]] void FormatFault(std::string_view format, const std::string& what) {
    throw EFormatError("Format '" + std::string(format) +
                       "' invalid or incompatible with argument" +
                       (what.empty() ? std::string() : ": " + what));
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Reads a run of decimal digits at `pos`; the run may be empty (result 0).
int ReadCount(std::string_view format, size_t& pos, const char* what) {
    int count = 0;
    while (pos < format.size() && IsDigit(format[pos])) {
        count = count * 10 + (format[pos] - '0');
        if (count > MaxWidthOrPrecision)
            FormatFault(format,
                        std::string(what) + " larger than " + std::to_string(MaxWidthOrPrecision));
        ++pos;
    }
    return count;
}

// Parses the conversion whose "%" is at format[pos - 1]; pos ends behind its type letter.
TConversion ReadConversion(std::string_view format, size_t& pos) {
    TConversion conversion;
    if (pos < format.size() && format[pos] == '-') {
        conversion.LeftAlign = true;
        ++pos;
    }
    conversion.Width = ReadCount(format, pos, "width");
    if (pos < format.size() && format[pos] == '.') {
        ++pos;
        if (pos >= format.size() || !IsDigit(format[pos]))
            FormatFault(format, "precision digits missing");
        conversion.Precision = ReadCount(format, pos, "precision");
    }
    if (pos >= format.size())
        FormatFault(format, "conversion type missing");
    const char type = format[pos++];
    if (type == 'f' || type == 'F')
        conversion.Type = 'f';
    else if (type == 'g' || type == 'G')
        conversion.Type = 'g';
    else
        FormatFault(format, "unknown conversion");
    return conversion;
}

std::string Convert(const TConversion& conversion, double value) {
    std::string text = conversion.Type == 'f'
                           ? FormatFixed(value, conversion.Precision < 0 ? DefaultFixedPrecision
                                                                         : conversion.Precision)
                           : FormatGeneral(value, conversion.Precision < 0 ? DefaultGeneralPrecision
                                                                           : conversion.Precision);
    const size_t width = static_cast<size_t>(conversion.Width);
    if (text.size() < width) {
        if (conversion.LeftAlign)
            text.append(width - text.size(), ' ');
        else
            text.insert(0, width - text.size(), ' ');
    }
    return text;
}

using AsciiText::HexDigitValue;
using AsciiText::IsSpace;

} // namespace

TFormatSettings& FormatSettings() {
    static TFormatSettings settings;
    return settings;
}

std::string Format(std::string_view format, std::span<const double> args) {
    std::string text;
    size_t used = 0;
    size_t pos = 0;
    while (pos < format.size()) {
        const char c = format[pos++];
        if (c != '%') {
            text.push_back(c);
            continue;
        }
        if (pos < format.size() && format[pos] == '%') {
            text.push_back('%');
            ++pos;
            continue;
        }
        const TConversion conversion = ReadConversion(format, pos);
        if (used >= args.size())
            FormatFault(format, "more conversions than values");
        text += Convert(conversion, args[used++]);
    }
    if (used != args.size())
        FormatFault(format, "fewer conversions than values");
    return text;
}

bool TryStrToFloat(std::string_view text, double& value) {
    const char separator = FormatSettings().DecimalSeparator;
    size_t pos = 0;
    while (pos < text.size() && IsSpace(text[pos]))
        ++pos;
    // The number in the syntax from_chars reads, independent of the separator and the locale.
    std::string plain;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
        if (text[pos] == '-')
            plain.push_back('-');
        ++pos;
    }
    int mantissaDigits = 0;
    // Decimal exponent of the leading non-zero digit, to tell overflow from underflow.
    long long magnitude = 0;
    bool nonZeroSeen = false;
    bool afterPoint = false;
    for (; pos < text.size(); ++pos) {
        const char c = text[pos];
        if (IsDigit(c)) {
            ++mantissaDigits;
            plain.push_back(c);
            if (!nonZeroSeen && c != '0')
                nonZeroSeen = true;
            if (!afterPoint && nonZeroSeen)
                ++magnitude;
            else if (afterPoint && !nonZeroSeen)
                --magnitude;
        } else if (c == separator && !afterPoint) {
            afterPoint = true;
            plain.push_back('.');
        } else {
            break;
        }
    }
    if (mantissaDigits == 0)
        return false;
    long long exponent = 0;
    if (pos < text.size() && (text[pos] == 'E' || text[pos] == 'e')) {
        plain.push_back('e');
        ++pos;
        bool negativeExponent = false;
        if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
            negativeExponent = text[pos] == '-';
            if (negativeExponent)
                plain.push_back('-');
            ++pos;
        }
        int exponentDigits = 0;
        for (; pos < text.size() && IsDigit(text[pos]); ++pos) {
            ++exponentDigits;
            plain.push_back(text[pos]);
            // Saturate: anything this large is far beyond the double range either way.
            if (exponent < 100000000)
                exponent = exponent * 10 + (text[pos] - '0');
        }
        if (exponentDigits == 0)
            return false;
        if (negativeExponent)
            exponent = -exponent;
    }
    while (pos < text.size() && IsSpace(text[pos]))
        ++pos;
    if (pos != text.size())
        return false;
    if (!nonZeroSeen) {
        value = plain[0] == '-' ? -0.0 : 0.0;
        return true;
    }
    double result = 0;
    const auto parsed = std::from_chars(plain.data(), plain.data() + plain.size(), result,
                                        std::chars_format::general);
    if (parsed.ptr != plain.data() + plain.size())
        return false;
    if (parsed.ec == std::errc::result_out_of_range) {
        // Beyond the double range fails; below the smallest subnormal is zero.
        if (magnitude + exponent > 0)
            return false;
        result = plain[0] == '-' ? -0.0 : 0.0;
    } else if (parsed.ec != std::errc()) {
        return false;
    }
    if (!std::isfinite(result))
        return false;
    value = result;
    return true;
}

double StrToFloat(std::string_view text) {
    double value = 0;
    if (!TryStrToFloat(text, value))
        throw EConvertError("'" + std::string(text) + "' is not a valid floating point value");
    return value;
}

bool TryStrToInt(std::string_view text, int32_t& value) {
    size_t pos = 0;
    while (pos < text.size() && IsSpace(text[pos]))
        ++pos;
    bool negative = false;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
        negative = text[pos] == '-';
        ++pos;
    }
    const std::string_view rest = text.substr(pos);
    size_t hexPrefix = 0;
    if (!rest.empty() && (rest[0] == '$' || rest[0] == 'x' || rest[0] == 'X'))
        hexPrefix = 1;
    else if (rest.size() >= 2 && rest[0] == '0' && (rest[1] == 'x' || rest[1] == 'X'))
        hexPrefix = 2;
    const std::string_view digits = rest.substr(hexPrefix);
    if (digits.empty())
        return false;
    if (hexPrefix > 0) {
        uint64_t bits = 0;
        for (const char c : digits) {
            const int digit = HexDigitValue(c);
            if (digit < 0)
                return false;
            bits = bits * 16 + static_cast<uint64_t>(digit);
            if (bits > 0xFFFFFFFFu)
                return false;
        }
        // The bit pattern as a signed 32-bit value; a "-" negates it modulo 2^32.
        uint32_t pattern = static_cast<uint32_t>(bits);
        if (negative)
            pattern = 0u - pattern;
        value = static_cast<int32_t>(pattern);
        return true;
    }
    int64_t magnitude = 0;
    for (const char c : digits) {
        if (!IsDigit(c))
            return false;
        magnitude = magnitude * 10 + (c - '0');
        if (magnitude > int64_t{1} << 31)
            return false;
    }
    const int64_t signedValue = negative ? -magnitude : magnitude;
    if (signedValue > std::numeric_limits<int32_t>::max())
        return false;
    value = static_cast<int32_t>(signedValue);
    return true;
}

std::string FloatToStr(double value) {
    if (!std::isfinite(value))
        return NonFiniteText(value);
    const TDecimal exact = ExactDecimal(value);
    TDecimal decimal = exact;
    RoundDigits(decimal, 15);
    // Next to the largest double, rounding up to 15 digits would give a text beyond the double
    // range that no longer reads back; those few values are cut toward zero instead.
    if (decimal.Point == 309 && decimal.Digits > "17976931348623157") {
        decimal = exact;
        decimal.Digits.resize(15);
    }
    return GeneralText(decimal, std::signbit(value), 14, 0);
}
