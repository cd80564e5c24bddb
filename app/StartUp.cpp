#include "app/StartUp.h"

#include "app/ApplicationPath.h"
#include "app/CommandLine.h"
#include "app/ExportCommand.h"
#include "app/Main.h"
#include "app/MessagePool.h"
#include "platform/Exceptions.h"
#include "platform/NumberText.h"
#include "platform/gui/FontConfigWarmUp.h"
#include "refrig/Refrig.h"

#include <QApplication>
#include <QMessageBox>
#include <QStringList>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <iostream>
#include <memory>

#ifdef CALVENOR_HAVE_XCB
#include <xcb/xcb.h>
#endif
#ifndef _WIN32
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#endif

TRefrigLib* RefrigLib = nullptr;

namespace {

TFormatSettings SavedFormatSettings;

std::string ErrorText(const std::exception_ptr& error) {
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        return e.what();
    } catch (...) {
        return "unknown error";
    }
}

// A display the message box can appear on: a windowing system, not a headless platform plugin.
bool DisplayAvailable() {
#ifdef _WIN32
    return true;
#else
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    if (platform != nullptr && *platform != '\0') {
        const std::string name(platform);
        if (name.starts_with("offscreen") || name.starts_with("minimal") ||
            name.starts_with("vnc") || name.starts_with("linuxfb") || name.starts_with("eglfs"))
            return false;
    }
    const char* x11 = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (x11 != nullptr && *x11 != '\0') || (wayland != nullptr && *wayland != '\0');
#endif
}

// Undoes the first count steps, last first. Undoing goes on past a failing step: the report
// names the error that stopped start-up.
void UndoSteps(const std::vector<TStartUpStep>& steps, size_t count) {
    for (size_t i = count; i > 0; --i) {
        try {
            if (steps[i - 1].Undo)
                steps[i - 1].Undo();
        } catch (...) {
        }
    }
}

std::string EnvironmentValue(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

#ifndef _WIN32

// The platform plugins Qt will try, first to last: the -platform option, else QT_QPA_PLATFORM
// (either may list several, separated by ";", each with ":options"), else X11, in a Wayland
// session Wayland first.
std::vector<std::string> CandidatePlatforms(const std::string& platform) {
    const std::string list = !platform.empty() ? platform : EnvironmentValue("QT_QPA_PLATFORM");
    if (list.empty()) {
        if (EnvironmentValue("XDG_SESSION_TYPE") == "wayland")
            return {"wayland", "xcb"};
        return {"xcb"};
    }
    std::vector<std::string> names;
    size_t begin = 0;
    while (begin <= list.size()) {
        const size_t end = std::min(list.find(';', begin), list.size());
        const std::string entry = list.substr(begin, end - begin);
        if (const std::string name = entry.substr(0, entry.find(':')); !name.empty())
            names.push_back(name);
        begin = end + 1;
    }
    return names;
}

std::optional<std::string> XDisplayProblem(const std::string& display,
                                           std::shared_ptr<void>& probe) {
    const std::string name = !display.empty() ? display : EnvironmentValue("DISPLAY");
    if (name.empty())
        return "no display (set DISPLAY, or QT_QPA_PLATFORM for another window system)";
#ifdef CALVENOR_HAVE_XCB
    std::shared_ptr<void> connection(xcb_connect(name.c_str(), nullptr), [](void* c) {
        xcb_disconnect(static_cast<xcb_connection_t*>(c));
    });
    if (xcb_connection_has_error(static_cast<xcb_connection_t*>(connection.get())) != 0)
        return "cannot open the X display \"" + name + "\" (no X server there, or access refused)";
    probe = std::move(connection);
#else
    (void)probe;
#endif
    return std::nullopt;
}

std::optional<std::string> WaylandDisplayProblem() {
    std::string name = EnvironmentValue("WAYLAND_DISPLAY");
    if (name.empty())
        name = "wayland-0";
    std::string path = name;
    if (name.front() != '/') {
        const std::string runtimeDir = EnvironmentValue("XDG_RUNTIME_DIR");
        if (runtimeDir.empty())
            return "no Wayland display: XDG_RUNTIME_DIR is not set";
        path = runtimeDir + "/" + name;
    }
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path)
        return "the Wayland display's socket name is too long: " + path;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const bool connected =
        fd >= 0 && ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    if (fd >= 0)
        ::close(fd);
    if (!connected)
        return "cannot connect to the Wayland display \"" + name + "\" (" + path + ")";
    return std::nullopt;
}

#endif

QStringList ProcessArguments(int argc, char** argv) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    if (arguments.isEmpty())
        arguments << QStringLiteral("calvenor");
    return arguments;
}

// Answers --help and --version and runs an export; nullopt when the window is to start.
std::optional<int> AnswerCommandLine(const TCommandLine& commandLine, int& argc, char** argv) {
    if (!commandLine.Error().isEmpty()) {
        std::cerr << "Calvenor: " << commandLine.Error().toStdString()
                  << "\nTry \"calvenor --help\" for the options." << std::endl;
        return CommandLineErrorExitCode;
    }
    if (commandLine.Help()) {
        // The usage line names the program as it was called; that takes an application object,
        // and a core one needs no display.
        std::unique_ptr<QCoreApplication> core;
        if (QCoreApplication::instance() == nullptr)
            core = std::make_unique<QCoreApplication>(argc, argv);
        std::cout << commandLine.HelpText().toStdString() << std::flush;
        return 0;
    }
    if (commandLine.Version()) {
        std::cout << TCommandLine::VersionText().toStdString() << std::endl;
        return 0;
    }
    if (ExportRequested(commandLine))
        return RunExportCommand(commandLine);
    if (const QStringList ignored = commandLine.Ignored(); !ignored.isEmpty())
        std::cerr << "Calvenor takes no arguments; ignored: "
                  << ignored.join(QLatin1Char(' ')).toStdString() << std::endl;
    return std::nullopt;
}

} // namespace

void SetProcessNumberFormat() {
    SavedFormatSettings = FormatSettings();
    FormatSettings().DecimalSeparator = '.';
    FormatSettings().ThousandSeparator = ',';
}

void RestoreProcessNumberFormat() {
    FormatSettings() = SavedFormatSettings;
}

void CreateRefrigLib() {
    // Build first, then publish: a data file that fails to load leaves RefrigLib unset.
    auto library = std::make_unique<TRefrigLib>(SharedDataFolder + RefrigDataFileName);
    delete RefrigLib;
    RefrigLib = library.release();
}

void DestroyRefrigLib() {
    delete RefrigLib;
    RefrigLib = nullptr;
}

std::vector<TStartUpStep> DefaultStartUpSteps() {
    return {
        {"setting the number format", SetProcessNumberFormat, RestoreProcessNumberFormat},
        {"registering the window message \"QV_MESSAGE_POOL\"", RegisterMessagePool, {}},
        {"resolving the installation folders", InitApplicationFolders, ClearApplicationFolders},
        {"loading the refrigerant data", CreateRefrigLib, DestroyRefrigLib},
    };
}

std::optional<std::string> RunStartUpSteps(const std::vector<TStartUpStep>& steps) {
    for (size_t done = 0; done < steps.size(); ++done) {
        try {
            if (steps[done].Run)
                steps[done].Run();
        } catch (...) {
            const std::string message =
                steps[done].Name + ": " + ErrorText(std::current_exception());
            UndoSteps(steps, done);
            return message;
        }
    }
    return std::nullopt;
}

void ReportStartUpError(const std::string& message) {
    std::cerr << "Calvenor could not start: " << message << std::endl;
    // The message box's application object reads the window system from the environment only.
    std::shared_ptr<void> probe;
    if (!DisplayAvailable() || WindowSystemProblem({}, {}, probe))
        return;
    std::unique_ptr<QApplication> ownApp;
    if (QApplication::instance() == nullptr) {
        static int argc = 1;
        static char name[] = "calvenor";
        static char* argv[] = {name, nullptr};
        ownApp = std::make_unique<QApplication>(argc, argv);
        probe.reset(); // the application has its own connection now
        // Lets the desktop match the window with the menu entry and its icon.
        QGuiApplication::setDesktopFileName(QStringLiteral("com.velmora.calvenor"));
    }
    QMessageBox::critical(
        nullptr, QStringLiteral("Calvenor"),
        QStringLiteral("Calvenor could not start.\n\n%1").arg(QString::fromStdString(message)));
}

std::optional<std::string> WindowSystemProblem(const std::string& platform,
                                               const std::string& display,
                                               std::shared_ptr<void>& probe) {
#ifdef _WIN32
    (void)platform;
    (void)display;
    (void)probe;
    return std::nullopt;
#else
    std::optional<std::string> firstProblem;
    for (const std::string& name : CandidatePlatforms(platform)) {
        std::optional<std::string> problem;
        if (name == "xcb")
            problem = XDisplayProblem(display, probe);
        else if (name.starts_with("wayland"))
            problem = WaylandDisplayProblem();
        if (!problem)
            return std::nullopt; // Qt takes the first platform that works
        if (!firstProblem)
            firstProblem = std::move(problem);
    }
    return firstProblem;
#endif
}

int RunMainWindow(TMainForm& form) {
    form.show();
    return QApplication::exec();
}

int RunProgram(int& argc, char** argv, const TProgramHooks& hooks) {
    QCoreApplication::setApplicationName(QStringLiteral("Calvenor"));
    const TCommandLine commandLine(ProcessArguments(argc, argv));
    if (const auto exitCode = AnswerCommandLine(commandLine, argc, argv))
        return *exitCode;

    // The font configuration loads alongside the start-up steps and the window-system connection,
    // and the window's font families resolve; the window's first text then finds them ready.
    TFontConfigWarmUp fontConfig(TMainForm::FontFamilies());
    if (const auto error = RunStartUpSteps(hooks.Steps)) {
        fontConfig.Wait();
        hooks.ReportError(*error);
        return 1;
    }

    std::unique_ptr<QApplication> ownApp;
    if (QApplication::instance() == nullptr) {
        std::shared_ptr<void> probe;
        if (const auto problem = WindowSystemProblem(commandLine.Platform().toStdString(),
                                                     commandLine.Display().toStdString(), probe)) {
            fontConfig.Wait();
            UndoSteps(hooks.Steps, hooks.Steps.size());
            hooks.ReportError("opening the main window: " + *problem);
            return 1;
        }
        ownApp = std::make_unique<QApplication>(argc, argv);
        probe.reset(); // the application has its own connection now
        // Lets the desktop match the window with the menu entry and its icon.
        QGuiApplication::setDesktopFileName(QStringLiteral("com.velmora.calvenor"));
        // Every control, and the windows the controls open (the list's drop-down, message
        // boxes), uses the form's font. Controls that lay out text before they take their
        // parent's font (the list's edit field) then need no second font.
        QApplication::setFont(TMainForm::DesignFont());
    }

    fontConfig.Wait();
    std::unique_ptr<TMainForm> form;
    try {
        form = std::make_unique<TMainForm>();
    } catch (...) {
        const std::string message =
            "creating the main window: " + ErrorText(std::current_exception());
        form.reset();
        UndoSteps(hooks.Steps, hooks.Steps.size());
        hooks.ReportError(message);
        return 1;
    }
    return hooks.RunWindow(*form);
}
