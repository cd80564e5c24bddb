#include "app/ExportCommand.h"

#include "app/CommandLine.h"
#include "app/StartUp.h"
#include "relations/FlowConfigurations.h"

#include <QApplication>
#include <QByteArray>
#include <QStringList>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <iostream>
#include <memory>

namespace {

// A whole decimal number from 1 to INT_MAX that fills the text.
bool ParseSide(const char* first, const char* last, int& side) {
    int64_t value = 0;
    const auto result = std::from_chars(first, last, value);
    if (result.ec != std::errc() || result.ptr != last || value < 1 || value > INT32_MAX)
        return false;
    side = int(value);
    return true;
}

QString AcceptedFlows() {
    QStringList names;
    for (const TFlowConfiguration& flow : FlowConfigurations())
        names << QString::fromLatin1(flow.Name);
    return names.join(QStringLiteral(", "));
}

QString Quoted(const QString& text) {
    return QLatin1Char('"') + text + QLatin1Char('"');
}

QtMessageHandler PassedOnMessages = nullptr;

// Without XDG_RUNTIME_DIR (cron, containers, CI) Qt notes on standard error that it uses a folder
// of its own instead; the export does not use that folder, and the note would only disturb
// scripts that watch the export's messages.
void WithoutRuntimeFolderNote(QtMsgType type, const QMessageLogContext& context,
                              const QString& message) {
    if (message.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR not set")))
        return;
    if (PassedOnMessages != nullptr)
        PassedOnMessages(type, context, message);
}

} // namespace

bool ExportRequested(const TCommandLine& commandLine) {
    return commandLine.ExportFile() || commandLine.Flow() || commandLine.Size() ||
           commandLine.Scale();
}

bool ParseChartSize(const QString& text, QSize& size) {
    const QByteArray bytes = text.toUtf8();
    const char* first = bytes.constData();
    const char* last = first + bytes.size();
    const char* x = std::find_if(first, last, [](char c) { return c == 'x' || c == 'X'; });
    int width = 0;
    int height = 0;
    if (x == last || !ParseSide(first, x, width) || !ParseSide(x + 1, last, height))
        return false;
    size = QSize(width, height);
    return true;
}

bool ParseScale(const QString& text, double& scale) {
    const QByteArray bytes = text.toUtf8();
    const char* first = bytes.constData();
    const char* last = first + bytes.size();
    double value = 0;
    const auto result = std::from_chars(first, last, value);
    // from_chars also reads "nan" and "inf"; the range test refuses them.
    if (result.ec != std::errc() || result.ptr != last || !(value > 0) ||
        !(value <= MaxExportScale))
        return false;
    scale = value;
    return true;
}

const TFlowConfiguration* FlowConfigurationNamed(const QString& name) {
    for (const TFlowConfiguration& flow : FlowConfigurations())
        if (name.compare(QLatin1String(flow.Name), Qt::CaseInsensitive) == 0)
            return &flow;
    return nullptr;
}

std::variant<TExportRequest, QString> ParseExportRequest(const TCommandLine& commandLine) {
    TExportRequest request;
    const std::optional<QString> path = commandLine.ExportFile();
    if (!path)
        return QStringLiteral("--flow, --size and --scale go with --export FILE, the file to "
                              "write (.png or .csv).");
    const std::optional<TExportFormat> format = ExportFormatOf(*path);
    if (!format)
        return QStringLiteral("--export: %1 has no known extension; give a file name ending in "
                              ".png (a PNG image) or .csv (a CSV table), in any letter case.")
            .arg(Quoted(*path));
    request.Path = *path;
    request.Format = *format;

    const std::optional<QString> flow = commandLine.Flow();
    if (!flow)
        return QStringLiteral("--export needs --flow NAME, one of: %1.").arg(AcceptedFlows());
    request.Flow = FlowConfigurationNamed(*flow);
    if (request.Flow == nullptr)
        return QStringLiteral("--flow: %1 is no flow configuration; give one of: %2 (any letter "
                              "case).")
            .arg(Quoted(*flow), AcceptedFlows());

    if (const std::optional<QString> size = commandLine.Size();
        size && !ParseChartSize(*size, request.Size))
        return QStringLiteral("--size: %1 is not a size; give WIDTHxHEIGHT in logical pixels, two "
                              "whole numbers above 0, e.g. 600x400.")
            .arg(Quoted(*size));
    if (const std::optional<QString> scale = commandLine.Scale();
        scale && !ParseScale(*scale, request.Scale))
        return QStringLiteral("--scale: %1 is not a scale; give a number above 0 and at most %2, "
                              "e.g. 2 or 1.5.")
            .arg(Quoted(*scale))
            .arg(MaxExportScale);
    if (request.Format == efPng && DevicePixelSize(request.Size, request.Scale).isEmpty())
        return QStringLiteral("--size %1x%2 at --scale %3 is beyond the largest picture: at most "
                              "%4 device pixels a side and %5 in all (%6 x %6), at least 1 x 1.")
            .arg(request.Size.width())
            .arg(request.Size.height())
            .arg(request.Scale)
            .arg(MaxExportSide)
            .arg(MaxExportPixels)
            .arg(int(std::sqrt(double(MaxExportPixels))));

    if (const QStringList words = commandLine.Ignored(); !words.isEmpty())
        return QStringLiteral("--export takes no further words: %1.")
            .arg(words.join(QLatin1Char(' ')));
    return request;
}

int RunExportCommand(const TCommandLine& commandLine) {
    const std::variant<TExportRequest, QString> parsed = ParseExportRequest(commandLine);
    if (const QString* error = std::get_if<QString>(&parsed)) {
        std::cerr << "Calvenor: " << error->toStdString()
                  << "\nTry \"calvenor --help\" for the options." << std::endl;
        return CommandLineErrorExitCode;
    }
    const TExportRequest& request = std::get<TExportRequest>(parsed);

    // The chart's scale labels use the process's number format.
    SetProcessNumberFormat();
    // Drawing needs an application object; the offscreen platform needs no display, and an X
    // server that happens to run changes nothing. The window system's options of the command
    // line are not passed on.
    std::unique_ptr<QApplication> ownApp;
    if (QApplication::instance() == nullptr) {
        static int argc = 3;
        static char name[] = "calvenor";
        static char platformOption[] = "-platform";
        static char platform[] = "offscreen";
        static char* argv[] = {name, platformOption, platform, nullptr};
        // Qt rasterises text without hinting while it scales windows (a screen ratio other than
        // 1) and with hinting otherwise: the chart is drawn as a window on a screen of the
        // export's ratio draws it, whatever scaling the environment asks for.
        qputenv("QT_SCALE_FACTOR", QByteArray::number(ChartDeviceRatio(request.Scale), 'g', 17));
        for (const char* name :
             {"QT_SCREEN_SCALE_FACTORS", "QT_ENABLE_HIGHDPI_SCALING",
              "QT_SCALE_FACTOR_ROUNDING_POLICY", "QT_USE_PHYSICAL_DPI", "QT_FONT_DPI"})
            qunsetenv(name);
        PassedOnMessages = qInstallMessageHandler(WithoutRuntimeFolderNote);
        ownApp = std::make_unique<QApplication>(argc, argv);
        qInstallMessageHandler(PassedOnMessages);
    }
    const QString error =
        WriteChartFile(request.Path, request.Format, *request.Flow, request.Size, request.Scale);
    if (!error.isEmpty()) {
        std::cerr << "Calvenor: " << error.toStdString() << std::endl;
        return ExportWriteErrorExitCode;
    }
    return 0;
}
