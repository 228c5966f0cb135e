// Bad input of every kind the field and the office produce, each with the exact message the
// agent sees and proof that nothing was lost. (A base.sdb that is not a database, LF-only and
// NUL-cut scripts, and damaged or hostile archives have their own tests beside the code they
// concern.) Also the office's answers that are too big, unreadable or meet a full disk.
#include "documents/document.h"
#include "exchange/exchange_log.h"
#include "exchange/export_file.h"
#include "exchange/import_script.h"
#include "storage/codepage.h"
#include "storage/options.h"
#include "storage/sql_query.h"
#include "support/test_support.h"

#include <algorithm>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <functional>

namespace vendrix {
namespace {

namespace fs = std::filesystem;

// A small file system of its own for the program folder (root only): a full disk or a
// read-only folder for real, not simulated.
class TMount {
public:
    explicit TMount(const fs::path& at, const std::string& size)
        : m_at(at)
    {
        fs::create_directories(at);
        m_ok = geteuid() == 0
            && mount("tmpfs", at.c_str(), "tmpfs", 0, ("size=" + size).c_str()) == 0;
    }
    ~TMount()
    {
        if (m_ok)
            umount2(m_at.c_str(), MNT_DETACH);
    }
    bool Ok() const { return m_ok; }
    bool MakeReadOnly()
    {
        return mount("tmpfs", m_at.c_str(), "tmpfs", MS_REMOUNT | MS_RDONLY, nullptr) == 0;
    }

private:
    fs::path m_at;
    bool m_ok = false;
};

TDocument Order(const std::string& client, int lines)
{
    TDocument d;
    d.Reset();
    d.clientName = client;
    d.clientGuid = "C-" + client;
    for (int i = 0; i < lines; ++i)
        d.lines.push_back({"G-" + std::to_string(i),
            "Товар с длинным названием " + std::to_string(i), "1.00", "", 100});
    return d;
}

TEST(BadInput, ReadOnlyDataFolder)
{
    test::TProgramFolder folder;
    TMount mount(folder.Path() / "data", "8m");
    if (!mount.Ok())
        GTEST_SKIP() << "mounting a small file system needs root";
    ASSERT_TRUE(folder.Start());
    TDocument kept = Order("kept", 3);
    ASSERT_TRUE(kept.Save());
    ASSERT_TRUE(mount.MakeReadOnly());

    folder.ui.Clear();
    ASSERT_TRUE(folder.Start()) << "a complete database starts read-only";
    TDocument d = Order("new", 3);
    EXPECT_FALSE(d.Save());
    ASSERT_EQ(folder.ui.shown.size(), 2u) << "SQLite's message, then the statement";
    EXPECT_EQ(folder.ui.shown[0].text,
        "База данных доступна только для чтения.\r\nattempt to write a readonly database");
    EXPECT_EQ(folder.ui.shown[1].text.rfind("insert into DOC_HEADS", 0), 0u);
    EXPECT_EQ(d.guid, "");
    EXPECT_EQ(test::Value("select count(*) from DOC_ORDERS where DOC_ID='" + kept.guid + "'"), "3");
}

TEST(BadInput, FullDisk)
{
    test::TProgramFolder folder;
    TMount mount(folder.Path(), "400k");
    if (!mount.Ok())
        GTEST_SKIP() << "mounting a small file system needs root";
    ASSERT_TRUE(folder.Start());
    TDocument kept = Order("kept", 5);
    ASSERT_TRUE(kept.Save());

    // An order too large for the disk is refused whole; the one before it stays.
    TDocument big = Order("big", 6000);
    folder.ui.Clear();
    EXPECT_FALSE(big.Save());
    // The agent is told why, once: no second box about the transaction the failure ended.
    ASSERT_EQ(folder.ui.shown.size(), 1u);
    EXPECT_EQ(
        folder.ui.shown[0].text, "Нет места для записи базы данных.\r\ndatabase or disk is full");
    EXPECT_EQ(big.guid, "");
    EXPECT_EQ(big.lines.size(), 6000u);
    EXPECT_EQ(test::Value("select count(*) from DOC_HEADS"), "1");
    EXPECT_EQ(test::Value("select count(*) from DOC_ORDERS where DOC_ID='" + kept.guid + "'"), "5");
    EXPECT_EQ(test::Value("pragma integrity_check"), "ok");

    // An export that cannot be written whole is not reported as done.
    std::error_code ec;
    for (int i = 0; fs::space(folder.Path(), ec).available > 0 && i < 400; ++i)
        test::WriteFile(folder.Path() / ("filler" + std::to_string(i)), std::string(4096, 'f'));
    TExchangeLog log;
    folder.ui.Clear();
    EXPECT_FALSE(Export(log, (folder.Path() / "out").string(), false));
    ASSERT_FALSE(folder.ui.shown.empty());
    EXPECT_EQ(folder.ui.shown.back().text, "Не удалось записать файл выгрузки.");
    EXPECT_EQ(log.Text().find("Выгрузка завершена."), std::string::npos);
    EXPECT_EQ(test::Value("pragma integrity_check"), "ok");
}

TEST(BadInput, FullDiskKeepsTheEarlierExportAndArchive)
{
    test::TProgramFolder folder;
    ASSERT_TRUE(folder.Start());
    const fs::path out = folder.Path() / "out";
    TMount mount(out, "64k");
    if (!mount.Ok())
        GTEST_SKIP() << "mounting a small file system needs root";
    TDocument first = Order("first", 3);
    ASSERT_TRUE(first.Save());
    TExchangeLog log;
    ASSERT_TRUE(Export(log, out.string(), true));
    ASSERT_TRUE(Export(log, out.string(), false));
    const std::string earlierXml = test::ReadFile(out / "PDATo1C.xml");
    const std::string earlierZip = test::ReadFile(out / "PDATo1C.zip");
    // Some 90 KB of orders: more than the disk holds.
    for (int i = 0; i < 20; ++i) {
        TDocument d = Order("more " + std::to_string(i), 50);
        ASSERT_TRUE(d.Save());
    }

    for (const bool useZip : {false, true}) {
        SCOPED_TRACE(useZip ? "zip" : "plain");
        folder.ui.Clear();
        EXPECT_FALSE(Export(log, out.string(), useZip));
        EXPECT_EQ(
            folder.ui.Texts(), std::vector<std::string> {"Не удалось записать файл выгрузки."});
        EXPECT_EQ(test::ReadFile(out / "PDATo1C.xml"), earlierXml);
        EXPECT_EQ(test::ReadFile(out / "PDATo1C.zip"), earlierZip);
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(out))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        EXPECT_EQ(names, (std::vector<std::string> {"PDATo1C.xml", "PDATo1C.zip"}))
            << "nothing half-written remains";
    }
}

TEST(BadInput, ScriptsThatAreNotScripts)
{
    test::TProgramFolder folder;
    ASSERT_TRUE(folder.Start());
    const fs::path in = folder.Path() / "in";
    fs::create_directories(in);
    std::string binary;
    for (int i = 0; i < 4096; ++i)
        binary.push_back(static_cast<char>((i * 131) % 256));
    struct TCase {
        const char* what;
        std::string bytes;
    };
    const TCase cases[] = {
        {"empty file", ""},
        {"binary file", binary},
        {"a 10 MB single line", std::string(10 << 20, 'A')},
        {"a header followed by NUL and a statement", std::string("Z_AGENT", 7) + '\0' + "RESPONSE"},
    };
    for (const TCase& c : cases) {
        test::WriteFile(in / "ToPDA.sqd", c.bytes);
        folder.ui.Clear();
        TExchangeLog log;
        EXPECT_FALSE(Import(log, in.string(), false)) << c.what;
        EXPECT_EQ(folder.ui.Texts(), std::vector<std::string> {"Файл несовместимого формата."})
            << c.what;
    }
    EXPECT_EQ(test::Value("select count(*) from MY_OPTIONS"), "33") << "nothing changed";
}

TEST(BadInput, LongDataLineAndBytesWithoutACharacter)
{
    test::TProgramFolder folder;
    ASSERT_TRUE(folder.Start());
    const fs::path in = folder.Path() / "in";
    fs::create_directories(in);
    // 0x98 has no character in windows-1251; the office's bytes must still arrive unchanged.
    const std::string odd = "\xC0\x98\xFF";
    test::WriteFile(in / "ToPDA.sqd",
        test::AnswerHeader()
            + "\r<REPEAT \"insert into SPR_GOODS (GUID, ANAME) values ('%1', '%2')\">\rg1\t" + odd
            + "\rg2\t" + std::string(5 << 20, 'w') + "\r");
    TExchangeLog log;
    ASSERT_TRUE(Import(log, in.string(), false));
    EXPECT_EQ(test::Value("select hex(ANAME) from SPR_GOODS where GUID='g1'"), "C098FF");
    EXPECT_EQ(test::Value("select length(ANAME) from SPR_GOODS where GUID='g2'"),
        std::to_string(5 << 20));
    EXPECT_TRUE(folder.ui.shown.empty());
}

TEST(BadInput, AgentsTextNeverEndsAStatement)
{
    test::TProgramFolder folder;
    ASSERT_TRUE(folder.Start());
    TDocument d = Order("'); delete from DOC_HEADS; --", 1);
    d.comment = "x'); drop table DOC_ORDERS; --";
    d.lines[0].goodsName = "'||(select 1)||'";
    d.lines[0].quantity = "1); delete from DOC_HEADS; --";
    ASSERT_TRUE(d.Save());
    TDocument again = Order("second", 1);
    ASSERT_TRUE(again.Save());
    EXPECT_EQ(test::Value("select count(*) from DOC_HEADS"), "2");
    EXPECT_EQ(test::Value("select G_NAME from DOC_ORDERS where DOC_ID='" + d.guid + "'"),
        "'||(select 1)||'");
    EXPECT_EQ(test::Value("select G_WT from DOC_ORDERS where DOC_ID='" + d.guid + "'"), "0.0")
        << "an unreadable quantity counts as 0, as in the totals";
}

// The office's part of an answer: a table, a message and a REPEAT block of `rows` rows.
std::string BigTableAnswer(int rows)
{
    std::vector<std::string> lines
        = {"<EXEC \"create table if not exists BIG (N, T)\">", "<SHOWMSGWND \"Привет из офиса\">",
            "<REPEAT \"insert into BIG (N, T) values (%1, '%2')\">"};
    for (int i = 1; i <= rows; ++i)
        lines.push_back(std::to_string(i) + "\t" + std::string(200, 'x'));
    return test::OfficeScript(lines, test::TAnswerVersion::V3);
}

TEST(BadInput, UnreadableScripts)
{
    test::TProgramFolder folder;
    ASSERT_TRUE(folder.Start());
    const fs::path in = folder.Path() / "in";
    fs::create_directories(in / "ToPDA.sqd");
    TExchangeLog log;
    // A script that cannot be read counts as empty: it fails the header check, and nothing
    // is thrown past the import.
    EXPECT_FALSE(Import(log, in.string(), false));
    EXPECT_EQ(folder.ui.Texts(), std::vector<std::string> {"Файл несовместимого формата."});

    // An unreadable reference script is reported and the import goes on.
    fs::remove(in / "ToPDA.sqd");
    test::WriteOfficeScript(in, BigTableAnswer(3));
    fs::create_directories(in / "ToPDA.sql");
    folder.ui.Clear();
    EXPECT_TRUE(Import(log, in.string(), false));
    EXPECT_EQ(folder.ui.Texts(),
        (std::vector<std::string> {
            "Не удалось прочитать файл '" + (in / "ToPDA.sql").string() + "'.",
            "Сообщение из офиса: [1 / 1]\r\nПривет из офиса"}));
    EXPECT_EQ(test::Value("select count(*) from BIG"), "3");
}

TEST(BadInput, FullDiskDuringImport)
{
    test::TProgramFolder folder;
    TMount mount(folder.Path() / "data", "600k");
    if (!mount.Ok())
        GTEST_SKIP() << "mounting a small file system needs root";
    ASSERT_TRUE(folder.Start());
    test::Exec("insert into MY_OPTIONS (OPT_NAME, OPT_VAL) values ('LLD_Def', 'before');"
               "create table BIG (N, T)");
    const fs::path in = folder.Path() / "in";
    fs::create_directories(in);
    test::WriteOfficeScript(in, BigTableAnswer(5000)); // a megabyte of rows: cannot fit
    TExchangeLog log;
    EXPECT_FALSE(Import(log, in.string(), false));
    ASSERT_GE(folder.ui.shown.size(), 2u);
    EXPECT_EQ(folder.ui.shown[0].text.rfind("Нет места для записи базы данных.", 0), 0u)
        << folder.ui.shown[0].text;
    for (const auto& shown : folder.ui.shown)
        EXPECT_EQ(shown.text.find("Сообщение из офиса"), std::string::npos);
    EXPECT_EQ(log.Text().find("Загрузка завершена."), std::string::npos);
    EXPECT_EQ(test::Value("select OPT_VAL from MY_OPTIONS where OPT_NAME='LLD_Def'"), "before");
    // What was stored is a whole prefix of the office's rows.
    const std::string count = test::Value("select count(*) from BIG");
    EXPECT_EQ(test::Value("select count(*) from BIG where N > " + count), "0");
    EXPECT_EQ(test::Value("pragma integrity_check"), "ok");
}

TEST(BadInput, NoRoomForABackupStillImports)
{
    test::TProgramFolder folder;
    TMount mount(folder.Path() / "data", "1m");
    if (!mount.Ok())
        GTEST_SKIP() << "mounting a small file system needs root";
    ASSERT_TRUE(folder.Start());
    // A database of about half the disk: a copy of it would leave the import no room.
    test::Exec("create table FILL (T); insert into FILL (T) values (zeroblob(450000))");
    const fs::path in = folder.Path() / "in";
    fs::create_directories(in);
    test::WriteOfficeScript(in, BigTableAnswer(3));
    TExchangeLog log;
    EXPECT_TRUE(Import(log, in.string(), false));
    EXPECT_NE(log.Text().find("Недостаточно места для резервной копии; загрузка без копии."),
        std::string::npos)
        << log.Text();
    EXPECT_EQ(test::Value("select count(*) from BIG"), "3");
    EXPECT_FALSE(fs::exists(folder.Path() / "data" / "backup")
        && !fs::is_empty(folder.Path() / "data" / "backup"));
}

// What the companion's import did: how it ended and its peak resident memory.
struct TImportPeak {
    int exitStatus; // -1 when it did not end by itself
    long peakMiB;
};

// Runs the companion's import on the program folder, its output and its message boxes (which
// it answers itself) thrown away, and measures its peak resident memory. The figure includes
// what the test process held when it forked, so it bounds the import's own from above.
TImportPeak ImportPeak(const fs::path& home, const fs::path& in)
{
    const pid_t child = fork();
    if (child == 0) {
        const std::string homeText = home.string();
        const std::string inText = in.string();
        std::freopen("/dev/null", "w", stdout);
        std::freopen("/dev/null", "w", stderr);
        execl(VENDRIX_CLI, VENDRIX_CLI, "--home", homeText.c_str(), "--yes", "import",
            inText.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    rusage usage {};
    if (wait4(child, &status, 0, &usage) != child)
        return {-1, 0};
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, usage.ru_maxrss / 1024};
}

// The peak memory of an import that must succeed, or -1 when it did not.
long ImportPeakMiB(const fs::path& home, const fs::path& in)
{
    const TImportPeak peak = ImportPeak(home, in);
    return peak.exitStatus == 0 ? peak.peakMiB : -1;
}

// Writes `head`, then `unit` over and over until `bytes` of it are written, then `tail`: a
// file of hundreds of megabytes without holding them.
void WriteRepeated(const fs::path& path, const std::string& head, const std::string& unit,
    std::size_t bytes, const std::string& tail)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << head;
    for (std::size_t written = 0; written < bytes; written += unit.size())
        out << unit;
    out << tail;
}

// Peak memory means nothing under AddressSanitizer: its shadow memory and quarantine hide the
// import's own.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kUnderAddressSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kUnderAddressSanitizer = true;
#else
constexpr bool kUnderAddressSanitizer = false;
#endif
#else
constexpr bool kUnderAddressSanitizer = false;
#endif

TEST(BadInput, ImportMemoryDoesNotGrowWithTheScript)
{
    if (kUnderAddressSanitizer)
        GTEST_SKIP() << "the sanitizer's shadow memory and quarantine hide the import's own peak";
    test::TProgramFolder folder;
    ASSERT_TRUE(folder.Start());
    const fs::path in = folder.Path() / "in";
    fs::create_directories(in);
    // Twenty million one-character lines, packed into an archive of a few dozen kilobytes.
    const auto packed = test::RunProcess("cd '" + in.string()
        + "' && /usr/bin/python3 -c \"import zipfile\n"
          "z = zipfile.ZipFile('ToPDA.zip', 'w', zipfile.ZIP_DEFLATED, compresslevel=9)\n"
          "z.writestr('ToPDA.sqd', b'"
        + test::AnswerHeader()
        + "\\r' + b'x\\r' * 20000000)\n"
          "z.close()\"");
    ASSERT_EQ(packed.status, 0);
    SetOption("USEZIP", "1"); // as the defaults store it
    const long zipped = ImportPeakMiB(folder.Path(), in);
    EXPECT_GT(zipped, 0) << "the import of 20 million lines failed";
    EXPECT_LT(zipped, 300);
    fs::remove(in / "ToPDA.zip");
    SetOption("USEZIP", "0");

    // A script of 250 MB of comments.
    {
        std::ofstream out(in / "ToPDA.sqd", std::ios::binary);
        out << test::OfficeScript();
        const std::string line = "// " + std::string(60, '-') + "\r\n";
        for (std::size_t written = 0; written < (250u << 20); written += line.size())
            out << line;
    }
    const long comments = ImportPeakMiB(folder.Path(), in);
    EXPECT_GT(comments, 0) << "the import of 250 MB of comments failed";
    EXPECT_LT(comments, 300);
    std::printf("peak memory of the import: %ld MiB (20 million lines in an archive), %ld MiB "
                "(250 MB of comments)\n",
        zipped, comments);
}

// Whatever one line, one statement or the reference script of the office's answer holds, the
// import stays under 300 MB: a line past the length limit is refused, or passed over unread
// when it is a comment, the reference script runs as it is read, and only the first office
// messages are kept.
TEST(BadInput, ImportMemoryDoesNotGrowWithALineOrAStatement)
{
    if (kUnderAddressSanitizer)
        GTEST_SKIP() << "the sanitizer's shadow memory and quarantine hide the import's own peak";
    test::TProgramFolder folder;
    ASSERT_TRUE(folder.Start());
    const fs::path in = folder.Path() / "in";
    fs::create_directories(in);
    const std::string v2 = test::OfficeScript();
    const std::string v3 = test::OfficeScript({}, test::TAnswerVersion::V3);
    const std::string mebibyte(1 << 20, '-');
    const std::string row
        = "insert into BULK (N, T) values (1, '" + std::string(200, 'x') + "');\r\n";
    const std::size_t bulkBytes = 300'000'000;
    const std::size_t bulkRows = (bulkBytes + row.size() - 1) / row.size();
    struct TCase {
        const char* what;
        std::function<void()> write; // the office's answer, into `in`
        bool useZip;
        int exitStatus;
        std::function<void()> check; // the database afterwards
    };
    const TCase cases[] = {
        {"one comment line of 300 MiB",
            [&] { WriteRepeated(in / "ToPDA.sqd", v2 + "//", mebibyte, 300u << 20, "\r\n"); },
            false, 0, [] {}},
        {"one EXEC line of 300 MiB",
            [&] {
                WriteRepeated(in / "ToPDA.sqd",
                    v2 + "<EXEC \"create table BEFORE (N)\">\r\n<EXEC \"select '", mebibyte,
                    300u << 20, "'\">\r\n<EXEC \"create table AFTER (N)\">\r\n");
            },
            false, 1,
            [] {
                EXPECT_EQ(test::Column("select name from sqlite_master where name in "
                                       "('BEFORE', 'AFTER')"),
                    std::vector<std::string> {"BEFORE"})
                    << "what came before the line stays; nothing after it runs";
            }},
        {"an archive of 1 MB holding one comment line of 1 GiB",
            [&] {
                const auto packed = test::RunProcess("cd '" + in.string()
                    + "' && /usr/bin/python3 -c \"import zipfile\n"
                      "z = zipfile.ZipFile('ToPDA.zip', 'w', zipfile.ZIP_DEFLATED, "
                      "compresslevel=9)\n"
                      "with z.open('ToPDA.sqd', 'w') as f:\n"
                      "    f.write(b'"
                    + test::AnswerHeader()
                    + "\\r\\n//')\n"
                      "    chunk = b'-' * (1 << 20)\n"
                      "    for _ in range(1024):\n"
                      "        f.write(chunk)\n"
                      "    f.write(b'\\r\\n')\n"
                      "z.close()\"");
                ASSERT_EQ(packed.status, 0);
                EXPECT_LT(fs::file_size(in / "ToPDA.zip"), 2u << 20);
            },
            true, 0, [] {}},
        {"a reference script of 300 MB",
            [&] {
                test::WriteFile(in / "ToPDA.sqd", v3 + "<EXEC \"create table BULK (N, T)\">\r\n");
                WriteRepeated(in / "ToPDA.sql", "", row, bulkBytes, "");
            },
            false, 0,
            [&] { EXPECT_EQ(test::Value("select count(*) from BULK"), std::to_string(bulkRows)); }},
        {"200 MB of office messages",
            [&] {
                WriteRepeated(in / "ToPDA.sqd", v2,
                    Utf8ToCp1251("<SHOWMSGWND \"Сообщение из офиса, одно из многих\">\r\n"),
                    200'000'000, "");
            },
            false, 0, [] {}},
        {"a statement that makes values of gigabytes",
            [&] {
                test::WriteFile(in / "ToPDA.sqd",
                    v2
                        + "<EXEC \"SELECT length(randomblob(9e8)||randomblob(9e7)), "
                          "randomblob(9e8), randomblob(9e8)\">\r\n");
            },
            false, 1, [] {}},
    };
    std::string figures;
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.what);
        c.write();
        SetOption("USEZIP", c.useZip ? "1" : "0");
        const TImportPeak peak = ImportPeak(folder.Path(), in);
        EXPECT_EQ(peak.exitStatus, c.exitStatus);
        EXPECT_LT(peak.peakMiB, 300);
        EXPECT_EQ(test::Value("pragma integrity_check"), "ok") << "the database still opens";
        c.check();
        figures += "\n  " + std::string(c.what) + ": " + std::to_string(peak.peakMiB) + " MiB";
        for (const char* name : {"ToPDA.sqd", "ToPDA.sql", "ToPDA.zip"})
            fs::remove(in / name);
    }
    SetOption("USEZIP", "0");
    std::printf("peak memory of the import:%s\n", figures.c_str());
}

} // namespace
} // namespace vendrix
