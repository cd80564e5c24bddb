#pragma once
// Fonts by attribute: face name, size, colour, style, and the rotation of a font made from a
// LOGFONT-style record. Sizes are pixel based at 96 dots per inch, so output never depends on the
// screen: 8 points = 11 pixels.

#include "platform/gui/FontFamilies.h"
#include "platform/gui/Graphics.h"

#include <QFont>
#include <cstdint>
#include <string>

// The fields of a LOGFONT record that matter here. Zero-initialise (TLogFont lf{}) and fill in.
struct TLogFont {
    int32_t Height = 0;      // > 0: cell height, < 0: character height, 0: default size (pixels)
    int32_t Width = 0;       // average character width; 0 = natural width
    int32_t Escapement = 0;  // angle of the text line, tenths of a degree counter-clockwise
    int32_t Orientation = 0; // angle of each character; taken equal to Escapement
    int32_t Weight = 0;      // 0 = normal, 100 … 900 (300 light, 400 normal, 700 bold)
    uint8_t Italic = 0;
    uint8_t Underline = 0;
    uint8_t StrikeOut = 0;
    uint8_t CharSet = 0;
    uint8_t OutPrecision = 0;
    uint8_t ClipPrecision = 0;
    uint8_t Quality = 0;
    uint8_t PitchAndFamily = 0; // low 2 bits: 1 fixed, 2 variable pitch; bits 4–7: family
    std::string FaceName;       // at most 31 characters are used
};

class TFont {
public:
    TFont();

    // Copies every attribute of another font (name, height, colour, style, pitch, weight and
    // rotation); the object itself stays.
    void Assign(const TFont& source);

    const std::string& Name() const { return FName; }
    void SetName(const std::string& name);
    // Points at 96 dpi, derived from Height: -round(Height * 72 / 96).
    int32_t Size() const;
    void SetSize(int32_t points);
    // Pixels; negative = character height (em size), positive = cell height, 0 = default.
    int32_t Height() const { return FHeight; }
    void SetHeight(int32_t pixels) { FHeight = pixels; }
    TColor Color() const { return FColor; }
    void SetColor(TColor color) { FColor = color; }
    TFontStyles Style() const { return FStyle; }
    void SetStyle(TFontStyles style) { FStyle = style; }
    TFontPitch Pitch() const { return FPitch; }
    void SetPitch(TFontPitch pitch) { FPitch = pitch; }
    // 0 follows the style (bold 700, else 400); a LOGFONT weight is kept as given.
    int32_t Weight() const { return FWeight; }
    void SetWeight(int32_t weight) { FWeight = weight; }
    // Counter-clockwise rotation of the text line in tenths of a degree.
    int32_t Escapement() const { return FEscapement; }
    void SetEscapement(int32_t tenths) { FEscapement = tenths; }

    // The Qt font with a pixel size (never point size), without antialiasing; with a device ratio,
    // the font that draws this one at device size (pixel size, or cell height, times the ratio).
    QFont ToQFont(double deviceRatio = 1) const;

    friend bool operator==(const TFont&, const TFont&) = default;

private:
    std::string FName;
    int32_t FHeight;
    TColor FColor = clBlack;
    TFontStyles FStyle = 0;
    TFontPitch FPitch = fpDefault;
    int32_t FWeight = 0;
    int32_t FEscapement = 0;
};

// The family to give Qt for a font of this name, pitch and slant: the family Qt would end with
// (ResolvedFontFamily), so that Qt need not search for it; the name itself where Qt's substitution
// table lists it, since Qt then tries the substitutes too.
QString FontFamilyForQt(const TFontFamilyRequest& request);

// A font made from a LOGFONT-style record: face name, height, weight, italic/underline/strike-out,
// pitch and escapement are carried over; colour is black. A value type: nothing to delete.
TFont CreateFontIndirect(const TLogFont& logFont);
