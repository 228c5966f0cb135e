// The exchange with the office's FTP server, against a real server (pyftpdlib on 127.0.0.1 with
// its own home folder): the settings as the exchange window reads them, the upload and the
// download with their log lines, every failure the agent may meet on the road, the full
// exchange with its automatic result box and Retry, the busy flag, and vendrix-cli run from a
// scheduler. Nothing but 127.0.0.1 is ever contacted.
#include "exchange/archive.h"
#include "exchange/exchange_log.h"
#include "exchange/exchange_sequence.h"
#include "exchange/ftp_transfer.h"
#include "shell/journal.h"
#include "storage/codepage.h"
#include "storage/options.h"
#include "support/ftp_server.h"
#include "support/test_support.h"

#include <arpa/inet.h>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <functional>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace vendrix {
namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;
using test::TFtpServer;
using test::TFtpServerOptions;

const std::string kUser = "agent";
const std::string kPassword = "s3cret";
// The office takes the order over: it moves to state 2 and is locked on the device.
const std::string kOfficeScript
    = test::OfficeScript({"<EXEC \"update DOC_HEADS set DOC_STATE=2 where GUID='D-1'\">"});

// The log entries without their time stamps, one text line each.
Lines LogLines(const TExchangeLog& log)
{
    Lines out;
    const std::string& text = log.Text();
    std::size_t start = 0;
    while (start <= text.size() && !text.empty()) {
        std::size_t end = text.find("\r\n", start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start);
        const bool stamped = line.size() >= 9 && line[2] == ':' && line[5] == ':' && line[8] == ' ';
        out.push_back(stamped ? line.substr(9) : line);
        start = end + 2;
    }
    return out;
}

// The lines from the first one that starts with `prefix` on.
Lines From(const Lines& lines, const std::string& prefix)
{
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].rfind(prefix, 0) == 0)
            return Lines(lines.begin() + static_cast<long>(i), lines.end());
    }
    return {};
}

// Answers like the scripted interface and lets a test act from inside a question or a repaint,
// as a window's menu would while a message box or a transfer lets events through.
class THookedUserInterface : public TScriptedUserInterface {
public:
    TAnswer Ask(const std::string& text, TIcon icon, TButtons buttons) override
    {
        if (onAsk)
            onAsk();
        return TScriptedUserInterface::Ask(text, icon, buttons);
    }
    void ProcessEvents() override
    {
        TScriptedUserInterface::ProcessEvents();
        if (onPump)
            onPump();
    }
    std::function<void()> onAsk;
    std::function<void()> onPump;
};

class FtpTest : public test::StartedFolderTest {
protected:
    static void SetUpTestSuite()
    {
        // Only the server started here may be contacted, never a proxy of the environment.
        for (const char* name : {"ftp_proxy", "FTP_PROXY", "all_proxy", "ALL_PROXY"})
            unsetenv(name);
        server = new TFtpServer(kUser, kPassword);
    }
    static void TearDownTestSuite()
    {
        delete server;
        server = nullptr;
    }

    void SetUp() override
    {
        ASSERT_TRUE(server->Ready()) << "pyftpdlib did not start (python3-pyftpdlib missing?)";
        test::StartedFolderTest::SetUp();
        Configure();
    }
    void TearDown() override { SetFtpTimeLimits({}); }

    // An empty server account with the folder "in", and the device set up to log in there.
    static void Configure()
    {
        server->Clear();
        fs::create_directories(server->Home() / "in");
        // Option names as the settings form stores them.
        SetOption("USEFTP", "1");
        SetOption("FTPAUTH", "1");
        SetOption("FTPAUTO", "0");
        SetOption("FTPADDRESS", "127.0.0.1");
        SetOption("FTPPORT", std::to_string(server->Port()));
        SetOption("FTPPATH", "in");
        SetOption("FTPLOGIN", kUser);
        SetOption("FTPPASSWORD", kPassword);
        SetFtpTimeLimits({5, 5});
    }

    static void AddOrder()
    {
        test::Exec("insert into DOC_HEADS (GUID, DOC_DATE, REC_TIME, DOC_STATE, CLI_GUID, "
                   "CLI_NAME, ORD_LINES, STR_PRIM) values ('D-1', '2009-10-26', '2009-10-25', 1, "
                   "'C-1', 'Иванов', 1, '');"
                   "insert into DOC_HEADS (GUID, DOC_DATE, REC_TIME, DOC_STATE, CLI_GUID, "
                   "CLI_NAME, ORD_LINES, STR_PRIM) values ('D-2', '2009-10-26', '2009-10-25', 1, "
                   "'C-2', 'Петров', 0, '');"
                   "insert into DOC_ORDERS (DOC_ID, ORDER_ID, G_GUID, G_NAME, G_WT, PRICE) "
                   "values ('D-1', 0, 'G-1', 'Сок', 2, 12.5)");
    }
    static std::string State(const std::string& guid)
    {
        return test::Value("select DOC_STATE from DOC_HEADS where GUID='" + guid + "'");
    }

    // Puts the office's script on the server in `remoteFolder`, packed when `zip` is set.
    void OfficeAnswers(const std::string& script, bool zip, const fs::path& remoteFolder)
    {
        const fs::path answer = test::WriteOfficeScript(folder.Path() / "office", script);
        if (zip)
            ASSERT_TRUE(Pack(answer, remoteFolder / "ToPDA.zip"));
        else
            fs::copy_file(answer, remoteFolder / "ToPDA.sqd");
    }

    std::string Port() const { return std::to_string(server->Port()); }
    fs::path Exchange() const { return folder.Path() / "exchange"; }
    Lines Connected() const
    {
        return {"Try connect to 127.0.0.1 : " + Port(), "  (Username=agent; Password=******)",
            "Соединение установлено."};
    }

    // Sends a large export to a server that takes it slowly, looking into the office's folder
    // `remote` at every repaint: the export's name holds the previous export until the new one
    // is whole, and no temporary file is left behind.
    void ExpectUploadAppearsWhole(const TFtpSettings& settings, const fs::path& remote)
    {
        const std::string previous = "previous export";
        std::string content;
        for (int i = 0; content.size() < 200000; ++i)
            content += "<DOC ID=\"" + std::to_string(i) + "\"/>\r\n";
        test::WriteFile(remote / "PDATo1C.xml", previous);
        fs::create_directories(Exchange());
        test::WriteFile(Exchange() / "PDATo1C.xml", content);

        THookedUserInterface ui;
        TUserInterfaceGuard guard(&ui);
        bool watchedHalfway = false;
        std::size_t torn = 0;
        ui.onPump = [&] {
            // The server renames as we look: a name that has just gone is no error.
            std::error_code ec;
            for (const auto& entry : fs::directory_iterator(remote, ec)) {
                const auto size = entry.file_size(ec);
                if (!ec && size > 0 && size < content.size())
                    watchedHalfway = true;
            }
            const std::string seen = test::ReadFile(remote / "PDATo1C.xml");
            if (seen != previous && seen != content)
                torn = seen.size();
        };
        log.Clear();
        EXPECT_TRUE(Transfer(log, TFtpDirection::Put, settings, Exchange() / "PDATo1C.xml"));
        EXPECT_EQ(From(LogLines(log), "Отправка файла."),
            (Lines {"Отправка файла.", "Отправка завершена."}));
        EXPECT_TRUE(watchedHalfway) << "the folder was looked into while the file travelled";
        EXPECT_EQ(torn, 0u) << "the office could have taken half an export";
        EXPECT_EQ(test::ReadFile(remote / "PDATo1C.xml"), content);
        EXPECT_EQ(std::distance(fs::directory_iterator(remote), fs::directory_iterator()), 1);
    }

    // The previous script in place, and nothing else, in the exchange folder.
    void ExpectLastGoodScriptKept()
    {
        EXPECT_EQ(test::ReadFile(Exchange() / "ToPDA.sqd"), "last good");
        EXPECT_EQ(std::distance(fs::directory_iterator(Exchange()), fs::directory_iterator()), 1)
            << "no partial file is left beside it";
    }

    static TFtpServer* server;
    TExchangeLog log;
};

TFtpServer* FtpTest::server = nullptr;

Lines operator+(Lines a, const Lines& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

TEST_F(FtpTest, SettingsAsTheWindowReadsThem)
{
    struct TPortCase {
        const char* text;
        int port;
    };
    const TPortCase ports[] = {{"", 21}, {"0", 21}, {"abc", 21}, {"2121", 2121}, {" 990 ", 990},
        {"-5", 21}, {"70000", 21}, {"65557", 21}};
    for (const TPortCase& c : ports) {
        SetOption("FTPPORT", c.text);
        EXPECT_EQ(ReadExchangeSettings().ftp.port, c.port) << "FTPPort '" << c.text << "'";
    }

    SetOption("FTPPATH", "  in/sub \t");
    SetOption("USEZIP", "1");
    TExchangeSettings s = ReadExchangeSettings();
    EXPECT_EQ(s.ftp.folder, "in/sub");
    EXPECT_EQ(s.ftp.user, kUser);
    EXPECT_EQ(s.ftp.password, kPassword);
    EXPECT_TRUE(s.useZip && s.useFtp && s.ftpAuth && s.FtpEnabled());
    EXPECT_FALSE(s.automatic);

    SetOption("FTPAUTH", "0");
    SetOption("FTPAUTO", "1");
    s = ReadExchangeSettings();
    EXPECT_EQ(s.ftp.user, "anonimous");
    EXPECT_EQ(s.ftp.password, kAnonymousPassword);
    EXPECT_TRUE(s.automatic);

    // The automatic flag counts only with FTP on; without FTP nothing is shown or started.
    SetOption("USEFTP", "0");
    TExchangeSequence off(log);
    off.Show();
    EXPECT_FALSE(off.Automatic() || off.FtpEnabled() || off.StartTimerArmed());
    EXPECT_TRUE(folder.ui.shown.empty());

    // FTP on without a server: warned at every showing; the automatic exchange still runs and
    // fails without contacting anything.
    SetOption("USEFTP", "1");
    SetOption("FTPADDRESS", "");
    TExchangeSequence noServer(log);
    noServer.Show();
    noServer.Show();
    EXPECT_EQ(folder.ui.Texts(), (Lines {"Не указан FTP-сервер.", "Не указан FTP-сервер."}));
    EXPECT_FALSE(noServer.FtpEnabled());
    ASSERT_TRUE(noServer.StartTimerArmed());
    folder.ui.Clear();
    const TCommandResult r = noServer.StartTimerFired();
    EXPECT_FALSE(r.success);
    EXPECT_EQ(r.next, TAfterCommand::Close); // the unanswered box counts as Cancel
    EXPECT_EQ(folder.ui.Texts(), (Lines {"Произошла ошибка!\r\nПоследнее сообщение: \r\n"}));
    EXPECT_TRUE(log.Text().empty());
}

TEST_F(FtpTest, UploadPutsTheExportOnTheServer)
{
    AddOrder();
    for (const bool zip : {false, true}) {
        SCOPED_TRACE(zip ? "UseZip on" : "UseZip off");
        SetOption("USEZIP", zip ? "1" : "0");
        log.Clear();
        folder.ui.eventPumps = 0;
        ASSERT_TRUE(Upload(log, ReadExchangeSettings()));
        const std::string name = zip ? "PDATo1C.zip" : "PDATo1C.xml";
        const Lines exportLines
            = zip ? Lines {"Начата выгрузка...", "Упаковка..."} : Lines {"Начата выгрузка..."};
        const Lines expected = exportLines
            + Lines {"Выгрузка завершена.", (Exchange() / name).string()} + Connected()
            + Lines {"Отправка файла.", "Отправка завершена."};
        EXPECT_EQ(LogLines(log), expected);
        const std::string sent = test::ReadFile(server->Home() / "in" / name);
        EXPECT_EQ(sent, test::ReadFile(Exchange() / name));
        EXPECT_FALSE(sent.empty());
        EXPECT_EQ(fs::exists(Exchange() / "PDATo1C.xml"), !zip);
        EXPECT_GT(folder.ui.eventPumps, 0) << "the screen repaints during the transfer";
    }
    EXPECT_NE(
        Utf8ToCp1251(test::ReadFile(server->Home() / "in" / "PDATo1C.xml")).find("<DOC ID=\"D-1\""),
        std::string::npos);
    EXPECT_EQ(State("D-1"), "1") << "sending changes no state";
    EXPECT_TRUE(folder.ui.shown.empty());
}

TEST_F(FtpTest, WithoutAnAccountTheDeviceLogsInAnonymously)
{
    // A server whose only account is the one the devices use when FTPAuth is off.
    const TFtpServer open(kAnonymousUser, kAnonymousPassword);
    ASSERT_TRUE(open.Ready());
    SetOption("FTPAUTH", "0");
    SetOption("FTPPATH", "");
    SetOption("FTPPORT", std::to_string(open.Port()));
    ASSERT_TRUE(Upload(log, ReadExchangeSettings()));
    EXPECT_EQ(From(LogLines(log), "Try connect to ")[1],
        "  (Username=anonimous; Password=" + std::string(17, '*') + ")");
    EXPECT_TRUE(fs::exists(open.Home() / "PDATo1C.xml"));
}

TEST_F(FtpTest, DownloadFetchesAndImportsTheOfficeScript)
{
    AddOrder();
    fs::create_directories(Exchange());
    for (const bool zip : {false, true}) {
        SCOPED_TRACE(zip ? "UseZip on" : "UseZip off");
        SetOption("USEZIP", zip ? "1" : "0");
        test::Exec("update DOC_HEADS set DOC_STATE=1");
        server->Clear();
        fs::create_directories(server->Home() / "in");
        OfficeAnswers(kOfficeScript, zip, server->Home() / "in");
        log.Clear();
        ASSERT_TRUE(Download(log, ReadExchangeSettings()));
        const Lines importLines
            = zip ? Lines {"Распаковка...", "Начата загрузка..."} : Lines {"Начата загрузка..."};
        const Lines expected = Connected() + Lines {"Загрузка  файла.", "Загрузка  завершена."}
            + importLines + Lines {"Обработка...", "Загрузка завершена."};
        EXPECT_EQ(LogLines(log), expected);
        EXPECT_EQ(State("D-1"), "2");
        EXPECT_EQ(State("D-2"), "1");
        EXPECT_FALSE(fs::exists(Exchange() / (zip ? "ToPDA.zip.part" : "ToPDA.sqd.part")));
    }
    EXPECT_TRUE(folder.ui.shown.empty());
}

TEST_F(FtpTest, RemoteFolderForms)
{
    struct TCase {
        const char* path;
        fs::path remote; // inside the server's home
    };
    const TCase cases[] = {
        {"", ""}, // no folder change: the login folder of the account
        {"in", "in"},
        {"/in/sub/", "in/sub"}, // from the server's root, which is the account's home here
    };
    AddOrder();
    fs::create_directories(server->Home() / "in" / "sub");
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.path);
        SetOption("FTPPATH", c.path);
        const fs::path remote = server->Home() / c.remote;
        log.Clear();
        ASSERT_TRUE(Upload(log, ReadExchangeSettings()));
        EXPECT_TRUE(fs::exists(remote / "PDATo1C.xml"));
        fs::remove(remote / "PDATo1C.xml");
        OfficeAnswers(kOfficeScript, false, remote);
        ASSERT_TRUE(Download(log, ReadExchangeSettings()));
        EXPECT_EQ(State("D-1"), "2");
        fs::remove(remote / "ToPDA.sqd");
        fs::remove(folder.Path() / "office" / "ToPDA.sqd");
        test::Exec("update DOC_HEADS set DOC_STATE=1");
    }
}

TEST_F(FtpTest, FailuresAreLoggedAsTheOfficeExpects)
{
    const test::TClosedPort closed;
    const std::string deadPort = std::to_string(closed.Port());
    struct TCase {
        const char* what;
        std::function<void()> arrange;
        bool get;
        Lines transferLines; // from "Try connect to " on
    };
    const auto refused = [&](const std::string& port, const std::string& password) {
        return Lines {"Try connect to 127.0.0.1 : " + port,
            "  (Username=agent; Password=" + password + ")", "Не удалось соединиться с сервером."};
    };
    const TCase cases[] = {
        {"wrong password (counted in characters)", [] { SetOption("FTPPASSWORD", "пароль"); },
            false, refused(Port(), "******")},
        {"empty password (on a dead port: a wrong login costs seconds on this server)",
            [&] {
                SetOption("FTPPASSWORD", "");
                SetOption("FTPPORT", deadPort);
            },
            true, refused(deadPort, "")},
        {"nothing listening", [&] { SetOption("FTPPORT", deadPort); }, true,
            refused(deadPort, "******")},
        {"a line break in the password never reaches the server",
            [] { SetOption("FTPPASSWORD", "s3\r\nDELE x"); }, false, refused(Port(), "**********")},
        {"missing remote folder, upload", [] { SetOption("FTPPATH", "nowhere"); }, false,
            Connected() + Lines {"Сменить путь не удалось.", "Сбой связи."}},
        {"missing remote folder, download", [] { SetOption("FTPPATH", "nowhere"); }, true,
            Connected() + Lines {"Сменить путь не удалось.", "Файл не найден."}},
        {"no script on the server", [] {}, true,
            Connected() + Lines {"Загрузка  файла.", "Файл не найден."}},
        {"upload refused by the server (a folder where the export goes)",
            [] { fs::create_directories(server->Home() / "in" / "PDATo1C.xml"); }, false,
            Connected()
                + Lines {"Отправка файла.", "Сервер не переименовал файл; отправка напрямую.",
                    "Сбой связи."}},
        {"upload refused under both names",
            [] {
                fs::create_directories(server->Home() / "in" / "PDATo1C.xml");
                fs::create_directories(server->Home() / "in" / "PDATo1C.xml.part");
            },
            false,
            Connected()
                + Lines {"Отправка файла.", "Сервер не принял временный файл; отправка напрямую.",
                    "Сбой связи."}},
    };
    AddOrder();
    fs::create_directories(Exchange());
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.what);
        Configure();
        c.arrange();
        log.Clear();
        const TExchangeSettings s = ReadExchangeSettings();
        EXPECT_FALSE(c.get ? Download(log, s) : Upload(log, s));
        EXPECT_EQ(From(LogLines(log), "Try connect to "), c.transferLines);
        EXPECT_EQ(log.Text().find("s3cret"), std::string::npos);
        EXPECT_EQ(log.Text().find("пароль"), std::string::npos);
        EXPECT_TRUE(folder.ui.shown.empty()) << folder.ui.shown.front().text;
        EXPECT_FALSE(fs::exists(Exchange() / "ToPDA.sqd"));
    }

    // A server text that is no host name cannot reshape the address the device goes to.
    for (const char* address : {"agent@127.0.0.1", "127.0.0.1/in", "127.0.0.1:21", ""}) {
        SCOPED_TRACE(address);
        TFtpSettings s = ReadExchangeSettings().ftp;
        s.server = address;
        log.Clear();
        EXPECT_FALSE(Transfer(log, TFtpDirection::Get, s, Exchange() / "ToPDA.sqd"));
        EXPECT_EQ(log.LastMessage(), "Не удалось соединиться с сервером.");
    }
}

TEST_F(FtpTest, DownloadMakesTheExchangeFolderAndLeavesNoHalfFile)
{
    AddOrder();
    OfficeAnswers(kOfficeScript, false, server->Home() / "in");
    // A device that has never exchanged: the office's answer still arrives and is imported.
    ASSERT_FALSE(fs::exists(Exchange()));
    bool imported = false;
    EXPECT_TRUE(Download(log, ReadExchangeSettings(), &imported));
    EXPECT_TRUE(imported);
    EXPECT_EQ(State("D-1"), "2");
    EXPECT_EQ(log.Text().find("Файл не найден."), std::string::npos) << log.Text();

    // The last good script stays when the office's file is missing.
    test::WriteFile(Exchange() / "ToPDA.sqd", "last good");
    fs::remove(server->Home() / "in" / "ToPDA.sqd");
    EXPECT_FALSE(Download(log, ReadExchangeSettings()));
    EXPECT_EQ(test::ReadFile(Exchange() / "ToPDA.sqd"), "last good");
    EXPECT_EQ(std::distance(fs::directory_iterator(Exchange()), fs::directory_iterator()), 1)
        << "no partial file is left beside it";
}

TEST_F(FtpTest, ALocalFileThatCannotBeBegunIsTheDevicesFaultNotTheOffices)
{
    struct TCase {
        const char* what;
        std::function<void(const fs::path& exchange)> arrange;
    };
    // Ways that stop even root from writing, unlike permission bits.
    const TCase cases[] = {
        {"a file stands where the exchange folder goes",
            [](const fs::path& exchange) { test::WriteFile(exchange, "not a folder"); }},
        {"a folder that is not empty stands where the partial file goes",
            [](const fs::path& exchange) {
                fs::create_directories(exchange / "ToPDA.sqd.part");
                test::WriteFile(exchange / "ToPDA.sqd.part" / "keep", "x");
            }},
    };
    AddOrder();
    OfficeAnswers(kOfficeScript, false, server->Home() / "in");
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(Exchange());
        c.arrange(Exchange());
        log.Clear();
        EXPECT_FALSE(Download(log, ReadExchangeSettings()));
        const Lines expected
            = Connected() + Lines {"Загрузка  файла.", "Не удалось открыть файл для записи."};
        EXPECT_EQ(From(LogLines(log), "Try connect to "), expected);
        EXPECT_EQ(State("D-1"), "1");
        EXPECT_TRUE(folder.ui.shown.empty());
    }
}

TEST_F(FtpTest, ALineCutDuringTheDownloadKeepsTheLastGoodScript)
{
    TFtpServer slow(kUser, kPassword, {.sendLimit = 20000});
    ASSERT_TRUE(slow.Ready());
    test::WriteFile(slow.Home() / "ToPDA.sqd", test::OfficeScript() + std::string(400000, '-'));
    SetOption("FTPPORT", std::to_string(slow.Port()));
    SetOption("FTPPATH", "");
    fs::create_directories(Exchange());
    test::WriteFile(Exchange() / "ToPDA.sqd", "last good");

    // The line drops once part of the new script has arrived.
    THookedUserInterface ui;
    TUserInterfaceGuard guard(&ui);
    std::uintmax_t arrived = 0;
    ui.onPump = [&] {
        for (const auto& entry : fs::directory_iterator(Exchange())) {
            if (entry.path().filename() != "ToPDA.sqd")
                arrived = entry.file_size();
        }
        if (arrived > 0)
            slow.Stop();
    };
    EXPECT_FALSE(Download(log, ReadExchangeSettings()));
    EXPECT_GT(arrived, 0u) << "the transfer was cut while it ran";
    EXPECT_EQ(log.LastMessage(), "Файл не найден.");
    EXPECT_EQ(test::ReadFile(Exchange() / "ToPDA.sqd"), "last good");
    EXPECT_EQ(std::distance(fs::directory_iterator(Exchange()), fs::directory_iterator()), 1);
    EXPECT_TRUE(ui.shown.empty());
}

TEST_F(FtpTest, DownloadWhoseImportFailsStillSucceeds)
{
    fs::create_directories(Exchange());
    OfficeAnswers("Z_AGENT RESPONSE 9999\r\n", false, server->Home() / "in");
    bool imported = true;
    EXPECT_TRUE(Download(log, ReadExchangeSettings(), &imported));
    EXPECT_FALSE(imported) << "the caller can still tell";
    EXPECT_EQ(folder.ui.Texts(), (Lines {"Файл несовместимого формата."}));
    EXPECT_EQ(LogLines(log).back(), "Начата загрузка...");
}

TEST_F(FtpTest, SilentServerGivesUpAtTheTimeLimit)
{
    test::TSocket silent; // accepts connections in the kernel and never says a word
    const int port = silent.Bind(0);
    ASSERT_TRUE(port > 0 && silent.Listen());
    SetOption("FTPPORT", std::to_string(port));
    SetFtpTimeLimits({1, 1});
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(Download(log, ReadExchangeSettings()));
    // Not a measure of speed: the limit must end the wait instead of the agent's patience.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
    EXPECT_EQ(log.LastMessage(), "Не удалось соединиться с сервером.");
}

// A server that misbehaves on purpose when asked for a file: "drip" sends a few bytes a second
// (still faster than a stalled line) for 40 s; "flood:N" sends N bytes without announcing the
// size, "flood:N:announced" announces it first.
const char* const kMisbehavingServer = R"py(
import socket, sys, threading, time
home, user, password, mode = sys.argv[1:]
kind, _, rest = mode.partition(":")
size = int(rest.split(":")[0]) if kind == "flood" else 0
announced = rest.endswith(":announced")
def serve(conn):
    reader = conn.makefile("rb")
    say = lambda text: conn.sendall((text + "\r\n").encode())
    say("220 ready")
    passive = None
    for line in reader:
        verb, _, arg = line.decode("latin-1").strip().partition(" ")
        verb = verb.upper()
        if verb == "USER": say("331 password please")
        elif verb == "PASS": say("230 logged in")
        elif verb == "PWD": say('257 "/"')
        elif verb == "CWD": say("250 ok")
        elif verb == "TYPE": say("200 ok")
        elif verb in ("EPSV", "PASV"):
            passive = socket.socket()
            passive.bind(("127.0.0.1", 0))
            passive.listen(1)
            p = passive.getsockname()[1]
            say("229 passive (|||%d|)" % p if verb == "EPSV"
                else "227 passive (127,0,0,1,%d,%d)" % (p >> 8, p & 255))
        elif verb == "SIZE": say("213 %d" % size if announced else "502 no sizes here")
        elif verb == "RETR":
            say("150 sending (%d bytes)" % size if announced else "150 sending")
            data, _ = passive.accept()
            if kind == "drip":
                for i in range(80):
                    data.sendall(b"-----")
                    time.sleep(0.5)
            else:
                data.sendall(b"x" * size)
            data.close()
            say("226 sent")
        elif verb == "QUIT":
            say("221 bye")
            break
        else: say("502 not here")
def guarded(conn):
    try:
        serve(conn)
    except OSError:
        pass
    finally:
        conn.close()
server = socket.socket()
server.bind(("127.0.0.1", 0))
server.listen(4)
print(server.getsockname()[1], flush=True)
while True:
    conn, _ = server.accept()
    threading.Thread(target=guarded, args=(conn,), daemon=True).start()
)py";

TEST_F(FtpTest, ADrippingServerIsCutAtTheLowSpeedLimit)
{
    const TFtpServer drip(kMisbehavingServer, kUser, kPassword, "drip");
    ASSERT_TRUE(drip.Ready());
    SetOption("FTPPORT", std::to_string(drip.Port()));
    fs::create_directories(Exchange());
    test::WriteFile(Exchange() / "ToPDA.sqd", "last good");
    // Fewer than 100 bytes a second for 2 s fails it; the server sends 10 and would go on 40 s.
    SetFtpTimeLimits({.connectSeconds = 5, .stallSeconds = 5, .lowSpeedSeconds = 2});
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(Download(log, ReadExchangeSettings()));
    // Not a measure of speed: the limit must end the transfer, not the server.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
    EXPECT_EQ(From(LogLines(log), "Загрузка  файла."), (Lines {"Загрузка  файла.", "Сбой связи."}));
    ExpectLastGoodScriptKept();
}

TEST_F(FtpTest, ADownloadOverTheSizeCapIsRefused)
{
    struct TCase {
        const char* what;
        const char* mode;
        bool fetched;
    };
    const TCase cases[] = {
        {"size not announced, one byte over", "flood:65537", false},
        {"size announced, far over", "flood:1048576:announced", false},
        {"exactly the cap", "flood:65536", true},
        {"exactly the cap, announced", "flood:65536:announced", true},
    };
    fs::create_directories(Exchange());
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.what);
        const TFtpServer flood(kMisbehavingServer, kUser, kPassword, c.mode);
        ASSERT_TRUE(flood.Ready());
        SetOption("FTPPORT", std::to_string(flood.Port()));
        test::WriteFile(Exchange() / "ToPDA.sqd", "last good");
        SetFtpTimeLimits({.connectSeconds = 5, .stallSeconds = 5, .maxDownloadBytes = 65536});
        log.Clear();
        EXPECT_EQ(
            Transfer(log, TFtpDirection::Get, ReadExchangeSettings().ftp, Exchange() / "ToPDA.sqd"),
            c.fetched);
        if (c.fetched) {
            EXPECT_EQ(fs::file_size(Exchange() / "ToPDA.sqd"), 65536u);
            EXPECT_EQ(log.LastMessage(), "Загрузка  завершена.");
        } else {
            EXPECT_EQ(log.LastMessage(), "Сбой связи.");
            ExpectLastGoodScriptKept();
        }
    }
}

TEST_F(FtpTest, AFullDiskFailsTheDownloadAndKeepsTheLastGoodScript)
{
    test::WriteFile(server->Home() / "in" / "ToPDA.sqd", std::string(1 << 20, '-'));
    fs::create_directories(Exchange());
    test::WriteFile(Exchange() / "ToPDA.sqd", "last good");
    // While the download runs no file of this process may grow past 64 KiB: the device's
    // writes fail with the system's own error, as on a full storage card, and no root is needed.
    rlimit saved {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    rlimit full = saved;
    full.rlim_cur = 64 << 10;
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &full), 0);
    const bool fetched
        = Transfer(log, TFtpDirection::Get, ReadExchangeSettings().ftp, Exchange() / "ToPDA.sqd");
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);
    EXPECT_FALSE(fetched);
    EXPECT_EQ(log.LastMessage(), "Сбой связи.");
    ExpectLastGoodScriptKept();
}

TEST_F(FtpTest, AnUploadAppearsUnderItsNameOnlyWhenWhole)
{
    TFtpServer slow(kUser, kPassword, {.receiveLimit = 65536});
    ASSERT_TRUE(slow.Ready());
    TFtpSettings s = ReadExchangeSettings().ftp;
    s.port = slow.Port();
    s.folder = "";
    ExpectUploadAppearsWhole(s, slow.Home());
}

TEST_F(FtpTest, AnUploadAppearsUnderItsNameOnlyWhenWholeOnVsftpd)
{
    const test::TVsftpd vsftpd(65536);
    if (!vsftpd.SkipReason().empty())
        GTEST_SKIP() << vsftpd.SkipReason();
    ASSERT_TRUE(vsftpd.Ready()) << "vsftpd did not start";
    // The previous export belongs to the account, so that sending straight onto it is allowed.
    const passwd* account = getpwnam("ftp");
    test::WriteFile(vsftpd.In() / "PDATo1C.xml", "");
    ASSERT_EQ(chown((vsftpd.In() / "PDATo1C.xml").c_str(), account->pw_uid, account->pw_gid), 0);
    // vsftpd takes the user name "ftp" for an anonymous login.
    const TFtpSettings s {"127.0.0.1", vsftpd.Port(), "in", "ftp", "agent@example.com"};
    ExpectUploadAppearsWhole(s, vsftpd.In());
}

TEST_F(FtpTest, AServerThatWillNotRenameGetsTheFileDirectly)
{
    struct TCase {
        const char* what;
        TFtpServerOptions options;
        const char* inTheWay; // a folder on the server under this name
        const char* line;
    };
    const TCase cases[] = {
        {"no right to rename", {.perm = "elradwMT"}, nullptr,
            "Сервер не переименовал файл; отправка напрямую."},
        {"the temporary name is taken", {}, "PDATo1C.xml.part",
            "Сервер не принял временный файл; отправка напрямую."},
    };
    AddOrder();
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.what);
        const TFtpServer strict(kUser, kPassword, c.options);
        ASSERT_TRUE(strict.Ready());
        test::WriteFile(strict.Home() / "PDATo1C.xml", "previous export");
        if (c.inTheWay)
            fs::create_directories(strict.Home() / c.inTheWay);
        SetOption("FTPPORT", std::to_string(strict.Port()));
        SetOption("FTPPATH", "");
        log.Clear();
        EXPECT_TRUE(Upload(log, ReadExchangeSettings()));
        EXPECT_EQ(From(LogLines(log), "Отправка файла."),
            (Lines {"Отправка файла.", c.line, "Отправка завершена."}));
        EXPECT_EQ(test::ReadFile(strict.Home() / "PDATo1C.xml"),
            test::ReadFile(Exchange() / "PDATo1C.xml"));
        // The leftover is removed where the server lets it be; a folder in the way stays.
        EXPECT_EQ(fs::exists(strict.Home() / "PDATo1C.xml.part"), c.inTheWay != nullptr);
    }
}

TEST_F(FtpTest, FullExchangeTakesTheOrderToTheOfficeAndBack)
{
    SetOption("FTPAUTO", "1");
    AddOrder();
    OfficeAnswers(kOfficeScript, false, server->Home() / "in");
    TExchangeSequence sequence(log);
    sequence.Show();
    ASSERT_TRUE(sequence.StartTimerArmed());
    folder.ui.answers = {TAnswer::Yes};
    const TCommandResult r = sequence.StartTimerFired();
    EXPECT_TRUE(r.ran && r.success);
    EXPECT_EQ(r.next, TAfterCommand::Close);
    EXPECT_FALSE(sequence.StartTimerArmed());
    EXPECT_EQ(folder.ui.Texts(),
        (Lines {"Загрузить данные с сервера?", "Успешно!\r\nЗагрузка завершена."}));
    EXPECT_EQ(folder.ui.shown[1].icon, TIcon::Information);

    // The office received the order, and its answer locked it on the device.
    EXPECT_NE(test::ReadFile(server->Home() / "in" / "PDATo1C.xml").find("D-1"), std::string::npos);
    TJournal journal;
    LoadJournal(journal, 0, 0);
    ASSERT_EQ(journal.keys.size(), 2u);
    EXPECT_EQ(journal.keys[0], "D-1");
    EXPECT_EQ(journal.rows[0].image, 2);
    EXPECT_EQ(journal.rows[1].image, 1);
}

TEST_F(FtpTest, AutomaticModeResultBoxes)
{
    SetOption("FTPAUTO", "1");
    AddOrder();
    {
        SCOPED_TRACE("No to the question: the upload's outcome stands");
        TExchangeSequence sequence(log);
        sequence.Show();
        folder.ui.answers = {TAnswer::No};
        const TCommandResult r = sequence.FullExchange();
        EXPECT_TRUE(r.success);
        EXPECT_EQ(r.next, TAfterCommand::Close);
        EXPECT_EQ(folder.ui.Texts().back(), "Успешно!\r\nОтправка завершена.");
        EXPECT_EQ(State("D-1"), "1");
    }
    {
        SCOPED_TRACE("server unreachable: Retry, then Cancel");
        const test::TClosedPort closed;
        SetOption("FTPPORT", std::to_string(closed.Port()));
        folder.ui.Clear();
        log.Clear();
        TExchangeSequence sequence(log);
        sequence.Show();
        folder.ui.answers = {TAnswer::Retry, TAnswer::Cancel};
        const std::string box
            = "Произошла ошибка!\r\nПоследнее сообщение: \r\nНе удалось соединиться с сервером.";
        TCommandResult r = sequence.StartTimerFired();
        EXPECT_FALSE(r.success);
        EXPECT_EQ(r.next, TAfterCommand::StartAgain);
        EXPECT_TRUE(sequence.StartTimerArmed());
        const std::size_t tries = LogLines(log).size();
        r = sequence.StartTimerFired();
        EXPECT_EQ(r.next, TAfterCommand::Close);
        EXPECT_FALSE(sequence.StartTimerArmed());
        EXPECT_EQ(LogLines(log).size(), 2 * tries) << "Retry repeats the whole exchange";
        EXPECT_EQ(folder.ui.Texts(), (Lines {box, box}));
        EXPECT_EQ(folder.ui.shown[0].icon, TIcon::Question);
    }
    {
        SCOPED_TRACE("manual mode: the log shows the result, no box");
        SetOption("FTPAUTO", "0");
        folder.ui.Clear();
        TExchangeSequence sequence(log);
        sequence.Show();
        EXPECT_FALSE(sequence.StartTimerArmed());
        EXPECT_EQ(sequence.StartTimerFired().ran, false);
        const TCommandResult r = sequence.FullExchange();
        EXPECT_TRUE(r.ran);
        EXPECT_FALSE(r.success);
        EXPECT_EQ(r.next, TAfterCommand::Stay);
        EXPECT_TRUE(folder.ui.shown.empty());
    }
}

TEST_F(FtpTest, BusyFlagKeepsEveryOtherCommandOut)
{
    AddOrder();
    fs::create_directories(Exchange());
    OfficeAnswers(kOfficeScript, false, server->Home() / "in");
    THookedUserInterface ui;
    TUserInterfaceGuard guard(&ui);
    TExchangeSequence sequence(log);
    sequence.Show();
    std::vector<bool> ran;
    const auto tryEverything = [&] {
        EXPECT_TRUE(sequence.Busy());
        for (const auto& command : {&TExchangeSequence::FullExchange,
                 &TExchangeSequence::DownloadOnly, &TExchangeSequence::ExportToFolder,
                 &TExchangeSequence::ImportFromFolder, &TExchangeSequence::CloseCommand})
            ran.push_back((sequence.*command)().ran);
    };

    // From inside the question of the full exchange.
    ui.onAsk = [&] {
        ui.onAsk = nullptr;
        tryEverything();
    };
    ui.answers = {TAnswer::Yes};
    EXPECT_TRUE(sequence.FullExchange().success);
    EXPECT_EQ(ran, std::vector<bool>(5, false));
    EXPECT_FALSE(sequence.Busy());

    // From a repaint during the download alone.
    ran.clear();
    ui.onPump = [&] {
        ui.onPump = nullptr;
        tryEverything();
    };
    EXPECT_TRUE(sequence.DownloadOnly().success);
    EXPECT_EQ(ran, std::vector<bool>(5, false));
    EXPECT_FALSE(sequence.Busy());
    EXPECT_EQ(sequence.CloseCommand().next, TAfterCommand::Close);
}

// Runs vendrix-cli as a scheduler would; standard error goes to `errFile`.
test::TProcessResult RunCli(const std::string& args, const fs::path& errFile)
{
    return test::RunProcess(std::string(VENDRIX_CLI) + " " + args + " </dev/null", errFile);
}

TEST_F(FtpTest, CompanionSynchronisesFromAScheduler)
{
    SetOption("FTPAUTO", "1");
    AddOrder();
    OfficeAnswers(kOfficeScript, false, server->Home() / "in");
    const std::string home = "--home '" + folder.Path().string() + "' ";
    const fs::path err = folder.Path() / "err.txt";

    test::TProcessResult r = RunCli(home + "--yes exchange", err);
    EXPECT_EQ(r.status, 0) << r.out << test::ReadFile(err);
    EXPECT_NE(r.out.find(" Отправка завершена.\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(" Загрузка завершена.\n"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("s3cret"), std::string::npos);
    EXPECT_NE(test::ReadFile(err).find("Успешно!\r\nЗагрузка завершена."), std::string::npos);
    EXPECT_EQ(State("D-1"), "2");

    test::Exec("update DOC_HEADS set DOC_STATE=1");
    fs::remove(server->Home() / "in" / "PDATo1C.xml");
    EXPECT_EQ(RunCli(home + "send", err).status, 0);
    EXPECT_TRUE(fs::exists(server->Home() / "in" / "PDATo1C.xml"));
    EXPECT_EQ(RunCli(home + "receive", err).status, 0);
    EXPECT_EQ(State("D-1"), "2");

    // Without --yes the answer to the question is No: only the upload runs, and succeeds.
    test::Exec("update DOC_HEADS set DOC_STATE=1");
    EXPECT_EQ(RunCli(home + "exchange", err).status, 0);
    EXPECT_EQ(State("D-1"), "1");

    // A dead line fails once, with the error box answered Cancel even under --yes.
    const test::TClosedPort closed;
    SetOption("FTPPORT", std::to_string(closed.Port()));
    r = RunCli(home + "--yes exchange", err);
    EXPECT_EQ(r.status, 1);
    const std::string box
        = "Произошла ошибка!\r\nПоследнее сообщение: \r\nНе удалось соединиться с сервером.";
    const std::string shown = test::ReadFile(err);
    EXPECT_NE(shown.find(box), std::string::npos) << shown;
    EXPECT_EQ(shown.find(box), shown.rfind(box)) << "never retried";
    EXPECT_EQ(RunCli(home + "send", err).status, 1);
    EXPECT_EQ(RunCli(home + "receive", err).status, 1);

    SetOption("USEFTP", "0");
    EXPECT_EQ(RunCli(home + "exchange", err).status, 1);
    EXPECT_NE(test::ReadFile(err).find("UseFTP"), std::string::npos);
    EXPECT_EQ(RunCli(home + "send extra", err).status, 2);
}

} // namespace
} // namespace vendrix
