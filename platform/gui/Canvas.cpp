#include "platform/gui/Canvas.h"

#include "platform/gui/Bitmap.h"

#include <QPainter>

class TCanvas::TLineRun {};

TCanvas::TCanvas() = default;
TCanvas::~TCanvas() = default;
void TCanvas::SetSize(int32_t width, int32_t height) {
    FImage = QImage(width, height, QImage::Format_RGB32);
}
const QImage& TCanvas::Image() const {
    return FImage;
}
void TCanvas::SetImage(const QImage& image) {
    FImage = image.convertToFormat(QImage::Format_RGB32);
}
void TCanvas::Flush() const {}
TColor TCanvas::Pixel(int32_t x, int32_t y) const {
    return FImage.valid(x, y) ? QRgbToColor(FImage.pixel(x, y)) : clBlack;
}
void TCanvas::SetPixel(int32_t, int32_t, TColor) {}
void TCanvas::FillRect(const TRect&) {}
void TCanvas::MoveTo(int32_t x, int32_t y) {
    FPenPos = {x, y};
}
void TCanvas::LineTo(int32_t x, int32_t y) {
    FPenPos = {x, y};
}
void TCanvas::Polyline(std::span<const TPoint>) {}
void TCanvas::Ellipse(int32_t, int32_t, int32_t, int32_t) {}
void TCanvas::Rectangle(int32_t, int32_t, int32_t, int32_t) {}
void TCanvas::Polygon(std::span<const TPoint>) {}
void TCanvas::Draw(int32_t, int32_t, const TBitmap&) {}
void TCanvas::CopyRect(const TRect&, const TCanvas&, const TRect&) {}
void TCanvas::TextOut(int32_t, int32_t, std::string_view) {}
int32_t TCanvas::TextWidth(std::string_view) const {
    return 0;
}
int32_t TCanvas::TextHeight(std::string_view) const {
    return 0;
}
