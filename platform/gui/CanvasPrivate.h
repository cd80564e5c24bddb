#pragma once
// Parts of TCanvas shared by its source files: the font cache and the value a pen paints with.

#include "platform/Raster.h"
#include "platform/gui/Canvas.h"

#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <QRect>
#include <QStaticText>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// The Qt pixel value a pen or brush paints with for a mode: the colour itself, or its inverse for
// not-xor, because NOT (c XOR pixel) = (NOT c) XOR pixel.
uint32_t CanvasModeValue(TColor color, TPenMode mode);

// A pen of width <= 1 is a 1-pixel pen; psInsideFrame draws like psSolid.
inline bool IsThin(const TPen& pen) {
    return pen.Width <= 1;
}
inline bool IsSolid(const TPen& pen) {
    return pen.Style == psSolid || pen.Style == psInsideFrame;
}

inline TBox Box(const QRect& rect) {
    return TBox{rect.left(), rect.top(), int64_t(rect.left()) + rect.width(),
                int64_t(rect.top()) + rect.height()};
}

// Consecutive MoveTo/LineTo segments drawn with one pen, in device pixels: one element.
struct TCanvas::TLineRun {
    TPen Pen;
    std::vector<std::vector<TDevicePoint>> Paths;
};

// The shapes of the line runs drawn last, by their geometry: a chart redrawn unchanged, or a line
// erased by drawing it again, draws runs of the same points, whose rows are then made once.
struct TCanvas::TRunShapes {
    int32_t Width;
    bool Thin;
    std::vector<std::vector<TDevicePoint>> Paths;
    std::vector<TRasterShape> Shapes;

    static constexpr size_t kMaxRuns = 16;
};

// Fonts recently used on a canvas with their recent texts: a chart redraw writes the same few
// labels in a few fonts again and again. Texts are measured with the logical font and rasterised
// once with the device font into spans, which the raster core combines like any other element.
struct TCanvas::TFontCache {
    struct TText {
        int Width = 0; // logical advance
        // Set at the first drawing, in device pixels relative to the text's origin (the top-left
        // corner of its cell, before any turning): the glyphs and, for turned text, the turned
        // cell, and the box that holds both. Qt renders some text (turned text, some fonts)
        // with shades of the text colour; that text is not TwoColoured and is drawn by Qt.
        bool Rasterised = false;
        bool TwoColoured = false;
        std::shared_ptr<const TRowSpans> Glyphs;
        std::shared_ptr<const TRowSpans> Cell;
        TBox Reach;
        std::shared_ptr<QStaticText> Layout; // with the device font
    };
    TFont Key; // colour 0: colour does not change the layout
    QFont Font;
    QFontMetrics Metrics;
    QFont DeviceFont;
    std::unordered_map<std::string, TText> Texts;

    TFontCache(const TFont& key, const QFont& font, const QFont& deviceFont)
        : Key(key), Font(font), Metrics(font), DeviceFont(deviceFont) {}
    // The entry of a text, measured.
    TText& Measured(std::string_view text);
    // The entry of a text rasterised, turned by `escapement` tenths of a degree.
    const TText& Rasterised(std::string_view text, int32_t escapement);
    // Draws a text the way Qt does, at a device position.
    void DrawWithQt(QPainter& painter, const TText& text, int64_t x, int64_t y, int32_t escapement,
                    const QColor* cell, const QColor& colour) const;

    static constexpr size_t kMaxTexts = 256;
    static constexpr size_t kMaxFonts = 8;
};
