#include "app/ChartExport.h"

#include "app/Main.h"
#include "relations/FlowConfigurations.h"

#include <QFileInfo>
#include <QImageWriter>
#include <QSaveFile>
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

// A side in device pixels, or -1 when it is not positive or beyond the largest.
int64_t DeviceSide(int logical, double scale) {
    if (logical <= 0 || !(scale > 0) || !(scale <= MaxExportScale))
        return -1;
    const double side = std::round(logical * scale); // at most 2^31 * 8: exact, no overflow
    return side >= 1 && side <= MaxExportSide ? int64_t(side) : -1;
}

QString NotWritten(const QString& path, const QString& reason) {
    return QStringLiteral("Cannot write \"%1\": %2").arg(path, reason);
}

} // namespace

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
    // A panel of its own that is never shown: it draws on its canvas only, and holds no window
    // surface beside the picture.
    TChartPanel chart;
    chart.BeginUpdate();
    SetMainChartProperties(chart);
    PlotCurveFamily(chart, CurveFamily(flow.Relation));
    chart.resize(logicalSize);
    chart.EndUpdate();
    (void)scale;
    chart.Repaint();
    // The panel keeps its former image when a new one cannot be allocated; a picture of the wrong
    // size is no picture of the chart.
    const QImage& image = chart.Canvas().Image();
    if (image.size() != logicalSize)
        throw std::bad_alloc();
    return image;
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
