#include "refrig/IniFiles.h"

#include "platform/AsciiText.h"
#include "platform/NumberText.h"
#include "platform/PrivateProfile.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <limits>
#include <optional>
#include <stdexcept>
#include <string_view>

namespace {

using AsciiText::TrimSpaceOrTab;

// ---------------------------------------------------------------------------------------------
// Hex bytes

// The valid leading pairs of hex digits.
std::vector<uint8_t> DecodeHex(std::string_view text) {
    std::vector<uint8_t> bytes;
    for (std::size_t i = 0; i + 1 < text.size(); i += 2) {
        const int hi = AsciiText::HexDigitValue(text[i]);
        const int lo = AsciiText::HexDigitValue(text[i + 1]);
        if (hi < 0 || lo < 0) {
            break;
        }
        bytes.push_back(static_cast<uint8_t>(hi * 16 + lo));
    }
    return bytes;
}

std::string EncodeHex(const uint8_t* bytes, std::size_t count) {
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(count * 2);
    for (std::size_t i = 0; i < count; ++i) {
        text += digits[bytes[i] >> 4];
        text += digits[bytes[i] & 0x0F];
    }
    return text;
}

// ---------------------------------------------------------------------------------------------
// Dates and times. Day numbers count from 1899-12-30; civil-date conversion after the
// proleptic Gregorian calendar.

constexpr int64_t MsPerDay = 86'400'000;
constexpr int64_t FirstDay = -693'593; // 0001-01-01
constexpr int64_t LastDay = 2'958'465; // 9999-12-31

int64_t DaysFromCivil(int64_t y, int64_t m, int64_t d) {
    y -= m <= 2 ? 1 : 0;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468; // days since 1970-01-01
}

constexpr int64_t EpochOffset = 25'569; // 1899-12-30 lies this many days before 1970-01-01

struct Civil {
    int64_t year, month, day;
};

Civil CivilFromDays(int64_t dayNumber) {
    const int64_t z = dayNumber - EpochOffset + 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    const int64_t d = doy - (153 * mp + 2) / 5 + 1;
    const int64_t m = mp + (mp < 10 ? 3 : -9);
    return {yoe + era * 400 + (m <= 2 ? 1 : 0), m, d};
}

bool IsLeap(int64_t y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int64_t DaysInMonth(int64_t y, int64_t m) {
    static constexpr std::array<int64_t, 12> days{31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && IsLeap(y) ? 29 : days[static_cast<std::size_t>(m - 1)];
}

// A date-time value split into its day number and its time of day in milliseconds, the time
// rounded to the millisecond. Raises EConvertError outside years 1 to 9999.
struct DayAndTime {
    int64_t day;
    int64_t ms;
};

DayAndTime Split(TDateTime value) {
    if (!(value > static_cast<double>(FirstDay - 1) && value < static_cast<double>(LastDay + 1))) {
        throw EConvertError("Invalid date-time value");
    }
    int64_t day = static_cast<int64_t>(std::trunc(value));
    const double fraction = std::fabs(value - static_cast<double>(day));
    int64_t ms = std::llround(fraction * static_cast<double>(MsPerDay));
    if (ms >= MsPerDay) {
        if (day < LastDay) {
            ++day;
            ms = 0;
        } else {
            ms = MsPerDay - 1;
        }
    }
    return {day, ms};
}

void AppendPadded(std::string& out, int64_t value, int width) {
    const std::string digits = std::to_string(value);
    out.append(static_cast<std::size_t>(std::max(0, width - static_cast<int>(digits.size()))), '0');
    out += digits;
}

std::string DateText(int64_t day) {
    const Civil c = CivilFromDays(day);
    std::string out;
    AppendPadded(out, c.year, 4);
    out += '-';
    AppendPadded(out, c.month, 2);
    out += '-';
    AppendPadded(out, c.day, 2);
    return out;
}

std::string TimeText(int64_t ms) {
    std::string out;
    AppendPadded(out, ms / 3'600'000, 2);
    out += ':';
    AppendPadded(out, ms / 60'000 % 60, 2);
    out += ':';
    AppendPadded(out, ms / 1000 % 60, 2);
    return out;
}

// Reads 1 to maxDigits decimal digits from the front of s.
std::optional<int64_t> TakeNumber(std::string_view& s, std::size_t maxDigits) {
    std::size_t n = 0;
    while (n < s.size() && n < maxDigits && s[n] >= '0' && s[n] <= '9') {
        ++n;
    }
    if (n == 0 || (n < s.size() && s[n] >= '0' && s[n] <= '9')) {
        return std::nullopt;
    }
    int64_t value = 0;
    std::from_chars(s.data(), s.data() + n, value);
    s.remove_prefix(n);
    return value;
}

bool TakeChar(std::string_view& s, char c) {
    if (s.empty() || s.front() != c) {
        return false;
    }
    s.remove_prefix(1);
    return true;
}

// "yyyy-mm-dd" (year 1 to 4 digits, month and day 1 or 2) to a day number.
std::optional<int64_t> ParseDate(std::string_view s) {
    const auto y = TakeNumber(s, 4);
    if (!y || !TakeChar(s, '-')) {
        return std::nullopt;
    }
    const auto m = TakeNumber(s, 2);
    if (!m || !TakeChar(s, '-')) {
        return std::nullopt;
    }
    const auto d = TakeNumber(s, 2);
    if (!d || !s.empty() || *y < 1 || *m < 1 || *m > 12 || *d < 1 || *d > DaysInMonth(*y, *m)) {
        return std::nullopt;
    }
    return DaysFromCivil(*y, *m, *d) + EpochOffset;
}

// "hh:nn", "hh:nn:ss" or "hh:nn:ss.zzz" (one or two digits each, up to three for zzz) to a
// fraction of a day.
std::optional<double> ParseTime(std::string_view s) {
    const auto h = TakeNumber(s, 2);
    if (!h || !TakeChar(s, ':')) {
        return std::nullopt;
    }
    const auto n = TakeNumber(s, 2);
    if (!n) {
        return std::nullopt;
    }
    int64_t sec = 0;
    int64_t ms = 0;
    if (TakeChar(s, ':')) {
        const auto sv = TakeNumber(s, 2);
        if (!sv) {
            return std::nullopt;
        }
        sec = *sv;
        if (TakeChar(s, '.')) {
            const std::size_t digits = std::min<std::size_t>(s.size(), 3);
            const auto z = TakeNumber(s, 3);
            if (!z) {
                return std::nullopt;
            }
            ms = *z * (digits == 1 ? 100 : digits == 2 ? 10 : 1);
        }
    }
    if (!s.empty() || *h > 23 || *n > 59 || sec > 59) {
        return std::nullopt;
    }
    return static_cast<double>(((*h * 60 + *n) * 60 + sec) * 1000 + ms) /
           static_cast<double>(MsPerDay);
}

// A day before 1899-12-30 carries its time of day as a negative fraction.
TDateTime Compose(int64_t day, double time) {
    const auto d = static_cast<double>(day);
    return day < 0 ? d - time : d + time;
}

std::optional<TDateTime> ParseDateValue(std::string_view s) {
    if (const auto day = ParseDate(TrimSpaceOrTab(s))) {
        return static_cast<double>(*day);
    }
    return std::nullopt;
}

std::optional<TDateTime> ParseTimeValue(std::string_view s) {
    return ParseTime(TrimSpaceOrTab(s));
}

std::optional<TDateTime> ParseDateTimeValue(std::string_view s) {
    s = TrimSpaceOrTab(s);
    const std::size_t gap = s.find_first_of(" \t");
    if (gap == std::string_view::npos) {
        if (const auto day = ParseDate(s)) {
            return static_cast<double>(*day);
        }
        return ParseTime(s);
    }
    const auto day = ParseDate(s.substr(0, gap));
    const auto time = ParseTime(TrimSpaceOrTab(s.substr(gap)));
    if (!day || !time) {
        return std::nullopt;
    }
    return Compose(*day, *time);
}

} // namespace

// ---------------------------------------------------------------------------------------------

EIniFileException EIniFileException::UnableToWrite(const std::string& path) {
    return EIniFileException("Unable to write to " + path);
}

TCustomIniFile::TCustomIniFile(std::string path) : FPath(std::move(path)) {}

int32_t TCustomIniFile::ReadInt(const std::string& section, const std::string& key,
                                int32_t defaultValue) {
    std::string s = ReadText(section, key, std::string());
    if (s.size() > 2 && s[0] == '0' && (s[1] == 'X' || s[1] == 'x')) {
        s.replace(0, 2, "$");
    }
    int32_t value = 0;
    return TryStrToInt(s, value) ? value : defaultValue;
}

void TCustomIniFile::WriteInt(const std::string& section, const std::string& key, int32_t value) {
    WriteText(section, key, std::to_string(value));
}

bool TCustomIniFile::ReadFlag(const std::string& section, const std::string& key,
                              bool defaultValue) {
    return ReadInt(section, key, defaultValue ? 1 : 0) != 0;
}

void TCustomIniFile::WriteFlag(const std::string& section, const std::string& key, bool value) {
    WriteText(section, key, value ? "1" : "0");
}

std::size_t TCustomIniFile::ReadHexBytes(const std::string& section, const std::string& key,
                                         TBytesStream& stream) {
    const std::vector<uint8_t> bytes = DecodeHex(ReadText(section, key, std::string()));
    if (bytes.empty()) {
        return 0;
    }
    if (stream.Position > std::numeric_limits<std::size_t>::max() - bytes.size()) {
        throw std::length_error("Stream position out of range");
    }
    const std::size_t end = stream.Position + bytes.size();
    if (stream.Bytes.size() < end) {
        stream.Bytes.resize(end);
    }
    std::copy(bytes.begin(), bytes.end(),
              stream.Bytes.begin() + static_cast<std::ptrdiff_t>(stream.Position));
    stream.Position = end;
    return bytes.size();
}

TDateTime TCustomIniFile::ReadDateValue(const std::string& section, const std::string& key,
                                        TDateTime defaultValue) {
    return ParseDateValue(ReadText(section, key, std::string())).value_or(defaultValue);
}

TDateTime TCustomIniFile::ReadDateTimeValue(const std::string& section, const std::string& key,
                                            TDateTime defaultValue) {
    return ParseDateTimeValue(ReadText(section, key, std::string())).value_or(defaultValue);
}

double TCustomIniFile::ReadReal(const std::string& section, const std::string& key,
                                double defaultValue) {
    const std::string s = ReadText(section, key, std::string());
    if (s.empty()) {
        return defaultValue;
    }
    double value = 0;
    return TryStrToFloat(s, value) ? value : defaultValue;
}

TDateTime TCustomIniFile::ReadTimeValue(const std::string& section, const std::string& key,
                                        TDateTime defaultValue) {
    return ParseTimeValue(ReadText(section, key, std::string())).value_or(defaultValue);
}

void TCustomIniFile::WriteHexBytes(const std::string& section, const std::string& key,
                                   TBytesStream& stream) {
    const std::size_t size = stream.Bytes.size();
    const std::size_t from = std::min(stream.Position, size);
    WriteText(section, key, EncodeHex(stream.Bytes.data() + from, size - from));
    stream.Position = std::max(stream.Position, size);
}

void TCustomIniFile::WriteDateValue(const std::string& section, const std::string& key,
                                    TDateTime value) {
    WriteText(section, key, DateText(Split(value).day));
}

void TCustomIniFile::WriteDateTimeValue(const std::string& section, const std::string& key,
                                        TDateTime value) {
    const DayAndTime dt = Split(value);
    WriteText(section, key, DateText(dt.day) + " " + TimeText(dt.ms));
}

void TCustomIniFile::WriteReal(const std::string& section, const std::string& key, double value) {
    WriteText(section, key, FloatToStr(value));
}

void TCustomIniFile::WriteTimeValue(const std::string& section, const std::string& key,
                                    TDateTime value) {
    WriteText(section, key, TimeText(Split(value).ms));
}

bool TCustomIniFile::HasSection(const std::string& section) {
    std::vector<std::string> keys;
    ListKeys(section, keys);
    return !keys.empty();
}

// ---------------------------------------------------------------------------------------------

namespace {

using PrivateProfile::Snapshot;

// The reads of both readers, on one snapshot of the file.

std::string ReadTextFrom(const Snapshot& snapshot, const std::string& section,
                         const std::string& key, const std::string& defaultValue) {
    if (AsciiText::IsSpaceOrControlOnly(section) || AsciiText::IsSpaceOrControlOnly(key)) {
        return defaultValue;
    }
    return snapshot.Value(section, key, defaultValue);
}

void ListKeysFrom(const Snapshot& snapshot, const std::string& section,
                  std::vector<std::string>& list) {
    if (AsciiText::IsSpaceOrControlOnly(section)) {
        return;
    }
    const auto names = snapshot.KeyNames(section);
    list.assign(names.begin(), names.end());
}

void ListSectionsFrom(const Snapshot& snapshot, std::vector<std::string>& list) {
    const auto names = snapshot.SectionNames();
    list.assign(names.begin(), names.end());
}

void ListKeyValuesFrom(const Snapshot& snapshot, const std::string& section,
                       std::vector<std::string>& list) {
    std::vector<std::string> keys;
    ListKeysFrom(snapshot, section, keys);
    list.clear();
    for (const std::string& key : keys) {
        list.push_back(key + "=" + ReadTextFrom(snapshot, section, key, std::string()));
    }
}

// Names made only of blanks and control characters are blank: reads of them give the default
// without looking at the file.
Snapshot SnapshotFor(const std::string& path, const std::string& section) {
    return AsciiText::IsSpaceOrControlOnly(section) ? Snapshot() : Snapshot::Take(path);
}

} // namespace

TIniFile::~TIniFile() {
    try {
        Flush();
    } catch (...) {
        // A destructor must not throw; a failed flush loses nothing (writes are not buffered).
    }
}

std::string TIniFile::ReadText(const std::string& section, const std::string& key,
                               const std::string& defaultValue) {
    if (AsciiText::IsSpaceOrControlOnly(section) || AsciiText::IsSpaceOrControlOnly(key)) {
        return defaultValue;
    }
    return Snapshot::Take(Path()).Value(section, key, defaultValue);
}

void TIniFile::WriteText(const std::string& section, const std::string& key,
                         const std::string& value) {
    if (!PrivateProfile::WriteString(section, key, value, Path())) {
        throw EIniFileException::UnableToWrite(Path());
    }
}

void TIniFile::ListKeys(const std::string& section, std::vector<std::string>& list) {
    ListKeysFrom(SnapshotFor(Path(), section), section, list);
}

void TIniFile::ListSections(std::vector<std::string>& list) {
    ListSectionsFrom(Snapshot::Take(Path()), list);
}

void TIniFile::ListKeyValues(const std::string& section, std::vector<std::string>& list) {
    ListKeyValuesFrom(SnapshotFor(Path(), section), section, list);
}

void TIniFile::RemoveSection(const std::string& section) {
    if (!PrivateProfile::WriteString(section, std::nullopt, std::nullopt, Path())) {
        throw EIniFileException::UnableToWrite(Path());
    }
}

void TIniFile::RemoveKey(const std::string& section, const std::string& key) {
    PrivateProfile::WriteString(section, key, std::nullopt, Path());
}

void TIniFile::Flush() {
    PrivateProfile::WriteString(std::nullopt, std::nullopt, std::nullopt, Path());
}

// ---------------------------------------------------------------------------------------------

TIniFileSnapshot::TIniFileSnapshot(std::string path)
    : TCustomIniFile(std::move(path)), FSnapshot(Snapshot::Take(Path())) {}

std::string TIniFileSnapshot::ReadText(const std::string& section, const std::string& key,
                                       const std::string& defaultValue) {
    return ReadTextFrom(FSnapshot, section, key, defaultValue);
}

void TIniFileSnapshot::WriteText(const std::string&, const std::string&, const std::string&) {
    throw EIniFileException::UnableToWrite(Path());
}

void TIniFileSnapshot::ListKeys(const std::string& section, std::vector<std::string>& list) {
    ListKeysFrom(FSnapshot, section, list);
}

void TIniFileSnapshot::ListSections(std::vector<std::string>& list) {
    ListSectionsFrom(FSnapshot, list);
}

void TIniFileSnapshot::ListKeyValues(const std::string& section, std::vector<std::string>& list) {
    ListKeyValuesFrom(FSnapshot, section, list);
}

void TIniFileSnapshot::RemoveSection(const std::string&) {
    throw EIniFileException::UnableToWrite(Path());
}

void TIniFileSnapshot::RemoveKey(const std::string&, const std::string&) {}

void TIniFileSnapshot::Flush() {}
