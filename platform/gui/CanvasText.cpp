// Text on a TCanvas: measured with the logical font, rasterised once per text at device size.
// Two-coloured text becomes spans (glyphs, and the cell of turned text) that the raster core
// combines like any other element, so that it too can be held back behind a large fill; text
// that Qt renders with shades is drawn by Qt where it lands.
#include "platform/Exceptions.h"
#include "platform/gui/Canvas.h"
#include "platform/gui/CanvasPrivate.h"

#include <QGuiApplication>
#include <algorithm>
#include <cmath>

namespace {

constexpr QRgb kMaskBackground = 0xFFFFFFFF;
constexpr QRgb kMaskCell = 0xFF808080;
constexpr QRgb kMaskGlyph = 0xFF000000;
// A text whose rasterising image would exceed this many pixels (an enormous font) is drawn by Qt
// straight onto the surface.
constexpr double kMaxMaskPixels = double(int64_t{1} << 22);

QString ToQString(std::string_view text) {
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

// The glyph and cell pixels of a rasterised text as spans, read in one pass; false when some pixel
// is neither those nor background (Qt shaded the text).
bool ReadMask(const QImage& mask, TRowSpans& glyphs, TRowSpans& cell) {
    const int width = mask.width(), height = mask.height();
    const qsizetype stride = mask.bytesPerLine() / 4;
    const auto* pixels = reinterpret_cast<const QRgb*>(mask.constBits());
    std::vector<TSpan> glyphRow, cellRow;
    for (int y = 0; y < height; ++y) {
        const QRgb* row = pixels + y * stride;
        glyphRow.clear();
        cellRow.clear();
        for (int x = 0; x < width;) {
            const QRgb colour = row[x];
            const int from = x;
            while (x < width && row[x] == colour)
                ++x;
            if (colour == kMaskGlyph)
                glyphRow.push_back({from, x});
            else if (colour == kMaskCell)
                cellRow.push_back({from, x});
            else if (colour != kMaskBackground)
                return false;
        }
        if (!glyphRow.empty())
            glyphs.AddRow(y, glyphRow);
        if (!cellRow.empty())
            cell.AddRow(y, cellRow);
    }
    return true;
}

} // namespace

TCanvas::TFontCache::TText& TCanvas::TFontCache::Measured(std::string_view text) {
    auto found = Texts.find(std::string(text));
    if (found != Texts.end())
        return found->second;
    if (Texts.size() >= kMaxTexts)
        Texts.clear();
    TText entry;
    entry.Width = Metrics.horizontalAdvance(ToQString(text));
    return Texts.emplace(std::string(text), std::move(entry)).first->second;
}

void TCanvas::TFontCache::DrawWithQt(QPainter& painter, const TText& text, int64_t x, int64_t y,
                                     int32_t escapement, const QColor* cell,
                                     const QColor& colour) const {
    painter.save();
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    painter.translate(double(x), double(y));
    if (escapement != 0) {
        painter.rotate(-escapement / 10.0);
        if (cell) {
            const QFontMetrics device(DeviceFont);
            painter.fillRect(
                QRect(0, 0, device.horizontalAdvance(text.Layout->text()), device.height()), *cell);
        }
    }
    painter.setFont(DeviceFont);
    painter.setPen(colour);
    painter.drawStaticText(QPointF(0, 0), *text.Layout);
    painter.restore();
}

const TCanvas::TFontCache::TText& TCanvas::TFontCache::Rasterised(std::string_view text,
                                                                  int32_t escapement) {
    TText& entry = Measured(text);
    if (entry.Rasterised)
        return entry;
    const QString string = ToQString(text);
    entry.Layout = std::make_shared<QStaticText>(string);
    entry.Layout->setTextFormat(Qt::PlainText);
    entry.Layout->prepare(QTransform(), DeviceFont);
    const QFontMetrics device(DeviceFont);
    const int width = device.horizontalAdvance(string), height = device.height();
    // Room for glyphs that reach out of their cell (italics, accents).
    const int margin = height / 2 + 2;
    QTransform turn;
    turn.rotate(-escapement / 10.0);
    const QRectF reach =
        turn.mapRect(QRectF(-margin, -margin, width + 2.0 * margin, height + 2.0 * margin));
    const int originX = int(std::ceil(-reach.left())), originY = int(std::ceil(-reach.top()));
    const int maskWidth = int(std::ceil(reach.right())) + originX + 1;
    const int maskHeight = int(std::ceil(reach.bottom())) + originY + 1;
    QImage mask(maskWidth, maskHeight, QImage::Format_RGB32);
    mask.fill(kMaskBackground);
    {
        QPainter painter(&mask);
        painter.setRenderHint(QPainter::Antialiasing, false);
        painter.setRenderHint(QPainter::TextAntialiasing, false);
        const QColor cell = QColor::fromRgb(kMaskCell);
        DrawWithQt(painter, entry, originX, originY, escapement, &cell,
                   QColor::fromRgb(kMaskGlyph));
    }
    entry.Rasterised = true;
    entry.Reach = TBox{-originX, -originY, maskWidth - originX, maskHeight - originY};
    auto glyphs = std::make_shared<TRowSpans>();
    auto cell = std::make_shared<TRowSpans>();
    entry.TwoColoured = ReadMask(mask, *glyphs, *cell);
    if (entry.TwoColoured) {
        entry.Glyphs = std::move(glyphs);
        if (escapement != 0)
            entry.Cell = std::move(cell);
    }
    return entry;
}

TCanvas::TFontCache& TCanvas::Fonts() const {
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        throw Exception("Text cannot be measured or drawn without a running GUI application");
    TFont key = FFont;
    key.SetColor(0);
    auto found = std::find_if(FFontCache.begin(), FFontCache.end(),
                              [&key](const auto& entry) { return entry->Key == key; });
    if (found == FFontCache.end()) {
        if (FFontCache.size() >= TFontCache::kMaxFonts)
            FFontCache.pop_back();
        // At ratio 1 the device font is the logical one: made once, a cell-height font searches
        // its size once.
        const double ratio = FScale.Ratio();
        const QFont logical = FFont.ToQFont();
        FFontCache.insert(FFontCache.begin(),
                          std::make_unique<TFontCache>(
                              key, logical, ratio == 1 ? logical : FFont.ToQFont(ratio)));
    } else if (found != FFontCache.begin()) {
        std::rotate(FFontCache.begin(), found, found + 1);
    }
    return *FFontCache.front();
}

int32_t TCanvas::TextWidth(std::string_view text) const {
    return Fonts().Measured(text).Width;
}

int32_t TCanvas::TextHeight(std::string_view) const {
    return Fonts().Metrics.height();
}

void TCanvas::TextOut(int32_t x, int32_t y, std::string_view text) {
    Flush();
    TFontCache& fonts = Fonts();
    if (FImage.isNull())
        return;
    const int32_t escapement = FFont.Escapement();
    const bool turned = escapement != 0;
    const bool opaque = Brush.Style == bsSolid;
    const int width = fonts.Measured(text).Width;
    const int height = fonts.Metrics.height();
    if (!turned && opaque)
        FillRect(Rect(x, y, int32_t(std::min<int64_t>(int64_t(x) + width, INT32_MAX)),
                      int32_t(std::min<int64_t>(int64_t(y) + height, INT32_MAX))));
    const int64_t deviceX = FScale.ToDevice(x), deviceY = FScale.ToDevice(y);
    const QColor cellColour = QColor::fromRgb(ColorToQRgb(Brush.Color));
    const QColor textColour = QColor::fromRgb(ColorToQRgb(FFont.Color()));
    // The rasterising image: the text's device size with a margin of its height all round.
    const double ratio = FScale.Ratio();
    const double reach = 3.0 * height * ratio + 4;
    if ((width * ratio + reach) * (reach + reach) > kMaxMaskPixels) {
        // An enormous font: Qt draws it where it lands, clipped to the surface.
        TFontCache::TText layout;
        layout.Layout =
            std::make_shared<QStaticText>(QString::fromUtf8(text.data(), qsizetype(text.size())));
        layout.Layout->setTextFormat(Qt::PlainText);
        Surface().Settle();
        fonts.DrawWithQt(Painter(), layout, deviceX, deviceY, escapement,
                         turned && opaque ? &cellColour : nullptr, textColour);
        Changed();
        return;
    }
    const TFontCache::TText& spans = fonts.Rasterised(text, escapement);
    TRasterSurface& surface = Surface();
    if (!spans.TwoColoured) {
        surface.Settle(TBox{spans.Reach.Left + deviceX, spans.Reach.Top + deviceY,
                            spans.Reach.Right + deviceX, spans.Reach.Bottom + deviceY});
        fonts.DrawWithQt(Painter(), spans, deviceX, deviceY, escapement,
                         turned && opaque ? &cellColour : nullptr, textColour);
        Changed();
        return;
    }
    // The spans lie in the rasterising image, whose corner is Reach's from the origin.
    const int64_t dx = deviceX + spans.Reach.Left, dy = deviceY + spans.Reach.Top;
    if (turned && opaque)
        surface.Draw(TRasterShape{TBox{}, spans.Cell, dx, dy},
                     TRasterPaint{cellColour.rgb(), false});
    surface.Draw(TRasterShape{TBox{}, spans.Glyphs, dx, dy}, TRasterPaint{textColour.rgb(), false});
    Changed();
}
