// Real servers for the tests on 127.0.0.1, each started as a child process that binds a port of
// its own choosing and tells it once it takes connections, and ended with its owner: pyftpdlib
// (throttled or with fewer rights when asked) with one account whose home is a fresh folder, a
// Python script of the test's own, or vsftpd. Also the sockets a test needs to play a dead or a
// silent server.
#pragma once

#include "support/test_support.h"

#include <arpa/inet.h>
#include <csignal>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <sys/types.h>
#include <unistd.h>
#include <vector>

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

private:
    int m_fd;
};

/// A port on 127.0.0.1 where nothing listens, held for the object's life: bound and never
/// listened on, it refuses every connection and no server can take it meanwhile.
class TClosedPort {
public:
    TClosedPort()
        : m_port(m_socket.Bind(0))
    {
    }
    int Port() const { return m_port; }

private:
    TSocket m_socket;
    int m_port;
};

/// A server run as a child process in a process group of its own. It binds its port itself
/// and tells it on its standard output once it takes connections; nobody knocks on the port
/// to find out. Ended, with everything it started, when the object goes.
class TServerProcess {
public:
    /// Reads the port from one line the server printed; 0 when the line does not tell it.
    using TPortLine = std::function<int(const std::string& line)>;

    TServerProcess() = default;
    ~TServerProcess() { Stop(); }
    TServerProcess(const TServerProcess&) = delete;
    TServerProcess& operator=(const TServerProcess&) = delete;

    /// Starts the program `argv`[0] with `argv` and waits until it prints the line that tells
    /// its port (by default a line holding the number alone). False, with the server ended,
    /// when it exits first or has not told within a minute.
    bool Start(const std::vector<std::string>& argv, const TPortLine& portLine = {});
    /// Ends the server and what it started with `signal` and waits for it; nothing when it
    /// does not run. Port() still tells where it was.
    void Stop(int signal = SIGKILL);
    bool Running() const { return m_pid > 0; }
    int Port() const { return m_port; }

private:
    pid_t m_pid = -1;
    int m_port = 0;
    int m_output = -1; // the server's standard output, kept open so its later lines find a reader
};

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
    /// Starts the Python `script`, which is given the arguments home folder, user, password
    /// and `extra`, and must listen on 127.0.0.1 at a port of its choosing and then print that
    /// port alone on a line of its standard output.
    TFtpServer(const char* script, const std::string& user, const std::string& password,
        const std::string& extra);
    TFtpServer(const TFtpServer&) = delete;
    TFtpServer& operator=(const TFtpServer&) = delete;

    /// Ends the server at once, as a dropped line does.
    void Stop() { m_server.Stop(); }
    bool Ready() const { return m_ready; }
    int Port() const { return m_server.Port(); }
    const std::filesystem::path& Home() const { return m_home.Path(); }
    /// Empties the home folder between tests.
    void Clear() const;

private:
    TTemporaryFolder m_home {"vendrix-ftp"};
    TServerProcess m_server; // after the home: it ends before the home goes
    bool m_ready = false;
};

/// TLS for a vsftpd server: its certificate (chain) and key as PEM files, and whether it speaks
/// TLS from the first byte (implicit) or after AUTH TLS (explicit). No certificate: plain FTP.
struct TVsftpdTls {
    std::filesystem::path certificate;
    std::filesystem::path key;
    bool implicit = false;
};

/// vsftpd with a configuration of its own, for anonymous logins ("ftp", any password) into a
/// home whose folder "in" the account may write, upload, rename and delete in. With TLS it
/// refuses logins and data connections in the clear, and asks for the password. vsftpd wants
/// root for that; SkipReason() says when this machine cannot run it at all.
class TVsftpd {
public:
    /// `rate`: bytes a second each transfer goes at; 0: as fast as it can.
    explicit TVsftpd(int rate = 0, const TVsftpdTls& tls = {});
    TVsftpd(const TVsftpd&) = delete;
    TVsftpd& operator=(const TVsftpd&) = delete;

    bool Ready() const { return m_ready; }
    /// Not root, or vsftpd not installed; empty when it should have started.
    const std::string& SkipReason() const { return m_skipReason; }
    int Port() const { return m_server.Port(); }
    /// The writable folder of the account.
    std::filesystem::path In() const { return m_root.Path() / "home" / "in"; }

private:
    TTemporaryFolder m_root {"vendrix-vsftpd"};
    TServerProcess m_server; // after the root: it ends before the root goes
    bool m_ready = false;
    std::string m_skipReason;
};

} // namespace vendrix::test
