// The road from the settings form to the office's server: a login and a password with an
// apostrophe and Cyrillic letters, typed into the form and saved, read back exactly and then
// accepted by a real FTP server on 127.0.0.1, which, like the office's, reads the device's
// logins in windows-1251.
#include "exchange/exchange_log.h"
#include "exchange/ftp_transfer.h"
#include "settings/settings_form.h"
#include "storage/options.h"
#include "storage/sql_query.h"
#include "support/ftp_server.h"
#include "support/test_support.h"
#include "toolkit/menu_bar.h"

#include <QCheckBox>
#include <QLineEdit>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <sys/wait.h>
#include <thread>

namespace vendrix {
namespace {

namespace fs = std::filesystem;

// pyftpdlib with one account, reading commands in windows-1251 as the device sends them.
const char* const kCp1251Server = R"(
import sys
from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer
port, home, user, password = sys.argv[1:]
class Handler(FTPHandler):
    def decode(self, data):
        return data.decode("cp1251", self.unicode_errors)
authorizer = DummyAuthorizer()
authorizer.add_user(user, password, home, perm="elradfmwMT")
Handler.authorizer = authorizer
FTPServer(("127.0.0.1", int(port)), Handler).serve_forever()
)";

// The server as a child process with its own home folder, both gone with the object.
class TCp1251Server {
public:
    TCp1251Server(const std::string& user, const std::string& password)
    {
        std::string pattern = (fs::temp_directory_path() / "vendrix-ftp-XXXXXX").string();
        if (!mkdtemp(pattern.data()))
            return;
        home = pattern;
        port = test::FreePort();
        const std::string portText = std::to_string(port);
        m_pid = fork();
        if (m_pid == 0) {
            const int null = open("/dev/null", O_WRONLY);
            dup2(null, 1);
            dup2(null, 2);
            execl("/usr/bin/python3", "python3", "-c", kCp1251Server, portText.c_str(),
                home.c_str(), user.c_str(), password.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        for (int i = 0; i < 200 && m_pid > 0 && !ready; ++i) {
            test::TSocket probe;
            ready = probe.Connect(port);
            if (!ready)
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }
    ~TCp1251Server()
    {
        if (m_pid > 0) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
        }
        std::error_code ec;
        if (!home.empty())
            fs::remove_all(home, ec);
    }
    TCp1251Server(const TCp1251Server&) = delete;
    TCp1251Server& operator=(const TCp1251Server&) = delete;

    fs::path home;
    int port = 0;
    bool ready = false;

private:
    pid_t m_pid = -1;
};

using SettingsFtpTest = test::StartedFolderTest;

TEST_F(SettingsFtpTest, APasswordWithAnApostropheAndCyrillicLettersReachesTheServerExactly)
{
    const std::string user = "агент'1";
    const std::string password = "Пар'оль ''ёж";
    TCp1251Server server(user, password);
    ASSERT_TRUE(server.ready);

    TSettingsForm form(nullptr);
    ASSERT_TRUE(form.Load());
    form.show();
    form.CheckBox("USEFTP")->click();
    form.CheckBox("FTPAUTH")->click();
    form.Edit("FTPADDRESS")->setText(QStringLiteral("127.0.0.1"));
    form.Edit("FTPPORT")->setText(QString::number(server.port));
    form.Edit("FTPLOGIN")->setText(QString::fromStdString(user));
    form.Edit("FTPPASSWORD")->setText(QString::fromStdString(" " + password + " "));
    form.Menu().Activate(0);
    ASSERT_FALSE(form.isVisible());
    ASSERT_TRUE(folder.ui.shown.empty()) << folder.ui.shown.front().text;

    EXPECT_EQ(test::Value("select OPT_VAL from MY_OPTIONS where OPT_NAME='FTPPASSWORD'"), password);
    const TExchangeSettings settings = ReadExchangeSettings();
    EXPECT_EQ(settings.ftp.user, user);
    EXPECT_EQ(settings.ftp.password, password);

    const fs::path orders = folder.Path() / "orders.xml";
    test::WriteFile(orders, "<orders/>");
    TExchangeLog log;
    EXPECT_TRUE(Transfer(log, TFtpDirection::Put, settings.ftp, orders)) << log.Text();
    EXPECT_EQ(test::ReadFile(server.home / "orders.xml"), "<orders/>");
    EXPECT_EQ(log.Text().find(password), std::string::npos) << "the password never shows";
    EXPECT_TRUE(folder.ui.shown.empty());
}

} // namespace
} // namespace vendrix
