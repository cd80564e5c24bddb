#include "platform/gui/FontConfigWarmUp.h"

#include <system_error>

TFontConfigWarmUp::TFontConfigWarmUp([[maybe_unused]] std::vector<TFontFamilyRequest> families) {
#ifdef CALVENOR_HAVE_FONTCONFIG
    try {
        FThread = std::thread([families = std::move(families)] {
            try {
                ResolveFontFamilies(families);
            } catch (...) {
                // Out of memory: what is left resolves on first use.
            }
        });
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
