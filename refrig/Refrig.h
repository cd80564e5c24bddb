#pragma once
// The refrigerant property library: the record of one refrigerant, loaded by name from the
// INI-style data file "RuzAve8.rdf", the root finder and the correlations built on the record.
// Qt-free.

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Exceptions.h"

class TCustomIniFile;

// The property data of one refrigerant. Each field is named after the data-file key it is read
// from. Temperatures, pressures and the like are stored as the file gives them; no units are
// converted.
struct TRefrigData {
    int32_t InternalNumber = 0;
    std::string RNumber;
    std::string Formula;
    std::string ChemicalName;
    std::string CASNumber;
    std::string RefTer;
    int32_t Components = 0;
    std::string RefState;
    std::string SourceFile;
    std::string FluidType;
    double TCrit = 0;
    double PCrit = 0;
    double DCrit = 0;
    double wm = 0;
    double TTrip = 0;
    double TBoil = 0;
    double TMax = 0;
    double TMin = 0;
    std::array<double, 3> dp{};
    std::array<double, 3> bp{};
    std::array<double, 4> lh{};
    std::array<double, 4> th{};
    std::array<double, 5> vh{};
    std::array<double, 6> sh{};
    std::array<double, 6> vv{};
    std::array<double, 6> sv{};
    std::array<double, 8> ic{};
    std::array<double, 4> sc{};
    std::array<double, 4> lv{};
    std::array<double, 5> cl{};
    std::array<double, 5> cv{};
    std::array<double, 4> ul{};
    std::array<double, 4> uv{};
    std::array<double, 4> kl{};
    std::array<double, 4> kv{};

    bool operator==(const TRefrigData&) const = default;
};

// The built-in record (R22) every load starts from.
const TRefrigData& DefaultRefrigData();

// A refrigerant section whose data cannot be used: a coefficient list that is too short or holds
// an item that is not a real. The message names the file, the section and the key, followed by
// the underlying list or conversion message (which names the item by position or text), e.g.
// "/data/RuzAve8.rdf: [R22] dp: List index out of bounds (2)".
//
// The error raised is an ERefrigListError (an EListError) or an ERefrigConvertError (an
// EConvertError), so a caller that catches the list or conversion error, or Exception, catches
// it; catching ERefrigDataError catches both and gives the place.
class ERefrigDataError {
public:
    virtual ~ERefrigDataError() = default;
    // The whole message, as what() gives it.
    virtual std::string Message() const = 0;
    const std::string& Path() const { return FPath; }
    const std::string& Section() const { return FSection; }
    const std::string& Key() const { return FKey; }
    // Position (from 0) of the list item that failed.
    int Item() const { return FItem; }
    // The list or conversion message on its own.
    const std::string& Detail() const { return FDetail; }

protected:
    ERefrigDataError(std::string path, std::string section, std::string key, int item,
                     std::string detail);
    ERefrigDataError(const ERefrigDataError&) = default;
    // "<path>: [<section>] <key>: <detail>".
    static std::string PlacedMessage(const std::string& path, const std::string& section,
                                     const std::string& key, const std::string& detail);

private:
    std::string FPath;
    std::string FSection;
    std::string FKey;
    int FItem;
    std::string FDetail;
};

// A coefficient list with fewer items than its count.
class ERefrigListError : public EListError, public ERefrigDataError {
public:
    ERefrigListError(std::string path, std::string section, std::string key, int item,
                     std::string detail);
    std::string Message() const override { return EListError::Message(); }
};

// A coefficient list item that is not a real.
class ERefrigConvertError : public EConvertError, public ERefrigDataError {
public:
    ERefrigConvertError(std::string path, std::string section, std::string key, int item,
                        std::string detail);
    std::string Message() const override { return EConvertError::Message(); }
};

// Splits a coefficient list into its items. Items are separated by commas and/or blanks (any
// character up to and including the space); an item may be enclosed in double quotes, inside which
// separators are kept and a doubled quote stands for one quote. Two commas in a row give an empty
// item, as does a leading comma, and a comma at the very end adds an empty item. A quote that is
// never closed leaves the rest of the text, opening quote included, as one last item, which is
// then never a valid real.
std::vector<std::string> SplitListItems(std::string_view text);

// Converts the first n items of the list text into destination[0 .. n-1], storing each at once.
// A missing item raises EListError "List index out of bounds (<i>)"; an item that is not a real
// raises EConvertError "'<item>' is not a valid floating point value". Items beyond n are
// ignored. n larger than the destination raises std::out_of_range before anything is stored.
void ParseRealList(std::string_view text, std::size_t n, std::span<double> destination);
// As above; item receives the position of the item that failed (n after success).
void ParseRealList(std::string_view text, std::size_t n, std::span<double> destination,
                   std::size_t& item);

// The root finder: a function of one real, its derivative, a tolerance, an iteration limit and a
// further setting whose role is left to the solver that uses it.
class TRoot {
public:
    using TFunction = std::function<long double(long double)>;

    // Without a derivative the root finder differentiates numerically (CentralDerivative).
    explicit TRoot(TFunction function, TFunction derivative = {});
    // Deriv may refer to this object, so it neither copies nor moves.
    TRoot(const TRoot&) = delete;
    TRoot& operator=(const TRoot&) = delete;

    void SetFunctions(TFunction function, TFunction derivative = {});
    void SetLimits(int32_t iterations, long double tolerance);
    void SetParam(long double value);

    // (Func(x + 1e-6) - Func(x - 1e-6)) / 2e-6, calling Func in that order.
    long double CentralDerivative(long double x) const;

    TFunction Func;
    TFunction Deriv;
    long double Tolerance = 0;
    long double Param = 0;
    int32_t MaxIterations = 0;
};

// The refrigerant library: the section tables of the data file and the current record.
class TRefrigLib {
public:
    // Status codes; a code is set by the event it names and never cleared.
    static constexpr uint16_t stNone = 0;
    static constexpr uint16_t stNoSection = 1;     // a load found no section with a key
    static constexpr uint16_t stReversedTemps = 2; // VhShValue with t2 more than 1e-9 below t1

    // Lists the sections of the data file at dataFilePath with their "InternalNumber" and loads
    // "R22", all from one reading of the file. A missing or unreadable file is not an error: the
    // tables stay empty and Data holds the built-in R22 record with Status 1. A malformed "R22"
    // section raises ERefrigDataError.
    explicit TRefrigLib(std::string dataFilePath);
    // The root finder's function refers to this object, so it neither copies nor moves.
    TRefrigLib(const TRefrigLib&) = delete;
    TRefrigLib& operator=(const TRefrigLib&) = delete;
    ~TRefrigLib();

    // Makes the named refrigerant (section names compare without regard to letter case)
    // current, reading the file once as it is now. A missing section or one without keys gives the
    // built-in record and Status 1. A malformed coefficient list raises ERefrigDataError and
    // changes nothing: Data keeps the previous complete record, SectionIndex and Status stay as
    // they were.
    void LoadRefrigerant(std::string_view name);

    const std::string& DataFilePath() const { return FDataFilePath; }
    const TRefrigData& Data() const { return FData; }
    // Position of the last loaded name in SectionNames, -1 when it is not there.
    int32_t SectionIndex() const { return FSectionIndex; }
    uint16_t Status() const { return FStatus; }
    TRoot& Root() { return *FRoot; }
    const TRoot& Root() const { return *FRoot; }

    // The data file's section names in file order, as they were at construction.
    const std::vector<std::string>& SectionNames() const { return FSectionNames; }
    // Each section's "InternalNumber" (-1 when missing or malformed), at the same positions.
    const std::vector<int32_t>& InternalNumbers() const { return FInternalNumbers; }

    // Inputs of VhShResidual; zero after construction.
    long double ResidualBase() const { return FResidualBase; }
    long double ResidualTarget() const { return FResidualTarget; }
    void SetResidualBase(long double value) { FResidualBase = value; }
    void SetResidualTarget(long double value) { FResidualTarget = value; }

    // Correlations on the current record's "vh" and "sh" lists.
    // vh0 + vh1 t + vh2 t^2 + vh3 t^3.
    double VhCubic(double t) const;
    // X (c0 + c1 X + c2 Y + c3 X Y + c4 Y^2 + c5 X Y^2).
    static double Poly6(const std::array<double, 6>& c, double X, double Y);
    // vh4 + VhCubic(t1) (1 + Poly6(sh, t2 - t1, t1)); sets Status 2 when t2 lies more than 1e-9
    // below t1 and returns the value all the same.
    double VhShValue(double t1, double t2);
    // ResidualTarget - VhShValue(ResidualBase, x): the function of Root.
    long double VhShResidual(long double x);

private:
    std::string FDataFilePath;
    TRefrigData FData;
    int32_t FSectionIndex = -1;
    uint16_t FStatus = stNone;
    std::unique_ptr<TRoot> FRoot;
    long double FResidualBase = 0;
    long double FResidualTarget = 0;
    std::vector<std::string> FSectionNames;
    std::vector<int32_t> FInternalNumbers;

    int32_t FindSection(std::string_view name) const;
    void LoadFrom(TCustomIniFile& ini, std::string_view name);
};
