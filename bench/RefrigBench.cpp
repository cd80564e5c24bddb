// Refrigerant library on a generated data file of 1,000 full refrigerant sections: construction
// (section list, every InternalNumber, loading "R22") and loading one refrigerant by name.
// Targets: construction <= 100 ms, a load <= 1 ms.
//
// The file's modification time is set an hour back, as for an installed data file. Construction
// and each load read the file once whatever its date: BM_ConstructFreshFile constructs right after
// the file was written, BM_ConstructDatedTomorrow100k from a file of 100,000 short sections dated
// a day ahead (about 3 MB; the start-up target for it is a window within 2 s).

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>

#include <unistd.h>

#include "platform/NumberText.h"
#include "platform/PrivateProfile.h"
#include "refrig/Refrig.h"

namespace fs = std::filesystem;

namespace {

constexpr int kSections = 1000;

template <std::size_t N> std::string ListText(const std::array<double, N>& list, double scale) {
    std::string text;
    for (double v : list) {
        if (!text.empty()) {
            text += ',';
        }
        text += FloatToStr(v * scale);
    }
    return text;
}

std::string SectionName(int i) {
    return 'R' + std::to_string(1000 + i);
}

void AddKey(std::string& text, const char* key, const std::string& value) {
    text += key;
    text += '=';
    text += value;
    text += '\n';
}

// A full record: the built-in R22 values, scaled a little per section.
std::string SectionText(const std::string& name, int number) {
    const TRefrigData& d = DefaultRefrigData();
    const double s = 1 + number * 1e-4;
    std::string t;
    t += '[';
    t += name;
    t += "]\n";
    AddKey(t, "InternalNumber", std::to_string(number));
    AddKey(t, "RNumber", name);
    AddKey(t, "Formula", d.Formula);
    AddKey(t, "ChemicalName", d.ChemicalName);
    AddKey(t, "CASNumber", "75-45-6");
    AddKey(t, "RefTer", d.RefTer);
    AddKey(t, "Components", "1");
    AddKey(t, "RefState", d.RefState);
    AddKey(t, "SourceFile", d.SourceFile);
    AddKey(t, "FluidType", d.FluidType);
    AddKey(t, "TCrit", FloatToStr(d.TCrit * s));
    AddKey(t, "PCrit", FloatToStr(d.PCrit * s));
    AddKey(t, "DCrit", FloatToStr(d.DCrit * s));
    AddKey(t, "wm", FloatToStr(d.wm * s));
    AddKey(t, "TTrip", FloatToStr(d.TTrip * s));
    AddKey(t, "TBoil", FloatToStr(d.TBoil * s));
    AddKey(t, "TMax", FloatToStr(d.TMax));
    AddKey(t, "TMin", FloatToStr(d.TMin));
    AddKey(t, "dp", ListText(d.dp, s));
    AddKey(t, "bp", ListText(d.bp, s));
    AddKey(t, "lh", ListText(d.lh, s));
    AddKey(t, "th", ListText(d.th, s));
    AddKey(t, "vh", ListText(d.vh, s));
    AddKey(t, "sh", ListText(d.sh, s));
    AddKey(t, "vv", ListText(d.vv, s));
    AddKey(t, "sv", ListText(d.sv, s));
    AddKey(t, "ic", ListText(d.ic, s));
    AddKey(t, "sc", ListText(d.sc, s));
    AddKey(t, "lv", ListText(d.lv, s));
    AddKey(t, "cl", ListText(d.cl, s));
    AddKey(t, "cv", ListText(d.cv, s));
    AddKey(t, "ul", ListText(d.ul, s));
    AddKey(t, "uv", ListText(d.uv, s));
    AddKey(t, "kl", ListText(d.kl, s));
    AddKey(t, "kv", ListText(d.kv, s));
    t += '\n';
    return t;
}

// The generated file, removed when the program ends. "R22" sits in the middle of the file.
class TDataFile {
public:
    TDataFile() {
        std::string pattern = (fs::temp_directory_path() / "refrigbench-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) {
            throw std::runtime_error("cannot create a temporary folder");
        }
        FDir = pattern;
        FPath = (FDir / "RuzAve8.rdf").string();
        std::string content;
        for (int i = 0; i < kSections; ++i) {
            const std::string name = i == kSections / 2 ? std::string("R22") : SectionName(i);
            content += SectionText(name, i);
        }
        std::ofstream(FPath, std::ios::binary) << content;
        FSize = content.size();
        SetAge(std::chrono::hours(1));
    }
    ~TDataFile() {
        std::error_code ignored;
        fs::remove_all(FDir, ignored);
    }
    void SetAge(std::chrono::seconds age) const {
        fs::last_write_time(FPath, fs::file_time_type::clock::now() - age);
    }
    const std::string& Path() const { return FPath; }
    std::size_t Size() const { return FSize; }

private:
    fs::path FDir;
    std::string FPath;
    std::size_t FSize = 0;
};

const TDataFile& DataFile() {
    static const TDataFile file;
    return file;
}

void BM_Construct(benchmark::State& state) {
    const TDataFile& file = DataFile();
    for (auto _ : state) {
        TRefrigLib lib(file.Path());
        benchmark::DoNotOptimize(lib.Data().TCrit);
        if (lib.SectionNames().size() != kSections || lib.SectionIndex() != kSections / 2) {
            state.SkipWithError("unexpected section tables");
            break;
        }
    }
    state.counters["file_bytes"] = static_cast<double>(file.Size());
}
BENCHMARK(BM_Construct)->Unit(benchmark::kMillisecond);

void BM_LoadRefrigerant(benchmark::State& state) {
    const TDataFile& file = DataFile();
    TRefrigLib lib(file.Path());
    const std::string name = SectionName(kSections - 1); // the last section
    for (auto _ : state) {
        lib.LoadRefrigerant(name);
        benchmark::DoNotOptimize(lib.Data().kv[3]);
    }
    if (lib.Data().InternalNumber != kSections - 1) {
        state.SkipWithError("wrong section loaded");
    }
}
BENCHMARK(BM_LoadRefrigerant)->Unit(benchmark::kMicrosecond);

// The same construction right after the file was written: every read parses the file again.
void BM_ConstructFreshFile(benchmark::State& state) {
    const TDataFile& file = DataFile();
    const auto parsesBefore = PrivateProfile::ParseCount();
    for (auto _ : state) {
        file.SetAge(std::chrono::seconds(0));
        TRefrigLib lib(file.Path());
        benchmark::DoNotOptimize(lib.Data().TCrit);
    }
    file.SetAge(std::chrono::hours(1));
    state.counters["parses"] = static_cast<double>(PrivateProfile::ParseCount() - parsesBefore);
}
BENCHMARK(BM_ConstructFreshFile)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_ConstructDatedTomorrow100k(benchmark::State& state) {
    std::string pattern = (fs::temp_directory_path() / "refrigbench-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        state.SkipWithError("cannot create a temporary folder");
        return;
    }
    const fs::path dir = pattern;
    const std::string path = (dir / "RuzAve8.rdf").string();
    std::string content = SectionText("R22", 22);
    for (int i = 0; i < 100'000; ++i) {
        content +=
            "[Refrigerant" + std::to_string(i) + "]\nInternalNumber=" + std::to_string(i) + "\n";
    }
    std::ofstream(path, std::ios::binary) << content;
    fs::last_write_time(path, fs::file_time_type::clock::now() + std::chrono::hours(24));
    const auto parsesBefore = PrivateProfile::ParseCount();
    for (auto _ : state) {
        TRefrigLib lib(path);
        benchmark::DoNotOptimize(lib.Data().TCrit);
    }
    state.counters["parses_per_construction"] =
        benchmark::Counter(static_cast<double>(PrivateProfile::ParseCount() - parsesBefore),
                           benchmark::Counter::kAvgIterations);
    state.counters["file_bytes"] = static_cast<double>(content.size());
    std::error_code ignored;
    fs::remove_all(dir, ignored);
}
BENCHMARK(BM_ConstructDatedTomorrow100k)->Unit(benchmark::kMillisecond);

} // namespace
