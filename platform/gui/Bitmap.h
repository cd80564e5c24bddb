#pragma once
// An off-screen bitmap with its own canvas. The object stays the same when it is resized.

#include "platform/gui/Canvas.h"

#include <QImage>
#include <cstdint>

class TBitmap {
public:
    // Empty (0 x 0).
    TBitmap() = default;
    TBitmap(int32_t width, int32_t height) { SetSize(width, height); }
    TBitmap(const TBitmap&) = delete;
    TBitmap& operator=(const TBitmap&) = delete;

    int32_t Width() const { return FCanvas.Width(); }
    int32_t Height() const { return FCanvas.Height(); }
    void SetWidth(int32_t width) { SetSize(width, Height()); }
    void SetHeight(int32_t height) { SetSize(Width(), height); }
    // Keeps the overlapping pixels; new pixels are white. Negative sizes count as 0.
    void SetSize(int32_t width, int32_t height) { FCanvas.SetSize(width, height); }

    TCanvas& Canvas() { return FCanvas; }
    const TCanvas& Canvas() const { return FCanvas; }
    // The pixels after all pending drawing.
    const QImage& Image() const { return FCanvas.Image(); }
    // Takes a copy of the image (converted to opaque Format_RGB32); the canvas state stays.
    void LoadFromImage(const QImage& image) { FCanvas.SetImage(image); }
    // Copies the pixels of another bitmap; the canvas state stays.
    void Assign(const TBitmap& source) { FCanvas.SetImage(source.Image()); }

private:
    TCanvas FCanvas;
};
