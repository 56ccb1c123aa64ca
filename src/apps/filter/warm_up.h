#pragma once

// Work the start would otherwise do on the window's thread, done beforehand on a thread of its own
// while that thread waits for the display server: what Qt reads once per process, the first time
// it is asked.

#include <functional>
#include <thread>

class WarmUp {
public:
    explicit WarmUp(std::function<void()> work);
    WarmUp(const WarmUp&) = delete;
    WarmUp& operator=(const WarmUp&) = delete;
    ~WarmUp();

    // Waits for the work: Qt then finds it done instead of doing it a second time.
    void wait();

private:
    std::thread m_thread;
};

namespace warm_up {

// The system's font configuration, which the window's first label reads where Qt takes its fonts
// from fontconfig (about 8 ms); nothing elsewhere. Safe before the application object exists.
void readFontConfiguration();

} // namespace warm_up
