// The performance suite: every operation that grows with a customer's catalogue or journal,
// timed at two scales beside a reference measured in the same run (SQLite or Info-ZIP doing
// the bare work), with the ratio and its target. Run: ./scripts/bench.sh
#include "data_generator.h"

#include "documents/document.h"
#include "documents/goods_selection.h"
#include "documents/reference_lists.h"
#include "exchange/exchange_log.h"
#include "exchange/export_file.h"
#include "exchange/import_script.h"
#include "shell/journal.h"
#include "shell/startup.h"
#include "storage/codepage.h"
#include "storage/sql_query.h"
#include "storage/ui_seam.h"
#include "storage/value_formats.h"

#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <random>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

using namespace vendrix;
namespace fs = std::filesystem;

namespace {

struct TRow {
    std::string what;
    std::string scale;
    double ours;
    std::string reference;
    double referenceSeconds;
    double target; // the largest acceptable ratio
};

std::vector<TRow> g_rows;

double Seconds(const std::function<void()>& run)
{
    const auto start = std::chrono::steady_clock::now();
    run();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The fastest of `repeats` runs, each after its own setup.
double Best(int repeats, const std::function<void()>& setup, const std::function<void()>& run)
{
    double best = 1e30;
    for (int i = 0; i < repeats; ++i) {
        setup();
        best = std::min(best, Seconds(run));
    }
    return best;
}

class TFolder {
public:
    TFolder()
    {
        std::string pattern = (fs::temp_directory_path() / "vendrix-bench-XXXXXX").string();
        m_path = mkdtemp(pattern.data());
    }
    ~TFolder() { fs::remove_all(m_path); }
    const fs::path& Path() const { return m_path; }
    fs::path Db() const { return m_path / "data" / "base.sdb"; }

private:
    fs::path m_path;
};

class TQuietSink : public TExchangeSink {
public:
    void Log(const std::string&) override { }
};

// Runs statements straight through SQLite in one transaction: the floor of any import.
void RawExec(const fs::path& db, const std::vector<std::string>& statements, bool convert)
{
    sqlite3* h = nullptr;
    sqlite3_open(db.c_str(), &h);
    sqlite3_exec(h, "begin", nullptr, nullptr, nullptr);
    for (const std::string& s : statements)
        sqlite3_exec(h, convert ? Utf8ToCp1251(s).c_str() : s.c_str(), nullptr, nullptr, nullptr);
    sqlite3_exec(h, "commit", nullptr, nullptr, nullptr);
    sqlite3_close(h);
}

// Reads rows into strings: the bare cost of a query whose rows a caller keeps.
std::size_t RawRead(sqlite3* h, const std::string& sql)
{
    std::vector<std::string> cells;
    sqlite3_exec(
        h, sql.c_str(),
        [](void* ctx, int n, char** values, char**) {
            auto* out = static_cast<std::vector<std::string>*>(ctx);
            for (int i = 0; i < n; ++i)
                out->emplace_back(values[i] ? values[i] : "");
            return 0;
        },
        &cells, nullptr);
    return cells.size();
}

void Fresh(TFolder& folder)
{
    fs::remove_all(folder.Path() / "data");
    StartStorage(folder.Path());
}

void BenchImport(int lines)
{
    bench::TScale scale;
    scale.goods = lines;
    scale.groups = std::max(1, lines / 50);
    TFolder ours, reference;
    const fs::path in = ours.Path() / "in";
    fs::create_directories(in);
    bench::WriteGoodsImportScript(in / "ToPDA.sqd", scale);
    const auto statements = bench::GoodsImportStatements(scale);
    TQuietSink sink;
    const double t = Best(
        lines > 50000 ? 1 : 3, [&] { Fresh(ours); }, [&] { Import(sink, in.string(), false); });
    const double r = Best(
        lines > 50000 ? 1 : 3, [&] { Fresh(reference); },
        [&] { RawExec(reference.Db(), statements, true); });
    g_rows.push_back({"import of a reference script",
        std::to_string(lines + scale.groups) + " lines", t, "sqlite3_exec, one transaction", r, 3});
}

void BenchStartup(int goods)
{
    bench::TScale scale;
    scale.goods = goods;
    scale.groups = goods / 50;
    scale.clients = goods / 7; // with their trade points about a fifth of the goods
    TFolder folder;
    Fresh(folder);
    bench::FillDatabase(folder.Db(), scale);
    const double t = Best(
        3, [] {}, [&] { StartStorage(folder.Path()); });
    std::size_t texts = 0;
    for (const TTreeData& n : GoodsList()) {
        for (const std::string* s : {&n.KOD, &n.ANAME, &n.UNAME, &n.GUID, &n.ED_IZM})
            texts += s->capacity() > 15 ? s->capacity() + 1 : 0;
    }
    const std::size_t nodes = GoodsList().size();
    const std::size_t clients = ClientList().size();
    const double r = Best(
        3, [] {},
        [&] {
            sqlite3* h = nullptr;
            sqlite3_open(folder.Db().c_str(), &h);
            RawRead(h,
                "select KOD, ANAME, UNAME, GUID, IS_DELETED, INFO, KIND, CLI_GUID from "
                "SPR_CLIENTS where (IS_FOLDER=0) order by UNAME");
            RawRead(h,
                "select KOD, ED_IZM, ID, ANAME, UNAME, GUID, IS_FOLDER, ROOTID, PRICE from "
                "SPR_GOODS order by UNAME");
            sqlite3_close(h);
        });
    g_rows.push_back({"start-up: schema check and reference lists",
        std::to_string(nodes) + " goods, " + std::to_string(clients) + " clients", t,
        "sqlite3_exec into strings", r, 2});
    std::printf("  goods node: %zu bytes + %.1f bytes of texts outside it (%zu nodes)\n",
        sizeof(TTreeData), nodes ? double(texts) / double(nodes) : 0.0, nodes);
}

void BenchJournalAndExport(int documents, int linesPerDocument, bool journal)
{
    bench::TScale scale;
    scale.goods = 1000;
    scale.groups = 20;
    scale.clients = 500;
    scale.documents = documents;
    scale.linesPerDocument = linesPerDocument;
    TFolder folder;
    Fresh(folder);
    bench::FillDatabase(folder.Db(), scale);
    StartStorage(folder.Path()); // indexes on the filled tables
    if (journal) {
        TDate day = 0;
        EncodeDate(2026, 12, 1, day);
        TJournal j;
        const double t = Best(
            3, [] {}, [&] { LoadJournal(j, day, day); });
        const double r = Best(
            3, [] {},
            [&] {
                sqlite3* h = nullptr;
                sqlite3_open(folder.Db().c_str(), &h);
                RawRead(h,
                    "select GUID, DOC_DATE, DOC_STATE, CLI_NAME, ORD_WEIGHT, ORD_SUMM from "
                    "DOC_HEADS where (REC_TIME=\"2026-12-01\")");
                sqlite3_close(h);
            });
        g_rows.push_back({"journal of one day",
            std::to_string(j.rows.size()) + " of " + std::to_string(documents) + " documents", t,
            "the bare query", r, 2});
        return;
    }
    TQuietSink sink;
    const fs::path out = folder.Path() / "out";
    const double t = Best(
        3, [] {}, [&] { Export(sink, out.string(), false); });
    const double r = Best(
        3, [] {},
        [&] {
            sqlite3* h = nullptr;
            sqlite3_open(folder.Db().c_str(), &h);
            std::vector<std::string> guids;
            sqlite3_exec(
                h,
                "select GUID, DOC_DATE, REC_TIME, CLI_GUID, CLI_NAME, ORD_LINES, STR_PRIM from "
                "DOC_HEADS where (DOC_STATE=1)",
                [](void* ctx, int, char** v, char**) {
                    static_cast<std::vector<std::string>*>(ctx)->emplace_back(v[0]);
                    return 0;
                },
                &guids, nullptr);
            for (const std::string& g : guids)
                RawRead(
                    h, "select G_GUID, G_NAME, G_WT from DOC_ORDERS where (DOC_ID='" + g + "')");
            sqlite3_close(h);
        });
    g_rows.push_back({"export",
        std::to_string(documents * 3 / 4) + " documents x " + std::to_string(linesPerDocument)
            + " lines",
        t, "the bare queries", r, 2});
}

int Run(const std::string& command)
{
    return std::system((command + " >/dev/null 2>&1").c_str());
}

void BenchArchive(int megabytes)
{
    TFolder folder;
    const fs::path xml = folder.Path() / "PDATo1C.xml";
    {
        std::ofstream out(xml, std::ios::binary);
        std::mt19937 rng(7);
        std::string line;
        std::size_t written = 0;
        for (int i = 0; written < static_cast<std::size_t>(megabytes) << 20; ++i) {
            line = "<ROW NGUID=\"B" + std::to_string(rng() % 100000) + "-0000-4000-8000\" NNAME=\""
                + Utf8ToCp1251("Товар ") + std::to_string(rng() % 100000) + "\" NCOUNT=\""
                + std::to_string(rng() % 100) + ".00\" />\r\n";
            out << line;
            written += line.size();
        }
    }
    const std::string cli = VENDRIX_CLI;
    const std::string zip = (folder.Path() / "ours.zip").string();
    const std::string ref = (folder.Path() / "ref.zip").string();
    const double t = Best(
        2, [] {}, [&] { Run(cli + " pack '" + xml.string() + "' '" + zip + "'"); });
    const double r = Best(
        2, [&] { fs::remove(ref); },
        [&] { Run("zip -9 -j -q '" + ref + "' '" + xml.string() + "'"); });
    g_rows.push_back(
        {"pack (whole process)", std::to_string(megabytes) + " MB", t, "zip -9", r, 1});
    const std::string to = (folder.Path() / "x").string();
    const double te = Best(
        2, [&] { fs::remove_all(to); },
        [&] { Run(cli + " extract '" + zip + "' '" + to + "' PDATo1C.xml"); });
    const double re = Best(
        2, [&] { fs::remove_all(to); }, [&] { Run("unzip -o -q '" + ref + "' -d '" + to + "'"); });
    g_rows.push_back(
        {"extract (whole process)", std::to_string(megabytes) + " MB", te, "unzip", re, 1});
}

void BenchSearch(int clients)
{
    std::vector<std::string> names;
    for (int i = 0; i < clients; ++i)
        names.push_back("ИП Иванов " + std::to_string(i));
    const auto cell = [&](int r) -> std::string_view { return names[static_cast<std::size_t>(r)]; };
    const int n = static_cast<int>(names.size());
    volatile int sink = 0;
    const double t = Best(
        3, [] {},
        [&] {
            for (int k = 0; k < 100; ++k)
                sink = sink + FindRowByPrefix(n, cell, "ип иванова");
        });
    const std::string wanted = "ИП Иванова";
    const double r = Best(
        3, [] {},
        [&] {
            for (int k = 0; k < 100; ++k) {
                int found = -1;
                for (int i = 0; i < n && found < 0; ++i)
                    found
                        = names[static_cast<std::size_t>(i)].compare(0, wanted.size(), wanted) == 0
                        ? i
                        : -1;
                sink = sink + found;
            }
        });
    g_rows.push_back({"quick search, 100 misses", std::to_string(clients) + " clients", t,
        "exact byte comparison", r, 0});
}

void BenchSave(int lines)
{
    TFolder folder;
    Fresh(folder);
    TDocument d;
    d.Reset();
    d.clientName = "ИП Иванов";
    d.clientGuid = "C-1";
    for (int i = 0; i < lines; ++i)
        d.lines.push_back(
            {"G-" + std::to_string(i), "Товар номер " + std::to_string(i), "2.50", "25.63", 1025});
    const double t = Best(
        3, [&] { d.guid.clear(); }, [&] { d.Save(); });
    std::vector<std::string> statements;
    for (int i = 0; i < lines; ++i)
        statements.push_back(
            "insert into DOC_ORDERS (DOC_ID, ORDER_ID, G_GUID, G_NAME, G_WT, PRICE) "
            "values ('X', "
            + std::to_string(i) + ", 'G-" + std::to_string(i) + "', 'Товар номер "
            + std::to_string(i) + "', 2.50, 10.25)");
    const double r = Best(
        3, [] {}, [&] { RawExec(folder.Db(), statements, true); });
    g_rows.push_back({"saving a document", std::to_string(lines) + " lines", t,
        "its inserts in one transaction", r, 3});
}

// A catalogue in memory as the loader leaves it: groups in two levels (a fiftieth at the top),
// items spread over every group, all in a shuffled name order, parents linked.
void MakeCatalogue(int goods, int groups)
{
    std::vector<TTreeData>& list = GoodsList();
    list.clear();
    list.reserve(static_cast<std::size_t>(goods + groups));
    const int top = std::max(1, groups / 50);
    std::mt19937 rng(20261210);
    for (int g = 1; g <= groups; ++g) {
        TTreeData n;
        n.ID = g;
        n.ROOTID = g <= top ? 0 : 1 + static_cast<int>(rng() % static_cast<unsigned>(top));
        n.IS_FOLDER = 1;
        n.ANAME = "Группа " + std::to_string(g);
        n.GUID = "F-" + std::to_string(g);
        list.push_back(std::move(n));
    }
    for (int i = 0; i < goods; ++i) {
        TTreeData n;
        n.ID = groups + 1 + i;
        n.ROOTID = 1 + static_cast<int>(rng() % static_cast<unsigned>(groups));
        n.KOD = std::to_string(100000 + i);
        n.ANAME = "Товар " + std::to_string(rng() % 1000000);
        n.GUID = "G-" + std::to_string(i);
        n.ED_IZM = "шт";
        n.PRICE = 10000 + static_cast<TAmount>(rng() % 5000000);
        list.push_back(std::move(n));
    }
    std::shuffle(list.begin(), list.end(), rng);
    std::unordered_map<int, TTreeData*> byId;
    for (TTreeData& n : list)
        byId.emplace(n.ID, &n);
    for (TTreeData& n : list)
        n.parent = n.ROOTID > 0 ? byId[n.ROOTID] : nullptr;
}

struct TSelectionFigures {
    std::string scale;
    double prepare, walk, choose, chooseRef, search, searchRef, result, resultRef;
};

// The goods selection over `goods` items in `groups` groups: preparing with a 200-line order
// (5 of its goods gone from the catalogue), showing 2000 groups' rows as the list paints them,
// 10000 quick searches in the largest group, and the result list.
TSelectionFigures MeasureGoodsSelection(int goods, int groups)
{
    MakeCatalogue(goods, groups);
    std::string order;
    for (int i = 0; i < 200; ++i)
        order += "G-" + std::to_string(i * (goods / 200)) + "\t" + std::to_string(i % 7 + 1)
            + ".5\r\n";
    for (int i = 0; i < 5; ++i)
        order += "GONE-" + std::to_string(i) + "\t1\r\n";
    TSelectionFigures f;
    f.scale = std::to_string(goods) + " goods, " + std::to_string(groups) + " groups";
    TGoodsSelection selection;
    f.prepare = Best(
        3, [] {}, [&] { selection.Prepare(order); });
    // The floor of a preparation: one walk that resets every node.
    f.walk = Best(
        3, [] {},
        [&] {
            for (TTreeData& n : GoodsList())
                n.quantity = n.sum = 0;
        });
    selection.Prepare(order);

    // 2000 groups shown in turn, each painted whole as the list paints it.
    std::vector<const TTreeData*> shown;
    for (std::size_t g = 0; g < 2000 && g < selection.Groups().size(); ++g)
        shown.push_back(selection.Groups()[g * selection.Groups().size() / 2000].node);
    volatile std::size_t sink = 0;
    auto paint = [&](std::span<TTreeData* const> rows) {
        for (const TTreeData* n : rows)
            sink = sink + n->ANAME.size() + AmountText(n->quantity, 2, true).size()
                + AmountText(n->PRICE, 2, true).size() + AmountText(n->sum, 2, true).size();
    };
    f.choose = Best(
        3, [] {},
        [&] {
            for (const TTreeData* g : shown) {
                selection.ChooseGroup(g);
                paint(selection.Rows());
            }
        });
    // The same rows painted from lists made beforehand: what choosing adds to the painting.
    std::vector<std::vector<TTreeData*>> made;
    for (const TTreeData* g : shown) {
        selection.ChooseGroup(g);
        made.emplace_back(selection.Rows().begin(), selection.Rows().end());
    }
    f.chooseRef = Best(
        3, [] {},
        [&] {
            for (const auto& rows : made)
                paint(rows);
        });

    // Typing into the search of the largest group: 10000 texts that match nothing, so every
    // row of the group is compared each time.
    const TTreeData* largest = shown.front();
    std::size_t most = 0;
    for (const TGoodsGroup& g : selection.Groups()) {
        selection.ChooseGroup(g.node);
        if (selection.Rows().size() > most) {
            most = selection.Rows().size();
            largest = g.node;
        }
    }
    selection.ChooseGroup(largest);
    const std::string typed = "товар 9999999";
    f.search = Best(
        3, [] {},
        [&] {
            for (int k = 0; k < 10000; ++k)
                sink = sink + static_cast<std::size_t>(selection.FindByName(typed) + 1);
        });
    const std::string wanted = "Товар 9999999";
    f.searchRef = Best(
        3, [] {},
        [&] {
            for (int k = 0; k < 10000; ++k) {
                for (const TTreeData* n : selection.Rows())
                    sink = sink + (n->ANAME.compare(0, wanted.size(), wanted) == 0);
            }
        });

    f.result = Best(
        3, [] {}, [&] { sink = sink + selection.ResultList().size(); });
    f.resultRef = f.walk;
    FreeReferenceLists();
    return f;
}

void BenchGoodsSelection()
{
    const TSelectionFigures n = MeasureGoodsSelection(100000, 2000);
    const TSelectionFigures big = MeasureGoodsSelection(1000000, 20000);
    for (const TSelectionFigures* f : {&n, &big})
        g_rows.push_back({"goods selection: preparing a 200-line order", f->scale, f->prepare,
            "one walk resetting every node", f->walk, 0});
    for (const TSelectionFigures* f : {&n, &big})
        g_rows.push_back({"goods selection: 2000 groups chosen and painted", f->scale, f->choose,
            "painting the same rows", f->chooseRef, 2});
    for (const TSelectionFigures* f : {&n, &big})
        g_rows.push_back({"goods selection: 10000 searches in the largest group", f->scale,
            f->search, "exact byte comparison", f->searchRef, 0});
    for (const TSelectionFigures* f : {&n, &big})
        g_rows.push_back({"goods selection: the result list", f->scale, f->result,
            "one walk resetting every node", f->resultRef, 0});
}

} // namespace

int main()
{
    TUserInterfaceGuard quiet(nullptr);
    std::printf("Vendrix Agent benchmarks (best of several runs; ratio = ours / reference)\n");
    BenchImport(10000);
    BenchImport(100000);
    BenchStartup(10000);
    BenchStartup(100000);
    BenchJournalAndExport(5000, 1, true);
    BenchJournalAndExport(50000, 1, true);
    BenchJournalAndExport(1333, 10, false);
    BenchJournalAndExport(13333, 10, false);
    BenchArchive(5);
    BenchArchive(50);
    BenchSearch(2000);
    BenchSearch(20000);
    BenchSave(500);
    BenchSave(5000);
    BenchGoodsSelection();

    std::printf("\n| operation | scale | ours, s | reference | reference, s | ratio | target |\n");
    std::printf("|---|---|---:|---|---:|---:|---:|\n");
    for (const TRow& r : g_rows) {
        const double ratio = r.referenceSeconds > 0 ? r.ours / r.referenceSeconds : 0;
        std::printf("| %s | %s | %.3f | %s | %.3f | %.2f | %s |\n", r.what.c_str(), r.scale.c_str(),
            r.ours, r.reference.c_str(), r.referenceSeconds, ratio,
            r.target > 0 ? ("<= " + std::to_string(r.target).substr(0, 3)).c_str() : "-");
    }
    std::printf("\nGrowth (10 N / N, target <= 12):\n");
    for (std::size_t i = 0; i + 1 < g_rows.size(); ++i) {
        if (g_rows[i].what == g_rows[i + 1].what)
            std::printf(
                "  %-45s %.1f\n", g_rows[i].what.c_str(), g_rows[i + 1].ours / g_rows[i].ours);
    }
    return 0;
}
