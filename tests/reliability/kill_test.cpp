// Power loss in the field: a child process is killed outright in the middle of saving a large
// order, of a large import and of packing, at varied moments. Afterwards the database must be
// whole, every order saved before must be intact, the order being saved must be entirely the
// old or entirely the new one, and the program must start as usual.
#include "documents/document.h"
#include "exchange/archive.h"
#include "exchange/exchange_log.h"
#include "exchange/import_script.h"
#include "shell/startup.h"
#include "storage/sql_query.h"
#include "support/test_support.h"

#include <csignal>
#include <random>
#include <sys/wait.h>
#include <unistd.h>

namespace vendrix {
namespace {

namespace fs = std::filesystem;

constexpr int kLines = 400;

// Runs `work` in a child process and kills it after `delayMs`; returns false when the child
// finished before it could be killed.
bool KillDuring(const std::function<void()>& work, int delayMs)
{
    const pid_t child = fork();
    if (child == 0) {
        TUserInterfaceGuard silent(nullptr);
        work();
        _exit(0);
    }
    usleep(static_cast<useconds_t>(delayMs) * 1000);
    const bool killed = kill(child, SIGKILL) == 0;
    int status = 0;
    waitpid(child, &status, 0);
    return killed && WIFSIGNALED(status);
}

TDocument Order(const std::string& client, const std::string& lineName)
{
    TDocument d;
    d.Reset();
    d.clientName = client;
    d.clientGuid = "C-" + client;
    for (int i = 0; i < kLines; ++i)
        d.lines.push_back({"G-" + std::to_string(i), lineName, "1.00", "", 100});
    return d;
}

// The database is whole and the program starts on it without a word.
void ExpectStartsClean(test::TProgramFolder& folder)
{
    EXPECT_EQ(test::Value("pragma integrity_check"), "ok");
    folder.ui.Clear();
    EXPECT_TRUE(folder.Start());
    EXPECT_TRUE(folder.ui.shown.empty());
}

TEST(PowerLoss, SavingAnOrderIsAllOrNothing)
{
    test::TProgramFolder folder;
    ASSERT_TRUE(folder.Start());
    TDocument earlier = Order("earlier", "old");
    ASSERT_TRUE(earlier.Save());
    TDocument target = Order("target", "generation 0");
    ASSERT_TRUE(target.Save());
    const std::string guid = target.guid;

    std::mt19937 rng(42);
    int killedMidway = 0;
    for (int round = 1; round <= 12; ++round) {
        const bool killed = KillDuring(
            [&] {
                // Saves again and again, each time every line renamed to the next generation.
                for (int g = 1;; ++g) {
                    TDocument d;
                    d.Reset();
                    d.Open(guid, false);
                    d.clientName = "generation " + std::to_string(g);
                    for (TOrderLine& l : d.lines)
                        l.goodsName = d.clientName;
                    d.Save();
                }
            },
            5 + static_cast<int>(rng() % 120));
        killedMidway += killed ? 1 : 0;
        EXPECT_EQ(test::Value("pragma integrity_check"), "ok") << "round " << round;
        const std::string head
            = test::Value("select CLI_NAME from DOC_HEADS where GUID='" + guid + "'");
        EXPECT_EQ(test::Value("select count(*) from DOC_ORDERS where DOC_ID='" + guid + "'"),
            std::to_string(kLines))
            << "round " << round;
        EXPECT_EQ(test::Value("select count(*) from DOC_ORDERS where DOC_ID='" + guid
                      + "' and G_NAME<>'" + head + "'"),
            "0")
            << "round " << round << ": lines of another save than the header's";
        EXPECT_EQ(test::Value("select count(*) from DOC_ORDERS where DOC_ID='" + earlier.guid
                      + "' and G_NAME='old'"),
            std::to_string(kLines));
    }
    EXPECT_GE(killedMidway, 10);
    ExpectStartsClean(folder);
}

TEST(PowerLoss, ImportKilledMidwayLeavesAWholeDatabase)
{
    test::TProgramFolder folder;
    ASSERT_TRUE(folder.Start());
    TDocument order = Order("kept", "kept");
    ASSERT_TRUE(order.Save());
    const fs::path in = folder.Path() / "in";
    fs::create_directories(in);
    std::string script = "Z_AGENT RESPONSE 0002-0000-0000-0002\r\n<REPEAT \"insert into SPR_GOODS "
                         "(GUID, ID, ANAME, UNAME) values ('%1', %2, '%1', '%1')\">\r\n";
    for (int i = 1; i <= 60000; ++i)
        script += "G" + std::to_string(i) + "\t" + std::to_string(i) + "\r\n";
    test::WriteFile(in / "ToPDA.sqd", script);

    std::mt19937 rng(7);
    for (int round = 1; round <= 8; ++round) {
        test::Exec("delete from SPR_GOODS");
        KillDuring(
            [&] {
                TExchangeLog log;
                Import(log, in.string(), false);
            },
            20 + static_cast<int>(rng() % 400));
        EXPECT_EQ(test::Value("pragma integrity_check"), "ok") << "round " << round;
        // Whatever part of the catalogue arrived, it arrived in order and without holes.
        EXPECT_EQ(test::Value("select count(*) = ifnull(max(ID), 0) from SPR_GOODS"), "1")
            << "round " << round;
        EXPECT_EQ(test::Value("select count(*) from DOC_ORDERS where G_NAME='kept'"),
            std::to_string(kLines));
    }
    ExpectStartsClean(folder);
}

TEST(PowerLoss, PackingKilledMidwayHarmsNothingAndPacksNextTime)
{
    test::TProgramFolder folder;
    ASSERT_TRUE(folder.Start());
    TDocument order = Order("kept", "kept");
    ASSERT_TRUE(order.Save());
    const fs::path source = folder.Path() / "PDATo1C.xml";
    std::string big;
    std::mt19937 rng(3);
    while (big.size() < (6u << 20))
        big += "<ROW NGUID=\"" + std::to_string(rng()) + "\" />\r\n";
    test::WriteFile(source, big);
    for (int round = 1; round <= 5; ++round)
        KillDuring([&] { Pack(source, folder.Path() / "PDATo1C.zip"); },
            10 + static_cast<int>(rng() % 200));
    ExpectStartsClean(folder);
    ASSERT_TRUE(Pack(source, folder.Path() / "PDATo1C.zip"));
    ASSERT_EQ(Extract(folder.Path() / "PDATo1C.zip", folder.Path() / "back", "*"), 1);
    EXPECT_EQ(test::ReadFile(folder.Path() / "back" / "PDATo1C.xml"), big);
    EXPECT_EQ(
        test::Value("select count(*) from DOC_ORDERS where G_NAME='kept'"), std::to_string(kLines));
}

} // namespace
} // namespace vendrix
