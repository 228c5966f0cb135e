// The test FTP servers.
#include "support/ftp_server.h"

#include <fstream>
#include <pwd.h>
#include <vector>

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

// pyftpdlib's own server with its transfers throttled to `send` and `receive` bytes a second
// (0: not at all) and the account given the rights `perm`.
const char* const kPyftpdlibServer = R"(
import sys
from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler, ThrottledDTPHandler
from pyftpdlib.servers import FTPServer
port, home, user, password, send, receive, perm = sys.argv[1:]
authorizer = DummyAuthorizer()
authorizer.add_user(user, password, home, perm=perm)
ThrottledDTPHandler.write_limit = int(send)
ThrottledDTPHandler.read_limit = int(receive)
FTPHandler.authorizer = authorizer
FTPHandler.dtp_handler = ThrottledDTPHandler
FTPServer(("127.0.0.1", int(port)), FTPHandler).serve_forever()
)";

namespace {

// A fresh folder in /tmp; empty when it could not be made.
fs::path TemporaryFolder(const char* prefix)
{
    std::string pattern = (fs::temp_directory_path() / prefix).string() + "-XXXXXX";
    return mkdtemp(pattern.data()) ? fs::path(pattern) : fs::path();
}

} // namespace

TFtpServer::TFtpServer(
    const std::string& user, const std::string& password, const TFtpServerOptions& options)
{
    m_home = TemporaryFolder("vendrix-ftp");
    if (m_home.empty())
        return;
    m_port = FreePort();
    const std::string port = std::to_string(m_port);
    const std::string send = std::to_string(options.sendLimit);
    const std::string receive = std::to_string(options.receiveLimit);
    const char* const argv[]
        = {"python3", "-c", kPyftpdlibServer, port.c_str(), m_home.c_str(), user.c_str(),
            password.c_str(), send.c_str(), receive.c_str(), options.perm.c_str(), nullptr};
    Start(argv);
}

TFtpServer::TFtpServer(const char* script, const std::string& user, const std::string& password,
    const std::string& extra)
{
    m_home = TemporaryFolder("vendrix-ftp");
    if (m_home.empty())
        return;
    m_port = FreePort();
    const std::string port = std::to_string(m_port);
    const char* const argv[] = {"python3", "-c", script, port.c_str(), m_home.c_str(), user.c_str(),
        password.c_str(), extra.c_str(), nullptr};
    Start(argv);
}

// Starts /usr/bin/python3 with `argv` and waits until the port takes connections.
void TFtpServer::Start(const char* const* argv)
{
    m_pid = fork();
    if (m_pid == 0) {
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        dup2(null, 2);
        execv("/usr/bin/python3", const_cast<char* const*>(argv));
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
    m_root = TemporaryFolder("vendrix-vsftpd");
    if (m_root.empty())
        return;
    // vsftpd refuses an anonymous home the account could write to; the folder inside is its.
    std::error_code ec;
    fs::create_directories(In(), ec);
    fs::create_directories(m_root / "empty", ec);
    for (const fs::path& p : {m_root, m_root / "home", m_root / "empty"})
        fs::permissions(p, fs::perms(0755), ec);
    if (ec || chown(In().c_str(), account->pw_uid, account->pw_gid) != 0)
        return;
    m_port = FreePort();
    const fs::path config = m_root / "vsftpd.conf";
    const bool secure = !tls.certificate.empty();
    std::ofstream out(config);
    out << "listen=YES\nlisten_ipv6=NO\nlisten_address=127.0.0.1\n"
        << "listen_port=" << m_port << "\nbackground=NO\n"
        << "anonymous_enable=YES\nlocal_enable=NO\n"
        // Over TLS a password travels, so that a test can look for it on the line.
        << "no_anon_password=" << (secure ? "NO" : "YES") << "\n"
        << "write_enable=YES\nanon_upload_enable=YES\n"
        << "anon_other_write_enable=YES\nanon_umask=022\n"
        << "anon_root=" << (m_root / "home").string() << "\n"
        << "secure_chroot_dir=" << (m_root / "empty").string() << "\n"
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
    m_pid = fork();
    if (m_pid == 0) {
        setpgid(0, 0); // its session processes go with it
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        dup2(null, 2);
        execl(binary, "vsftpd", config.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    if (m_pid > 0)
        setpgid(m_pid, m_pid); // whichever of the two runs first
    for (int i = 0; i < 100 && m_pid > 0; ++i) {
        TSocket probe;
        if (probe.Connect(m_port)) {
            m_ready = true;
            return;
        }
        if (waitpid(m_pid, nullptr, WNOHANG) == m_pid) {
            m_pid = -1;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

TVsftpd::~TVsftpd()
{
    if (m_pid > 0) {
        kill(-m_pid, SIGKILL);
        waitpid(m_pid, nullptr, 0);
    }
    std::error_code ec;
    if (!m_root.empty())
        fs::remove_all(m_root, ec);
}

} // namespace vendrix::test
