#include "app/CommandLine.h"

#include "relations/FlowConfigurations.h"

#ifndef CALVENOR_VERSION
#error "CALVENOR_VERSION must be defined by the build"
#endif

namespace {

struct TWindowSystemOption {
    const char* Name;
    bool TakesValue;
};

// The options Qt's application objects take from the command line (QGuiApplication, QApplication
// and the X11 platform). They are hidden from the usage text.
constexpr TWindowSystemOption WindowSystemOptions[] = {
    {"platform", true},
    {"platformpluginpath", true},
    {"platformtheme", true},
    {"plugin", true},
    {"qwindowgeometry", true},
    {"qwindowicon", true},
    {"qwindowtitle", true},
    {"session", true},
    {"display", true},
    {"geometry", true},
    {"title", true},
    {"icon", true},
    {"name", true},
    {"style", true},
    {"stylesheet", true},
    {"qmljsdebugger", true},
    {"dialogs", true},
    {"fontengine", true},
    {"reverse", false},
    {"widgetcount", false},
};

QString FlowNames() {
    QStringList names;
    for (const TFlowConfiguration& flow : FlowConfigurations())
        names << QString::fromLatin1(flow.Name);
    return names.join(QStringLiteral(", "));
}

} // namespace

TCommandLine::TCommandLine(const QStringList& arguments)
    : FHelp(QStringList{QStringLiteral("h"), QStringLiteral("help"), QStringLiteral("?")},
            QStringLiteral("Shows this help and ends.")),
      FVersion(QStringList{QStringLiteral("v"), QStringLiteral("version")},
               QStringLiteral("Shows the program's version and ends.")),
      FExportFile(QStringLiteral("export"),
                  QStringLiteral("Writes the chart to FILE and ends, without a display: a PNG "
                                 "image or a CSV table of the curve points (configuration, Cr, "
                                 "Ntu, e), by the extension .png or .csv (any letter case). "
                                 "Needs --flow."),
                  QStringLiteral("FILE")),
      FFlow(QStringLiteral("flow"),
            QStringLiteral("The flow configuration to export, in any letter case: ") + FlowNames() +
                QLatin1Char('.'),
            QStringLiteral("NAME")),
      FSize(QStringLiteral("size"),
            QStringLiteral("The PNG's size in logical pixels, WIDTHxHEIGHT, both above 0 "
                           "(default 365x251, the window's chart)."),
            QStringLiteral("WxH")),
      FScale(QStringLiteral("scale"),
             QStringLiteral("Device pixels per logical pixel of the PNG, above 0 and at most 8, "
                            "fractions allowed (default 1): each side is the size times S, "
                            "rounded down. The chart is drawn at that resolution (below 0.25 at "
                            "0.25 and reduced); at most 16384 pixels a side and 8192 x 8192 in "
                            "all."),
             QStringLiteral("S")) {
    // Qt's own options are words after a single dash ("-platform offscreen").
    FParser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    FParser.setApplicationDescription(
        QStringLiteral("Draws the heat-exchanger effectiveness-NTU chart of nine flow "
                       "configurations: counter, cross and parallel flow, exact and mixed cross "
                       "flow, and shell and tube with one to three shell passes.\nThe window "
                       "system's own options, such as -display or "
                       "-platform, are passed on to it.\n\nWithout a display:\n  calvenor "
                       "--export FILE --flow NAME [--size WxH] [--scale S]"));
    FParser.addOption(FHelp);
    FParser.addOption(FVersion);
    for (const QCommandLineOption* option : {&FExportFile, &FFlow, &FSize, &FScale})
        FParser.addOption(*option);
    for (const TWindowSystemOption& option : WindowSystemOptions) {
        QCommandLineOption qtOption(QString::fromLatin1(option.Name));
        if (option.TakesValue)
            qtOption.setValueName(QStringLiteral("value"));
        qtOption.setFlags(QCommandLineOption::HiddenFromHelp);
        FParser.addOption(qtOption);
    }
    if (!FParser.parse(arguments)) {
        FError = FParser.errorText();
        // "Missing value after '--flow'.": say what the option takes.
        for (const QCommandLineOption* option : {&FExportFile, &FFlow, &FSize, &FScale}) {
            const QString name = option->names().constFirst();
            if (FError.contains(QStringLiteral("'--") + name + QLatin1Char('\'')) ||
                FError.contains(QStringLiteral("'-") + name + QLatin1Char('\'')))
                FError += QStringLiteral("\n--%1 %2: %3")
                              .arg(name, option->valueName(), option->description());
        }
    }
}

bool TCommandLine::Help() const {
    return FError.isEmpty() && FParser.isSet(FHelp);
}

bool TCommandLine::Version() const {
    return FError.isEmpty() && FParser.isSet(FVersion);
}

QStringList TCommandLine::Ignored() const {
    return FParser.positionalArguments();
}

QString TCommandLine::Platform() const {
    return FParser.value(QStringLiteral("platform"));
}

QString TCommandLine::Display() const {
    return FParser.value(QStringLiteral("display"));
}

std::optional<QString> TCommandLine::Value(const QCommandLineOption& option) const {
    if (!FError.isEmpty() || !FParser.isSet(option))
        return std::nullopt;
    return FParser.value(option);
}

std::optional<QString> TCommandLine::ExportFile() const {
    return Value(FExportFile);
}

std::optional<QString> TCommandLine::Flow() const {
    return Value(FFlow);
}

std::optional<QString> TCommandLine::Size() const {
    return Value(FSize);
}

std::optional<QString> TCommandLine::Scale() const {
    return Value(FScale);
}

QString TCommandLine::HelpText() const {
    return FParser.helpText();
}

QString TCommandLine::VersionText() {
    return QStringLiteral("Calvenor ") + QStringLiteral(CALVENOR_VERSION);
}
