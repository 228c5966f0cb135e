// vendrix-cli as office staff and schedulers use it: a real process on a real program folder,
// its exit status, its log on standard output and its messages on standard error.
#include "storage/codepage.h"
#include "storage/options.h"
#include "support/ftp_server.h"
#include "support/test_support.h"

namespace vendrix {
namespace {

namespace fs = std::filesystem;

// Runs the companion with `args`; standard error goes to `errFile` when given.
test::TProcessResult RunCli(const std::string& args, const fs::path& errFile = "/dev/null")
{
    return test::RunProcess(std::string(VENDRIX_CLI) + " " + args, errFile);
}

TEST(Companion, ImportThenExportOnAFreshFolder)
{
    test::TProgramFolder home;
    const std::string h = "--home '" + home.Path().string() + "' ";
    fs::create_directories(home.Path() / "exchange");
    test::WriteFile(home.Path() / "exchange" / "ToPDA.sqd",
        Utf8ToCp1251("Z_AGENT RESPONSE 0002-0000-0000-0002\r\n"
                     "<EXEC \"insert into DOC_HEADS (GUID, DOC_STATE, CLI_NAME) values "
                     "('D-1', 1, 'Иванов')\">\r\n<SHOWMSGWND \"Привет\">\r\n"));
    const fs::path err = home.Path() / "err.txt";
    const test::TProcessResult imported = RunCli(h + "import", err);
    EXPECT_EQ(imported.status, 0);
    EXPECT_NE(imported.out.find("Загрузка завершена."), std::string::npos) << imported.out;
    EXPECT_NE(test::ReadFile(err).find("Сообщение из офиса: [1 / 1]\r\nПривет"), std::string::npos);
    EXPECT_TRUE(fs::exists(home.Db()));

    const test::TProcessResult exported = RunCli(h + "export");
    EXPECT_EQ(exported.status, 0);
    const std::string xml = test::ReadFile(home.Path() / "exchange" / "PDATo1C.xml");
    EXPECT_NE(xml.find(Utf8ToCp1251("<DOC ID=\"D-1\"")), std::string::npos);
    EXPECT_NE(xml.find(Utf8ToCp1251("CLIENTNAME=\"Иванов\"")), std::string::npos);
}

TEST(Companion, ExitStatusTellsSuccessFailureAndMisuse)
{
    test::TProgramFolder home;
    const std::string h = "--home '" + home.Path().string() + "' ";
    struct TCase {
        const char* what;
        std::string args;
        int status;
    };
    const TCase cases[] = {
        {"help", "help", 0},
        {"no command", h, 2},
        {"unknown command", h + "frobnicate", 2},
        {"unknown option", "--nope export", 2},
        {"pack without its archive", h + "pack onlyone", 2},
        {"import with nothing to import", h + "import", 1},
        {"missing program folder", "--home /nonexistent/vendrix export", 1},
        {"extract from a missing archive", "extract /nonexistent.zip /tmp x", 1},
    };
    for (const TCase& c : cases)
        EXPECT_EQ(RunCli(c.args).status, c.status) << c.what;
}

// "receive" fails when the office's answer arrives but cannot be imported, so that a scheduler
// never takes a refused answer for a loaded one.
TEST(Companion, ReceiveFailsWhenTheAnswerCannotBeImported)
{
    test::TFtpServer server("agent", "pw");
    ASSERT_TRUE(server.Ready());
    test::TProgramFolder home;
    ASSERT_TRUE(home.Start());
    const std::pair<const char*, std::string> options[] = {{"USEFTP", "1"}, {"FTPAUTH", "1"},
        {"FTPAddress", "127.0.0.1"}, {"FTPPort", std::to_string(server.Port())}, {"FTPPath", "in"},
        {"FTPLogin", "agent"}, {"FTPPassword", "pw"}};
    for (const auto& [name, value] : options)
        SetOption(name, value);
    fs::create_directories(server.Home() / "in");
    fs::create_directories(home.Path() / "exchange"); // a download does not make it
    const std::string h = "--home '" + home.Path().string() + "' ";
    struct TCase {
        const char* what;
        std::string script;
        int status;
    };
    const TCase cases[] = {
        {"an answer that loads", "Z_AGENT RESPONSE 0002-0000-0000-0002\r\n// nothing\r\n", 0},
        {"an answer of an unknown format", "Z_AGENT RESPONSE 9999\r\n", 1},
        {"an answer whose statement fails",
            "Z_AGENT RESPONSE 0002-0000-0000-0002\r\n"
            "<EXEC \"insert into NO_SUCH_TABLE values (1)\">\r\n",
            1},
    };
    for (const TCase& c : cases) {
        test::WriteFile(server.Home() / "in" / "ToPDA.sqd", c.script);
        const fs::path err = home.Path() / "err.txt";
        const test::TProcessResult r = RunCli(h + "receive", err);
        EXPECT_EQ(r.status, c.status) << c.what << "\n" << r.out << test::ReadFile(err);
    }
}

TEST(Companion, PackAndExtract)
{
    test::TProgramFolder home;
    const fs::path src = home.Path() / "a.txt";
    test::WriteFile(src, std::string(100000, 'z'));
    const std::string zip = (home.Path() / "a.zip").string();
    ASSERT_EQ(RunCli("pack '" + src.string() + "' '" + zip + "'").status, 0);
    const test::TProcessResult r
        = RunCli("extract '" + zip + "' '" + (home.Path() / "x").string() + "' '*'");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "1\n");
    EXPECT_EQ(test::ReadFile(home.Path() / "x" / "a.txt"), std::string(100000, 'z'));
}

} // namespace
} // namespace vendrix
