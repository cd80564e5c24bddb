#include "platform/gui/Font.h"

TFont::TFont() : FName("Tahoma"), FHeight(-11) {}
void TFont::Assign(const TFont& source) {
    *this = source;
}
void TFont::SetName(const std::string& name) {
    FName = name;
}
int32_t TFont::Size() const {
    return -FHeight * 72 / 96;
}
void TFont::SetSize(int32_t points) {
    FHeight = -points * 96 / 72;
}
QFont TFont::ToQFont() const {
    return QFont(QString::fromStdString(FName));
}
TFont CreateFontIndirect(const TLogFont& logFont) {
    TFont font;
    font.SetHeight(logFont.Height);
    font.SetEscapement(logFont.Escapement);
    return font;
}
