// Drives the chart with arbitrary properties, ranges, scale types, margins, sizes and points
// (NaN and infinities included) through Redraw and PrepareCanvas (on images of any device ratio)
// on an offscreen panel. Every input must give a defined result: no crash, hang or undefined
// behaviour.
#include "chartpanel/ChartPanel.h"

#include <QApplication>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

// Reads values from the fuzz input; past its end everything reads as zero.
class TReader {
public:
    TReader(const uint8_t* Data, size_t Size) : FData(Data), FSize(Size) {}
    bool More() const { return FPos < FSize; }
    uint8_t Byte() { return FPos < FSize ? FData[FPos++] : 0; }
    int32_t Int() {
        uint32_t Value = 0;
        for (int i = 0; i < 4; ++i)
            Value = Value << 8 | Byte();
        return static_cast<int32_t>(Value);
    }
    // Small values most of the time, any bit pattern sometimes.
    int32_t Size() { return (Byte() & 3) == 0 ? Int() : static_cast<int32_t>(Byte()) * 4 - 100; }
    double Real() {
        switch (Byte() % 4) {
        case 0: {
            uint64_t Bits = 0;
            for (int i = 0; i < 8; ++i)
                Bits = Bits << 8 | Byte();
            double Value;
            std::memcpy(&Value, &Bits, sizeof Value);
            return Value;
        }
        case 1:
            return static_cast<int8_t>(Byte()) / 8.0;
        default:
            return static_cast<int16_t>(Byte() << 8 | Byte()) / 256.0;
        }
    }

private:
    const uint8_t* FData;
    size_t FSize;
    size_t FPos = 0;
};

QApplication& Application() {
    static int Argc = 1;
    static char Name[] = "ChartFuzz";
    static char* Argv[] = {Name, nullptr};
    static QApplication* App = [] {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        return new QApplication(Argc, Argv);
    }();
    return *App;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    Application();
    TReader In(Data, Size);
    TChartPanel Chart;
    Chart.SetWidth(std::abs(In.Size() % 700));
    Chart.SetHeight(std::abs(In.Size() % 500));
    TBitmap Marker(In.Byte() % 20, In.Byte() % 20);
    TChartLine* Line = nullptr;
    int Steps = 0;
    while (In.More() && ++Steps < 200) {
        switch (In.Byte() % 16) {
        case 0:
            Chart.SetRanges(In.Real(), In.Real(), In.Real(), In.Real());
            break;
        case 1:
            Chart.SetScaleType(static_cast<TScaleType>(In.Byte() % 4));
            break;
        case 2:
            Chart.SetLeftMargin(In.Size());
            Chart.SetRightMargin(In.Size());
            break;
        case 3:
            Chart.SetTopMargin(In.Size());
            Chart.SetBottomMargin(In.Size());
            break;
        case 4:
            Chart.SetScaleXTicks(In.Size());
            Chart.SetScaleYTicks(In.Size());
            break;
        case 5:
            Chart.SetAxisType(static_cast<TAxisType>(In.Byte() % 4));
            Chart.SetTitleAlignment(static_cast<TAlignment>(In.Byte() % 4));
            break;
        case 6: {
            TPointVec Shape;
            for (int i = In.Byte() % 5; i > 0; --i)
                Shape.push_back({In.Size(), In.Size()});
            Line = Chart.AddLine(static_cast<TColor>(In.Int()), In.Byte() % 7,
                                 (In.Byte() & 1) ? &Marker : nullptr, In.Size(), Shape);
            Line->SetPen(static_cast<TPenStyle>(In.Byte() % 7), In.Size() % 40);
            break;
        }
        case 7:
        case 8:
            if (Line) {
                TChartPoint* Point = Line->AddPoint(In.Real(), In.Real());
                Point->SetLabel(In.Byte() % 3, "p", In.Byte() & 1);
            }
            break;
        case 9:
            Chart.AddFreePoint(In.Real(), In.Real(), static_cast<TColor>(In.Int()), In.Byte() % 7,
                               In.Size());
            break;
        case 10:
            Chart.Redraw();
            break;
        case 11: {
            // An image at a device ratio from 0.25 to 4, as a screen or an export asks for.
            TBitmap target;
            target.Canvas().SetDeviceRatio(0.25 * (1 + In.Byte() % 16));
            target.SetSize(std::abs(In.Size() % 800), std::abs(In.Size() % 600));
            Chart.PrepareCanvas(target.Canvas(), In.Size(), In.Size(), In.Byte() & 1,
                                In.Byte() & 1);
            Chart.Redraw();
            Chart.PrepareCanvas(Chart.Canvas(), Chart.Width() - 1, Chart.Height() - 1, false,
                                false);
            break;
        }
        case 12:
            Chart.SetShowXScale(In.Byte() & 1);
            Chart.SetShowYScale(In.Byte() & 1);
            Chart.SetScaleXLabel("Ntu");
            Chart.SetScaleYLabel("Effectiveness");
            Chart.SetTitle("T");
            break;
        case 13:
            if (Line)
                Line->Draw();
            break;
        case 14:
            Chart.Clear();
            Line = nullptr;
            break;
        case 15:
            Chart.SetXMin(In.Real());
            Chart.SetYMax(In.Real());
            break;
        }
    }
    Chart.Redraw();
    return 0;
}
