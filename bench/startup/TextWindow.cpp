// Second reference for the start-up benchmark: the bare window with one line of text, a label in
// the form's font. It pays what any window showing text pays on its first frame (the font
// configuration, the font list, one font and its glyphs), which the bare window never does.
#include <QApplication>
#include <QFont>
#include <QLabel>
#include <QTimer>

namespace {

class TextWindow : public QLabel {
public:
    using QLabel::QLabel;

protected:
    void paintEvent(QPaintEvent* event) override {
        QLabel::paintEvent(event);
        if (!painted_) {
            painted_ = true;
            QTimer::singleShot(0, qApp, &QCoreApplication::quit);
        }
    }

private:
    bool painted_ = false;
};

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setPixelSize(11);
    TextWindow window(QStringLiteral("  Ntu=2.00   e=0.70   Cr=0.85"));
    window.setFont(font);
    window.setWindowTitle("Text");
    window.setGeometry(362, 207, 373, 345);
    window.show();
    return app.exec();
}
