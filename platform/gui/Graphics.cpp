#include "platform/gui/Graphics.h"

TColor ColorToRGB(TColor color) {
    return color & 0x00FFFFFF;
}
QRgb ColorToQRgb(TColor color) {
    const TColor c = ColorToRGB(color);
    return qRgb(int(c & 0xFF), int((c >> 8) & 0xFF), int((c >> 16) & 0xFF));
}
TColor QRgbToColor(QRgb rgb) {
    return TColor(qRed(rgb)) | (TColor(qGreen(rgb)) << 8) | (TColor(qBlue(rgb)) << 16);
}
