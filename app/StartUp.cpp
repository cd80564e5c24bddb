#include "app/StartUp.h"

#include "app/ApplicationPath.h"
#include "app/Main.h"
#include "app/MessagePool.h"
#include "platform/Exceptions.h"
#include "platform/NumberText.h"
#include "platform/gui/FontConfigWarmUp.h"
#include "refrig/Refrig.h"

#include <QApplication>
#include <QMessageBox>
#include <QStringList>
#include <cstdlib>
#include <exception>
#include <iostream>
#include <memory>
#include <string_view>

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

// Whether the application object can reach a window system at all; without one Qt would end the
// process on its own, without a word about what went wrong in our terms.
bool WindowSystemConfigured(int argc, char** argv) {
#ifdef _WIN32
    (void)argc;
    (void)argv;
    return true;
#else
    for (int i = 1; i < argc; ++i)
        if (std::string_view(argv[i]) == "-platform")
            return true;
    for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && *value != '\0')
            return true;
    }
    return false;
#endif
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
    if (!DisplayAvailable())
        return;
    std::unique_ptr<QApplication> ownApp;
    if (QApplication::instance() == nullptr) {
        static int argc = 1;
        static char name[] = "calvenor";
        static char* argv[] = {name, nullptr};
        ownApp = std::make_unique<QApplication>(argc, argv);
    }
    QMessageBox::critical(
        nullptr, QStringLiteral("Calvenor"),
        QStringLiteral("Calvenor could not start.\n\n%1").arg(QString::fromStdString(message)));
}

int RunMainWindow(TMainForm& form) {
    form.show();
    return QApplication::exec();
}

int RunProgram(int& argc, char** argv, const TProgramHooks& hooks) {
    // The font configuration loads alongside the start-up steps and the window-system connection;
    // the window's first text then finds it ready.
    TFontConfigWarmUp fontConfig;
    QCoreApplication::setApplicationName(QStringLiteral("Calvenor"));
    if (const auto error = RunStartUpSteps(hooks.Steps)) {
        fontConfig.Wait();
        hooks.ReportError(*error);
        return 1;
    }

    std::unique_ptr<QApplication> ownApp;
    if (QApplication::instance() == nullptr) {
        if (!WindowSystemConfigured(argc, argv)) {
            fontConfig.Wait();
            UndoSteps(hooks.Steps, hooks.Steps.size());
            hooks.ReportError("opening the main window: no display (set DISPLAY, WAYLAND_DISPLAY "
                              "or QT_QPA_PLATFORM)");
            return 1;
        }
        ownApp = std::make_unique<QApplication>(argc, argv);
        // QApplication has taken the window system's own options out of argv; the rest is unused.
        const QStringList extra = QApplication::arguments().mid(1);
        if (!extra.isEmpty())
            std::cerr << "Calvenor takes no arguments; ignored: "
                      << extra.join(QLatin1Char(' ')).toStdString() << std::endl;
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
