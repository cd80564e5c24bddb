#include "platform/gui/Panel.h"

#include <QApplication>

TPanel::TPanel(QWidget* parent) : QFrame(parent) {
    setMouseTracking(true);
}
TPanel::~TPanel() = default;
void TPanel::SetWidth(int32_t width) {
    resize(width, height());
}
void TPanel::SetHeight(int32_t height) {
    resize(width(), height);
}
void TPanel::SetBevelWidth(int32_t width) {
    FBevelWidth = width;
}
void TPanel::SetBevelInner(TBevelCut cut) {
    FBevelInner = cut;
}
void TPanel::SetBevelOuter(TBevelCut cut) {
    FBevelOuter = cut;
}
void TPanel::SetColor(TColor color) {
    FColor = color;
}
void TPanel::SetCaption(const std::string& caption) {
    FCaption = caption;
}
void TPanel::Invalidate() {
    update();
}
void TPanel::Repaint() {
    Paint();
}
void TPanel::SetApplicationCursor(Qt::CursorShape shape) {
    QApplication::setOverrideCursor(QCursor(shape));
}
void TPanel::ClearApplicationCursor() {
    while (QApplication::overrideCursor())
        QApplication::restoreOverrideCursor();
}
void TPanel::Paint() {}
void TPanel::Resize() {}
void TPanel::HandleMouseDown(TMouseButton, TShiftState, int32_t, int32_t) {}
void TPanel::HandleMouseMove(TShiftState, int32_t, int32_t) {}
void TPanel::HandleMouseUp(TMouseButton, TShiftState, int32_t, int32_t) {}
void TPanel::paintEvent(QPaintEvent* event) {
    QFrame::paintEvent(event);
}
void TPanel::resizeEvent(QResizeEvent* event) {
    QFrame::resizeEvent(event);
}
void TPanel::mousePressEvent(QMouseEvent*) {}
void TPanel::mouseMoveEvent(QMouseEvent*) {}
void TPanel::mouseReleaseEvent(QMouseEvent*) {}
void TPanel::mouseDoubleClickEvent(QMouseEvent*) {}
void TPanel::SyncImageSize() {}
void TPanel::UpdateFrame() {}
