// Power loss in the field: a child process is killed outright in the middle of saving a large
// order, of a large import, of packing and of an export, at varied moments. Afterwards the
// database must be whole, every order saved before must be intact, the order being saved must be
// entirely the old or entirely the new one, the export file and its archive must be the old ones
// or complete new ones, and the program must start as usual.
//
// Each moment is an event of the work itself (a write point of the save, a line of the import,
// an order of the export, bytes of the archive), never a guess of how long the work takes on
// this machine: a sanitizer makes it three to ten times slower, and a guess then kills the
// child before it has begun.
#include "documents/document.h"
#include "exchange/archive.h"
#include "exchange/exchange_log.h"
#include "exchange/export_file.h"
#include "exchange/import_script.h"
#include "platform/atomic_file.h"
#include "shell/startup.h"
#include "storage/sql_query.h"
#include "support/fault_vfs.h"
#include "support/test_support.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <functional>
#include <new>
#include <poll.h>
#include <random>
#include <string>
#include <sys/inotify.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace vendrix {
namespace {

namespace fs = std::filesystem;

constexpr int kLines = 400;

// The child's word to the parent that it has come to the moment it is to be killed at; said
// once, however often the child passes by.
class TKillPoint {
public:
    explicit TKillPoint(int fd)
        : m_fd(fd)
    {
    }
    void Reached()
    {
        if (m_said)
            return;
        m_said = true;
        const char byte = 1;
        if (write(m_fd, &byte, 1) != 1)
            _exit(3); // the parent is gone; nobody waits for this child
    }

private:
    int m_fd;
    bool m_said = false;
};

// A file of the child's that the parent watches grow: the moment comes when it holds `bytes`.
struct TGrowth {
    fs::path file;
    std::uintmax_t bytes;
};

// How one kill went.
struct TKillRound {
    bool reached = false; // the moment came while the child was at work
    bool killed = false; // the kill ended the child: it was still at work
};

// Waits until the child says it has come to its moment (`said` is the read end of its pipe)
// or, with `growth`, until that file holds its bytes (`watch` tells of changes in its folder).
// False when the child ended first, or after five minutes of nothing.
bool WaitForTheMoment(int said, int watch, const TGrowth* growth)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(5);
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return false;
        pollfd p[2] = {{said, POLLIN, 0}, {watch, POLLIN, 0}};
        if (poll(p, watch >= 0 ? 2 : 1, static_cast<int>(left.count())) <= 0)
            continue;
        if (p[0].revents) {
            char byte = 0;
            return read(said, &byte, 1) == 1; // 0: the child ended without a word
        }
        alignas(inotify_event) char events[4096];
        const ssize_t n = read(watch, events, sizeof events);
        for (ssize_t at = 0; at < n;) {
            const auto* e = reinterpret_cast<const inotify_event*>(events + at);
            at += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
            std::error_code ec;
            if (e->len > 0 && growth->file.filename() == e->name
                && fs::file_size(growth->file, ec) >= growth->bytes && !ec)
                return true;
        }
    }
}

// Runs `work` in a child process and kills it outright `delayUs` microseconds after its moment
// came: when the child calls Reached() on the kill point it is given or, with `growth`, when
// that file holds its bytes.
TKillRound KillDuring(
    const std::function<void(TKillPoint&)>& work, int delayUs, const TGrowth* growth = nullptr)
{
    int pipe[2];
    if (pipe2(pipe, O_CLOEXEC) != 0)
        return {};
    // Watched before the child starts, so that no change escapes.
    const int watch = growth ? inotify_init1(IN_CLOEXEC) : -1;
    if (watch >= 0)
        inotify_add_watch(watch, growth->file.parent_path().c_str(), IN_MODIFY);
    const pid_t child = fork();
    if (child == 0) {
        close(pipe[0]);
        TUserInterfaceGuard silent(nullptr);
        TKillPoint point(pipe[1]);
        work(point);
        _exit(0);
    }
    close(pipe[1]);
    TKillRound round;
    round.reached = child > 0 && WaitForTheMoment(pipe[0], watch, growth);
    if (round.reached)
        usleep(static_cast<useconds_t>(delayUs));
    if (child > 0) {
        kill(child, SIGKILL);
        int status = 0;
        waitpid(child, &status, 0);
        round.killed = round.reached && WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
    }
    close(pipe[0]);
    if (watch >= 0)
        close(watch);
    return round;
}

// Tells the kill point once the work has passed position `at` of its progress: a line of the
// import, an order of the export.
class TProgressMoment : public TExchangeSink {
public:
    TProgressMoment(TKillPoint& point, int at)
        : m_point(point)
        , m_at(at)
    {
    }
    void Log(const std::string&) override { }
    void ProgressPosition(int position) override
    {
        if (position >= m_at)
            m_point.Reached();
    }

private:
    TKillPoint& m_point;
    int m_at;
};

// A flag in memory that the child and the parent share, so that the parent can read after the
// kill what the child was doing when it came.
class TSharedFlag {
public:
    TSharedFlag()
        : m_memory(mmap(nullptr, sizeof(std::atomic<bool>), PROT_READ | PROT_WRITE,
            MAP_SHARED | MAP_ANONYMOUS, -1, 0))
    {
        static_assert(std::atomic<bool>::is_always_lock_free, "shared between processes");
        m_flag = new (m_memory) std::atomic<bool>(false);
    }
    ~TSharedFlag() { munmap(m_memory, sizeof(std::atomic<bool>)); }
    TSharedFlag(const TSharedFlag&) = delete;
    TSharedFlag& operator=(const TSharedFlag&) = delete;

    std::atomic<bool>& operator*() { return *m_flag; }

private:
    void* m_memory;
    std::atomic<bool>* m_flag;
};

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
    // The write points of one save of the order, where the kills fall.
    int savePoints = 0;
    {
        const test::TFaultVfsGuard counting;
        test::ResetFaultCounters();
        ASSERT_TRUE(target.Save());
        savePoints = test::WritePoints();
    }
    ASSERT_GT(savePoints, 0);

    std::mt19937 rng(42);
    TSharedFlag saving; // the child is inside a save
    int killedMidway = 0; // rounds whose kill fell inside a save
    for (int round = 1; round <= 12; ++round) {
        // A write point of the child's first save, or the first of its second: the first save
        // then ended whole.
        const int at = 1 + static_cast<int>(rng() % static_cast<unsigned>(savePoints + 1));
        const TKillRound r = KillDuring(
            [&](TKillPoint& point) {
                test::InstallFaultVfs();
                test::ResetFaultCounters();
                // The child waits at its write point for the kill: a busy machine may let the
                // parent come late, and the kill must still fall inside the save.
                test::OnWritePoint([&](int n) {
                    if (n != at)
                        return;
                    point.Reached();
                    for (;;)
                        pause();
                });
                // Saves again and again, each time every line renamed to the next generation.
                for (int g = 1;; ++g) {
                    TDocument d;
                    d.Reset();
                    d.Open(guid, false);
                    d.clientName = "generation " + std::to_string(g);
                    for (TOrderLine& l : d.lines)
                        l.goodsName = d.clientName;
                    *saving = true;
                    d.Save();
                    *saving = false;
                }
            },
            static_cast<int>(rng() % 200));
        EXPECT_TRUE(r.killed) << "round " << round;
        killedMidway += r.killed && *saving ? 1 : 0;
        *saving = false;
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
    constexpr int kRows = 60000;
    std::vector<std::string> lines = {"<REPEAT \"insert into SPR_GOODS (GUID, ID, ANAME, UNAME) "
                                      "values ('%1', %2, '%1', '%1')\">"};
    for (int i = 1; i <= kRows; ++i)
        lines.push_back("G" + std::to_string(i) + "\t" + std::to_string(i));
    test::WriteOfficeScript(in, test::OfficeScript(lines));

    std::mt19937 rng(7);
    for (int round = 1; round <= 8; ++round) {
        test::Exec("delete from SPR_GOODS");
        // Killed once the import has passed a line anywhere in the first nine tenths.
        const int line = 2 + static_cast<int>(rng() % (kRows * 9 / 10));
        const TKillRound r = KillDuring(
            [&](TKillPoint& point) {
                TProgressMoment moment(point, line);
                Import(moment, in.string(), false);
            },
            static_cast<int>(rng() % 2000));
        EXPECT_TRUE(r.killed) << "round " << round << ": the import ended before the kill";
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
    const fs::path zip = folder.Path() / "PDATo1C.zip";
    std::string big;
    std::mt19937 rng(3);
    while (big.size() < (6u << 20))
        big += "<ROW NGUID=\"" + std::to_string(rng()) + "\" />\r\n";
    test::WriteFile(source, big);
    // The size of the whole archive, elsewhere: the kills fall at parts of it.
    fs::create_directories(folder.Path() / "whole");
    ASSERT_TRUE(Pack(source, folder.Path() / "whole" / "PDATo1C.zip"));
    const std::uintmax_t whole = fs::file_size(folder.Path() / "whole" / "PDATo1C.zip");
    for (int round = 1; round <= 5; ++round) {
        const TGrowth growth {
            platform::TAtomicFile::TemporaryPathOf(zip), whole * (5 + rng() % 86) / 100};
        const TKillRound r = KillDuring(
            [&](TKillPoint&) { Pack(source, zip); }, static_cast<int>(rng() % 200), &growth);
        EXPECT_TRUE(r.killed) << "round " << round << ": the pack ended before the kill";
        EXPECT_FALSE(fs::exists(zip)) << "round " << round << ": half an archive under its name";
    }
    ExpectStartsClean(folder);
    ASSERT_TRUE(Pack(source, zip));
    ASSERT_EQ(Extract(zip, folder.Path() / "back", "*"), 1);
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
    constexpr int kOrders = 20000;
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

    // The earlier archive and file, and the size of a whole archive.
    TExchangeLog log;
    ASSERT_TRUE(Export(log, out.string(), true));
    const std::uintmax_t wholeZip = fs::file_size(zip);
    ASSERT_TRUE(Export(log, out.string(), false));
    std::string oldXml = test::ReadFile(xml);
    std::string oldZip = test::ReadFile(zip);
    bool xmlThere = true;

    // Where each run is killed: after a part of the orders is written or, in the later ZIP
    // runs, a part of the archive.
    struct TMoment {
        bool useZip;
        double orders; // part of the orders written; 0: the moment is in the packing
        double archive; // part of the archive written
    };
    const TMoment moments[] = {{false, 0.05, 0}, {true, 0.05, 0}, {false, 0.3, 0}, {true, 0.3, 0},
        {false, 0.6, 0}, {true, 0, 0.6}, {false, 0.9, 0}, {true, 0, 0.9}};
    std::mt19937 rng(11);
    int leftovers = 0; // rounds killed while a temporary file was being written
    for (const TMoment& m : moments) {
        SCOPED_TRACE(std::string(m.useZip ? "zip" : "plain") + " at "
            + std::to_string(m.orders > 0 ? m.orders : m.archive)
            + (m.orders > 0 ? " of the orders" : " of the archive"));
        const TGrowth growth {platform::TAtomicFile::TemporaryPathOf(zip),
            static_cast<std::uintmax_t>(m.archive * static_cast<double>(wholeZip))};
        const int at = static_cast<int>(m.orders * kOrders);
        const TKillRound r = KillDuring(
            [&](TKillPoint& point) {
                TProgressMoment moment(point, m.orders > 0 ? at : kOrders + 1);
                Export(moment, out.string(), m.useZip);
            },
            static_cast<int>(rng() % 2000), m.orders > 0 ? nullptr : &growth);
        EXPECT_TRUE(r.killed) << "the export ended before the kill";
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
            EXPECT_TRUE(m.useZip || !xmlThere) << "the old file vanished";
            xmlThere = false;
        }
        ASSERT_TRUE(fs::exists(zip)) << "the old archive vanished";
        const std::string now = test::ReadFile(zip);
        if (now != oldZip) {
            EXPECT_TRUE(ReadableArchive(zip, scratch)) << "a new archive must be complete";
        }
        oldZip = now;
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
