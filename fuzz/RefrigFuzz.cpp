// Writes arbitrary bytes as the refrigerant data file, constructs the library on it and loads a
// few names. Nothing may crash, hang or read out of bounds; the only error allowed is
// ERefrigDataError, after which the current record must be exactly the one before; the tables
// must stay consistent; a name and its lower-case spelling must load the same record.

#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/AsciiText.h"
#include "refrig/Refrig.h"

namespace {

void Check(bool condition) {
    if (!condition) {
        __builtin_trap();
    }
}

const std::string& InputPath() {
    static const std::string path = [] {
        std::string pattern = "/tmp/refrigfuzz-XXXXXX";
        Check(::mkdtemp(pattern.data()) != nullptr);
        return pattern + "/RuzAve8.rdf";
    }();
    return path;
}

// Dates the file an hour back, each input a nanosecond apart, so the INI layer may keep its parse
// (a file changed within the last two seconds is parsed on every read, which makes a run with
// thousands of sections slow without finding more).
void WriteInput(const uint8_t* data, std::size_t size) {
    static long counter = 0;
    {
        std::ofstream out(InputPath(), std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    timespec times[2];
    ::clock_gettime(CLOCK_REALTIME, &times[0]);
    times[0].tv_sec -= 3600;
    times[0].tv_nsec = ++counter % 1000000000L;
    times[1] = times[0];
    ::utimensat(AT_FDCWD, InputPath().c_str(), times, 0);
}

std::string Lower(std::string text) {
    for (char& c : text) {
        c = AsciiText::LowerCase(c);
    }
    return text;
}

// Loads name; returns the record loaded, or nothing when the section is malformed, in which case
// the library must be exactly as before.
std::optional<TRefrigData> Load(TRefrigLib& lib, const std::string& name) {
    const TRefrigData before = lib.Data();
    const int32_t index = lib.SectionIndex();
    const uint16_t status = lib.Status();
    try {
        lib.LoadRefrigerant(name);
    } catch (const ERefrigDataError& e) {
        Check(lib.Data() == before && lib.SectionIndex() == index && lib.Status() == status);
        Check(!e.Detail().empty());
        return std::nullopt;
    }
    Check(lib.SectionIndex() >= -1 &&
          lib.SectionIndex() < static_cast<int32_t>(lib.SectionNames().size()));
    Check(lib.Status() == status || lib.Status() == TRefrigLib::stNoSection);
    if (lib.Status() == TRefrigLib::stNoSection && status == TRefrigLib::stNone) {
        Check(lib.Data() == DefaultRefrigData());
    }
    return lib.Data();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    WriteInput(data, size);
    try {
        TRefrigLib lib(InputPath());
        Check(lib.SectionNames().size() == lib.InternalNumbers().size());
        lib.VhShValue(lib.Data().TMin, lib.Data().TMax);

        std::string first = lib.SectionNames().empty() ? "R134a" : lib.SectionNames().front();
        const auto asWritten = Load(lib, first);
        const auto lowered = Load(lib, Lower(first));
        Check(asWritten.has_value() == lowered.has_value());
        if (asWritten && lowered) {
            Check(*asWritten == *lowered);
        }
        Load(lib, "R717");
        lib.SetResidualBase(lib.Data().TBoil);
        lib.SetResidualTarget(lib.Data().TCrit);
        lib.Root().Deriv(lib.Data().TMax);
    } catch (const ERefrigDataError&) {
        // A malformed "R22" section: construction reports it.
    }
    return 0;
}
