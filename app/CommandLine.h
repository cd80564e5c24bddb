#pragma once
// The program's command line, read before the application object exists, so that --help and
// --version work without a display and a refused command line ends the program before it
// connects to one.
//
// Options of the window system (-platform, -display, -style, -geometry, ...) are accepted and
// left in place: the application object takes them from the process's arguments itself. Words
// that are not options are not used; the program notes and ignores them.
//
// To add an option: declare it in the TCommandLine constructor and give the class a field or
// accessor for its value.
//
// --export FILE --flow NAME [--size WxH] [--scale S] writes the chart to a file instead of
// opening the window (ExportCommand.h checks and runs it).

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QString>
#include <QStringList>
#include <optional>

// Exit code of a command line the program refuses.
inline constexpr int CommandLineErrorExitCode = 2;

class TCommandLine {
public:
    // Parses arguments; the first is the program's own name.
    explicit TCommandLine(const QStringList& arguments);
    TCommandLine(const TCommandLine&) = delete;
    TCommandLine& operator=(const TCommandLine&) = delete;

    // Empty when the command line was accepted; otherwise why not (an unknown option, an option
    // without its value).
    QString Error() const { return FError; }
    bool Help() const;
    bool Version() const;
    // Plain words, which the program does not use.
    QStringList Ignored() const;
    // The values of the window system's -platform and -display options (empty when not given).
    QString Platform() const;
    QString Display() const;
    // The export's options, nullopt when not given (the last value when given more than once).
    std::optional<QString> ExportFile() const;
    std::optional<QString> Flow() const;
    std::optional<QString> Size() const;
    std::optional<QString> Scale() const;

    // The usage text of --help. It names the program by the application object's first argument;
    // without an application object it reads "<executable_name>".
    QString HelpText() const;
    // "Calvenor <version>".
    static QString VersionText();

private:
    std::optional<QString> Value(const QCommandLineOption& option) const;

    QCommandLineParser FParser;
    QCommandLineOption FHelp;
    QCommandLineOption FVersion;
    QCommandLineOption FExportFile;
    QCommandLineOption FFlow;
    QCommandLineOption FSize;
    QCommandLineOption FScale;
    QString FError;
};
