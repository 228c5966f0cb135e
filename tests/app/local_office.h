// The demo office's FTP simulator (examples/office/local_office.py) run by a test on 127.0.0.1:
// it serves the office's answer from a folder of the test's and keeps what the agent sends.
#pragma once

#include <filesystem>
#include <sys/types.h>

namespace vendrix::test {

class TLocalOffice {
public:
    /// Starts the office on a free port, serving `home`/office; waits until it answers.
    explicit TLocalOffice(const std::filesystem::path& home);
    /// Stops the office (its files stay in `home`).
    ~TLocalOffice();
    TLocalOffice(const TLocalOffice&) = delete;
    TLocalOffice& operator=(const TLocalOffice&) = delete;

    bool Ready() const { return m_ready; }
    int Port() const { return m_port; }
    /// The folder the agent's settings name ("Каталог"), below the FTP root.
    static constexpr const char* kFolder = "office";
    static constexpr const char* kLogin = "agent";
    static constexpr const char* kPassword = "demo";

private:
    pid_t m_pid = -1;
    int m_port = 0;
    bool m_ready = false;
};

} // namespace vendrix::test
