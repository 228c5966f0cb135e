// The agent's way back from an office answer: a copy of the database before every import, the
// newest three kept, and a restore that brings back what the answer deleted, refused while the
// program runs and undoable itself.
#include "documents/document.h"
#include "exchange/exchange_log.h"
#include "exchange/import_script.h"
#include "storage/backups.h"
#include "support/test_support.h"

namespace vendrix {
namespace {

namespace fs = std::filesystem;

class ImportBackupTest : public test::StartedFolderTest {
protected:
    void SetUp() override
    {
        test::StartedFolderTest::SetUp();
        dir = folder.Path() / "in";
        fs::create_directories(dir);
    }

    bool Import(const std::string& body)
    {
        test::WriteOfficeScript(dir, test::OfficeScript({body}));
        TExchangeLog log;
        return vendrix::Import(log, dir.string(), false);
    }

    static std::string SaveOrder(const std::string& client)
    {
        TDocument d;
        d.Reset();
        d.clientName = client;
        d.clientGuid = "C-" + client;
        d.lines.push_back({"G-1", "Сок", "2.00", "", 100});
        EXPECT_TRUE(d.Save());
        return d.guid;
    }

    fs::path dir;
};

TEST_F(ImportBackupTest, RestoreBringsBackWhatADeleteAllTook)
{
    SaveOrder("Первый");
    SaveOrder("Второй");
    // A DELALL with a date in the future takes every order, sent or not.
    ASSERT_TRUE(Import("<DELALL \"01.01.2100\">"));
    EXPECT_EQ(test::Value("select count(*) from DOC_HEADS"), "0");

    const std::vector<TBackup> backups = ListBackups();
    ASSERT_EQ(backups.size(), 1u);
    EXPECT_EQ(backups[0].orders, 2);
    std::string keptAs;
    ASSERT_EQ(RestoreBackup(backups[0].name, &keptAs), TRestoreOutcome::Restored);
    EXPECT_EQ(test::Value("select count(*) from DOC_HEADS"), "2");
    EXPECT_EQ(test::Value("select count(*) from DOC_ORDERS"), "2");
    EXPECT_EQ(test::Value("pragma integrity_check"), "ok");

    // The replaced database is a copy of its own: the restore can be undone.
    ASSERT_FALSE(keptAs.empty());
    const auto again = ListBackups();
    ASSERT_EQ(again.size(), 2u);
    EXPECT_EQ(again[0].name, keptAs);
    EXPECT_EQ(again[0].orders, 0);
    ASSERT_EQ(RestoreBackup(keptAs), TRestoreOutcome::Restored);
    EXPECT_EQ(test::Value("select count(*) from DOC_HEADS"), "0");
}

TEST_F(ImportBackupTest, CopiesRotateAtThree)
{
    for (int i = 0; i < 5; ++i) {
        SaveOrder("Клиент " + std::to_string(i));
        ASSERT_TRUE(Import("// ничего"));
    }
    const std::vector<TBackup> backups = ListBackups();
    ASSERT_EQ(backups.size(), 3u);
    // Newest first: the copy before the last import holds all five orders.
    EXPECT_EQ(backups[0].orders, 5);
    EXPECT_EQ(backups[1].orders, 4);
    EXPECT_EQ(backups[2].orders, 3);
    EXPECT_EQ(std::distance(fs::directory_iterator(BackupFolder()), fs::directory_iterator {}), 3);
}

TEST_F(ImportBackupTest, RestoreIsRefusedWhileTheProgramRuns)
{
    SaveOrder("Первый");
    ASSERT_TRUE(Import("<DELALL \"01.01.2100\">"));
    const std::string name = ListBackups().at(0).name;
    {
        const TProgramRunningLock running;
        EXPECT_TRUE(ProgramIsRunning());
        EXPECT_EQ(RestoreBackup(name), TRestoreOutcome::ProgramRunning);
        EXPECT_EQ(test::Value("select count(*) from DOC_HEADS"), "0");
    }
    EXPECT_FALSE(ProgramIsRunning());
    EXPECT_EQ(RestoreBackup("base-2000-01-01_00-00-00-000.sdb"), TRestoreOutcome::NotFound);
    EXPECT_EQ(RestoreBackup("../data/base.sdb"), TRestoreOutcome::NotFound);
    EXPECT_EQ(RestoreBackup(name), TRestoreOutcome::Restored);
    EXPECT_EQ(test::Value("select count(*) from DOC_HEADS"), "1");
}

} // namespace
} // namespace vendrix
