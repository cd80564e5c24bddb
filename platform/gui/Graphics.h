#pragma once
// Colours, pixel geometry and the drawing enumerations shared by the canvas, the bitmaps and the
// panel. Values follow the desktop platform the system was designed on, so stored colours and
// raster-operation codes keep their meaning.

#include <QRgb>
#include <cstdint>

// 0x00BBGGRR (red in the low byte). A value 0xFF0000nn names system colour nn, resolved when drawn.
using TColor = uint32_t;

inline constexpr TColor clBlack = 0x00000000;
inline constexpr TColor clMaroon = 0x00000080;
inline constexpr TColor clGreen = 0x00008000;
inline constexpr TColor clOlive = 0x00008080;
inline constexpr TColor clNavy = 0x00800000;
inline constexpr TColor clPurple = 0x00800080;
inline constexpr TColor clTeal = 0x00808000;
inline constexpr TColor clGray = 0x00808080;
inline constexpr TColor clSilver = 0x00C0C0C0;
inline constexpr TColor clRed = 0x000000FF;
inline constexpr TColor clLime = 0x0000FF00;
inline constexpr TColor clYellow = 0x0000FFFF;
inline constexpr TColor clBlue = 0x00FF0000;
inline constexpr TColor clFuchsia = 0x00FF00FF;
inline constexpr TColor clAqua = 0x00FFFF00;
inline constexpr TColor clWhite = 0x00FFFFFF;

// System colours: 0xFF000000 | index.
inline constexpr TColor clSystemColor = 0xFF000000;
inline constexpr TColor clScrollBar = clSystemColor | 0;
inline constexpr TColor clBackground = clSystemColor | 1;
inline constexpr TColor clActiveCaption = clSystemColor | 2;
inline constexpr TColor clInactiveCaption = clSystemColor | 3;
inline constexpr TColor clMenu = clSystemColor | 4;
inline constexpr TColor clWindow = clSystemColor | 5;
inline constexpr TColor clWindowFrame = clSystemColor | 6;
inline constexpr TColor clMenuText = clSystemColor | 7;
inline constexpr TColor clWindowText = clSystemColor | 8;
inline constexpr TColor clCaptionText = clSystemColor | 9;
inline constexpr TColor clActiveBorder = clSystemColor | 10;
inline constexpr TColor clInactiveBorder = clSystemColor | 11;
inline constexpr TColor clAppWorkSpace = clSystemColor | 12;
inline constexpr TColor clHighlight = clSystemColor | 13;
inline constexpr TColor clHighlightText = clSystemColor | 14;
inline constexpr TColor clBtnFace = clSystemColor | 15;
inline constexpr TColor clBtnShadow = clSystemColor | 16;
inline constexpr TColor clGrayText = clSystemColor | 17;
inline constexpr TColor clBtnText = clSystemColor | 18;
inline constexpr TColor clInactiveCaptionText = clSystemColor | 19;
inline constexpr TColor clBtnHighlight = clSystemColor | 20;
inline constexpr TColor cl3DDkShadow = clSystemColor | 21;
inline constexpr TColor cl3DLight = clSystemColor | 22;
inline constexpr TColor clInfoText = clSystemColor | 23;
inline constexpr TColor clInfoBk = clSystemColor | 24;

// Resolves a colour to the 24-bit RGB value it shows as, as TColor (0x00BBGGRR). System colours
// come from the application palette while a QGuiApplication exists, otherwise from a fixed table
// of defaults (white window, black text, grey button face). Any other value uses its low 24 bits.
TColor ColorToRGB(TColor color);
// The opaque Qt pixel value of a colour (alpha 0xFF), system colours resolved as above.
QRgb ColorToQRgb(TColor color);
// The colour of an opaque Qt pixel value; alpha is dropped.
TColor QRgbToColor(QRgb rgb);

enum TPenStyle : uint8_t {
    psSolid = 0,
    psDash,
    psDot,
    psDashDot,
    psDashDotDot,
    psClear,
    psInsideFrame
};

// How a pen combines with the pixels under it. pmNotXor: NOT (pen XOR pixel).
enum TPenMode : uint8_t { pmCopy = 0, pmXor, pmNotXor };

enum TBrushStyle : uint8_t { bsSolid = 0, bsClear };

enum TAlignment : uint8_t { taLeftJustify = 0, taRightJustify = 1, taCenter = 2 };

// Raster operations of bitmap copies (ternary codes: pattern = brush, source, destination).
using TCopyMode = uint32_t;
inline constexpr TCopyMode BLACKNESS = 0x00000042;
inline constexpr TCopyMode NOTSRCERASE = 0x001100A6;
inline constexpr TCopyMode NOTSRCCOPY = 0x00330008;
inline constexpr TCopyMode SRCERASE = 0x00440328;
inline constexpr TCopyMode DSTINVERT = 0x00550009;
inline constexpr TCopyMode PATINVERT = 0x005A0049;
inline constexpr TCopyMode SRCINVERT = 0x00660046;
inline constexpr TCopyMode SRCAND = 0x008800C6;
inline constexpr TCopyMode MERGEPAINT = 0x00BB0226;
inline constexpr TCopyMode MERGECOPY = 0x00C000CA;
inline constexpr TCopyMode SRCCOPY = 0x00CC0020;
inline constexpr TCopyMode SRCPAINT = 0x00EE0086;
inline constexpr TCopyMode PATCOPY = 0x00F00021;
inline constexpr TCopyMode WHITENESS = 0x00FF0062;

// Font style flags, combined in TFontStyles.
enum TFontStyle : uint8_t { fsBold = 1, fsItalic = 2, fsUnderline = 4, fsStrikeOut = 8 };
using TFontStyles = uint8_t;

enum TFontPitch : uint8_t { fpDefault = 0, fpVariable, fpFixed };

enum TMouseButton : uint8_t { mbLeft = 0, mbRight, mbMiddle };

// Keyboard and mouse-button state of a mouse event, combined flags.
enum TShiftFlag : uint8_t {
    ssShift = 1,
    ssAlt = 2,
    ssCtrl = 4,
    ssLeft = 8,
    ssRight = 16,
    ssMiddle = 32,
    ssDouble = 64
};
using TShiftState = uint8_t;

// Pixel position on a canvas, y growing downwards.
struct TPoint {
    int32_t X = 0;
    int32_t Y = 0;
    friend bool operator==(const TPoint&, const TPoint&) = default;
};

// Pixel rectangle; Right and Bottom lie just outside it, as on the platform.
struct TRect {
    int32_t Left = 0;
    int32_t Top = 0;
    int32_t Right = 0;
    int32_t Bottom = 0;
    // 64-bit so that extreme coordinates cannot overflow.
    int64_t Width() const { return int64_t(Right) - Left; }
    int64_t Height() const { return int64_t(Bottom) - Top; }
    bool IsEmpty() const { return Right <= Left || Bottom <= Top; }
    friend bool operator==(const TRect&, const TRect&) = default;
};

inline TRect Rect(int32_t left, int32_t top, int32_t right, int32_t bottom) {
    return TRect{left, top, right, bottom};
}
