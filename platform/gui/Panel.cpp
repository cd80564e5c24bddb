#include "platform/gui/Panel.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QtMath>
#include <algorithm>
#include <exception>

namespace {

TShiftState ShiftState(const QMouseEvent& event) {
    TShiftState state = 0;
    const Qt::KeyboardModifiers modifiers = event.modifiers();
    if (modifiers & Qt::ShiftModifier)
        state |= ssShift;
    if (modifiers & Qt::AltModifier)
        state |= ssAlt;
    if (modifiers & Qt::ControlModifier)
        state |= ssCtrl;
    const Qt::MouseButtons buttons = event.buttons();
    if (buttons & Qt::LeftButton)
        state |= ssLeft;
    if (buttons & Qt::RightButton)
        state |= ssRight;
    if (buttons & Qt::MiddleButton)
        state |= ssMiddle;
    return state;
}

bool MouseButton(Qt::MouseButton qtButton, TMouseButton& button) {
    switch (qtButton) {
    case Qt::LeftButton:
        button = mbLeft;
        return true;
    case Qt::RightButton:
        button = mbRight;
        return true;
    case Qt::MiddleButton:
        button = mbMiddle;
        return true;
    default:
        return false;
    }
}

// Canvas pixel under the mouse: the image lies at the widget origin.
QPoint CanvasPosition(const QMouseEvent& event) {
    const QPointF p = event.position();
    return QPoint(qFloor(p.x()), qFloor(p.y()));
}

// Exceptions must not travel through Qt's event loop: every event handler runs its work in here,
// and an error (an owner handler's, or memory running out) ends that event only.
template <typename F> void Guarded(F&& handler) noexcept {
    try {
        handler();
    } catch (const std::exception& error) {
        qWarning("Unhandled error in a panel event handler: %s", error.what());
    } catch (...) {
        qWarning("Unhandled error in a panel event handler");
    }
}

} // namespace

TPanel::TPanel(QWidget* parent) : QFrame(parent) {
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    FCanvas.OnChange = [this] {
        if (!FInPaintEvent)
            update();
    };
    UpdateFrame();
    SyncImageSize();
}

TPanel::~TPanel() {
    FCanvas.OnChange = nullptr;
}

void TPanel::SetWidth(int32_t width) {
    resize(std::max(width, 0), height());
    SyncImageSize();
}

void TPanel::SetHeight(int32_t height) {
    resize(width(), std::max(height, 0));
    SyncImageSize();
}

void TPanel::SetBevelWidth(int32_t width) {
    FBevelWidth = std::max(width, 0);
    UpdateFrame();
}

void TPanel::SetBevelInner(TBevelCut cut) {
    FBevelInner = cut;
    UpdateFrame();
}

void TPanel::SetBevelOuter(TBevelCut cut) {
    FBevelOuter = cut;
    UpdateFrame();
}

void TPanel::UpdateFrame() {
    const TBevelCut cut = FBevelOuter != bvNone ? FBevelOuter : FBevelInner;
    const int shadow = cut == bvRaised  ? QFrame::Raised
                       : cut == bvSpace ? QFrame::Plain
                                        : QFrame::Sunken;
    setFrameStyle(cut == bvNone ? int(QFrame::NoFrame) : (QFrame::Panel | shadow));
    setLineWidth(FBevelWidth);
    Invalidate();
}

void TPanel::SetColor(TColor color) {
    FColor = color;
    Invalidate();
}

void TPanel::SetCaption(const std::string& caption) {
    FCaption = caption;
    Invalidate();
}

void TPanel::Invalidate() {
    FNeedsPaint = true;
    update();
}

void TPanel::Repaint() {
    FNeedsPaint = false;
    SyncImageSize();
    Paint();
    update();
}

void TPanel::SetApplicationCursor(Qt::CursorShape shape) {
    if (!qobject_cast<QApplication*>(QCoreApplication::instance()))
        return;
    const QCursor* current = QApplication::overrideCursor();
    if (current && current->shape() == shape)
        return;
    ClearApplicationCursor();
    QApplication::setOverrideCursor(QCursor(shape));
}

void TPanel::ClearApplicationCursor() {
    if (!qobject_cast<QApplication*>(QCoreApplication::instance()))
        return;
    while (QApplication::overrideCursor())
        QApplication::restoreOverrideCursor();
}

void TPanel::Paint() {
    TCanvas& canvas = FCanvas;
    canvas.Brush.Color = FColor;
    canvas.Brush.Style = bsSolid;
    canvas.FillRect(Rect(0, 0, canvas.Width(), canvas.Height()));
    canvas.PaintWith([this](QPainter& painter) { drawFrame(&painter); });
    canvas.SetFont(FFont);
    if (!FCaption.empty()) {
        const int32_t x = (canvas.Width() - canvas.TextWidth(FCaption)) / 2;
        const int32_t y = (canvas.Height() - canvas.TextHeight(FCaption)) / 2;
        canvas.TextOut(x, y, FCaption);
    }
}

void TPanel::Resize() {
    if (OnResize)
        OnResize();
}

void TPanel::HandleMouseDown(TMouseButton button, TShiftState shift, int32_t x, int32_t y) {
    if (OnMouseDown)
        OnMouseDown(button, shift, x, y);
}

void TPanel::HandleMouseMove(TShiftState shift, int32_t x, int32_t y) {
    if (OnMouseMove)
        OnMouseMove(shift, x, y);
}

void TPanel::HandleMouseUp(TMouseButton button, TShiftState shift, int32_t x, int32_t y) {
    if (OnMouseUp)
        OnMouseUp(button, shift, x, y);
}

bool TPanel::RatioChanged() const {
    return TDeviceScale(devicePixelRatioF()) != FCanvas.Scale();
}

void TPanel::SyncImageSize() {
    try {
        if (RatioChanged())
            FCanvas.SetDeviceRatio(devicePixelRatioF());
        if (FCanvas.Width() != width() || FCanvas.Height() != height())
            FCanvas.SetSize(width(), height());
    } catch (const std::bad_alloc&) {
        // Keep the old picture; the next paint or resize tries again.
        qWarning("Out of memory for a %d x %d panel image at ratio %g", width(), height(),
                 devicePixelRatioF());
    }
}

void TPanel::paintEvent(QPaintEvent*) {
    Guarded([this] {
        FInPaintEvent = true;
        // Moved to a screen of another ratio: the image is rebuilt at the new one.
        if (RatioChanged())
            FNeedsPaint = true;
        if (FNeedsPaint) {
            FNeedsPaint = false;
            SyncImageSize();
            Guarded([this] { Paint(); });
        }
        FInPaintEvent = false;
        BlitImage();
    });
    FInPaintEvent = false;
}

void TPanel::BlitImage() {
    const QImage& image = FCanvas.Image();
    QPainter painter(this);
    drawFrame(&painter);
    // Without a frame there is no bevel to leave visible.
    const int inset = frameShape() == QFrame::NoFrame ? 0 : FBevelWidth;
    const int drawWidth = std::max(width() - inset, 0);
    const int drawHeight = std::max(height() - inset, 0);
    // The image holds device pixels: the part under the drawing area, shown pixel for pixel.
    const TDeviceScale& scale = FCanvas.Scale();
    const int canvasWidth = std::min(FCanvas.Width(), drawWidth);
    const int canvasHeight = std::min(FCanvas.Height(), drawHeight);
    const QRect source(0, 0, int(scale.ToDevice(canvasWidth)), int(scale.ToDevice(canvasHeight)));
    painter.drawImage(QRectF(0, 0, source.width() / scale.Ratio(), source.height() / scale.Ratio()),
                      image, source);
    // Where the image is smaller than the drawing area (a size beyond the canvas limits, or an
    // image that could not grow), the rest shows the panel's colour.
    const QColor background = QColor::fromRgb(ColorToQRgb(FColor));
    if (canvasWidth < drawWidth)
        painter.fillRect(QRect(canvasWidth, 0, drawWidth - canvasWidth, drawHeight), background);
    if (canvasHeight < drawHeight)
        painter.fillRect(QRect(0, canvasHeight, canvasWidth, drawHeight - canvasHeight),
                         background);
}

bool TPanel::event(QEvent* event) {
    // Qt 6.4 tells a widget that its window moved to another screen this way; the ratio is
    // checked again at the next paint.
    if (event->type() == QEvent::ScreenChangeInternal)
        Invalidate();
    return QFrame::event(event);
}

void TPanel::resizeEvent(QResizeEvent* event) {
    QFrame::resizeEvent(event);
    Guarded([this] {
        SyncImageSize();
        FNeedsPaint = true;
        Resize();
    });
}

void TPanel::mousePressEvent(QMouseEvent* event) {
    TMouseButton button;
    if (!MouseButton(event->button(), button))
        return QFrame::mousePressEvent(event);
    Guarded([&] {
        const QPoint p = CanvasPosition(*event);
        HandleMouseDown(button, ShiftState(*event), p.x(), p.y());
    });
}

void TPanel::mouseDoubleClickEvent(QMouseEvent* event) {
    TMouseButton button;
    if (!MouseButton(event->button(), button))
        return QFrame::mouseDoubleClickEvent(event);
    Guarded([&] {
        const QPoint p = CanvasPosition(*event);
        HandleMouseDown(button, ShiftState(*event) | ssDouble, p.x(), p.y());
    });
}

void TPanel::mouseMoveEvent(QMouseEvent* event) {
    Guarded([&] {
        const QPoint p = CanvasPosition(*event);
        HandleMouseMove(ShiftState(*event), p.x(), p.y());
    });
}

void TPanel::mouseReleaseEvent(QMouseEvent* event) {
    TMouseButton button;
    if (!MouseButton(event->button(), button))
        return QFrame::mouseReleaseEvent(event);
    Guarded([&] {
        const QPoint p = CanvasPosition(*event);
        HandleMouseUp(button, ShiftState(*event), p.x(), p.y());
    });
}
