#include "platform/gui/FontConfigWarmUp.h"

#include <system_error>

#ifdef CALVENOR_HAVE_FONTCONFIG
#include <fontconfig/fontconfig.h>
#endif

TFontConfigWarmUp::TFontConfigWarmUp() {
#ifdef CALVENOR_HAVE_FONTCONFIG
    try {
        // FcInit builds the process-wide configuration once; a later call, also Qt's own, finds
        // it ready. A failure here leaves the configuration unset, so the first use tries again.
        FThread = std::thread([] { FcInit(); });
    } catch (const std::system_error&) {
        // No thread available: the configuration loads on first use.
    }
#endif
}

TFontConfigWarmUp::~TFontConfigWarmUp() {
    Wait();
}

void TFontConfigWarmUp::Wait() {
    if (FThread.joinable())
        FThread.join();
}
