#include "platform/gui/Graphics.h"

#include <QGuiApplication>
#include <QPalette>
#include <array>

namespace {

// Classic defaults of the system colours, used without a running application (0x00BBGGRR).
constexpr std::array<TColor, 25> kDefaultSystemColors = {
    0xC8C8C8, // scroll bar
    0x000000, // desktop background
    0x6A240A, // active caption
    0x808080, // inactive caption
    0xC8D0D4, // menu
    0xFFFFFF, // window
    0x000000, // window frame
    0x000000, // menu text
    0x000000, // window text
    0xFFFFFF, // caption text
    0xC8D0D4, // active border
    0xC8D0D4, // inactive border
    0x808080, // application workspace
    0x6A240A, // highlight
    0xFFFFFF, // highlight text
    0xC8D0D4, // button face
    0x808080, // button shadow
    0x808080, // grey text
    0x000000, // button text
    0xC8D0D4, // inactive caption text
    0xFFFFFF, // button highlight
    0x404040, // 3D dark shadow
    0xC8D0D4, // 3D light
    0x000000, // tooltip text
    0xE1FFFF, // tooltip background
};

struct TPaletteEntry {
    QPalette::ColorGroup Group;
    QPalette::ColorRole Role;
};

// The palette entry that plays the part of each system colour; Role NoRole = keep the default.
constexpr std::array<TPaletteEntry, 25> kPaletteRoles = {{
    {QPalette::Active, QPalette::Button},
    {QPalette::Active, QPalette::NoRole},
    {QPalette::Active, QPalette::Highlight},
    {QPalette::Inactive, QPalette::Highlight},
    {QPalette::Active, QPalette::Window},
    {QPalette::Active, QPalette::Base},
    {QPalette::Active, QPalette::Shadow},
    {QPalette::Active, QPalette::WindowText},
    {QPalette::Active, QPalette::Text},
    {QPalette::Active, QPalette::HighlightedText},
    {QPalette::Active, QPalette::Window},
    {QPalette::Inactive, QPalette::Window},
    {QPalette::Active, QPalette::Mid},
    {QPalette::Active, QPalette::Highlight},
    {QPalette::Active, QPalette::HighlightedText},
    {QPalette::Active, QPalette::Button},
    {QPalette::Active, QPalette::Dark},
    {QPalette::Disabled, QPalette::Text},
    {QPalette::Active, QPalette::ButtonText},
    {QPalette::Inactive, QPalette::HighlightedText},
    {QPalette::Active, QPalette::Light},
    {QPalette::Active, QPalette::Shadow},
    {QPalette::Active, QPalette::Midlight},
    {QPalette::Active, QPalette::ToolTipText},
    {QPalette::Active, QPalette::ToolTipBase},
}};

TColor SystemColor(uint32_t index) {
    if (index >= kDefaultSystemColors.size())
        return clBlack;
    const TPaletteEntry entry = kPaletteRoles[index];
    if (entry.Role == QPalette::NoRole ||
        !qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        return kDefaultSystemColors[index];
    return QRgbToColor(QGuiApplication::palette().color(entry.Group, entry.Role).rgb());
}

} // namespace

TColor ColorToRGB(TColor color) {
    if ((color & 0xFF000000) == clSystemColor)
        return SystemColor(color & 0xFF);
    return color & 0x00FFFFFF;
}

QRgb ColorToQRgb(TColor color) {
    const TColor c = ColorToRGB(color);
    return qRgb(int(c & 0xFF), int((c >> 8) & 0xFF), int((c >> 16) & 0xFF));
}

TColor QRgbToColor(QRgb rgb) {
    return TColor(qRed(rgb)) | (TColor(qGreen(rgb)) << 8) | (TColor(qBlue(rgb)) << 16);
}
