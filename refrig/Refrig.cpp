// The refrigerant library: the built-in R22 record, the section tables of the data file and the
// loading of one refrigerant by name.

#include "refrig/Refrig.h"

#include <algorithm>
#include <utility>

#include "platform/NumberText.h"
#include "platform/PrivateProfile.h"
#include "refrig/IniFiles.h"

namespace {

TRefrigData MakeDefaultRecord() {
    TRefrigData d;
    d.InternalNumber = 0;
    d.RNumber = "R22";
    d.Formula = "CHClF2";
    d.ChemicalName = "chlorodifluoromethane";
    d.CASNumber = "";
    d.RefTer = "Wide-range Helmholtz energy equation of state for R-22, 1995";
    d.Components = 1;
    d.RefState = "IIR";
    d.SourceFile = "R22.FLD";
    d.FluidType = "Halocarbon-Methane Series";
    d.TCrit = 96.1;
    d.PCrit = 4990.0;
    d.DCrit = 523.842;
    d.wm = 86.468;
    d.TTrip = -157.42;
    d.TBoil = -40.8;
    d.TMax = 60.0;
    d.TMin = -30.0;
    d.dp = {21.39916, -2103.23, 254.0905};
    d.bp = {21.39916, -2103.23, 254.0905};
    d.lh = {200005.4, 1169.513, 1.346602, 0.01149432};
    d.th = {-184.4358, 0.0008925503, 6.406324e-10, -2.462772e-15};
    d.vh = {251040.6, 373.4119, -1.685585, -0.01689365, 154002.2};
    d.sh = {0.002846625, 6.958993e-7, 1.108134e-5, -5.134816e-8, 1.497383e-7, -7.479003e-10};
    d.vv = {-11.92094, 2418.916, 1.009912, 0.000931342, -1.615272e-5, -2.761813e-7};
    d.sv = {0.005239268, -4.672763e-6, 2.254271e-5, -1.07398e-7, 3.083406e-7, -7.039037e-10};
    d.ic = {1.135672,     -0.001607226, -5.582052e-6, -4.64092e-6,
            -1.812148e-7, 2.579754e-8,  2.212816e-9,  -0.0004593027};
    d.sc = {0.0002879333, -2.264442e-6, 1.550121e-5, -7.615213e-8};
    d.lv = {0.0007803834, 2.02297e-6, 1.027511e-8, 1.380161e-10};
    d.cl = {1169.949, 2.800445, 0.01805555, 9.210114e-5, 8.627718e-6};
    d.cv = {739.9727, 4.333812, 0.0249997, 0.0001732778, 1.181484e-5};
    d.ul = {215.9089, -2.368515, 0.01461229, -9.02754e-5};
    d.uv = {11.36384, 0.04225998, 8.919252e-5, 1.776812e-6};
    d.kl = {94.74255, -0.4489948, 5.499795e-5, -4.30647e-6};
    d.kv = {9.414686, 0.0641507, 0.0002790965, 7.05162e-6};
    return d;
}

// The default for a coefficient key that is missing: ten zeros, enough for every list.
constexpr const char* kZeroList = "0,0,0,0,0,0,0,0,0,0";

// Reads the record's keys from one section, each with the record's current value as default.
// The record is a scratch copy: a list that fails leaves it half filled, and the caller drops it.
class TRecordReader {
public:
    TRecordReader(TCustomIniFile& ini, std::string section, TRefrigData& data)
        : FIni(ini), FSection(std::move(section)), FData(data) {}

    void ReadAll() {
        Int("InternalNumber", FData.InternalNumber);
        Text("RNumber", FData.RNumber);
        Text("Formula", FData.Formula);
        Text("ChemicalName", FData.ChemicalName);
        FData.CASNumber = FIni.ReadText(FSection, "CASNumber", "");
        Text("RefTer", FData.RefTer);
        Int("Components", FData.Components);
        Text("RefState", FData.RefState);
        Text("SourceFile", FData.SourceFile);
        Text("FluidType", FData.FluidType);
        Real("TCrit", FData.TCrit);
        Real("PCrit", FData.PCrit);
        Real("DCrit", FData.DCrit);
        Real("wm", FData.wm);
        Real("TTrip", FData.TTrip);
        Real("TBoil", FData.TBoil);
        Real("TMax", FData.TMax);
        Real("TMin", FData.TMin);
        List("dp", FData.dp);
        List("bp", FData.bp);
        List("lh", FData.lh);
        List("th", FData.th);
        List("vh", FData.vh);
        List("sh", FData.sh);
        List("vv", FData.vv);
        List("sv", FData.sv);
        List("ic", FData.ic);
        List("sc", FData.sc);
        List("lv", FData.lv);
        List("cl", FData.cl);
        List("cv", FData.cv);
        List("ul", FData.ul);
        List("uv", FData.uv);
        List("kl", FData.kl);
        List("kv", FData.kv);
    }

private:
    TCustomIniFile& FIni;
    std::string FSection;
    TRefrigData& FData;

    void Int(const char* key, int32_t& field) { field = FIni.ReadInt(FSection, key, field); }
    void Text(const char* key, std::string& field) { field = FIni.ReadText(FSection, key, field); }
    void Real(const char* key, double& field) { field = FIni.ReadReal(FSection, key, field); }

    template <std::size_t N> void List(const char* key, std::array<double, N>& field) {
        const std::string text = FIni.ReadText(FSection, key, kZeroList);
        std::size_t item = 0;
        try {
            ParseRealList(text, N, field, item);
        } catch (const EListError& e) {
            throw ERefrigListError(FIni.Path(), FSection, key, static_cast<int>(item), e.Message());
        } catch (const EConvertError& e) {
            throw ERefrigConvertError(FIni.Path(), FSection, key, static_cast<int>(item),
                                      e.Message());
        }
    }
};

} // namespace

const TRefrigData& DefaultRefrigData() {
    static const TRefrigData record = MakeDefaultRecord();
    return record;
}

ERefrigDataError::ERefrigDataError(std::string path, std::string section, std::string key, int item,
                                   std::string detail)
    : FPath(std::move(path)), FSection(std::move(section)), FKey(std::move(key)), FItem(item),
      FDetail(std::move(detail)) {}

std::string ERefrigDataError::PlacedMessage(const std::string& path, const std::string& section,
                                            const std::string& key, const std::string& detail) {
    return path + ": [" + section + "] " + key + ": " + detail;
}

// The list or conversion base is built first, from the arguments, before they move on.
ERefrigListError::ERefrigListError(std::string path, std::string section, std::string key, int item,
                                   std::string detail)
    : EListError(PlacedMessage(path, section, key, detail)),
      ERefrigDataError(std::move(path), std::move(section), std::move(key), item,
                       std::move(detail)) {}

ERefrigConvertError::ERefrigConvertError(std::string path, std::string section, std::string key,
                                         int item, std::string detail)
    : EConvertError(PlacedMessage(path, section, key, detail)),
      ERefrigDataError(std::move(path), std::move(section), std::move(key), item,
                       std::move(detail)) {}

TRefrigLib::TRefrigLib(std::string dataFilePath)
    : FDataFilePath(std::move(dataFilePath)), FData(DefaultRefrigData()) {
    FRoot = std::make_unique<TRoot>([this](long double x) { return VhShResidual(x); });
    FRoot->SetLimits(120, 0.001L);
    // The tables and the first load read the same version of the file, parsed once; the parse
    // goes with the reader.
    TIniFileSnapshot ini(FDataFilePath);
    ini.ListSections(FSectionNames);
    FInternalNumbers.reserve(FSectionNames.size());
    for (const std::string& section : FSectionNames) {
        FInternalNumbers.push_back(ini.ReadInt(section, "InternalNumber", -1));
    }
    LoadFrom(ini, "R22");
}

TRefrigLib::~TRefrigLib() = default;

void TRefrigLib::LoadRefrigerant(std::string_view name) {
    TIniFileSnapshot ini(FDataFilePath);
    LoadFrom(ini, name);
}

void TRefrigLib::LoadFrom(TCustomIniFile& ini, std::string_view name) {
    const std::string section(name);
    TRefrigData loaded = DefaultRefrigData();
    const bool found = ini.HasSection(section);
    if (found) {
        TRecordReader(ini, section, loaded).ReadAll();
    }
    // Only a load that read every key it needed gets here and becomes current.
    if (!found) {
        FStatus = stNoSection;
    }
    FData = std::move(loaded);
    FSectionIndex = FindSection(name);
}

int32_t TRefrigLib::FindSection(std::string_view name) const {
    const auto it = std::ranges::find_if(FSectionNames, [&](const std::string& section) {
        return PrivateProfile::Snapshot::NamesMatch(section, name);
    });
    return it == FSectionNames.end() ? -1 : static_cast<int32_t>(it - FSectionNames.begin());
}
