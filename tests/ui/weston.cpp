// Weston for the window tests, started and ended as a child process.
#include "ui/weston.h"

#include <QFileInfo>
#include <QLibraryInfo>

#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace vendrix::test {

namespace {

namespace fs = std::filesystem;

constexpr const char* kWeston = "/usr/bin/weston";

// Whether something takes connections on the Unix socket `path`.
bool Answers(const fs::path& path)
{
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    const bool connected
        = connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    close(fd);
    return connected;
}

} // namespace

TWeston::TWeston(int width, int height)
{
    if (access(kWeston, X_OK) != 0) {
        m_skipReason = "Weston is not installed (Debian package weston)";
        return;
    }
    const QString plugin = QLibraryInfo::path(QLibraryInfo::PluginsPath)
        + QStringLiteral("/platforms/libqwayland-generic.so");
    if (!QFileInfo::exists(plugin)) {
        m_skipReason = "Qt's Wayland platform is not installed (Debian package qt6-wayland)";
        return;
    }
    if (m_runtime.Path().empty())
        return;
    m_display = "vendrix-" + std::to_string(getpid());
    const fs::path log = m_runtime.Path() / "weston.log";
    // No configuration file of the agent's; never idle, so that no lock screen comes up
    // in the middle of a test.
    std::vector<std::string> argv {kWeston, "--no-config", "--backend=headless-backend.so",
        "--use-pixman", "--idle-time=0", "--socket=" + m_display,
        "--width=" + std::to_string(width), "--height=" + std::to_string(height),
        "--log=" + log.string()};
    std::vector<char*> args;
    for (std::string& a : argv)
        args.push_back(a.data());
    args.push_back(nullptr);
    const std::string runtime = "XDG_RUNTIME_DIR=" + m_runtime.Path().string();
    m_pid = fork();
    if (m_pid == 0) {
        // Its own group, so that its shell and keyboard clients end with it; gone with the
        // test, should the test die first.
        setpgid(0, 0);
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        const int null = open("/dev/null", O_RDWR | O_CLOEXEC);
        dup2(null, 0);
        dup2(null, 1);
        dup2(null, 2);
        putenv(const_cast<char*>(runtime.c_str()));
        unsetenv("WAYLAND_DISPLAY");
        unsetenv("DISPLAY");
        execv(args[0], args.data());
        _exit(127);
    }
    if (m_pid < 0)
        return;
    setpgid(m_pid, m_pid); // whichever of the two runs first

    const fs::path socket = m_runtime.Path() / m_display;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < deadline) {
        if (waitpid(m_pid, nullptr, WNOHANG) == m_pid) {
            m_pid = -1; // it ended before it took clients
            return;
        }
        if (Answers(socket)) {
            m_ready = true;
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

TWeston::~TWeston()
{
    if (m_pid > 0) {
        // The whole group: Weston and the shell and keyboard clients it started.
        kill(-m_pid, SIGTERM);
        waitpid(m_pid, nullptr, 0);
    }
}

std::string TWeston::Log() const
{
    std::ifstream in(m_runtime.Path() / "weston.log");
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace vendrix::test
