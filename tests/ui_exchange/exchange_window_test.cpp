// The exchange window for real: its caption and menu, the settings it reads when shown, and the
// automatic exchange 200 ms after it opens against a real FTP server on 127.0.0.1, ending in the
// result box and the window closing.
#include "exchange/exchange_window.h"
#include "storage/options.h"
#include "storage/ui_seam.h"
#include "support/ftp_server.h"
#include "support/test_support.h"
#include "toolkit/menu_bar.h"
#include "ui/ui_support.h"

#include <QApplication>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QRegularExpression>

namespace vendrix {
namespace {

namespace fs = std::filesystem;

class ExchangeWindowTest : public test::StartedFolderTest {
protected:
    // The device set up to log in at 127.0.0.1:`port` as "agent" and send into "in".
    void UseServer(int port)
    {
        SetOption("USEFTP", "1");
        SetOption("FTPAUTH", "1");
        SetOption("FTPAddress", "127.0.0.1");
        SetOption("FTPPort", std::to_string(port));
        SetOption("FTPPath", "in");
        SetOption("FTPLogin", "agent");
        SetOption("FTPPassword", "pw");
    }
};

TEST_F(ExchangeWindowTest, CaptionMenuAndManualMode)
{
    TExchangeWindow w(nullptr);
    w.Prepare();
    EXPECT_EQ(w.windowTitle().toStdString(), "Обмен с сервером");
    const std::vector<std::string> captions = {" Обмен... ", "FTP - отправить", "FTP - получить",
        "-", "Выгрузить", "Загрузить", " Закрыть "};
    ASSERT_EQ(w.Menu().ItemCount(), static_cast<int>(captions.size()));
    for (int i = 0; i < w.Menu().ItemCount(); ++i)
        EXPECT_EQ(w.Menu().ItemCaption(i).toStdString(), captions[static_cast<std::size_t>(i)]);
    EXPECT_FALSE(w.Menu().ItemEnabled(TExchangeWindow::kFtpSend)) << "FTP is off by default";
    EXPECT_FALSE(w.Menu().ItemEnabled(TExchangeWindow::kFtpReceive));
    EXPECT_TRUE(folder.ui.shown.empty());

    // "Выгрузить" with the folder picker cancelled does nothing and logs nothing.
    w.Command(TExchangeWindow::kExport);
    EXPECT_TRUE(w.LogBox().toPlainText().isEmpty());
    // With a folder picked the export runs and the log shows its time-stamped lines.
    folder.ui.folders.push_back((folder.Path() / "out").string());
    w.Command(TExchangeWindow::kExport);
    const QString log = w.LogBox().toPlainText();
    EXPECT_TRUE(
        QRegularExpression("^\\d\\d:\\d\\d:\\d\\d Начата выгрузка...\\n").match(log).hasMatch())
        << log.toStdString();
    EXPECT_TRUE(fs::exists(folder.Path() / "out" / "PDATo1C.xml"));
}

TEST_F(ExchangeWindowTest, FtpWithoutAServerWarnsEachTimeItOpens)
{
    SetOption("USEFTP", "1");
    SetOption("FTPAUTO", "0");
    for (int i = 0; i < 2; ++i) {
        TExchangeWindow w(nullptr);
        w.Prepare();
        EXPECT_FALSE(w.Menu().ItemEnabled(TExchangeWindow::kFtpSend));
    }
    EXPECT_EQ(folder.ui.Texts(),
        (std::vector<std::string> {"Не указан FTP-сервер.", "Не указан FTP-сервер."}));
}

// Records, with every message, whether the exchange window was already on screen.
class TWindowWatchingUi : public TScriptedUserInterface {
public:
    void Message(const std::string& text, TIcon icon) override
    {
        bool up = false;
        for (QWidget* w : QApplication::topLevelWidgets())
            up = up || (dynamic_cast<TExchangeWindow*>(w) && w->isVisible());
        windowUp.push_back(up);
        TScriptedUserInterface::Message(text, icon);
    }
    std::vector<bool> windowUp;
};

TEST_F(ExchangeWindowTest, TheMissingServerWarningComesOverTheWindowNotBeforeIt)
{
    SetOption("USEFTP", "1");
    SetOption("FTPAUTO", "0");
    TWindowWatchingUi ui;
    TUserInterfaceGuard guard(&ui);
    QWidget owner;
    ShowExchangeWindow(&owner, false, {});
    auto closed = test::OnNextModal<TExchangeWindow>([&ui](TExchangeWindow* w) {
        EXPECT_TRUE(test::WaitUntil([&] { return ui.windowUp.size() == 2; }));
        w->Command(TExchangeWindow::kClose);
    });
    ShowExchangeWindow(&owner, true, {});
    EXPECT_TRUE(*closed);
    EXPECT_EQ(
        ui.Texts(), (std::vector<std::string> {"Не указан FTP-сервер.", "Не указан FTP-сервер."}));
    EXPECT_EQ(ui.windowUp, (std::vector<bool> {true, true})) << "non-modal, then modal";
}

TEST_F(ExchangeWindowTest, AutomaticExchangeRunsByItselfAndCloses)
{
    test::TFtpServer server("agent", "pw");
    ASSERT_TRUE(server.Ready());
    test::WriteOfficeScript(
        server.Home() / "in", test::OfficeScript({"<EXEC \"update DOC_HEADS set DOC_STATE=2\">"}));
    test::Exec("insert into DOC_HEADS (GUID, DOC_STATE, CLI_NAME) values ('D-1', 1, 'К')");
    UseServer(server.Port());
    SetOption("FTPAUTO", "1");
    folder.ui.answers.push_back(TAnswer::Yes); // "Загрузить данные с сервера?"

    TExchangeWindow w(nullptr);
    w.Prepare();
    EXPECT_TRUE(w.Menu().ItemEnabled(TExchangeWindow::kFtpSend));
    w.show();
    ASSERT_TRUE(test::WaitUntil([&] { return !w.isVisible(); }, 20000))
        << w.LogBox().toPlainText().toStdString();
    EXPECT_EQ(folder.ui.Texts(),
        (std::vector<std::string> {
            "Загрузить данные с сервера?", "Успешно!\r\nЗагрузка завершена."}));
    EXPECT_TRUE(fs::exists(server.Home() / "in" / "PDATo1C.xml"));
    EXPECT_EQ(test::Value("select DOC_STATE from DOC_HEADS"), "2");
    EXPECT_TRUE(w.LogBox().toPlainText().contains(QString::fromUtf8("Соединение установлено.")));
    EXPECT_FALSE(w.LogBox().toPlainText().contains(QString::fromUtf8("pw)")));
}

TEST_F(ExchangeWindowTest, FailedAutomaticExchangeOffersRetry)
{
    const test::TClosedPort closed; // a server that is not there
    UseServer(closed.Port());
    SetOption("FTPAUTO", "1");
    folder.ui.answers = {TAnswer::Retry, TAnswer::Cancel};
    TExchangeWindow w(nullptr);
    w.Prepare();
    w.show();
    ASSERT_TRUE(test::WaitUntil([&] { return !w.isVisible(); }, 20000));
    const std::string box
        = "Произошла ошибка!\r\nПоследнее сообщение: \r\nНе удалось соединиться с сервером.";
    EXPECT_EQ(folder.ui.Texts(), (std::vector<std::string> {box, box})) << "Retry ran it again";
}

} // namespace
} // namespace vendrix
