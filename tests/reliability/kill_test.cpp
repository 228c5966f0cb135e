// Power loss in the field: a child process is killed outright in the middle of saving a large
// order, of a large import, of packing and of an export, at varied moments. Afterwards the
// database must be whole, every order saved before must be intact, the order being saved must be
// entirely the old or entirely the new one, the export file and its archive must be the old ones
// or complete new ones, and the program must start as usual.
#include "documents/document.h"
#include "exchange/archive.h"
#include "exchange/exchange_log.h"
#include "exchange/export_file.h"
#include "exchange/import_script.h"
#include "platform/atomic_file.h"
#include "shell/startup.h"
#include "storage/sql_query.h"
#include "support/test_support.h"

#include <chrono>
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
    // Header and lines carry the same generation from the first save on, so a kill before the
    // child's first save still leaves a consistent order.
    TDocument target = Order("generation 0", "generation 0");
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

// True when an XML reader of its own accepts `file` as a whole, well-formed document.
bool ReadableXml(const fs::path& file)
{
    return std::system(("xmllint --noout '" + file.string() + "' 2>/dev/null").c_str()) == 0;
}

// True when `zip` holds an export file an XML reader accepts whole.
bool ReadableArchive(const fs::path& zip, const fs::path& scratch)
{
    std::error_code ec;
    fs::remove_all(scratch, ec);
    return Extract(zip, scratch, kExportXmlName) == 1 && ReadableXml(scratch / kExportXmlName);
}

TEST(PowerLoss, ExportKilledMidwayLeavesTheOldFileOrACompleteNewOne)
{
    test::TProgramFolder folder;
    ASSERT_TRUE(folder.Start());
    // 20,000 orders of 10 lines: an export long enough to be killed while it writes.
    test::Exec("with recursive n(i) as (select 1 union all select i + 1 from n where i < 20000) "
               "insert into DOC_HEADS (GUID, DOC_DATE, REC_TIME, DOC_STATE, CLI_GUID, CLI_NAME, "
               "ORD_LINES, STR_PRIM) select 'D-' || i, '2009-10-26', '2009-10-25', 1, 'C-' || i, "
               "'Клиент \"' || i || '\" & сын', 10, '' from n");
    test::Exec("with recursive n(i) as (select 0 union all select i + 1 from n where i < 199999) "
               "insert into DOC_ORDERS (DOC_ID, ORDER_ID, G_GUID, G_NAME, G_WT, PRICE) select "
               "'D-' || (i / 10 + 1), i % 10, 'G-' || i, 'Товар <' || i || '>', 1, 1 from n");
    const fs::path out = folder.Path() / "out";
    const fs::path xml = out / kExportXmlName, zip = out / kExportZipName;
    const fs::path scratch = folder.Path() / "back";

    // The earlier archive and file, and how long each kind of export takes here, so that the
    // kills fall at chosen fractions of the run whatever the machine's speed.
    TExchangeLog log;
    using TClock = std::chrono::steady_clock;
    const auto timed = [&](bool useZip) {
        const auto start = TClock::now();
        EXPECT_TRUE(Export(log, out.string(), useZip));
        return static_cast<int>(
            std::chrono::duration_cast<std::chrono::milliseconds>(TClock::now() - start).count());
    };
    const int zipMs = timed(true);
    const int plainMs = timed(false);
    std::string oldXml = test::ReadFile(xml);
    std::string oldZip = test::ReadFile(zip);
    bool xmlThere = true;

    int leftovers = 0; // rounds killed while a temporary file was being written
    const double fractions[] = {0.05, 0.3, 0.6, 0.9};
    for (const double fraction : fractions) {
        for (const bool useZip : {false, true}) {
            SCOPED_TRACE(std::string(useZip ? "zip" : "plain") + " at " + std::to_string(fraction));
            KillDuring(
                [&] {
                    TExchangeLog childLog;
                    Export(childLog, out.string(), useZip);
                },
                static_cast<int>(fraction * (useZip ? zipMs : plainMs)));
            leftovers += fs::exists(platform::TAtomicFile::TemporaryPathOf(xml))
                    || fs::exists(platform::TAtomicFile::TemporaryPathOf(zip))
                ? 1
                : 0;
            // The file may be gone only after a finished ZIP run, which removes it.
            if (fs::exists(xml)) {
                const std::string now = test::ReadFile(xml);
                if (!xmlThere || now != oldXml) {
                    EXPECT_TRUE(ReadableXml(xml)) << "a new file must be complete";
                }
                oldXml = now;
                xmlThere = true;
            } else {
                EXPECT_TRUE(useZip || !xmlThere) << "the old file vanished";
                xmlThere = false;
            }
            ASSERT_TRUE(fs::exists(zip)) << "the old archive vanished";
            const std::string now = test::ReadFile(zip);
            if (now != oldZip) {
                EXPECT_TRUE(ReadableArchive(zip, scratch)) << "a new archive must be complete";
            }
            oldZip = now;
        }
    }
    EXPECT_GT(leftovers, 0) << "no kill fell while a file was being written";

    // The next exports of both kinds finish and clear what the killed ones left.
    ASSERT_TRUE(Export(log, out.string(), false));
    ASSERT_TRUE(Export(log, out.string(), true));
    EXPECT_TRUE(ReadableArchive(zip, scratch));
    for (const auto& entry : fs::directory_iterator(out))
        EXPECT_EQ(entry.path().extension(), ".zip") << entry.path();
    ExpectStartsClean(folder);
}

} // namespace
} // namespace vendrix
