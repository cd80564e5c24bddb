#pragma once
// The program's start-up sequence, from process start to the main window's event loop:
//   1. number format: "." decimal and "," thousands separator for the whole process;
//   2. registration of the window message "QV_MESSAGE_POOL";
//   3. the installation folders (ApplicationPath);
//   4. the refrigerant library, which reads "RuzAve8.rdf" from the shared data folder;
//   5. the application object, the main window and the event loop until the window closes.
// Steps 1 to 4 need no display. When any step raises, the steps already done are undone in
// reverse order, the error is reported (standard error, and a message box when a display is
// available) and the program ends with exit code 1 without showing its window.

#include <functional>
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

// Writes the error to standard error and, when a display is available, shows it in a message box.
void ReportStartUpError(const std::string& message);

// Shows the window and runs the event loop until it closes; returns the loop's exit code.
int RunMainWindow(TMainForm& form);

struct TProgramHooks {
    std::vector<TStartUpStep> Steps = DefaultStartUpSteps();
    std::function<void(const std::string&)> ReportError = ReportStartUpError;
    std::function<int(TMainForm&)> RunWindow = RunMainWindow;
};

// The whole program: start-up steps, then (creating the application object unless one exists)
// the main window and the event loop. Returns the process exit code: 0 after a normal end, 1
// when start-up failed. The program takes no arguments: arguments left over after the window
// system has taken its own (such as -platform or -display) are ignored with a note on standard
// error.
int RunProgram(int& argc, char** argv, const TProgramHooks& hooks = {});
