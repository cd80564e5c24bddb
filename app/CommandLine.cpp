#include "app/CommandLine.h"

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

} // namespace

TCommandLine::TCommandLine(const QStringList& arguments)
    : FHelp(QStringList{QStringLiteral("h"), QStringLiteral("help"), QStringLiteral("?")},
            QStringLiteral("Shows this help and ends.")),
      FVersion(QStringList{QStringLiteral("v"), QStringLiteral("version")},
               QStringLiteral("Shows the program's version and ends.")) {
    // Qt's own options are words after a single dash ("-platform offscreen").
    FParser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    FParser.setApplicationDescription(
        QStringLiteral("Draws the heat-exchanger effectiveness-NTU chart for counter, cross and "
                       "parallel flow.\nThe window system's own options, such as -display or "
                       "-platform, are passed on to it."));
    FParser.addOption(FHelp);
    FParser.addOption(FVersion);
    for (const TWindowSystemOption& option : WindowSystemOptions) {
        QCommandLineOption qtOption(QString::fromLatin1(option.Name));
        if (option.TakesValue)
            qtOption.setValueName(QStringLiteral("value"));
        qtOption.setFlags(QCommandLineOption::HiddenFromHelp);
        FParser.addOption(qtOption);
    }
    if (!FParser.parse(arguments))
        FError = FParser.errorText();
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

QString TCommandLine::HelpText() const {
    return FParser.helpText();
}

QString TCommandLine::VersionText() {
    return QStringLiteral("Calvenor ") + QStringLiteral(CALVENOR_VERSION);
}
