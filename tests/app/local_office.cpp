#include "app/local_office.h"

#include "support/ftp_server.h"

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace vendrix::test {

TLocalOffice::TLocalOffice(const std::filesystem::path& home)
{
    m_port = FreePort();
    const std::string script = std::string(VENDRIX_OFFICE) + "/local_office.py";
    const std::string port = std::to_string(m_port);
    const std::string folder = home.string();
    m_pid = fork();
    if (m_pid == 0) {
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        dup2(null, 2);
        execl("/usr/bin/python3", "python3", script.c_str(), "--port", port.c_str(), "--home",
            folder.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    for (int i = 0; i < 200 && m_pid > 0 && !m_ready; ++i) {
        TSocket probe;
        m_ready = probe.Connect(m_port);
        if (!m_ready)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

TLocalOffice::~TLocalOffice()
{
    if (m_pid > 0) {
        kill(m_pid, SIGINT);
        waitpid(m_pid, nullptr, 0);
    }
}

} // namespace vendrix::test
