#include "app/StartUp.h"

#include "app/Main.h"
#include "platform/Exceptions.h"

#include <QApplication>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

int MainFormCount() {
    int count = 0;
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (qobject_cast<TMainForm*>(widget) != nullptr)
            ++count;
    return count;
}

struct TRun {
    std::vector<std::string> Log;
    std::vector<std::string> Reports;
    bool WindowRan = false;

    TProgramHooks Hooks(std::vector<TStartUpStep> steps) {
        TProgramHooks hooks;
        hooks.Steps = std::move(steps);
        hooks.ReportError = [this](const std::string& message) { Reports.push_back(message); };
        hooks.RunWindow = [this](TMainForm& form) {
            WindowRan = true;
            Log.push_back("window " + form.windowTitle().toStdString() +
                          (form.isVisible() ? " visible" : " hidden"));
            EXPECT_EQ(MainFormCount(), 1);
            return 7;
        };
        return hooks;
    }
    TStartUpStep Step(const std::string& name) {
        return {name, [this, name] { Log.push_back("run " + name); },
                [this, name] { Log.push_back("undo " + name); }};
    }
};

int RunWith(const TProgramHooks& hooks) {
    int argc = 1;
    char name[] = "calvenor";
    char* argv[] = {name, nullptr};
    return RunProgram(argc, argv, hooks);
}

} // namespace

TEST(StartUpProgram, AFailingStepGivesANonZeroResultAndNoWindow) {
    TRun run;
    TStartUpStep broken{
        "loading the refrigerant data",
        [] { throw Exception("RuzAve8.rdf: [R22] dp: List index out of bounds (2)"); },
        {}};
    const int result = RunWith(run.Hooks({run.Step("a"), broken, run.Step("c")}));
    EXPECT_NE(result, 0);
    EXPECT_FALSE(run.WindowRan);
    EXPECT_EQ(MainFormCount(), 0);
    EXPECT_EQ(run.Log, (std::vector<std::string>{"run a", "undo a"}));
    ASSERT_EQ(run.Reports.size(), 1u);
    EXPECT_EQ(run.Reports[0],
              "loading the refrigerant data: RuzAve8.rdf: [R22] dp: List index out of bounds (2)");
}

TEST(StartUpProgram, AfterTheStepsTheMainWindowRunsAndIsGoneAfterwards) {
    TRun run;
    const int result = RunWith(run.Hooks({run.Step("a"), run.Step("b")}));
    EXPECT_EQ(result, 7); // the event loop's exit code
    EXPECT_TRUE(run.WindowRan);
    EXPECT_TRUE(run.Reports.empty());
    EXPECT_EQ(run.Log, (std::vector<std::string>{"run a", "run b", "window Calvenor hidden"}));
    EXPECT_EQ(MainFormCount(), 0);
}
