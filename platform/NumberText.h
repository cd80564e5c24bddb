#pragma once
// Process-wide number text, independent of the C locale: the separators start-up fixes, the
// printf-style Format subset the system uses, and the strict number parsers of the data files.

#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>

struct TFormatSettings {
    char DecimalSeparator = '.';
    char ThousandSeparator = ',';
};

// The process-wide settings; start-up sets "." and ",".
TFormatSettings& FormatSettings();

// Formats doubles with literal text, "%%", "%[w].[p]f" (fixed, rounded half away from zero) and
// "%[w].[p]g" (the chart's scientific form, e.g. "1.2E004"). A conversion it does not know, or a
// count of conversions that differs from the count of values, raises EFormatError.
std::string Format(std::string_view format, std::span<const double> args);
inline std::string Format(std::string_view format, std::initializer_list<double> args) {
    return Format(format, std::span<const double>(args.begin(), args.size()));
}

// Strict real syntax: optional blanks, optional sign, digits with an optional fraction behind the
// process's decimal separator, an optional exponent ("E"/"e", optional sign, digits), optional
// trailing blanks, nothing else. False (value untouched) when the text does not convert or the
// value lies beyond the double range.
bool TryStrToFloat(std::string_view text, double& value);
// As TryStrToFloat, raising EConvertError "'<text>' is not a valid floating point value".
double StrToFloat(std::string_view text);

// Strict integer syntax: optional leading blanks, optional "+"/"-", then decimal digits that fit
// the signed 32-bit range, or a hexadecimal prefix ("$", "x", "X", "0x", "0X") and up to 32 bits
// of hexadecimal digits taken as the signed value of that bit pattern. Nothing may follow.
bool TryStrToInt(std::string_view text, int32_t& value);

// General decimal notation with up to 15 significant digits and the process's decimal separator.
std::string FloatToStr(double value);
