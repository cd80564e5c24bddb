#pragma once
// The program's start-up sequence, from process start to the main window's event loop:
//   0. the command line: --help and --version answer and end, an export (--export, see
//      ExportCommand.h) writes its file and ends, a refused command line ends with exit code 2;
//      nothing of this needs a display;
//   1. number format: "." decimal and "," thousands separator for the whole process;
//   2. registration of the window message "QV_MESSAGE_POOL";
//   3. the installation folders (ApplicationPath);
//   4. the refrigerant library, which reads "RuzAve8.rdf" from the shared data folder;
//   5. a check that the window system can be reached, then the application object, the main
//      window and the event loop until the window closes.
// Steps 1 to 4 need no display. When any step raises, the steps already done are undone in
// reverse order, the error is reported (standard error, and a message box when a display is
// available) and the program ends with exit code 1 without showing its window.

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class TMainForm;
class TRefrigLib;

// Name of the refrigerant data file in the shared data folder.
inline constexpr const char* RefrigDataFileName = "RuzAve8.rdf";

// The process-wide refrigerant library; created once at start-up and kept until the process ends
// (null before that, and after a failed start-up).
extern TRefrigLib* RefrigLib;

struct TStartUpStep {
    std::string Name;           // what the step does, for the error report ("reading ...")
    std::function<void()> Run;  // raises on failure
    std::function<void()> Undo; // may be empty
};

// The steps 1 to 4 above.
void SetProcessNumberFormat();
void RestoreProcessNumberFormat();
void CreateRefrigLib();
void DestroyRefrigLib();
std::vector<TStartUpStep> DefaultStartUpSteps();

// Runs the steps in order. When one raises, undoes the steps already done in reverse order and
// returns the error text "<step name>: <message>"; nullopt when every step succeeded.
std::optional<std::string> RunStartUpSteps(const std::vector<TStartUpStep>& steps);

// Writes the error to standard error and, when a display is available and reachable, shows it in a
// message box.
void ReportStartUpError(const std::string& message);

// Why the window system the application object would use cannot be reached; nullopt when it can,
// or when the platform needs no connection (offscreen, minimal, vnc, ...). Without a reachable
// display Qt ends the process with an abort, so this runs before the application object exists.
// platform and display are the values of the -platform and -display options (empty when not
// given); the environment (QT_QPA_PLATFORM, DISPLAY, WAYLAND_DISPLAY, XDG_RUNTIME_DIR,
// XDG_SESSION_TYPE) supplies the rest, as it does for Qt. An X display counts as reachable when a
// connection to it opens; a Wayland display when its socket accepts a connection.
//
// The X connection that proved the display reachable goes to probe, which the caller keeps until
// the application object has connected: an X server that resets when its last client leaves
// (xvfb-run's default) would otherwise reset in between and refuse the application.
std::optional<std::string> WindowSystemProblem(const std::string& platform,
                                               const std::string& display,
                                               std::shared_ptr<void>& probe);

// Shows the window and runs the event loop until it closes; returns the loop's exit code.
int RunMainWindow(TMainForm& form);

struct TProgramHooks {
    std::vector<TStartUpStep> Steps = DefaultStartUpSteps();
    std::function<void(const std::string&)> ReportError = ReportStartUpError;
    std::function<int(TMainForm&)> RunWindow = RunMainWindow;
};

// The whole program: the command line, the start-up steps, then (creating the application
// object unless one exists) the main window and the event loop. Returns the process exit code: 0
// after a normal end, after --help or --version and after an export, 1 when start-up failed (also
// for a display that cannot be reached) or an export's file could not be written, 2 for a refused
// command line (an export's usage errors included). Plain words on the command line are not
// used and are ignored with a note on standard error; the window system's own options (such as
// -platform or -display) go to the application object.
int RunProgram(int& argc, char** argv, const TProgramHooks& hooks = {});
