// What the logger takes from its surroundings - the local clock and the
// directory that holds "log4me.ini", the log directory and "log4me_err.log" -
// and the one way a test puts its own surroundings in their place.
#pragma once
#include <string>

#include "log/log4me_format.h"

namespace log4me {

class Environment {
public:
    virtual ~Environment() = default;
    // Local wall-clock time. Called with the logger's settings lock held:
    // it must not log.
    virtual Stamp Now() = 0;
    // With or without the trailing separator.
    virtual std::wstring BaseDir() = 0;
};

// The executable's directory and the platform's local clock.
Environment& PlatformEnvironment();

// Puts `environment` in place for its lifetime and the one it replaced back
// afterwards. On both sides the logger starts afresh, as in a process that
// has not yet loaded its settings: the file closed, the settings and switches
// forgotten (Log4meStartup loads them).
class ScopedEnvironment {
public:
    explicit ScopedEnvironment(Environment& environment);
    ~ScopedEnvironment();
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

    // Starts afresh once more in the same surroundings; the file is closed,
    // so a test can read back what was written.
    void Reset();

private:
    Environment* previous_;
};

} // namespace log4me
