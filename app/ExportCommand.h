#pragma once
// The command line's export:
//     calvenor --export FILE --flow NAME [--size WxH] [--scale S]
// writes the chart of one flow configuration to a PNG image or a CSV table and ends. It needs no
// display: the application object runs on Qt's offscreen platform whatever the environment names,
// and the display check of the window's start-up does not run.
//
// Exit codes: 0 written; 2 a usage error (the message names the option and what it takes; no file
// is touched); 1 the file could not be written (an existing file stays as it was).

#include "app/ChartExport.h"

#include <QSize>
#include <QString>
#include <variant>

class TCommandLine;
struct TFlowConfiguration;

// Exit code of an export whose file could not be written.
inline constexpr int ExportWriteErrorExitCode = 1;

struct TExportRequest {
    QString Path;
    TExportFormat Format = efPng;
    const TFlowConfiguration* Flow = nullptr;
    QSize Size = DesignChartSize; // logical pixels
    double Scale = 1;             // device pixels per logical pixel
};

// True when the command line names any of the export's options.
bool ExportRequested(const TCommandLine& commandLine);

// "WIDTHxHEIGHT" ("x" or "X"), two whole numbers in decimal, each at least 1 and within int.
bool ParseChartSize(const QString& text, QSize& size);
// A decimal number with "." as the point (an exponent allowed), finite, in (0, MaxExportScale].
bool ParseScale(const QString& text, double& scale);
// The configuration of the list whose text is name, letter case ignored as the list ignores it
// for typed text; nullptr for none.
const TFlowConfiguration* FlowConfigurationNamed(const QString& name);

// The export the command line asks for, or the usage error to show.
std::variant<TExportRequest, QString> ParseExportRequest(const TCommandLine& commandLine);

// Checks and runs the export; messages go to standard error. Returns the exit code.
int RunExportCommand(const TCommandLine& commandLine);
