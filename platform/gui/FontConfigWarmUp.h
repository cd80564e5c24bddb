#pragma once
// TFontConfigWarmUp: loads the system's font configuration on a background thread while the
// program does other start-up work (connecting to the window system, reading its data file).
// The first text a window measures otherwise pays for it on the main thread: on Linux, reading
// and parsing the fontconfig files takes several milliseconds. Where there is no fontconfig, or
// no thread can be started, it does nothing; the configuration is then loaded on first use as
// before.

#include <thread>

class TFontConfigWarmUp {
public:
    TFontConfigWarmUp();
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
