// Bad input of every kind the field and the office produce, each with the exact message the
// agent sees and proof that nothing was lost. (A base.sdb that is not a database, LF-only and
// NUL-cut scripts, and damaged or hostile archives have their own tests beside the code they
// concern.)
#include "documents/document.h"
#include "exchange/exchange_log.h"
#include "exchange/export_file.h"
#include "exchange/import_script.h"
#include "storage/codepage.h"
#include "storage/sql_query.h"
#include "support/test_support.h"

#include <sys/mount.h>
#include <unistd.h>

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
        "Z_AGENT RESPONSE 0002-0000-0000-0002\r<REPEAT \"insert into SPR_GOODS (GUID, "
        "ANAME) values ('%1', '%2')\">\rg1\t"
            + odd + "\rg2\t" + std::string(5 << 20, 'w') + "\r");
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

} // namespace
} // namespace vendrix
