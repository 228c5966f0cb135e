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

namespace vendrix {
namespace {

namespace fs = std::filesystem;

// pyftpdlib with one account, reading commands in windows-1251 as the device sends them.
const char* const kCp1251Server = R"(
import sys
from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer
home, user, password, _ = sys.argv[1:]
class Handler(FTPHandler):
    def decode(self, data):
        return data.decode("cp1251", self.unicode_errors)
authorizer = DummyAuthorizer()
authorizer.add_user(user, password, home, perm="elradfmwMT")
Handler.authorizer = authorizer
server = FTPServer(("127.0.0.1", 0), Handler)
print(server.address[1], flush=True)
server.serve_forever()
)";

using SettingsFtpTest = test::StartedFolderTest;

TEST_F(SettingsFtpTest, APasswordWithAnApostropheAndCyrillicLettersReachesTheServerExactly)
{
    const std::string user = "агент'1";
    const std::string password = "Пар'оль ''ёж";
    const test::TFtpServer server(kCp1251Server, user, password, "");
    ASSERT_TRUE(server.Ready());

    TSettingsForm form(nullptr);
    ASSERT_TRUE(form.Load());
    form.show();
    form.CheckBox("USEFTP")->click();
    form.CheckBox("FTPAUTH")->click();
    form.Edit("FTPADDRESS")->setText(QStringLiteral("127.0.0.1"));
    form.Edit("FTPPORT")->setText(QString::number(server.Port()));
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
    EXPECT_EQ(test::ReadFile(server.Home() / "orders.xml"), "<orders/>");
    EXPECT_EQ(log.Text().find(password), std::string::npos) << "the password never shows";
    EXPECT_TRUE(folder.ui.shown.empty());
}

} // namespace
} // namespace vendrix
