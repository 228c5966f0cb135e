// The test FTP server.
#include "support/ftp_server.h"

#include <arpa/inet.h>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace vendrix::test {

namespace fs = std::filesystem;

int FreePort()
{
    TSocket s;
    return s.Bind(0);
}

// pyftpdlib's own server with its sending throttled to `limit` bytes a second, for a transfer
// that must still be running when the test cuts the line.
const char* const kThrottledServer = R"(
import sys
from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler, ThrottledDTPHandler
from pyftpdlib.servers import FTPServer
port, home, user, password, limit = sys.argv[1:]
authorizer = DummyAuthorizer()
authorizer.add_user(user, password, home, perm="elradfmwMT")
ThrottledDTPHandler.write_limit = int(limit)
FTPHandler.authorizer = authorizer
FTPHandler.dtp_handler = ThrottledDTPHandler
FTPServer(("127.0.0.1", int(port)), FTPHandler).serve_forever()
)";

TFtpServer::TFtpServer(const std::string& user, const std::string& password, int sendLimit)
{
    std::string pattern = (fs::temp_directory_path() / "vendrix-ftp-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        return;
    m_home = pattern;
    m_port = FreePort();
    const std::string port = std::to_string(m_port);
    const std::string limit = std::to_string(sendLimit);
    m_pid = fork();
    if (m_pid == 0) {
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        dup2(null, 2);
        if (sendLimit > 0)
            execl("/usr/bin/python3", "python3", "-c", kThrottledServer, port.c_str(),
                m_home.c_str(), user.c_str(), password.c_str(), limit.c_str(),
                static_cast<char*>(nullptr));
        else
            execl("/usr/bin/python3", "python3", "-m", "pyftpdlib", "-i", "127.0.0.1", "-p",
                port.c_str(), "-w", "-d", m_home.c_str(), "-u", user.c_str(), "-P",
                password.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    for (int i = 0; i < 200 && m_pid > 0; ++i) {
        TSocket probe;
        if (probe.Connect(m_port)) {
            m_ready = true;
            break;
        }
        if (waitpid(m_pid, nullptr, WNOHANG) == m_pid) {
            m_pid = -1;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}
TFtpServer::~TFtpServer()
{
    Stop();
    std::error_code ec;
    if (!m_home.empty())
        fs::remove_all(m_home, ec);
}
void TFtpServer::Stop()
{
    if (m_pid > 0) {
        kill(m_pid, SIGKILL);
        waitpid(m_pid, nullptr, 0);
        m_pid = -1;
    }
}
void TFtpServer::Clear() const
{
    for (const auto& entry : fs::directory_iterator(m_home))
        fs::remove_all(entry.path());
}

} // namespace vendrix::test
