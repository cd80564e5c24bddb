// INI reader on a generated data file of 1,000 refrigerant sections (about 1 MB): construction of
// a reader plus ListSections, ReadText and ReadInt of every section's "InternalNumber", each on
// an unchanged file (the parse is cached) and on a file whose time stamp changes before every
// iteration (read and parsed again), plus one write.
//
// The file's modification time is set back, as for an installed data file: a file modified in
// the last two seconds is never cached (see platform/PrivateProfile.h).

#include "platform/PrivateProfile.h"
#include "refrig/IniFiles.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

constexpr int kSections = 1000;

std::string SectionName(int i) {
    std::string name = "R";
    name += std::to_string(1000 + i);
    return name;
}

// A record shaped like the refrigerant data: identification texts, scalars and coefficient lists.
std::string Record(int i) {
    std::string r = "[";
    r += SectionName(i);
    r += "]\r\nInternalNumber=";
    r += std::to_string(i);
    r += "\r\nRNumber=";
    r += SectionName(i);
    r += "\r\nFormula=CHClF2\r\nChemicalName=chlorodifluoromethane\r\n";
    r +=
        "CASNumber=75-45-6\r\nRefTer=Helmholtz equation of state for R-22, reference data 1995\r\n";
    r += "Components=1\r\nRefState=IIR\r\nSourceFile=R22.FLD\r\n";
    r += "FluidType=Halocarbon-Methane Series\r\n";
    r += "TCrit=96.1\r\nPCrit=4990.0\r\nDCrit=523.842\r\nwm=86.468\r\nTTrip=-157.42\r\n";
    r += "TBoil=-40.8\r\nTMax=60.0\r\nTMin=-30.0\r\n";
    for (const char* key : {"dp", "bp", "lh", "th", "vh", "sh", "vv", "sv", "ic", "sc", "lv", "cl",
                            "cv", "ul", "uv", "kl", "kv"}) {
        r += key;
        r += "=251040.6, 373.4119, -1.685585, -0.01689365, 154002.2, 1.108134e-5, "
             "-5.134816e-8, 2.579754e-8\r\n";
    }
    r += "\r\n";
    return r;
}

void SetOldTime(const std::string& path, long secondsBack) {
    struct timespec times[2];
    times[0].tv_sec = times[1].tv_sec = ::time(nullptr) - secondsBack;
    times[0].tv_nsec = times[1].tv_nsec = 0;
    ::utimensat(AT_FDCWD, path.c_str(), times, 0);
}

class DataFile {
public:
    DataFile() {
        std::string pattern = (fs::temp_directory_path() / "inibenchXXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) {
            std::abort();
        }
        dir = pattern;
        path = (dir / "RuzAve8.rdf").string();
        std::ofstream out(path, std::ios::binary);
        for (int i = 0; i < kSections; ++i) {
            out << Record(i);
        }
        out.close();
        SetOldTime(path, 3600);
    }
    ~DataFile() {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
    // A new time stamp each call, so the next access must read and parse the file again.
    void Touch() { SetOldTime(path, 7200 + ++touches); }

    fs::path dir;
    std::string path;
    long touches = 0;
};

DataFile& File() {
    static DataFile file;
    return file;
}

void ConstructAndListSections(benchmark::State& state, bool changed) {
    DataFile& file = File();
    std::vector<std::string> sections;
    for (auto _ : state) {
        if (changed) {
            file.Touch();
        }
        TIniFile ini(file.path);
        ini.ListSections(sections);
        benchmark::DoNotOptimize(sections.data());
    }
    if (sections.size() != kSections) {
        state.SkipWithError("wrong section count");
    }
}

void ReadText(benchmark::State& state, bool changed) {
    DataFile& file = File();
    TIniFile ini(file.path);
    int i = 0;
    std::string value;
    for (auto _ : state) {
        if (changed) {
            file.Touch();
        }
        value = ini.ReadText(SectionName(i), "kv", "");
        i = (i + 397) % kSections;
        benchmark::DoNotOptimize(value.data());
    }
    if (value.empty()) {
        state.SkipWithError("value missing");
    }
}

void BM_ConstructListSections_Cached(benchmark::State& state) {
    ConstructAndListSections(state, false);
}
void BM_ConstructListSections_Changed(benchmark::State& state) {
    ConstructAndListSections(state, true);
}
void BM_ReadText_Cached(benchmark::State& state) {
    ReadText(state, false);
}
void BM_ReadText_Changed(benchmark::State& state) {
    ReadText(state, true);
}

// What the refrigerant library does at start-up: every section's InternalNumber.
void BM_AllInternalNumbers_Cached(benchmark::State& state) {
    DataFile& file = File();
    for (auto _ : state) {
        TIniFile ini(file.path);
        std::vector<std::string> sections;
        ini.ListSections(sections);
        int64_t sum = 0;
        for (const std::string& s : sections) {
            sum += ini.ReadInt(s, "InternalNumber", -1);
        }
        benchmark::DoNotOptimize(sum);
    }
}

// One value changed in place: read, splice, write a temporary file, sync, rename.
void BM_WriteText(benchmark::State& state) {
    DataFile& file = File();
    TIniFile ini(file.path);
    int n = 0;
    for (auto _ : state) {
        ini.WriteText(SectionName(500), "TMax", std::to_string(60 + (++n % 2)));
    }
    file.Touch();
}

BENCHMARK(BM_ConstructListSections_Cached)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ConstructListSections_Changed)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ReadText_Cached)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ReadText_Changed)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_AllInternalNumbers_Cached)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WriteText)->Unit(benchmark::kMillisecond)->Iterations(20);

} // namespace
