// The demo office's FTP simulator (examples/office/local_office.py) run by a test on 127.0.0.1:
// it serves the office's answer from a folder of the test's and keeps what the agent sends.
#pragma once

#include "support/ftp_server.h"

#include <filesystem>

namespace vendrix::test {

class TLocalOffice {
public:
    /// Starts the office serving `home`/office; waits until it says it runs.
    explicit TLocalOffice(const std::filesystem::path& home);
    /// Stops the office (its files stay in `home`).
    ~TLocalOffice();
    TLocalOffice(const TLocalOffice&) = delete;
    TLocalOffice& operator=(const TLocalOffice&) = delete;

    bool Ready() const { return m_server.Running(); }
    int Port() const { return m_server.Port(); }
    /// The folder the agent's settings name ("Каталог"), below the FTP root.
    static constexpr const char* kFolder = "office";
    static constexpr const char* kLogin = "agent";
    static constexpr const char* kPassword = "demo";

private:
    TServerProcess m_server;
};

} // namespace vendrix::test
