// The test servers: the one way a test starts a server and learns that it is ready, pyftpdlib
// with an account, and vsftpd behind a small listener of ours.
#include "support/ftp_server.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <pwd.h>
#include <sys/prctl.h>
#include <sys/wait.h>

namespace vendrix::test {

namespace fs = std::filesystem;

namespace {

// pyftpdlib's own server with its transfers throttled to `send` and `receive` bytes a second
// (0: not at all) and the account given the rights `perm`. It binds a port the system picks
// and prints it once it listens.
const char* const kPyftpdlibServer = R"(
import sys
from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler, ThrottledDTPHandler
from pyftpdlib.servers import FTPServer
home, user, password, send, receive, perm = sys.argv[1:]
authorizer = DummyAuthorizer()
authorizer.add_user(user, password, home, perm=perm)
ThrottledDTPHandler.write_limit = int(send)
ThrottledDTPHandler.read_limit = int(receive)
FTPHandler.authorizer = authorizer
FTPHandler.dtp_handler = ThrottledDTPHandler
server = FTPServer(("127.0.0.1", 0), FTPHandler)
print(server.address[1], flush=True)
server.serve_forever()
)";

// vsftpd cannot tell the port it bound, so it runs as inetd would run it: this listener binds a
// port the system picks, prints it, and hands every connection to a vsftpd of its own.
const char* const kVsftpdListener = R"(
import socket, subprocess, sys
binary, config = sys.argv[1:]
listener = socket.socket()
listener.bind(("127.0.0.1", 0))
listener.listen(16)
print(listener.getsockname()[1], flush=True)
while True:
    connection, _ = listener.accept()
    subprocess.Popen([binary, config], stdin=connection, stdout=connection,
                     stderr=subprocess.DEVNULL)
    connection.close()
)";

// The port a line holding a number alone tells; 0 for any other line.
int PortAlone(const std::string& line)
{
    char* end = nullptr;
    const long port = std::strtol(line.c_str(), &end, 10);
    return end != line.c_str() && *end == '\0' && port > 0 && port < 65536 ? static_cast<int>(port)
                                                                           : 0;
}

} // namespace

bool TServerProcess::Start(const std::vector<std::string>& argv, const TPortLine& portLine)
{
    Stop();
    m_port = 0;
    std::vector<char*> args;
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    int out[2];
    if (argv.empty() || pipe2(out, O_CLOEXEC) != 0)
        return false;
    m_pid = fork();
    if (m_pid == 0) {
        // Its own group, so that what it starts ends with it; gone with the test, should the
        // test die first.
        setpgid(0, 0);
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        const int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
        dup2(out[1], 1);
        dup2(null, 2);
        execv(args[0], args.data());
        _exit(127);
    }
    close(out[1]);
    if (m_pid < 0) {
        close(out[0]);
        return false;
    }
    setpgid(m_pid, m_pid); // whichever of the two runs first
    m_output = out[0];

    // Reads what the server prints until the line that tells the port, it ends, or time is up.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    std::string pending;
    while (m_port == 0) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd p {m_output, POLLIN, 0};
        const int ready = left.count() > 0 ? poll(&p, 1, static_cast<int>(left.count())) : 0;
        if (ready < 0 && errno == EINTR)
            continue;
        char buffer[512];
        const ssize_t n = ready > 0 ? read(m_output, buffer, sizeof buffer) : 0;
        if (n <= 0)
            break; // it ended, or said nothing in time
        pending.append(buffer, static_cast<std::size_t>(n));
        for (std::size_t end; m_port == 0 && (end = pending.find('\n')) != std::string::npos;) {
            const std::string line = pending.substr(0, end);
            pending.erase(0, end + 1);
            m_port = portLine ? portLine(line) : PortAlone(line);
        }
    }
    if (m_port == 0)
        Stop();
    return m_port != 0;
}

void TServerProcess::Stop(int signal)
{
    if (m_pid > 0) {
        kill(-m_pid, signal);
        waitpid(m_pid, nullptr, 0);
        m_pid = -1;
    }
    if (m_output >= 0) {
        close(m_output);
        m_output = -1;
    }
}

TFtpServer::TFtpServer(
    const std::string& user, const std::string& password, const TFtpServerOptions& options)
{
    if (Home().empty())
        return;
    m_ready = m_server.Start(
        {"/usr/bin/python3", "-c", kPyftpdlibServer, Home().string(), user, password,
            std::to_string(options.sendLimit), std::to_string(options.receiveLimit), options.perm});
}

TFtpServer::TFtpServer(const char* script, const std::string& user, const std::string& password,
    const std::string& extra)
{
    if (Home().empty())
        return;
    m_ready = m_server.Start(
        {"/usr/bin/python3", "-c", script, Home().string(), user, password, extra});
}

void TFtpServer::Clear() const
{
    for (const auto& entry : fs::directory_iterator(Home()))
        fs::remove_all(entry.path());
}

TVsftpd::TVsftpd(int rate, const TVsftpdTls& tls)
{
    const char* const binary = "/usr/sbin/vsftpd";
    const passwd* account = getpwnam("ftp"); // the package's anonymous account
    if (geteuid() != 0) {
        m_skipReason = "vsftpd serves anonymous logins only when started as root";
        return;
    }
    if (access(binary, X_OK) != 0 || !account) {
        m_skipReason = "vsftpd is not installed (Debian package vsftpd)";
        return;
    }
    if (m_root.Path().empty())
        return;
    // vsftpd refuses an anonymous home the account could write to; the folder inside is its.
    std::error_code ec;
    fs::create_directories(In(), ec);
    fs::create_directories(m_root.Path() / "empty", ec);
    for (const fs::path& p : {m_root.Path(), m_root.Path() / "home", m_root.Path() / "empty"})
        fs::permissions(p, fs::perms(0755), ec);
    if (ec || chown(In().c_str(), account->pw_uid, account->pw_gid) != 0)
        return;
    const fs::path config = m_root.Path() / "vsftpd.conf";
    const bool secure = !tls.certificate.empty();
    std::ofstream out(config);
    // One session per connection on its standard input, as under inetd.
    out << "listen=NO\nlisten_ipv6=NO\n"
        << "anonymous_enable=YES\nlocal_enable=NO\n"
        // Over TLS a password travels, so that a test can look for it on the line.
        << "no_anon_password=" << (secure ? "NO" : "YES") << "\n"
        << "write_enable=YES\nanon_upload_enable=YES\n"
        << "anon_other_write_enable=YES\nanon_umask=022\n"
        << "anon_root=" << (m_root.Path() / "home").string() << "\n"
        << "secure_chroot_dir=" << (m_root.Path() / "empty").string() << "\n"
        << "anon_max_rate=" << rate
        << "\n"
        // Containers deny what these need; the test server does without.
        << "seccomp_sandbox=NO\nisolate=NO\nisolate_network=NO\n"
        << "xferlog_enable=NO\n";
    if (secure) {
        // Nothing in the clear: a session that does not protect its login and its data is
        // refused, so a transfer that succeeds was protected. vsftpd's demand that a data
        // connection resume the control's TLS session is off: libcurl's do not meet it.
        out << "ssl_enable=YES\nallow_anon_ssl=YES\nforce_anon_logins_ssl=YES\n"
            << "force_anon_data_ssl=YES\nrequire_ssl_reuse=NO\nssl_request_cert=NO\n"
            << "ssl_ciphers=HIGH\n"
            << "rsa_cert_file=" << tls.certificate.string() << "\n"
            << "rsa_private_key_file=" << tls.key.string() << "\n"
            << "implicit_ssl=" << (tls.implicit ? "YES" : "NO") << "\n";
    }
    out.close();
    m_ready = m_server.Start({"/usr/bin/python3", "-c", kVsftpdListener, binary, config.string()});
}

} // namespace vendrix::test
