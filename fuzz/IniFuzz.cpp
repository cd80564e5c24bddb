// Writes arbitrary bytes to a file and runs every read of the INI reader on it, then a write of a
// value taken from the input's last bytes and a re-read. Nothing may crash, hang or read out of
// bounds; lists must be well formed; every value a write accepts must read back identically, a
// refused value must be one that holds a line break (or be written to a UTF-16 file it has no
// form in), and every other value must stay as it was.

#include "platform/AsciiText.h"
#include "platform/PrivateProfile.h"
#include "refrig/IniFiles.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

void Check(bool condition) {
    if (!condition)
        __builtin_trap();
}

const std::string& InputPath() {
    static const std::string path = [] {
        std::string pattern = "/tmp/inifuzz-XXXXXX";
        Check(::mkdtemp(pattern.data()) != nullptr);
        static std::string folder = pattern;
        std::atexit([] { std::filesystem::remove_all(folder); });
        return pattern + "/input.ini";
    }();
    return path;
}

bool IsFuzzKey(const std::string& key) {
    return AsciiText::EqualNoCase(key, "FuzzKey");
}

// The value to write: the input's last n bytes, n from its first byte (at most 63).
std::string ValueOf(const uint8_t* data, std::size_t size) {
    const std::size_t n = size == 0 ? 0 : std::min<std::size_t>(data[0] % 64, size);
    return std::string(reinterpret_cast<const char*>(data + size - n), n);
}

// Gives the file an old modification time, different for every call.
void Age(const std::string& path) {
    static long age = 100000;
    struct timespec times[2];
    times[0].tv_sec = times[1].tv_sec = ::time(nullptr) - ++age;
    times[0].tv_nsec = times[1].tv_nsec = 0;
    Check(::utimensat(AT_FDCWD, path.c_str(), times, 0) == 0);
}

// At most this many sections and keys per section are read, to keep one run short.
constexpr std::size_t MaxNames = 8;

using Values = std::map<std::pair<std::string, std::string>, std::string>;

Values ReadEverything(TIniFile& ini) {
    Values values;
    std::vector<std::string> sections;
    ini.ListSections(sections);
    std::size_t total = 0;
    for (const std::string& s : sections) {
        Check(!s.empty());
        total += s.size() + 1;
    }
    Check(total < PrivateProfile::ListBufferSize);
    for (std::size_t i = 0; i < sections.size() && i < MaxNames; ++i) {
        const std::string& section = sections[i];
        std::vector<std::string> keys;
        std::vector<std::string> lines;
        ini.ListKeys(section, keys);
        ini.ListKeyValues(section, lines);
        Check(keys.size() == lines.size());
        Check(ini.HasSection(section) == !keys.empty());
        for (std::size_t k = 0; k < keys.size() && k < MaxNames; ++k) {
            const std::string& key = keys[k];
            const std::string text = ini.ReadText(section, key, "\x01");
            Check(text.size() < PrivateProfile::ValueBufferSize);
            // Names made only of blanks and control characters are blank to the reader.
            Check(lines[k] == key + "=" +
                                  (AsciiText::IsSpaceOrControlOnly(section) ||
                                           AsciiText::IsSpaceOrControlOnly(key)
                                       ? ""
                                       : text));
            values[{section, key}] = text;
            ini.ReadInt(section, key, 0);
            ini.ReadFlag(section, key, true);
            ini.ReadReal(section, key, 0);
            ini.ReadDateValue(section, key, 0);
            ini.ReadTimeValue(section, key, 0);
            ini.ReadDateTimeValue(section, key, 0);
            TBytesStream stream;
            Check(ini.ReadHexBytes(section, key, stream) == stream.Bytes.size());
        }
    }
    return values;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const std::string& path = InputPath();
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    // An old modification time, different for every input, lets the parse cache work for the
    // reads below (the reader would otherwise re-read a just-written file on every call).
    Age(path);
    TIniFile ini(path);
    const Values before = ReadEverything(ini);

    // Round trip: set a value in the first section (or a new one) and read everything again.
    std::vector<std::string> sections;
    ini.ListSections(sections);
    const std::string section = sections.empty() ? "Fuzz" : sections.front();
    const std::string value = ValueOf(data, size);
    const bool accepted = PrivateProfile::WriteString(section, "FuzzKey", value, path);
    const bool hasLineBreak = value.find_first_of(std::string("\r\n\0", 3)) != std::string::npos;
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const bool utf16 = input.starts_with("\xFF\xFE") || input.starts_with("\xFE\xFF");
    Check(accepted || hasLineBreak || utf16);
    Check(!(accepted && hasLineBreak));
    // The reader treats names of control characters as blank; the platform layer does not.
    char buffer[PrivateProfile::ValueBufferSize];
    const std::string readBack(
        buffer, PrivateProfile::GetString(section, "FuzzKey", std::nullopt, buffer, path));
    if (accepted)
        Check(readBack == value);
    Age(path);
    const Values after = ReadEverything(ini);
    for (const auto& [name, text] : before) {
        const auto it = after.find(name);
        if (it != after.end() && !(name.first == section && IsFuzzKey(name.second)))
            Check(it->second == text);
    }
    std::vector<std::string> sectionsAfter;
    ini.ListSections(sectionsAfter);
    if (!sections.empty())
        Check(sectionsAfter == sections);
    else
        Check(sectionsAfter == (accepted ? std::vector<std::string>{"Fuzz"} : sections));
    return 0;
}
