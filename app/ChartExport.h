#pragma once
// Pictures and tables of the main window's chart: for the clipboard, for files saved from the
// window and for the command line's export. Every picture comes from RenderChartImage, which draws
// with the window's own chart set-up and curve family, so a saved chart is the chart the window
// shows, at whatever resolution is asked for.

#include "platform/gui/Canvas.h"

#include <QImage>
#include <QSize>
#include <QString>
#include <cstdint>
#include <optional>
#include <string>

struct TFlowConfiguration;

// The window's chart at its design size, in logical pixels.
inline constexpr QSize DesignChartSize(365, 251);

// The largest picture, in device pixels: per side, and in all (the chart canvas's own limit,
// 256 MiB at 4 bytes a pixel). A larger picture is refused rather than drawn smaller.
inline constexpr int32_t MaxExportSide = 16384;
inline constexpr int64_t MaxExportPixels = MaxCanvasPixels;
static_assert(MaxExportSide <= MaxCanvasSide);

// Device pixels per logical pixel: above 0, at most this.
inline constexpr double MaxExportScale = 8;

enum TExportFormat : uint8_t { efPng, efCsv };

// The format a file name's extension names: ".png" or ".csv" in any letter case ("Chart.PNG" is a
// PNG image); nullopt for any other name.
std::optional<TExportFormat> ExportFormatOf(const QString& path);

// The device ratio the chart is drawn at for a scale: the scale in steps of 1/65536, as Qt passes
// device ratios, and at least the smallest ratio the chart's canvas draws at (0.25).
double ChartDeviceRatio(double scale);

// The device pixels of a picture of logicalSize at scale: each side times the scale, rounded down
// as the chart's canvas rounds (a product within a few units in the last place of a whole number
// counts as that number). The scale is taken in steps of 1/65536, as Qt passes device ratios. An
// empty size when a side is not positive or the result is beyond the limits above.
QSize DevicePixelSize(QSize logicalSize, double scale);

// The chart of flow as the main window draws it on a chart panel of logicalSize, drawn at scale
// device pixels per logical pixel (sharp, not enlarged): DevicePixelSize pixels. Below the
// smallest ratio the chart's canvas draws at (0.25) it is drawn at that ratio and reduced. Throws
// std::bad_alloc when the picture is beyond the limits or does not fit into memory.
QImage RenderChartImage(const TFlowConfiguration& flow, QSize logicalSize, double scale);

// The curve family of flow as CSV: the header "configuration,Cr,Ntu,e", then one line per curve
// point in the window's order (Cr = 0 first, Ntu rising). Numbers are written with "." whatever
// the locale, as the shortest text that reads back to the same double.
std::string CurveTableCsv(const TFlowConfiguration& flow);

// Writes the chart of flow to path as a PNG image or a CSV table. The file is written under a
// temporary name in the same folder and renamed when complete, so a failure leaves no partial file
// and an existing file as it was. Returns an empty text when done, else why not.
QString WriteChartFile(const QString& path, TExportFormat format, const TFlowConfiguration& flow,
                       QSize logicalSize, double scale);
