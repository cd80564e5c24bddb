#pragma once
// A bevelled panel with a persistent canvas, owner mouse events, a design-mode flag and the
// application-wide pointer.
//
// The canvas has the widget's size in logical pixels and the widget's device pixel ratio, so its
// image holds the device pixels the widget shows; canvas coordinates are widget coordinates
// (mouse positions go to the handlers unchanged, as integer logical pixels). When the window moves
// to a screen of another ratio the image is rebuilt at the new ratio and painted anew. Every
// drawing operation goes to the image and schedules a repaint; the paint event only blits. The
// frame (QFrame, Panel | Sunken, line width = BevelWidth) is drawn first and the image from (0, 0)
// to (width - BevelWidth, height - BevelWidth) on top of it: a drawing area of that size starts at
// the canvas origin and covers the top and left bevel lines, while the right and bottom ones stay
// visible. The base Paint() draws the full bevel into the image as well, so a plain panel shows all
// four lines.
//
// Paint() is raised when the image must be rebuilt: before the first blit after show, after a
// resize (the image is resized, then Resize() runs, then Paint() before the next blit), after
// Invalidate(), and at once by Repaint().

#include "platform/gui/Canvas.h"
#include "platform/gui/Font.h"
#include "platform/gui/Graphics.h"

#include <QFrame>
#include <cstdint>
#include <functional>
#include <string>

enum TBevelCut : uint8_t { bvNone = 0, bvLowered, bvRaised, bvSpace };

class TPanel : public QFrame {
    Q_OBJECT
public:
    using TMouseButtonEvent = std::function<void(TMouseButton, TShiftState, int32_t, int32_t)>;
    using TMouseMoveEvent = std::function<void(TShiftState, int32_t, int32_t)>;
    using TNotifyEvent = std::function<void()>;

    explicit TPanel(QWidget* parent = nullptr);
    ~TPanel() override;

    TCanvas& Canvas() { return FCanvas; }

    int32_t Width() const { return width(); }
    int32_t Height() const { return height(); }
    virtual void SetWidth(int32_t width);
    virtual void SetHeight(int32_t height);

    int32_t BevelWidth() const { return FBevelWidth; }
    void SetBevelWidth(int32_t width);
    TBevelCut BevelInner() const { return FBevelInner; }
    void SetBevelInner(TBevelCut cut);
    TBevelCut BevelOuter() const { return FBevelOuter; }
    void SetBevelOuter(TBevelCut cut);

    // Background colour (default clBtnFace), and the caption font, put on the canvas by Paint().
    TColor Color() const { return FColor; }
    void SetColor(TColor color);
    TFont& Font() { return FFont; }
    const TFont& Font() const { return FFont; }
    void SetFont(const TFont& font) { FFont.Assign(font); }
    const std::string& Caption() const { return FCaption; }
    void SetCaption(const std::string& caption);

    // True while the panel is edited in a form designer; setters may repaint then.
    bool DesignMode() const { return FDesignMode; }
    void SetDesignMode(bool on) { FDesignMode = on; }

    // Rebuilds the image before the next blit / now.
    void Invalidate();
    void Repaint();

    // The application-wide pointer: one override cursor, or none (the widget's own pointer).
    static void SetApplicationCursor(Qt::CursorShape shape);
    static void ClearApplicationCursor();

    // Owner handlers, run by the base handlers below with canvas pixel positions.
    TMouseButtonEvent OnMouseDown;
    TMouseMoveEvent OnMouseMove;
    TMouseButtonEvent OnMouseUp;
    TNotifyEvent OnResize;

protected:
    // Fills the image with Color, draws the bevel and the caption, leaves Font on the canvas.
    virtual void Paint();
    // Runs OnResize.
    virtual void Resize();
    virtual void HandleMouseDown(TMouseButton button, TShiftState shift, int32_t x, int32_t y);
    virtual void HandleMouseMove(TShiftState shift, int32_t x, int32_t y);
    virtual void HandleMouseUp(TMouseButton button, TShiftState shift, int32_t x, int32_t y);

    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    // Sizes the image to the widget (within the canvas limits) at the widget's device pixel ratio;
    // keeps the old image when the new one cannot be allocated.
    void SyncImageSize();
    bool RatioChanged() const;
    void BlitImage();
    void UpdateFrame();

    TCanvas FCanvas;
    TFont FFont;
    TColor FColor = clBtnFace;
    std::string FCaption;
    int32_t FBevelWidth = 1;
    TBevelCut FBevelInner = bvNone;
    TBevelCut FBevelOuter = bvLowered;
    bool FDesignMode = false;
    bool FNeedsPaint = true;
    bool FInPaintEvent = false;
};
