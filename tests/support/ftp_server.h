// A real FTP server for the tests: pyftpdlib on 127.0.0.1 at a free port, with one account whose
// home is a fresh folder, started as a child process and killed with its owner.
#pragma once

#include <arpa/inet.h>
#include <cstdint>
#include <filesystem>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <sys/types.h>
#include <unistd.h>

namespace vendrix::test {

// A socket of our own on 127.0.0.1, closed with its owner.
class TSocket {
public:
    TSocket()
        : m_fd(socket(AF_INET, SOCK_STREAM, 0))
    {
    }
    ~TSocket()
    {
        if (m_fd >= 0)
            close(m_fd);
    }
    TSocket(const TSocket&) = delete;
    TSocket& operator=(const TSocket&) = delete;

    // Binds to `port` (0: any free one) and returns the port bound, 0 on failure.
    int Bind(int port)
    {
        sockaddr_in a {};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = htons(static_cast<std::uint16_t>(port));
        socklen_t n = sizeof a;
        if (bind(m_fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0
            || getsockname(m_fd, reinterpret_cast<sockaddr*>(&a), &n) != 0)
            return 0;
        return ntohs(a.sin_port);
    }
    bool Listen() { return listen(m_fd, 4) == 0; }
    bool Connect(int port)
    {
        sockaddr_in a {};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = htons(static_cast<std::uint16_t>(port));
        return connect(m_fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    }

private:
    int m_fd;
};

/// A port on 127.0.0.1 on which nothing listens.
int FreePort();

class TFtpServer {
public:
    /// Starts the server; with `sendLimit` its downloads go that many bytes a second. Ready()
    /// tells whether it accepts connections.
    TFtpServer(const std::string& user, const std::string& password, int sendLimit = 0);
    ~TFtpServer();
    TFtpServer(const TFtpServer&) = delete;
    TFtpServer& operator=(const TFtpServer&) = delete;

    /// Ends the server at once, as a dropped line does.
    void Stop();
    bool Ready() const { return m_ready; }
    int Port() const { return m_port; }
    const std::filesystem::path& Home() const { return m_home; }
    /// Empties the home folder between tests.
    void Clear() const;

private:
    std::filesystem::path m_home;
    int m_port = 0;
    pid_t m_pid = -1;
    bool m_ready = false;
};

} // namespace vendrix::test
