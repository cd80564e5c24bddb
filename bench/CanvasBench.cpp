// Canvas primitives at the chart's design size (365 x 251) and at 3840 x 2160: fills, not-xor
// lines of every orientation and width, markers, bitmaps and text, and a redraw made of them
// the way the chart composes one.
#include "platform/gui/Bitmap.h"
#include "platform/gui/Canvas.h"

#include <benchmark/benchmark.h>
#include <cmath>
#include <string>

namespace {

TCanvas& Surface(int width, int height) {
    static TCanvas small, large;
    TCanvas& canvas = width > 1000 ? large : small;
    if (canvas.Width() != width) {
        canvas.SetSize(width, height);
        canvas.Pen.Mode = pmNotXor;
        canvas.SetCopyMode(SRCINVERT);
        canvas.Font().SetName("courier new");
        canvas.Font().SetSize(8);
    }
    return canvas;
}

int SizeW(const benchmark::State& state) {
    return state.range(0) ? 3840 : 365;
}
int SizeH(const benchmark::State& state) {
    return state.range(0) ? 2160 : 251;
}

void BM_FillRect(benchmark::State& state) {
    TCanvas& canvas = Surface(SizeW(state), SizeH(state));
    for (auto _ : state) {
        canvas.Brush.Color = clWindow;
        canvas.FillRect(Rect(0, 0, canvas.Width(), canvas.Height()));
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_FillRect)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// One line across the surface, drawn twice (drawn, then erased) per iteration.
// range(1): 0 horizontal, 1 vertical, 2 diagonal; range(2): pen width.
void BM_XorLine(benchmark::State& state) {
    TCanvas& canvas = Surface(SizeW(state), SizeH(state));
    canvas.Pen = {0x00EBE2E0, psSolid, int32_t(state.range(2)), pmNotXor};
    const int w = canvas.Width() - 20, h = canvas.Height() - 20;
    const TPoint ends[3][2] = {
        {{10, h / 2}, {w, h / 2}}, {{w / 2, h}, {w / 2, 10}}, {{10, h}, {w, 10}}};
    const auto& [a, b] = ends[state.range(1)];
    for (auto _ : state) {
        for (int i = 0; i < 2; ++i) {
            canvas.MoveTo(a.X, a.Y);
            canvas.LineTo(b.X, b.Y);
            canvas.Flush();
        }
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_XorLine)->ArgsProduct({{0, 1}, {0, 1, 2}, {1, 2, 10}})->Unit(benchmark::kMicrosecond);

// A chart curve of 26 points, segments after the first starting half a pen width on.
void DrawCurve(TCanvas& canvas, int left, int top, int width, int height, double cr, int pen) {
    canvas.Pen = {0x00336699, psSolid, pen, pmNotXor};
    int px = 0, py = 0;
    for (int i = 0; i <= 25; ++i) {
        const double ntu = i * 0.22;
        const double e = (1 - std::exp(-ntu * (1 - cr))) /
                         (1 - cr * std::exp(-ntu * (1 - cr)) + (cr == 1 ? 1e-9 : 0));
        const int x = left + int(ntu / 5.5 * width), y = top + height - int(e * height);
        if (i == 1) {
            canvas.MoveTo(px, py);
            canvas.LineTo(x, y);
        } else if (i > 1) {
            const int dx = x - px, dy = y - py;
            const double kx = dy ? std::abs(double(dx) / dy) : 0,
                         ky = dx ? std::abs(double(dy) / dx) : 0;
            const int ax = int(std::sqrt(pen * 0.25 * pen / (ky * ky + 1)));
            const int ay = int(std::sqrt(pen * 0.25 * pen / (kx * kx + 1)));
            canvas.MoveTo(px + ((dx > 0) - (dx < 0)) * ax, py + ((dy > 0) - (dy < 0)) * ay);
            canvas.LineTo(x, y);
        }
        px = x;
        py = y;
    }
    canvas.Flush();
}

void BM_Curve(benchmark::State& state) {
    TCanvas& canvas = Surface(SizeW(state), SizeH(state));
    const int pen = int(state.range(1));
    for (auto _ : state) {
        DrawCurve(canvas, 40, 25, canvas.Width() - 60, canvas.Height() - 65, 0.5, pen);
        DrawCurve(canvas, 40, 25, canvas.Width() - 60, canvas.Height() - 65, 0.5, pen);
    }
}
BENCHMARK(BM_Curve)->ArgsProduct({{0, 1}, {1, 2, 20}})->Unit(benchmark::kMicrosecond);

void BM_Markers(benchmark::State& state) {
    TCanvas& canvas = Surface(SizeW(state), SizeH(state));
    canvas.Pen = {0x00336699, psSolid, 1, pmNotXor};
    canvas.Brush.Color = 0x00C08040;
    for (auto _ : state)
        for (int i = 0; i < 2; ++i) {
            canvas.Ellipse(100, 100, 107, 107);
            canvas.Rectangle(120, 100, 127, 107);
        }
}
BENCHMARK(BM_Markers)->Arg(0)->Unit(benchmark::kMicrosecond);

void BM_Text(benchmark::State& state) {
    TCanvas& canvas = Surface(SizeW(state), SizeH(state));
    canvas.Brush.Color = clWindow;
    for (auto _ : state) {
        const int w = canvas.TextWidth("0.75");
        canvas.TextOut(100 - w / 2, 200, "0.75");
    }
}
BENCHMARK(BM_Text)->Arg(0)->Unit(benchmark::kMicrosecond);

void BM_LabelBitmap(benchmark::State& state) {
    TCanvas& canvas = Surface(SizeW(state), SizeH(state));
    static TBitmap label;
    label.Canvas().Font().SetName("courier new");
    for (auto _ : state) {
        label.SetSize(canvas.TextWidth("1.5 0.3") + 2, canvas.TextHeight("1.5 0.3") + 2);
        label.Canvas().Brush.Color = clBlack;
        label.Canvas().FillRect(Rect(0, 0, label.Width(), label.Height()));
        label.Canvas().TextOut(0, 0, "1.5 0.3");
        canvas.Draw(150, 120, label);
    }
}
BENCHMARK(BM_LabelBitmap)->Arg(0)->Unit(benchmark::kMicrosecond);

// Background, plot area, 12 vertical and 11 horizontal grid lines with labels, two axes, a title
// and five curves of 26 points: the primitives of one chart redraw.
void BM_ChartLikeRedraw(benchmark::State& state) {
    TCanvas& canvas = Surface(SizeW(state), SizeH(state));
    const int W = canvas.Width(), H = canvas.Height();
    const int L = 40, T = 25, R = W - 20, B = H - 40;
    const int pen = int(state.range(1));
    for (auto _ : state) {
        canvas.Pen.Width = pen;
        canvas.Brush.Color = clWindow;
        canvas.FillRect(Rect(0, 0, W, H));
        canvas.Brush.Color = clWhite;
        canvas.FillRect(Rect(L, T, R, B));
        canvas.Brush.Color = clWindow;
        for (int i = 0; i <= 11; ++i) {
            const int x = L + i * (R - L) / 11;
            canvas.Pen.Color = 0x00EBE2E0;
            canvas.MoveTo(x, B);
            canvas.LineTo(x, T);
            const std::string text = std::to_string(i / 2.0).substr(0, 3);
            canvas.TextOut(x - canvas.TextWidth(text) / 2, B + 6, text);
        }
        for (int i = 0; i <= 10; ++i) {
            const int y = B - i * (B - T) / 10;
            canvas.Pen.Color = 0x00EBE2E0;
            canvas.MoveTo(L, y);
            canvas.LineTo(R, y);
            canvas.TextOut(L - 28, y - 6, std::to_string(i / 10.0).substr(0, 3));
        }
        canvas.Pen.Color = clWindowText;
        canvas.MoveTo(L, T);
        canvas.LineTo(L, B);
        canvas.LineTo(R, B);
        canvas.TextOut(W / 2 - 40, 5, "Counter flow");
        for (int c = 0; c < 5; ++c)
            DrawCurve(canvas, L, T, R - L, B - T, c * 0.25, pen);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_ChartLikeRedraw)->ArgsProduct({{0, 1}, {2, 20}})->Unit(benchmark::kMicrosecond);

} // namespace
