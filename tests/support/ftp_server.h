// Real FTP servers for the tests, on 127.0.0.1 at a free port, each with one account whose home
// is a fresh folder, started as a child process and killed with its owner: pyftpdlib (throttled
// or with fewer rights when asked), a Python script of the test's own, or vsftpd.
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

/// How a pyftpdlib server departs from a plain one.
struct TFtpServerOptions {
    int sendLimit = 0; // bytes a second its downloads go; 0: as fast as it can
    int receiveLimit = 0; // bytes a second it takes uploads at; 0: as fast as it can
    std::string perm = "elradfmwMT"; // the account's rights, in pyftpdlib's letters
};

class TFtpServer {
public:
    /// Starts pyftpdlib with the account `user`. Ready() tells whether it accepts connections.
    TFtpServer(const std::string& user, const std::string& password,
        const TFtpServerOptions& options = {});
    /// Starts the Python `script`, which is given the arguments port, home folder, user,
    /// password and `extra`, and must listen on 127.0.0.1 at that port.
    TFtpServer(const char* script, const std::string& user, const std::string& password,
        const std::string& extra);
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
    void Start(const char* const* argv);

    std::filesystem::path m_home;
    int m_port = 0;
    pid_t m_pid = -1;
    bool m_ready = false;
};

/// TLS for a vsftpd server: its certificate (chain) and key as PEM files, and whether it speaks
/// TLS from the first byte (implicit) or after AUTH TLS (explicit). No certificate: plain FTP.
struct TVsftpdTls {
    std::filesystem::path certificate;
    std::filesystem::path key;
    bool implicit = false;
};

/// vsftpd in the foreground with a configuration of its own, for anonymous logins ("ftp", any
/// password) into a home whose folder "in" the account may write, upload, rename and delete in.
/// With TLS it refuses logins and data connections in the clear, and asks for the password.
/// vsftpd wants root for that; SkipReason() says when this machine cannot run it at all.
class TVsftpd {
public:
    /// `rate`: bytes a second each transfer goes at; 0: as fast as it can.
    explicit TVsftpd(int rate = 0, const TVsftpdTls& tls = {});
    ~TVsftpd();
    TVsftpd(const TVsftpd&) = delete;
    TVsftpd& operator=(const TVsftpd&) = delete;

    bool Ready() const { return m_ready; }
    /// Not root, or vsftpd not installed; empty when it should have started.
    const std::string& SkipReason() const { return m_skipReason; }
    int Port() const { return m_port; }
    /// The writable folder of the account.
    std::filesystem::path In() const { return m_root / "home" / "in"; }

private:
    std::filesystem::path m_root;
    int m_port = 0;
    pid_t m_pid = -1;
    bool m_ready = false;
    std::string m_skipReason;
};

} // namespace vendrix::test
