#include "platform/gui/Font.h"

#include <QFontMetrics>
#include <QStringList>
#include <algorithm>
#include <cmath>
#include <limits>

namespace {

constexpr int kPixelsPerInch = 96;
// Height 0 asks for the default size: that of 8 points.
constexpr int kDefaultPixels = 11;
constexpr int kMaxPixels = 4096;
// Em size per cell height of common text faces, whose ascent and descent add up to 1.15 to 1.2 em:
// the first guess of the size search, corrected by the cell measured there.
constexpr double kEmPerCell = 0.86;

// Rounds a * b / c half away from zero, clamped to the 32-bit range.
int32_t MulDiv(int64_t a, int64_t b, int64_t c) {
    const double exact = double(a) * double(b) / double(c);
    const double rounded = std::round(exact);
    return int32_t(std::clamp(rounded, double(std::numeric_limits<int32_t>::min()),
                              double(std::numeric_limits<int32_t>::max())));
}

} // namespace

TFont::TFont() : FName("Tahoma"), FHeight(-MulDiv(8, kPixelsPerInch, 72)) {}

void TFont::Assign(const TFont& source) {
    if (this != &source)
        *this = source;
}

void TFont::SetName(const std::string& name) {
    FName = name;
}

int32_t TFont::Size() const {
    return -MulDiv(FHeight, 72, kPixelsPerInch);
}

void TFont::SetSize(int32_t points) {
    FHeight = -MulDiv(points, kPixelsPerInch, 72);
}

QString FontFamilyForQt(const TFontFamilyRequest& request) {
    const QString name = QString::fromStdString(request.Name);
    if (!QFont::substitutes(name).isEmpty())
        return name;
    return QString::fromStdString(ResolvedFontFamily(request));
}

QFont TFont::ToQFont(double deviceRatio) const {
    QFont font(FontFamilyForQt({FName, FPitch == fpFixed, (FStyle & fsItalic) != 0}));
    const int64_t height = std::abs(int64_t(FHeight));
    int pixels = height == 0 ? kDefaultPixels : int(std::min<int64_t>(height, kMaxPixels));
    if (deviceRatio > 0 && deviceRatio != 1) // false for NaN
        pixels = int(std::clamp(std::round(pixels * deviceRatio), 1.0, double(kMaxPixels)));
    font.setPixelSize(pixels);
    const int32_t weight = FWeight > 0 ? FWeight : ((FStyle & fsBold) ? 700 : 400);
    font.setWeight(QFont::Weight(std::clamp(weight, 100, 900)));
    font.setItalic(FStyle & fsItalic);
    font.setUnderline(FStyle & fsUnderline);
    font.setStrikeOut(FStyle & fsStrikeOut);
    // Plain glyphs without antialiasing, as the platform draws text: every text pixel has
    // exactly the font colour, so text composed in a bitmap combines exactly by exclusive-or.
    font.setStyleStrategy(QFont::NoAntialias);
    if (FPitch == fpFixed) {
        font.setFixedPitch(true);
        font.setStyleHint(QFont::TypeWriter);
    }
    if (FHeight > 0) {
        // A positive height is the cell height (ascent + descent): the largest em size whose cell
        // is not taller, found from an estimate in a few steps. Each size measured costs a font
        // engine: a guess near the answer, corrected once by the cell measured there, usually
        // leaves only that size and the next one to measure.
        const auto cell = [&font](int size) {
            font.setPixelSize(size);
            return QFontMetrics(font).height();
        };
        const int target = pixels;
        const int guess = std::clamp(int(std::lround(target * kEmPerCell)), 1, kMaxPixels);
        const int measured = cell(guess);
        int size = std::clamp(int(std::lround(double(guess) * target / std::max(measured, 1))), 1,
                              kMaxPixels);
        for (int step = 0; step < 16 && size > 1 && cell(size) > target; ++step)
            --size;
        for (int step = 0; step < 16 && size < kMaxPixels && cell(size + 1) <= target; ++step)
            ++size;
        font.setPixelSize(size);
    }
    return font;
}

TFont CreateFontIndirect(const TLogFont& logFont) {
    TFont font;
    font.SetName(logFont.FaceName.substr(0, 31));
    font.SetHeight(logFont.Height);
    font.SetColor(clBlack);
    TFontStyles style = 0;
    if (logFont.Weight >= 600)
        style |= fsBold;
    if (logFont.Italic)
        style |= fsItalic;
    if (logFont.Underline)
        style |= fsUnderline;
    if (logFont.StrikeOut)
        style |= fsStrikeOut;
    font.SetStyle(style);
    font.SetWeight(logFont.Weight);
    const uint8_t pitch = logFont.PitchAndFamily & 3;
    font.SetPitch(pitch == 1 ? fpFixed : pitch == 2 ? fpVariable : fpDefault);
    font.SetEscapement(logFont.Escapement);
    return font;
}
