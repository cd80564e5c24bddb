#include "app/ChartExport.h"

#include "app/Main.h"
#include "platform/Raster.h"
#include "relations/FlowConfigurations.h"

#include <QFileInfo>
#include <QImageWriter>
#include <QPaintDevice>
#include <QSaveFile>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <new>

namespace {

// The shortest text that reads back to the same double, "." as the point; -0 is written as 0.
void AppendNumber(std::string& text, double value) {
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value + 0.0);
    text.append(buffer, result.ptr);
}

// A side in device pixels, or -1 when it is not positive or beyond the largest. At the canvas's
// ratios its own rule (rounded down); below them the same for the reduced picture.
int64_t DeviceSide(int logical, double scale) {
    if (logical <= 0 || !(scale > 0) || !(scale <= MaxExportScale))
        return -1;
    const int64_t side = scale >= TDeviceScale::MinRatio
                             ? TDeviceScale(ChartDeviceRatio(scale)).ToDevice(logical)
                             : int64_t(std::floor(logical * scale * (1 + 1e-12)));
    return side >= 1 && side <= MaxExportSide ? side : -1;
}

// A chart panel that is never shown and draws at the device ratio it is given rather than at the
// ratio of a screen: the panel sizes its canvas by the ratio its widget reports.
class TOffscreenChart : public TChartPanel {
public:
    explicit TOffscreenChart(double ratio) : FRatio(ratio) {}

protected:
    int metric(PaintDeviceMetric metric) const override {
        if (metric == PdmDevicePixelRatioScaled)
            return int(std::lround(FRatio * devicePixelRatioFScale()));
        if (metric == PdmDevicePixelRatio)
            return int(std::ceil(FRatio));
        return TChartPanel::metric(metric);
    }

private:
    double FRatio;
};

QString NotWritten(const QString& path, const QString& reason) {
    return QStringLiteral("Cannot write \"%1\": %2").arg(path, reason);
}

} // namespace

double ChartDeviceRatio(double scale) {
    const double steps = QPaintDevice::devicePixelRatioFScale();
    return std::max(std::round(scale * steps) / steps, TDeviceScale::MinRatio);
}

std::optional<TExportFormat> ExportFormatOf(const QString& path) {
    const QString suffix = QFileInfo(path).suffix();
    if (suffix.compare(QLatin1String("png"), Qt::CaseInsensitive) == 0)
        return efPng;
    if (suffix.compare(QLatin1String("csv"), Qt::CaseInsensitive) == 0)
        return efCsv;
    return std::nullopt;
}

QSize DevicePixelSize(QSize logicalSize, double scale) {
    const int64_t width = DeviceSide(logicalSize.width(), scale);
    const int64_t height = DeviceSide(logicalSize.height(), scale);
    if (width < 0 || height < 0 || width * height > MaxExportPixels)
        return {};
    return QSize(int(width), int(height));
}

QImage RenderChartImage(const TFlowConfiguration& flow, QSize logicalSize, double scale) {
    const QSize device = DevicePixelSize(logicalSize, scale);
    if (device.isEmpty())
        throw std::bad_alloc(); // beyond the largest picture
    // A panel of its own that is never shown: it draws on its canvas only, and holds no window
    // surface beside the picture.
    TOffscreenChart chart(ChartDeviceRatio(scale));
    chart.BeginUpdate();
    SetMainChartProperties(chart);
    PlotCurveFamily(chart, CurveFamily(flow.Relation));
    chart.resize(logicalSize);
    chart.EndUpdate();
    chart.Repaint();
    // The panel keeps its former image when a new one cannot be allocated; a picture of the wrong
    // size is no picture of the chart.
    const QImage& image = chart.Canvas().Image();
    if (scale >= TDeviceScale::MinRatio) {
        if (image.size() != device)
            throw std::bad_alloc();
        return image;
    }
    // Below the canvas's smallest ratio the chart is drawn at that ratio and reduced.
    if (image.size() != DevicePixelSize(logicalSize, TDeviceScale::MinRatio))
        throw std::bad_alloc();
    return image.scaled(device, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

std::string CurveTableCsv(const TFlowConfiguration& flow) {
    std::string text = "configuration,Cr,Ntu,e\n";
    for (const TCurve& curve : CurveFamily(flow.Relation)) {
        for (const TCurvePoint& point : curve.Points) {
            text += flow.Name;
            for (const double value : {curve.Cr, point.Ntu, point.E}) {
                text += ',';
                AppendNumber(text, value);
            }
            text += '\n';
        }
    }
    return text;
}

QString WriteChartFile(const QString& path, TExportFormat format, const TFlowConfiguration& flow,
                       QSize logicalSize, double scale) {
    // Everything is made before the file is opened: a failure here leaves no trace on the disk.
    QImage image;
    std::string table;
    if (format == efPng) {
        const QSize device = DevicePixelSize(logicalSize, scale);
        if (device.isEmpty())
            return NotWritten(path, QStringLiteral("a chart of %1 x %2 at scale %3 is beyond %4 "
                                                   "x %4 pixels or empty")
                                        .arg(logicalSize.width())
                                        .arg(logicalSize.height())
                                        .arg(scale)
                                        .arg(MaxExportSide));
        try {
            image = RenderChartImage(flow, logicalSize, scale);
        } catch (const std::bad_alloc&) {
            return NotWritten(path, QStringLiteral("not enough memory for a picture of %1 x %2 "
                                                   "pixels")
                                        .arg(device.width())
                                        .arg(device.height()));
        }
    } else {
        table = CurveTableCsv(flow);
    }

    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return NotWritten(path, file.errorString());
    bool written = false;
    QString reason;
    if (format == efPng) {
        QImageWriter writer(&file, "png");
        written = writer.write(image);
        reason = writer.errorString();
    } else {
        written = file.write(table.data(), qint64(table.size())) == qint64(table.size());
        reason = file.errorString();
    }
    if (!written) {
        file.cancelWriting();
        return NotWritten(path, reason);
    }
    if (!file.commit())
        return NotWritten(path, file.errorString());
    return {};
}
