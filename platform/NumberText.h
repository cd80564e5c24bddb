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

// Formats doubles with literal text, "%%", "%[-][w][.p]f" (fixed, rounded half away from zero) and
// "%[-][w][.p]g" (the chart's scientific form, e.g. "1.2E004"). A conversion it does not know, or a
// count of conversions that differs from the count of values, raises EFormatError.
//
// Details:
// - Digits are rounded half away from zero on the exact binary value: 2.5 -> "3", 0.125 -> "0.13",
//   but 1.005 (stored just below the half) -> "1.00". A value that rounds to zero is written
//   without a minus sign ("0.00", never "-0.00").
// - Width pads with blanks on the left ("-" pads on the right; a leading "0" of the width is
//   part of the number, not a flag). Width and precision above 1000 are an error. Without a
//   precision "f" writes 2 decimals and "g" 15 significant digits; "f"/"F" and "g"/"G" are the same
//   conversion.
// - "g" rounds to p significant digits (p = 0 counts as 1); when the decimal exponent e of the
//   rounded value lies in -5 <= e < p the text is fixed point without trailing zeros ("0.5", "12"),
//   otherwise a mantissa without trailing zeros, "E", "-" for a negative exponent and at least
//   three exponent digits ("1.2E004", "1E005", "1.2E-006").
// - NaN gives "NAN", infinities "INF" and "-INF" (then padded to the width like any text).
// - No other flag ("+", " ", "#", "*"), length modifier or conversion is accepted.
std::string Format(std::string_view format, std::span<const double> args);
inline std::string Format(std::string_view format, std::initializer_list<double> args) {
    return Format(format, std::span<const double>(args.begin(), args.size()));
}

// Strict real syntax: optional blanks, optional sign, digits with an optional fraction behind the
// process's decimal separator, an optional exponent ("E"/"e", optional sign, digits), optional
// trailing blanks, nothing else. False (value untouched) when the text does not convert or the
// value lies beyond the double range (a value below the smallest subnormal reads as zero). Blanks
// are spaces only; the mantissa needs one digit on either side of the separator (".5", "5.").
bool TryStrToFloat(std::string_view text, double& value);
// As TryStrToFloat, raising EConvertError "'<text>' is not a valid floating point value".
double StrToFloat(std::string_view text);

// Strict integer syntax: optional leading blanks, optional "+"/"-", then decimal digits that fit
// the signed 32-bit range, or a hexadecimal prefix ("$", "x", "X", "0x", "0X") and up to 32 bits
// of hexadecimal digits taken as the signed value of that bit pattern. Nothing may follow. A "-"
// before a hexadecimal value negates the bit pattern modulo 2^32 ("-$FFFFFFFF" gives 1).
bool TryStrToInt(std::string_view text, int32_t& value);

// General decimal notation with up to 15 significant digits and the process's decimal separator:
// fixed point without trailing zeros ("273.15", "0.00001") for decimal exponents -5 to 14, else
// scientific without padding ("1E20", "1.5E-6"). -0 gives "0"; NaN and infinities as in Format.
std::string FloatToStr(double value);
