#pragma once
// TFontConfigWarmUp: loads the system's font configuration on a background thread while the
// program does other start-up work (connecting to the window system, reading its data file), and
// resolves the font families the first window will ask for (see FontFamilies.h). The first text a
// window measures otherwise pays for both on the main thread: on Linux, reading and parsing the
// fontconfig files takes several milliseconds, and each family that is not installed a sorted
// search through every font. Where there is no fontconfig, or no thread can be started, it does
// nothing; the configuration then loads, and the families resolve, on first use as before.

#include "platform/gui/FontFamilies.h"

#include <thread>
#include <vector>

class TFontConfigWarmUp {
public:
    explicit TFontConfigWarmUp(std::vector<TFontFamilyRequest> families = {});
    // Waits for the loading to finish.
    ~TFontConfigWarmUp();
    TFontConfigWarmUp(const TFontConfigWarmUp&) = delete;
    TFontConfigWarmUp& operator=(const TFontConfigWarmUp&) = delete;

    // Waits for the loading to finish; later calls return at once. Call it before the first text
    // is measured, so the main thread does not load the configuration a second time alongside.
    void Wait();

private:
    std::thread FThread;
};
