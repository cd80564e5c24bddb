// Writes arbitrary bytes to a file and runs every read of the INI reader on it, then a write and
// a re-read. Nothing may crash, hang or read out of bounds; lists must be well formed; a written
// value must read back, and every other value must stay as it was.

#include "platform/PrivateProfile.h"
#include "refrig/IniFiles.h"

#include <cctype>
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

bool IsBlank(const std::string& name) {
    for (char c : name) {
        if (static_cast<unsigned char>(c) > ' ')
            return false;
    }
    return true;
}

bool IsFuzzKey(const std::string& key) {
    static const std::string name = "fuzzkey";
    if (key.size() != name.size())
        return false;
    for (std::size_t i = 0; i < key.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(key[i])) != name[i])
            return false;
    }
    return true;
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

using Snapshot = std::map<std::pair<std::string, std::string>, std::string>;

Snapshot ReadEverything(TIniFile& ini) {
    Snapshot values;
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
            Check(lines[k] == key + "=" + (IsBlank(section) || IsBlank(key) ? "" : text));
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
    const Snapshot before = ReadEverything(ini);

    // Round trip: set a value in the first section (or a new one) and read everything again.
    std::vector<std::string> sections;
    ini.ListSections(sections);
    const std::string section = sections.empty() ? "Fuzz" : sections.front();
    const std::string value = " fuzz = value ";
    ini.WriteText(section, "FuzzKey", value);
    // The reader treats names of control characters as blank; the platform layer does not.
    char buffer[PrivateProfile::ValueBufferSize];
    Check(std::string(buffer, PrivateProfile::GetString(section, "FuzzKey", std::nullopt, buffer,
                                                        path)) == value);
    Age(path);
    const Snapshot after = ReadEverything(ini);
    for (const auto& [name, text] : before) {
        const auto it = after.find(name);
        if (it != after.end() && !(name.first == section && IsFuzzKey(name.second)))
            Check(it->second == text);
    }
    std::vector<std::string> sectionsAfter;
    ini.ListSections(sectionsAfter);
    Check(sections.empty() ? sectionsAfter == std::vector<std::string>{"Fuzz"}
                           : sectionsAfter == sections);
    return 0;
}
