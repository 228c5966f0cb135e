// The exchange with an office server that protects its line with TLS, against a real vsftpd on
// 127.0.0.1 (it needs root) with a CA and server certificates made here with openssl: both
// spellings of a protected server in both directions, the certificate checks with the reasons
// they log, the office's own CA file, the refusal to fall back to plain FTP, and a relay on the
// control connection that shows neither the password nor the file passes in the clear.
#include "exchange/archive.h"
#include "exchange/exchange_log.h"
#include "exchange/ftp_transfer.h"
#include "storage/codepage.h"
#include "storage/database_location.h"
#include "storage/options.h"
#include "storage/sql_query.h"
#include "support/ftp_server.h"
#include "support/test_support.h"

#include <arpa/inet.h>
#include <atomic>
#include <memory>
#include <mutex>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace vendrix {
namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

// vsftpd takes "ftp" for an anonymous login; over TLS it asks for a password, any will do.
const std::string kUser = "ftp";
const std::string kPassword = "Tajna-7319";
const std::string kScript
    = test::OfficeScript({"<EXEC \"update DOC_HEADS set DOC_STATE=2 where GUID='D-1'\">"});

Lines operator+(Lines a, const Lines& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// The log entries without their time stamps, from the first "Try connect to " on.
Lines TransferLines(const TExchangeLog& log)
{
    Lines out;
    const std::string& text = log.Text();
    for (std::size_t start = 0; start < text.size();) {
        std::size_t end = text.find("\r\n", start);
        if (end == std::string::npos)
            end = text.size();
        const std::string line = text.substr(start, end - start);
        if (!out.empty() || line.find("Try connect to ") == 9)
            out.push_back(line.substr(9));
        start = end + 2;
    }
    return out;
}

// A CA of the office, a certificate it gave the server at 127.0.0.1 and one it gave another
// host, all made once for the program; `error` tells when openssl could not make them.
struct TCertificates {
    std::shared_ptr<test::TTemporaryFolder> scratch; // removed with the last copy
    fs::path folder;
    std::string error;
    fs::path Ca() const { return folder / "ca.pem"; }
    fs::path Key() const { return folder / "server.key"; }
    fs::path Right() const { return folder / "right.pem"; }
    fs::path Wrong() const { return folder / "wrong.pem"; }
};

TCertificates MakeCertificates()
{
    TCertificates c;
    c.scratch = std::make_shared<test::TTemporaryFolder>("vendrix-tls");
    c.folder = c.scratch->Path();
    const std::string sign
        = " | openssl x509 -req -CA ca.pem -CAkey ca.key -CAcreateserial -days 3 ";
    const std::string script = "(cd '" + c.folder.string() + "' && "
        + "openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.pem -days 3 "
          "-subj '/CN=Vendrix Test Office CA' -addext basicConstraints=critical,CA:TRUE "
          "-addext keyUsage=critical,keyCertSign,cRLSign && "
          "openssl genrsa -out server.key 2048 && "
          "printf 'subjectAltName=IP:127.0.0.1,DNS:localhost\\n' > right.ext && "
          "printf 'subjectAltName=DNS:other.example\\n' > wrong.ext && "
          "openssl req -new -key server.key -subj /CN=127.0.0.1"
        + sign + "-extfile right.ext -out right.pem && "
        + "openssl req -new -key server.key -subj /CN=other.example" + sign
        + "-extfile wrong.ext -out wrong.pem) >/dev/null";
    const test::TProcessResult r = test::RunProcess(script, c.folder / "openssl.err");
    if (r.status != 0)
        c.error = "openssl could not make the certificates: "
            + test::ReadFile(c.folder / "openssl.err");
    return c;
}

// A TCP relay on 127.0.0.1 in front of `target`: it passes every byte of the connections it
// takes, one after another, and records what the device sent.
class TRelay {
public:
    explicit TRelay(int target)
        : m_target(target)
    {
        m_listener = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a = Loopback(0);
        socklen_t n = sizeof a;
        if (bind(m_listener, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0
            && getsockname(m_listener, reinterpret_cast<sockaddr*>(&a), &n) == 0
            && listen(m_listener, 4) == 0)
            m_port = ntohs(a.sin_port);
        m_thread = std::thread([this] { Run(); });
    }
    ~TRelay()
    {
        Stop();
        close(m_listener);
    }
    int Port() const { return m_port; }
    /// Ends the relay; what it recorded stays.
    void Stop()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
    }
    /// Every byte the device sent, the connections one after another.
    std::string Sent() const
    {
        std::lock_guard lock(m_mutex);
        return m_sent;
    }

private:
    static sockaddr_in Loopback(int port)
    {
        sockaddr_in a {};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = htons(static_cast<std::uint16_t>(port));
        return a;
    }

    void Run()
    {
        while (!m_stop) {
            pollfd p {m_listener, POLLIN, 0};
            if (poll(&p, 1, 100) <= 0)
                continue;
            const int device = accept(m_listener, nullptr, nullptr);
            const int server = socket(AF_INET, SOCK_STREAM, 0);
            const sockaddr_in a = Loopback(m_target);
            if (device >= 0
                && connect(server, reinterpret_cast<const sockaddr*>(&a), sizeof a) == 0)
                Pass(device, server);
            close(device);
            close(server);
        }
    }

    // Copies both ways until either side closes.
    void Pass(int device, int server)
    {
        char buffer[16384];
        while (!m_stop) {
            pollfd p[2] = {{device, POLLIN, 0}, {server, POLLIN, 0}};
            if (poll(p, 2, 100) <= 0)
                continue;
            for (int i = 0; i < 2; ++i) {
                if (!(p[i].revents & (POLLIN | POLLHUP | POLLERR)))
                    continue;
                const ssize_t n = read(p[i].fd, buffer, sizeof buffer);
                if (n <= 0)
                    return;
                if (i == 0) {
                    std::lock_guard lock(m_mutex);
                    m_sent.append(buffer, static_cast<std::size_t>(n));
                }
                if (write(i == 0 ? server : device, buffer, static_cast<std::size_t>(n)) != n)
                    return;
            }
        }
    }

    int m_target;
    int m_listener = -1;
    int m_port = 0;
    std::atomic<bool> m_stop {false};
    mutable std::mutex m_mutex;
    std::string m_sent;
    std::thread m_thread;
};

class FtpTlsTest : public test::StartedFolderTest {
protected:
    static void SetUpTestSuite()
    {
        // Only the servers started here may be contacted, never a proxy of the environment.
        for (const char* name : {"ftp_proxy", "FTP_PROXY", "all_proxy", "ALL_PROXY"})
            unsetenv(name);
        certificates = MakeCertificates();
    }
    static void TearDownTestSuite() { certificates = {}; }

    void SetUp() override
    {
        ASSERT_EQ(certificates.error, "");
        test::StartedFolderTest::SetUp();
        SetOption("USEFTP", "1");
        SetOption("FTPAUTH", "1");
        SetOption("FTPPATH", "in");
        SetOption("FTPLOGIN", kUser);
        SetOption("FTPPASSWORD", kPassword);
        SetFtpTimeLimits({5, 5});
    }
    void TearDown() override { SetFtpTimeLimits({}); }

    static test::TVsftpdTls Tls(bool implicit, bool rightHost = true)
    {
        return {
            rightHost ? certificates.Right() : certificates.Wrong(), certificates.Key(), implicit};
    }
    static void Point(const std::string& server, int port)
    {
        SetOption("FTPADDRESS", server);
        SetOption("FTPPORT", std::to_string(port));
    }
    // The office's CA file in the data folder.
    static fs::path OfficeCa() { return DbPath().parent_path() / kOfficeCaName; }
    static void TrustOffice() { fs::copy_file(certificates.Ca(), OfficeCa()); }

    static void AddOrder()
    {
        test::Exec("insert into DOC_HEADS (GUID, DOC_DATE, REC_TIME, DOC_STATE, CLI_GUID, "
                   "CLI_NAME, ORD_LINES, STR_PRIM) values ('D-1', '2009-10-26', '2009-10-25', 1, "
                   "'C-1', 'Иванов', 1, '');"
                   "insert into DOC_ORDERS (DOC_ID, ORDER_ID, G_GUID, G_NAME, G_WT, PRICE) "
                   "values ('D-1', 0, 'G-1', 'Сок', 2, 12.5)");
    }
    fs::path Exchange() const { return folder.Path() / "exchange"; }
    static Lines Refused(const std::string& server, int port, const std::string& why)
    {
        return {"Try connect to " + server + " : " + std::to_string(port),
            "  (Username=ftp; Password=" + std::string(kPassword.size(), '*') + ")", why,
            "Не удалось соединиться с сервером."};
    }

    static TCertificates certificates;
    TExchangeLog log;
};

TCertificates FtpTlsTest::certificates;

TEST_F(FtpTlsTest, PortRuleByTheServerSpelling)
{
    struct TCase {
        const char* server;
        const char* port;
        int expected;
    };
    const TCase cases[] = {
        {"ftps://h", "", 990},
        {"ftps://h", "0", 990},
        {"ftps://h", "abc", 990},
        {"ftps://h", "70000", 990},
        {"FTPS://h", "", 990},
        {"ftps://h", "2121", 2121},
        {"ftpes://h", "", 21},
        {"ftpes://h", "990", 990},
        {"h", "", 21},
    };
    for (const TCase& c : cases) {
        SetOption("FTPADDRESS", c.server);
        SetOption("FTPPORT", c.port);
        const TExchangeSettings s = ReadExchangeSettings();
        EXPECT_EQ(s.ftp.port, c.expected) << c.server << " port '" << c.port << "'";
        EXPECT_EQ(s.ftp.server, c.server) << "logged as typed";
    }
}

TEST_F(FtpTlsTest, ProtectedServersTakeTheExportAndGiveTheAnswer)
{
    struct TMode {
        const char* spelling;
        bool implicit;
    };
    const TMode modes[] = {{"ftpes://127.0.0.1", false}, {"ftps://127.0.0.1", true}};
    TrustOffice();
    AddOrder();
    for (const TMode& mode : modes) {
        const test::TVsftpd server(0, Tls(mode.implicit));
        if (!server.SkipReason().empty())
            GTEST_SKIP() << server.SkipReason();
        ASSERT_TRUE(server.Ready()) << "vsftpd did not start";
        Point(mode.spelling, server.Port());
        const Lines connected = {
            "Try connect to " + std::string(mode.spelling) + " : " + std::to_string(server.Port()),
            "  (Username=ftp; Password=**********)", "Соединение установлено."};
        for (const bool zip : {false, true}) {
            SCOPED_TRACE(std::string(mode.spelling) + (zip ? ", UseZip on" : ", UseZip off"));
            SetOption("USEZIP", zip ? "1" : "0");
            test::Exec("update DOC_HEADS set DOC_STATE=1");

            log.Clear();
            ASSERT_TRUE(Upload(log, ReadExchangeSettings())) << log.Text();
            EXPECT_EQ(
                TransferLines(log), (connected + Lines {"Отправка файла.", "Отправка завершена."}));
            const std::string name = zip ? "PDATo1C.zip" : "PDATo1C.xml";
            EXPECT_EQ(test::ReadFile(server.In() / name), test::ReadFile(Exchange() / name));

            const fs::path office = test::WriteOfficeScript(folder.Path() / "office", kScript);
            if (zip)
                ASSERT_TRUE(Pack(office, server.In() / "ToPDA.zip"));
            else
                fs::copy_file(
                    office, server.In() / "ToPDA.sqd", fs::copy_options::overwrite_existing);
            log.Clear();
            bool imported = false;
            ASSERT_TRUE(Download(log, ReadExchangeSettings(), &imported)) << log.Text();
            EXPECT_TRUE(imported);
            const Lines got = TransferLines(log);
            EXPECT_EQ(Lines(got.begin(), got.begin() + 5),
                (connected + Lines {"Загрузка  файла.", "Загрузка  завершена."}));
            EXPECT_EQ(test::Value("select DOC_STATE from DOC_HEADS where GUID='D-1'"), "2");
            EXPECT_EQ(log.Text().find(kPassword), std::string::npos);
        }
    }
}

TEST_F(FtpTlsTest, ACertificateThatFailsTheCheckRefusesTheConnection)
{
    struct TCase {
        const char* what;
        bool implicit;
        bool rightHost;
        const char* officeCa; // "ca": the office's CA; "junk": a file that holds none; "": no file
        const char* why; // null: the exchange goes through
    };
    const TCase cases[] = {
        {"unknown CA, explicit", false, true, "", "Сертификат сервера не прошёл проверку."},
        {"unknown CA, implicit", true, true, "", "Сертификат сервера не прошёл проверку."},
        {"the office's CA file makes it known", false, true, "ca", nullptr},
        {"a CA file without certificates helps nothing", false, true, "junk",
            "Сертификат сервера не прошёл проверку."},
        {"another host's certificate, explicit", false, false, "ca",
            "Сертификат сервера выдан для другого адреса."},
        {"another host's certificate, implicit", true, false, "ca",
            "Сертификат сервера выдан для другого адреса."},
    };
    AddOrder();
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.what);
        const test::TVsftpd server(0, Tls(c.implicit, c.rightHost));
        if (!server.SkipReason().empty())
            GTEST_SKIP() << server.SkipReason();
        ASSERT_TRUE(server.Ready()) << "vsftpd did not start";
        const std::string spelling = c.implicit ? "ftps://127.0.0.1" : "ftpes://127.0.0.1";
        Point(spelling, server.Port());
        fs::remove(OfficeCa());
        if (std::string(c.officeCa) == "ca")
            TrustOffice();
        else if (std::string(c.officeCa) == "junk")
            test::WriteFile(OfficeCa(), "not a certificate\n");
        log.Clear();
        EXPECT_EQ(Upload(log, ReadExchangeSettings()), c.why == nullptr);
        if (c.why) {
            EXPECT_EQ(TransferLines(log), Refused(spelling, server.Port(), c.why));
            EXPECT_FALSE(fs::exists(server.In() / "PDATo1C.xml"));
        } else {
            EXPECT_EQ(log.LastMessage(), "Отправка завершена.");
        }
    }
}

TEST_F(FtpTlsTest, APlainServerIsNeverUsedInTheClear)
{
    // pyftpdlib without TLS: it does not know AUTH, and answers a TLS greeting in plain text.
    const test::TFtpServer plain(kUser, kPassword);
    ASSERT_TRUE(plain.Ready()) << "pyftpdlib did not start (python3-pyftpdlib missing?)";
    fs::create_directories(plain.Home() / "in");
    AddOrder();
    const struct {
        const char* spelling;
        const char* why;
    } cases[] = {
        {"ftpes://127.0.0.1", "Сервер не поддерживает защищённое соединение."},
        {"ftps://127.0.0.1", "Не удалось установить защищённое соединение."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.spelling);
        Point(c.spelling, plain.Port());
        log.Clear();
        EXPECT_FALSE(Upload(log, ReadExchangeSettings()));
        EXPECT_EQ(TransferLines(log), Refused(c.spelling, plain.Port(), c.why));
        EXPECT_FALSE(fs::exists(plain.Home() / "in" / "PDATo1C.xml"));
    }
}

TEST_F(FtpTlsTest, NeitherPasswordNorFilePassesInTheClear)
{
    // The data connections go to the server's passive ports past the relay; vsftpd refuses them
    // unprotected, so the transfer's success shows they were. The relay watches the control.
    const std::string marker = "Иванов-Петров-Сидоров";
    test::Exec("insert into DOC_HEADS (GUID, DOC_DATE, REC_TIME, DOC_STATE, CLI_GUID, CLI_NAME, "
               "ORD_LINES, STR_PRIM) values ('D-1', '2009-10-26', '2009-10-25', 1, 'C-1', '"
        + marker + "', 0, '')");
    const std::string password = Utf8ToCp1251(kPassword);
    const std::string content = Utf8ToCp1251(marker);
    TrustOffice();

    {
        SCOPED_TRACE("the relay records what a plain server is sent");
        const test::TFtpServer plain(kUser, kPassword);
        ASSERT_TRUE(plain.Ready());
        TRelay relay(plain.Port());
        Point("127.0.0.1", relay.Port());
        SetOption("FTPPATH", "");
        ASSERT_TRUE(Upload(log, ReadExchangeSettings())) << log.Text();
        relay.Stop();
        EXPECT_NE(relay.Sent().find("PASS " + password + "\r\n"), std::string::npos);
        EXPECT_NE(test::ReadFile(plain.Home() / "PDATo1C.xml").find(content), std::string::npos);
        SetOption("FTPPATH", "in");
    }
    for (const bool implicit : {false, true}) {
        SCOPED_TRACE(implicit ? "implicit" : "explicit");
        const test::TVsftpd server(0, Tls(implicit));
        if (!server.SkipReason().empty())
            GTEST_SKIP() << server.SkipReason();
        ASSERT_TRUE(server.Ready()) << "vsftpd did not start";
        TRelay relay(server.Port());
        Point(implicit ? "ftps://127.0.0.1" : "ftpes://127.0.0.1", relay.Port());
        log.Clear();
        ASSERT_TRUE(Upload(log, ReadExchangeSettings())) << log.Text();
        relay.Stop();
        const std::string sent = relay.Sent();
        ASSERT_FALSE(sent.empty());
        EXPECT_EQ(sent.find(password), std::string::npos);
        EXPECT_EQ(sent.find("PASS"), std::string::npos);
        EXPECT_EQ(sent.find(content), std::string::npos);
        if (implicit)
            EXPECT_EQ(sent[0], '\x16') << "a TLS handshake from the first byte";
        else
            EXPECT_EQ(sent.rfind("AUTH ", 0), 0u) << "TLS asked for before anything else";
        EXPECT_NE(test::ReadFile(server.In() / "PDATo1C.xml").find(content), std::string::npos);
    }
}

} // namespace
} // namespace vendrix
