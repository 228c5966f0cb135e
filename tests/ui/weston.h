// A Wayland compositor for the window tests: Debian's Weston on its headless backend with the
// desktop shell (its panel along the top), one output of the size the test asks for, in a
// private runtime folder (0700) and under a socket name of its own, so that it never meets
// the agent's own session. Started as a child process in a process group of its own and
// ended with its owner. Weston and Qt's Wayland platform are optional on a developer's
// machine: SkipReason() says when either is missing.
#pragma once

#include "support/test_support.h"

#include <filesystem>
#include <string>
#include <sys/types.h>

namespace vendrix::test {

class TWeston {
public:
    /// Starts Weston with one `width` x `height` output and waits until it takes clients.
    TWeston(int width, int height);
    ~TWeston();
    TWeston(const TWeston&) = delete;
    TWeston& operator=(const TWeston&) = delete;

    /// Weston or Qt's Wayland platform is not installed; empty when Weston should have started.
    const std::string& SkipReason() const { return m_skipReason; }
    /// Weston takes clients.
    bool Ready() const { return m_ready; }
    /// The socket name for WAYLAND_DISPLAY; its folder is RuntimeFolder().
    const std::string& Display() const { return m_display; }
    /// The folder for XDG_RUNTIME_DIR of Weston's clients.
    const std::filesystem::path& RuntimeFolder() const { return m_runtime.Path(); }
    /// What Weston wrote, for a failing test to show.
    std::string Log() const;

private:
    TTemporaryFolder m_runtime {"vendrix-weston"};
    std::string m_display;
    std::string m_skipReason;
    pid_t m_pid = -1;
    bool m_ready = false;
};

} // namespace vendrix::test
