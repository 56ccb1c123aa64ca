#include "apps/filter/warm_up.h"

#ifdef FC_HAVE_FONTCONFIG
#include <fontconfig/fontconfig.h>
#endif

WarmUp::WarmUp(std::function<void()> work) : m_thread(std::move(work)) {}

WarmUp::~WarmUp() {
    wait();
}

void WarmUp::wait() {
    if (m_thread.joinable())
        m_thread.join();
}

namespace warm_up {

void readFontConfiguration() {
#ifdef FC_HAVE_FONTCONFIG
    // The library makes one configuration for the process, once, from whichever thread asks first.
    FcInit();
#endif
}

} // namespace warm_up
