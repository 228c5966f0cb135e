// The performance suite: every operation that grows with a customer's catalogue or journal,
// timed at two scales beside a reference measured in the same run (SQLite or Info-ZIP doing
// the bare work), ours and the reference taking turns, with the ratio, its target and the growth
// from one scale to the next beside the reference's own. Run: ./scripts/bench.sh
// With --large it times the import, the start-up and the export at a million goods instead, each
// in a fresh process of its own so that its peak RSS can be read. Run: ./scripts/bench.sh --large
#include "data_generator.h"

#include "documents/document.h"
#include "documents/goods_selection.h"
#include "documents/reference_lists.h"
#include "exchange/exchange_log.h"
#include "exchange/export_file.h"
#include "exchange/import_script.h"
#include "shell/journal.h"
#include "shell/startup.h"
#include "shell/totals.h"
#include "storage/backups.h"
#include "storage/codepage.h"
#include "storage/database_location.h"
#include "storage/sql_query.h"
#include "storage/ui_seam.h"
#include "storage/value_formats.h"

#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
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

constexpr int kRepeats = 5;

struct TPair {
    double ours = 1e30;
    double reference = 1e30;
};

// Ours and the reference in turns (ours, reference, ours, ...), each run after its own setup; the
// fastest of `repeats` runs of each. Taking turns lets a burst of other work on the machine fall
// on both sides alike instead of on one of them.
TPair Interleaved(const std::function<void()>& setupOurs, const std::function<void()>& ours,
    const std::function<void()>& setupReference, const std::function<void()>& reference,
    int repeats = kRepeats)
{
    TPair best;
    for (int i = 0; i < repeats; ++i) {
        setupOurs();
        best.ours = std::min(best.ours, Seconds(ours));
        setupReference();
        best.reference = std::min(best.reference, Seconds(reference));
    }
    return best;
}

const auto kNothing = [] {};

// The three load averages of the machine, as the kernel gives them.
std::string LoadAverage()
{
    std::ifstream in("/proc/loadavg");
    std::string one, five, fifteen;
    in >> one >> five >> fifteen;
    return one + " " + five + " " + fifteen;
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

// Runs statements (already in windows-1251, like the database) straight through SQLite in one
// transaction: the floor of any import.
void RawExec(const fs::path& db, const std::vector<std::string>& statements)
{
    sqlite3* h = nullptr;
    sqlite3_open(db.c_str(), &h);
    sqlite3_exec(h, "begin", nullptr, nullptr, nullptr);
    for (const std::string& s : statements)
        sqlite3_exec(h, s.c_str(), nullptr, nullptr, nullptr);
    sqlite3_exec(h, "commit", nullptr, nullptr, nullptr);
    sqlite3_close(h);
}

std::vector<std::string> ToCp1251(const std::vector<std::string>& statements)
{
    std::vector<std::string> out;
    out.reserve(statements.size());
    for (const std::string& s : statements)
        out.push_back(Utf8ToCp1251(s));
    return out;
}

// The start-up's floor: its two list queries, rows into strings.
void StartupFloor(const fs::path& db)
{
    sqlite3* h = nullptr;
    sqlite3_open(db.c_str(), &h);
    RawRead(h,
        "select KOD, ANAME, UNAME, GUID, IS_DELETED, INFO, KIND, CLI_GUID from "
        "SPR_CLIENTS where (IS_FOLDER=0) order by UNAME");
    RawRead(h,
        "select KOD, ED_IZM, ID, ANAME, UNAME, GUID, IS_FOLDER, ROOTID, PRICE from "
        "SPR_GOODS order by UNAME");
    sqlite3_close(h);
}

// The export's floor: the heads of the documents to send, then each one's lines, written as the
// same XML lines the export writes (values escaped and trimmed, CR LF), straight from SQLite's
// windows-1251 bytes into `out` with stdio, and nothing else.
void ExportFloor(const fs::path& db, const fs::path& out)
{
    sqlite3* h = nullptr;
    sqlite3_open(db.c_str(), &h);
    std::FILE* file = std::fopen(out.c_str(), "wb");
    const auto line = [file](const std::string& text) {
        const std::string_view t = TrimView(text);
        std::fwrite(t.data(), 1, t.size(), file);
        std::fwrite("\r\n", 1, 2, file);
    };
    const auto value = [](const char* v) { return v ? std::string_view(v) : std::string_view(); };
    line("<?xml version=\"1.0\" encoding=\"windows-1251\"?>");
    line(std::string("<VendrixAgent ProtoVersion=\"") + kProtoVersion
        + "\" DateTime=\"01.12.2026 9:00:00\" Agent=\"Test\" PDA_ID=\"\" LastLoadDate=\" \">");
    struct TContext {
        sqlite3* h;
        decltype(line)& put;
        decltype(value)& get;
    } context {h, line, value};
    sqlite3_exec(
        h,
        "select GUID, DOC_DATE, REC_TIME, CLI_GUID, CLI_NAME, ORD_LINES, STR_PRIM from "
        "DOC_HEADS where (DOC_STATE=1)",
        [](void* ctx, int, char** v, char**) {
            auto& c = *static_cast<TContext*>(ctx);
            c.put("<DOC ID=\"" + std::string(c.get(v[0])) + "\" DATEREC=\""
                + std::string(TrimView(c.get(v[2]))) + "\" DOCDATE=\""
                + std::string(TrimView(c.get(v[1]))) + "\" CLIENT=\""
                + std::string(TrimView(c.get(v[3]))) + "\" CLIENTNAME=\"" + XmlText(c.get(v[4]))
                + "\" LINES=\"" + std::string(TrimView(c.get(v[5]))) + "\" PRIM=\""
                + XmlText(c.get(v[6])) + "\" >");
            c.put("<TABLE1>");
            const std::string sql = "select G_GUID, G_NAME, G_WT from DOC_ORDERS where (DOC_ID='"
                + std::string(c.get(v[0])) + "')";
            sqlite3_exec(
                c.h, sql.c_str(),
                [](void* ctx2, int, char** r, char**) {
                    auto& c2 = *static_cast<TContext*>(ctx2);
                    c2.put("<ROW NGUID=\"" + std::string(TrimView(c2.get(r[0]))) + "\" NNAME=\""
                        + XmlText(c2.get(r[1])) + "\" NCOUNT=\""
                        + std::string(TrimView(c2.get(r[2]))) + "\" />");
                    return 0;
                },
                ctx, nullptr);
            c.put("</TABLE1>");
            c.put("</DOC>");
            return 0;
        },
        &context, nullptr);
    line("</VendrixAgent>");
    std::fclose(file);
    sqlite3_close(h);
}

void Fresh(TFolder& folder)
{
    fs::remove_all(folder.Path() / "data");
    StartStorage(folder.Path());
}

// The office's script of `goods` goods in a fiftieth as many groups and a fifth as many clients,
// each with one or two trade points (the proportions of the large mode's million goods).
bench::TScale ScriptScale(int goods)
{
    bench::TScale scale;
    scale.goods = goods;
    scale.groups = std::max(1, goods / 50);
    scale.clients = goods / 5;
    return scale;
}

void BenchImport(int goods)
{
    const bench::TScale scale = ScriptScale(goods);
    TFolder ours, reference;
    const fs::path in = ours.Path() / "in";
    fs::create_directories(in);
    const int lines = bench::WriteImportScript(in / kImportScriptName, scale);
    const auto statements = ToCp1251(bench::ImportStatements(scale));
    TQuietSink sink;
    const TPair p = Interleaved([&] { Fresh(ours); }, [&] { Import(sink, in.string(), false); },
        [&] { Fresh(reference); }, [&] { RawExec(reference.Db(), statements); });
    g_rows.push_back({"import of a reference script", std::to_string(lines) + " lines", p.ours,
        "sqlite3_exec, one transaction", p.reference, 3});
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
    const TPair p = Interleaved(
        kNothing, [&] { StartStorage(folder.Path()); }, kNothing,
        [&] { StartupFloor(folder.Db()); });
    StartStorage(folder.Path());
    const std::size_t texts = GoodsTextBytes();
    const std::size_t nodes = GoodsList().size();
    const std::size_t clients = ClientList().size();
    g_rows.push_back({"start-up: schema check and reference lists",
        std::to_string(nodes) + " goods, " + std::to_string(clients) + " clients", p.ours,
        "sqlite3_exec into strings", p.reference, 2});
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
        const TPair p = Interleaved(
            kNothing, [&] { LoadJournal(j, day, day); }, kNothing,
            [&] {
                sqlite3* h = nullptr;
                sqlite3_open(folder.Db().c_str(), &h);
                RawRead(h,
                    "select GUID, DOC_DATE, DOC_STATE, CLI_NAME, ORD_WEIGHT, ORD_SUMM from "
                    "DOC_HEADS where (REC_TIME=\"2026-12-01\")");
                sqlite3_close(h);
            });
        g_rows.push_back({"journal of one day",
            std::to_string(j.rows.size()) + " of " + std::to_string(documents) + " documents",
            p.ours, "the bare query", p.reference, 2});
        return;
    }
    TQuietSink sink;
    const fs::path out = folder.Path() / "out";
    const TPair p = Interleaved(
        kNothing, [&] { Export(sink, out.string(), false); }, kNothing,
        [&] { ExportFloor(folder.Db(), folder.Path() / "floor.xml"); });
    g_rows.push_back({"export",
        std::to_string(documents * 3 / 4) + " documents x " + std::to_string(linesPerDocument)
            + " lines",
        p.ours, "the same queries and XML", p.reference, 2});
}

// The totals' floor: the same rows summed by SQLite itself, by journal date, by client and by
// state, rows into strings.
void TotalsFloor(const fs::path& db)
{
    sqlite3* h = nullptr;
    sqlite3_open(db.c_str(), &h);
    for (const char* by : {"REC_TIME", "CLI_NAME", "DOC_STATE"})
        RawRead(h,
            std::string("select ") + by + ", count(*), sum(ORD_SUMM), sum(ORD_WEIGHT) from "
                + "DOC_HEADS group by " + by);
    sqlite3_close(h);
}

// «Итоги» over the whole journal: the figures worked out from every order, in fixed point.
void BenchTotals(int documents)
{
    bench::TScale scale;
    scale.goods = 1000;
    scale.groups = 20;
    scale.clients = 500;
    scale.documents = documents;
    scale.linesPerDocument = 1;
    TFolder folder;
    Fresh(folder);
    bench::FillDatabase(folder.Db(), scale);
    StartStorage(folder.Path());
    int orders = 0;
    const TPair p = Interleaved(
        kNothing, [&] { orders = JournalTotals(0, 0).value_or(TTotals {}).whole.orders; }, kNothing,
        [&] { TotalsFloor(folder.Db()); });
    g_rows.push_back({"totals of the whole journal", std::to_string(orders) + " documents", p.ours,
        "the same sums by SQLite: by day, by client, by state", p.reference, 2});
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
    const TPair p = Interleaved(
        kNothing, [&] { Run(cli + " pack '" + xml.string() + "' '" + zip + "'"); },
        [&] { fs::remove(ref); },
        [&] { Run("zip -9 -j -q '" + ref + "' '" + xml.string() + "'"); });
    g_rows.push_back({"pack (whole process)", std::to_string(megabytes) + " MB", p.ours, "zip -9",
        p.reference, 1});
    const std::string to = (folder.Path() / "x").string();
    const TPair e = Interleaved([&] { fs::remove_all(to); },
        [&] { Run(cli + " extract '" + zip + "' '" + to + "' PDATo1C.xml"); },
        [&] { fs::remove_all(to); }, [&] { Run("unzip -o -q '" + ref + "' -d '" + to + "'"); });
    g_rows.push_back({"extract (whole process)", std::to_string(megabytes) + " MB", e.ours, "unzip",
        e.reference, 1});
}

void BenchSearch(int clients)
{
    std::vector<std::string> names;
    names.reserve(static_cast<std::size_t>(clients));
    for (int i = 0; i < clients; ++i)
        names.push_back("ИП Иванов " + std::to_string(i));
    const auto cell = [&](int r) -> std::string_view { return names[static_cast<std::size_t>(r)]; };
    const int n = static_cast<int>(names.size());
    volatile int sink = 0;
    const std::string wanted = "ИП Иванова";
    const TPair p = Interleaved(
        kNothing,
        [&] {
            for (int k = 0; k < 100; ++k)
                sink = sink + FindRowByPrefix(n, cell, "ип иванова");
        },
        kNothing,
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
    g_rows.push_back({"quick search, 100 misses", std::to_string(clients) + " clients", p.ours,
        "exact byte comparison", p.reference, 0});
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
    std::vector<std::string> statements;
    statements.reserve(static_cast<std::size_t>(lines));
    for (int i = 0; i < lines; ++i)
        statements.push_back(
            "insert into DOC_ORDERS (DOC_ID, ORDER_ID, G_GUID, G_NAME, G_WT, PRICE) "
            "values ('X', "
            + std::to_string(i) + ", 'G-" + std::to_string(i) + "', 'Товар номер "
            + std::to_string(i) + "', 2.50, 10.25)");
    statements = ToCp1251(statements);
    const TPair p = Interleaved([&] { d.guid.clear(); }, [&] { d.Save(); }, kNothing,
        [&] { RawExec(folder.Db(), statements); });
    g_rows.push_back({"saving a document", std::to_string(lines) + " lines", p.ours,
        "its inserts in one transaction", p.reference, 3});
}

// A catalogue in memory as the loader leaves it: groups in two levels (a fiftieth at the top),
// items spread over every group, all in a shuffled name order, parents linked.
void MakeCatalogue(int goods, int groups)
{
    std::vector<TTreeData>& list = GoodsList();
    list.clear();
    list.reserve(static_cast<std::size_t>(goods) + static_cast<std::size_t>(groups));
    const int top = std::max(1, groups / 50);
    std::mt19937 rng(20261210);
    for (int g = 1; g <= groups; ++g) {
        TTreeData n;
        n.ID = g;
        n.ROOTID = g <= top ? 0 : 1 + static_cast<int>(rng() % static_cast<unsigned>(top));
        n.IS_FOLDER = 1;
        n.SetTexts({.ANAME = "Группа " + std::to_string(g), .GUID = "F-" + std::to_string(g)});
        list.push_back(n);
    }
    for (int i = 0; i < goods; ++i) {
        TTreeData n;
        n.ID = groups + 1 + i;
        n.ROOTID = 1 + static_cast<int>(rng() % static_cast<unsigned>(groups));
        n.SetTexts({.ANAME = "Товар " + std::to_string(rng() % 1000000),
            .KOD = std::to_string(100000 + i),
            .GUID = "G-" + std::to_string(i),
            .ED_IZM = "шт"});
        n.PRICE = 10000 + static_cast<TAmount>(rng() % 5000000);
        list.push_back(n);
    }
    std::shuffle(list.begin(), list.end(), rng);
    // The loader stores each node's texts in list order: so are these, once shuffled.
    for (TTreeData& n : list)
        n.SetTexts({n.ANAME(), n.UNAME(), n.KOD(), n.GUID(), n.ED_IZM()});
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
    // The floor of a preparation: one walk that resets every node.
    const auto walk = [&] {
        for (TTreeData& n : GoodsList())
            n.quantity = n.sum = 0;
    };
    const TPair prepare = Interleaved(
        kNothing, [&] { selection.Prepare(order); }, kNothing, walk);
    f.prepare = prepare.ours;
    f.walk = prepare.reference;
    selection.Prepare(order);

    // 2000 groups shown in turn, each painted whole as the list paints it.
    std::vector<const TTreeData*> shown;
    for (std::size_t g = 0; g < 2000 && g < selection.Groups().size(); ++g)
        shown.push_back(selection.Groups()[g * selection.Groups().size() / 2000].node);
    volatile std::size_t sink = 0;
    auto paint = [&](std::span<TTreeData* const> rows) {
        for (const TTreeData* n : rows)
            sink = sink + n->ANAME().size() + AmountText(n->quantity, 2, true).size()
                + AmountText(n->PRICE, 2, true).size() + AmountText(n->sum, 2, true).size();
    };
    // The same rows painted from lists made beforehand: what choosing adds to the painting.
    std::vector<std::vector<TTreeData*>> made;
    for (const TTreeData* g : shown) {
        selection.ChooseGroup(g);
        made.emplace_back(selection.Rows().begin(), selection.Rows().end());
    }
    // Five rounds, so that a figure of a few milliseconds is not mostly noise.
    constexpr int kRounds = 5;
    const TPair choose = Interleaved(
        kNothing,
        [&] {
            for (int round = 0; round < kRounds; ++round) {
                for (const TTreeData* g : shown) {
                    selection.ChooseGroup(g);
                    paint(selection.Rows());
                }
            }
        },
        kNothing,
        [&] {
            for (int round = 0; round < kRounds; ++round) {
                for (const auto& rows : made)
                    paint(rows);
            }
        });
    f.choose = choose.ours;
    f.chooseRef = choose.reference;

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
    const std::string wanted = "Товар 9999999";
    const TPair search = Interleaved(
        kNothing,
        [&] {
            for (int k = 0; k < 10000; ++k)
                sink = sink + static_cast<std::size_t>(selection.FindByName(typed) + 1);
        },
        kNothing,
        [&] {
            for (int k = 0; k < 10000; ++k) {
                for (const TTreeData* n : selection.Rows())
                    sink = sink + (n->ANAME().compare(0, wanted.size(), wanted) == 0);
            }
        });
    f.search = search.ours;
    f.searchRef = search.reference;

    // The result list's floor is the walk again; the order is prepared afresh before each turn,
    // since the walk clears it.
    const TPair result = Interleaved([&] { selection.Prepare(order); },
        [&] { sink = sink + selection.ResultList().size(); }, kNothing, walk);
    f.result = result.ours;
    f.resultRef = result.reference;
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
        g_rows.push_back({"goods selection: 2000 groups chosen and painted, five rounds", f->scale,
            f->choose, "painting the same rows", f->chooseRef, 2});
    for (const TSelectionFigures* f : {&n, &big})
        g_rows.push_back({"goods selection: 10000 searches in the largest group", f->scale,
            f->search, "exact byte comparison", f->searchRef, 0});
    for (const TSelectionFigures* f : {&n, &big})
        g_rows.push_back({"goods selection: the result list", f->scale, f->result,
            "one walk resetting every node", f->resultRef, 0});
}

void PrintTable()
{
    std::printf("\n| operation | scale | ours, s | reference | reference, s | ratio | target |\n");
    std::printf("|---|---|---:|---|---:|---:|---:|\n");
    for (const TRow& r : g_rows) {
        const double ratio = r.referenceSeconds > 0 ? r.ours / r.referenceSeconds : 0;
        char target[16] = "-";
        if (r.target > 0)
            std::snprintf(target, sizeof target, "<= %.1f", r.target);
        std::printf("| %s | %s | %.3f | %s | %.3f | %.2f | %s |\n", r.what.c_str(), r.scale.c_str(),
            r.ours, r.reference.c_str(), r.referenceSeconds, ratio, target);
    }
    // Growth from the best figures of both scales, beside the reference's growth on the same
    // data: an operation that keeps pace with its reference grows at most a tenth faster.
    std::printf("\n| operation | growth N to 10 N, ours | the reference's | ours / reference's "
                "| at most 1.10 |\n");
    std::printf("|---|---:|---:|---:|---|\n");
    for (std::size_t i = 0; i + 1 < g_rows.size(); ++i) {
        const TRow& n = g_rows[i];
        const TRow& big = g_rows[i + 1];
        if (n.what != big.what)
            continue;
        const double ours = big.ours / n.ours;
        const double reference = big.referenceSeconds / n.referenceSeconds;
        const double ratio = ours / reference;
        std::printf("| %s | %.1f | %.1f | %.2f | %s |\n", n.what.c_str(), ours, reference, ratio,
            ratio <= 1.1 ? "yes" : "no");
    }
}

int RunSuite()
{
    std::printf("Vendrix Agent benchmarks (ours and the reference in turns, best of %d each; "
                "ratio = ours / reference)\n",
        kRepeats);
    std::printf("load average at the start: %s\n", LoadAverage().c_str());
    BenchImport(10000);
    BenchImport(100000);
    BenchStartup(10000);
    BenchStartup(100000);
    BenchJournalAndExport(5000, 1, true);
    BenchJournalAndExport(50000, 1, true);
    BenchTotals(5000);
    BenchTotals(50000);
    BenchJournalAndExport(1333, 10, false);
    BenchJournalAndExport(13333, 10, false);
    BenchArchive(5);
    BenchArchive(50);
    BenchSearch(2000);
    BenchSearch(20000);
    BenchSave(500);
    BenchSave(5000);
    BenchGoodsSelection();
    PrintTable();
    std::printf("\nload average at the end: %s\n", LoadAverage().c_str());
    return 0;
}

// ---- The large mode ----
//
// Each timed operation runs in a process of its own: the benchmark binary started afresh with a
// hidden sub-command, which times the operation and writes the seconds into a pipe; its peak RSS
// comes from wait4. A new program image is needed, not a bare fork: a forked child starts with
// the parent's pages mapped and the kernel carries that figure past exec, so the parent stays
// small (the data is generated in a child too) and its own peak is printed as the least a
// child's figure can be.

constexpr const char* kChildCommand = "--child";

// The data of the large mode, generated once into the cache folder and kept for later runs.
struct TLargeData {
    fs::path root;
    fs::path in() const { return root / "in"; } // the office's script
    fs::path statements() const { return root / "statements.sql"; }
    fs::path journal() const { return root / "journal"; } // a program folder
    fs::path ours() const { return root / "ours"; } // where our import runs
    fs::path floor() const { return root / "floor"; } // where the floor's statements run
    fs::path out() const { return root / "out"; }
    fs::path window() const { return root / "window"; } // a program folder with orders today
};

constexpr int kOrdersToday = 10000; // in the main window's journal

bench::TScale LargeCatalogue()
{
    bench::TScale scale;
    scale.goods = 1000000;
    scale.groups = 20000;
    scale.clients = 200000; // with 300,000 trade points
    return scale;
}

// 66,666 documents of 10 lines, three in four of them (50,000) waiting to be sent.
bench::TScale LargeJournal()
{
    bench::TScale scale;
    scale.goods = 1000;
    scale.groups = 20;
    scale.clients = 500;
    scale.documents = 66666;
    scale.linesPerDocument = 10;
    return scale;
}

std::string Describe(const bench::TScale& s)
{
    return std::to_string(s.goods) + " goods, " + std::to_string(s.groups) + " groups, "
        + std::to_string(s.clients) + " clients, " + std::to_string(s.documents) + " documents x "
        + std::to_string(s.linesPerDocument) + ", seed " + std::to_string(s.seed) + ", v2";
}

bool Stamped(const fs::path& stamp, const std::string& what)
{
    std::ifstream in(stamp);
    std::string text;
    std::getline(in, text);
    return text == what;
}

void Stamp(const fs::path& stamp, const std::string& what)
{
    std::ofstream(stamp) << what << '\n';
}

// Generates what the cache lacks; a stamp written last marks each piece whole.
int Generate(const TLargeData& d)
{
    fs::create_directories(d.root);
    const bench::TScale catalogue = LargeCatalogue();
    const fs::path scriptStamp = d.root / "script.done";
    if (!Stamped(scriptStamp, Describe(catalogue))) {
        std::printf("  generating the office's script (once) ...\n");
        std::fflush(stdout);
        fs::remove(scriptStamp);
        fs::create_directories(d.in());
        const int lines
            = bench::WriteImportScript(d.in() / kImportScriptName, catalogue, d.statements());
        std::printf("  %d lines, %.0f MB\n", lines,
            double(fs::file_size(d.in() / kImportScriptName)) / 1e6);
        Stamp(scriptStamp, Describe(catalogue));
    }
    const bench::TScale journal = LargeJournal();
    const fs::path journalStamp = d.root / "journal.done";
    if (!Stamped(journalStamp, Describe(journal))) {
        std::printf("  generating the journal (once) ...\n");
        std::fflush(stdout);
        fs::remove(journalStamp);
        fs::remove_all(d.journal());
        fs::create_directories(d.journal());
        StartStorage(d.journal());
        if (!bench::FillDatabase(d.journal() / "data" / "base.sdb", journal))
            return 1;
        StartStorage(d.journal()); // indexes on the filled tables
        Stamp(journalStamp, Describe(journal));
    }
    return 0;
}

// Runs the statements file (one statement a line, windows-1251) through sqlite3_exec in one
// transaction, reading it as it goes: the floor of the import.
void ExecStatementsFile(const fs::path& db, const fs::path& file)
{
    sqlite3* h = nullptr;
    sqlite3_open(db.c_str(), &h);
    sqlite3_exec(h, "begin", nullptr, nullptr, nullptr);
    std::ifstream in(file, std::ios::binary);
    std::string sql;
    while (std::getline(in, sql))
        sqlite3_exec(h, sql.c_str(), nullptr, nullptr, nullptr);
    sqlite3_exec(h, "commit", nullptr, nullptr, nullptr);
    sqlite3_close(h);
}

// True when the database at `db` holds every goods row and every client and trade point of the
// large catalogue: a run that stopped early must not pass for a fast one.
bool CatalogueWhole(const fs::path& db)
{
    const bench::TScale s = LargeCatalogue();
    sqlite3* h = nullptr;
    sqlite3_open(db.c_str(), &h);
    const auto count = [h](const char* sql) {
        sqlite3_stmt* st = nullptr;
        long long n = -1;
        if (sqlite3_prepare_v2(h, sql, -1, &st, nullptr) == SQLITE_OK
            && sqlite3_step(st) == SQLITE_ROW)
            n = sqlite3_column_int64(st, 0);
        sqlite3_finalize(st);
        return n;
    };
    const bool whole = count("select count(*) from SPR_GOODS") == s.goods + s.groups
        && count("select count(*) from SPR_CLIENTS") == s.clients + s.clients / 2 + s.clients;
    sqlite3_close(h);
    if (!whole)
        std::fprintf(stderr, "the import left the catalogue incomplete\n");
    return whole;
}

// Today's journal query of the main window, as the program runs it.
std::string TodaysJournalQuery()
{
    return "select GUID, DOC_DATE, DOC_STATE, CLI_NAME, ORD_WEIGHT, ORD_SUMM from DOC_HEADS "
           "where (REC_TIME="
        + DateText(Today()) + ")";
}

// The main window's database: the imported catalogue with kOrdersToday orders of today.
bool PrepareWindowFolder(const TLargeData& d)
{
    fs::remove_all(d.window());
    fs::create_directories(d.window() / "data");
    std::error_code ec;
    fs::copy_file(d.ours() / "data" / "base.sdb", d.window() / "data" / "base.sdb", ec);
    if (ec)
        return false;
    sqlite3* h = nullptr;
    sqlite3_open((d.window() / "data" / "base.sdb").c_str(), &h);
    const std::string today = DateText(Today());
    const std::string sql = "delete from DOC_HEADS; with recursive k(n) as (select 1 union all "
                            "select n + 1 from k where n < "
        + std::to_string(kOrdersToday)
        + ") insert into DOC_HEADS (GUID, ID, IS_DELETED, DOC_DATE, DOC_NUM, DOC_STATE, "
          "REC_TIME, CLI_GUID, CLI_NAME, ORD_SUMM, ORD_WEIGHT, ORD_LINES) select "
          "printf('D%07d-0000-4000-8000-000000000000', n), n, 0, "
        + today + ", n, 1 + n % 2, " + today
        + ", 'C', 'ИП Иванов ' || n, n * 1.5, n * 0.25, 10 from k";
    const bool done
        = sqlite3_exec(h, Utf8ToCp1251(sql).c_str(), nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_close(h);
    return done;
}

// The hidden sub-command: `--child <fd> <operation> <cache>`; writes the seconds into fd.
int ChildMain(int fd, const std::string& operation, const TLargeData& d)
{
    TQuietSink sink;
    double seconds = -1;
    double detail = -1; // a second figure, written after the first when there is one
    if (operation == "generate") {
        if (Generate(d) != 0)
            return 1;
        seconds = 0;
    } else if (operation == "import" || operation == "import-floor") {
        const bool ours = operation == "import";
        const fs::path home = ours ? d.ours() : d.floor();
        fs::remove_all(home / "data");
        fs::create_directories(home);
        if (!StartStorage(home)) // an empty database with the program's schema
            return 1;
        bool done = true;
        seconds = ours ? Seconds([&] { done = Import(sink, d.in().string(), false); })
                       : Seconds([&] { ExecStatementsFile(DbPath(), d.statements()); });
        if (!done || !CatalogueWhole(DbPath()))
            return 1;
        // The import must also rebuild the reference lists: the floor with their two queries
        // after the statements, as a second figure.
        if (!ours)
            detail = seconds + Seconds([&] { StartupFloor(DbPath()); });
    } else if (operation == "startup") {
        bool done = false;
        seconds = Seconds([&] { done = StartStorage(d.ours()); });
        if (!done || GoodsList().empty())
            return 1;
    } else if (operation == "startup-floor") {
        seconds = Seconds([&] { StartupFloor(d.ours() / "data" / "base.sdb"); });
    } else if (operation == "export") {
        if (!StartStorage(d.journal()))
            return 1;
        bool done = false;
        seconds = Seconds([&] { done = Export(sink, d.out().string(), false); });
        if (!done)
            return 1;
    } else if (operation == "export-floor") {
        fs::create_directories(d.out());
        seconds = Seconds(
            [&] { ExportFloor(d.journal() / "data" / "base.sdb", d.out() / "floor.xml"); });
    } else if (operation == "window-setup") {
        if (!PrepareWindowFolder(d))
            return 1;
        seconds = 0;
    } else if (operation == "window-floor") {
        seconds = Seconds([&] {
            const fs::path db = d.window() / "data" / "base.sdb";
            StartupFloor(db);
            sqlite3* h = nullptr;
            sqlite3_open(db.c_str(), &h);
            RawRead(h, Utf8ToCp1251(TodaysJournalQuery()));
            sqlite3_close(h);
        });
    } else if (operation == "totals-floor") {
        seconds = Seconds([&] { TotalsFloor(d.journal() / "data" / "base.sdb"); });
    } else if (operation == "backup") {
        if (!StartStorage(d.ours()))
            return 1;
        TBackupOutcome outcome = TBackupOutcome::Failed;
        seconds = Seconds([&] { outcome = MakeBackup(); });
        fs::remove_all(BackupFolder());
        if (outcome != TBackupOutcome::Made)
            return 1;
    } else {
        return 2;
    }
    const std::string text = std::to_string(seconds)
        + (detail >= 0 ? " " + std::to_string(detail) : std::string()) + "\n";
    return write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size()) ? 0 : 1;
}

struct TChildFigures {
    double seconds = -1;
    double peakMb = 0;
    double detail = -1; // a second figure of the child's, when it has one
};

#ifdef VENDRIX_BENCH_WINDOW
constexpr const char* kWindowProgram = VENDRIX_BENCH_WINDOW;
constexpr const char* kTotalsProgram = VENDRIX_BENCH_TOTALS;
#else
constexpr const char* kWindowProgram = nullptr; // the windows are not built here
constexpr const char* kTotalsProgram = nullptr;
#endif

TChildFigures RunChild(const std::string& operation, const TLargeData& d)
{
    TChildFigures f;
    int fds[2];
    if (pipe(fds) != 0)
        return f;
    const std::string fd = std::to_string(fds[1]);
    const std::string self = fs::read_symlink("/proc/self/exe").string();
    const std::string root = d.root.string();
    const std::string window = d.window().string();
    const std::string expected = std::to_string(kOrdersToday);
    std::fflush(stdout);
    const pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        if (operation == "window") {
            const char* argv[]
                = {kWindowProgram, fd.c_str(), window.c_str(), expected.c_str(), nullptr};
            execv(kWindowProgram, const_cast<char* const*>(argv));
            _exit(127);
        }
        if (operation == "totals") {
            const std::string journal = d.journal().string();
            const std::string orders = std::to_string(LargeJournal().documents);
            const char* argv[]
                = {kTotalsProgram, fd.c_str(), journal.c_str(), orders.c_str(), nullptr};
            execv(kTotalsProgram, const_cast<char* const*>(argv));
            _exit(127);
        }
        const char* argv[]
            = {self.c_str(), kChildCommand, fd.c_str(), operation.c_str(), root.c_str(), nullptr};
        execv(self.c_str(), const_cast<char* const*>(argv));
        _exit(127);
    }
    close(fds[1]);
    std::string text;
    char buf[64];
    for (ssize_t n; (n = read(fds[0], buf, sizeof buf)) > 0;)
        text.append(buf, static_cast<std::size_t>(n));
    close(fds[0]);
    int status = 0;
    rusage usage {};
    if (pid < 0 || wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status)
        || WEXITSTATUS(status) != 0 || text.empty())
        return f;
    f.seconds = std::atof(text.c_str());
    if (const auto blank = text.find(' '); blank != std::string::npos)
        f.detail = std::atof(text.c_str() + blank + 1);
    f.peakMb = double(usage.ru_maxrss) / 1024.0;
    return f;
}

struct TLargeRow {
    std::string what;
    std::string floorName;
    TChildFigures ours, floor;
    double goal; // the largest acceptable ratio
    std::string memoryGoal;
    bool memoryMet;
    double secondsGoal = 0; // when above 0, a bound on our time instead of on the ratio
};

// Ours and the floor in turns, each in its own process; the best time and the largest peak of
// each (the peaks hardly differ from run to run).
std::pair<TChildFigures, TChildFigures> LargePair(
    const std::string& ours, const std::string& floor, const TLargeData& d, int repeats)
{
    TChildFigures a, b;
    a.seconds = b.seconds = 1e30;
    for (int i = 0; i < repeats; ++i) {
        for (auto [operation, best] : {std::pair {ours, &a}, std::pair {floor, &b}}) {
            const TChildFigures f = RunChild(operation, d);
            if (f.seconds < 0) {
                std::printf("  %s failed\n", operation.c_str());
                std::exit(1);
            }
            std::printf("  %-14s %8.3f s %8.0f MB   load %s", operation.c_str(), f.seconds,
                f.peakMb, LoadAverage().c_str());
            if (f.detail >= 0)
                std::printf("   (%s %.3f s)",
                    operation == "window" ? "first paint" : "with the list queries", f.detail);
            std::printf("\n");
            best->seconds = std::min(best->seconds, f.seconds);
            if (f.detail >= 0)
                best->detail = best->detail < 0 ? f.detail : std::min(best->detail, f.detail);
            best->peakMb = std::max(best->peakMb, f.peakMb);
        }
    }
    return {a, b};
}

int RunLarge(const TLargeData& d, int repeats)
{
    std::printf("Vendrix Agent benchmarks, large mode (each run a process of its own; ours and "
                "the floor in turns, best of %d each)\n",
        repeats);
    std::printf("load average at the start: %s\n", LoadAverage().c_str());
    std::printf("cache: %s\n", d.root.c_str());
    if (RunChild("generate", d).seconds < 0) {
        std::printf("generating the data failed\n");
        return 1;
    }
    const auto import = LargePair("import", "import-floor", d, repeats);
    const auto startup = LargePair("startup", "startup-floor", d, repeats);
    std::pair<TChildFigures, TChildFigures> window;
    if (kWindowProgram && RunChild("window-setup", d).seconds == 0)
        window = LargePair("window", "window-floor", d, repeats);
    else
        std::printf("  (the main window is not timed: build with the windows)\n");
    const auto exported = LargePair("export", "export-floor", d, repeats);
    std::pair<TChildFigures, TChildFigures> totals;
    if (kTotalsProgram)
        totals = LargePair("totals", "totals-floor", d, repeats);
    TChildFigures backup;
    backup.seconds = 1e30;
    for (int i = 0; i < repeats; ++i) {
        const TChildFigures f = RunChild("backup", d);
        if (f.seconds < 0) {
            std::printf("  backup failed\n");
            return 1;
        }
        std::printf("  %-14s %8.3f s   load %s\n", "backup", f.seconds, LoadAverage().c_str());
        backup.seconds = std::min(backup.seconds, f.seconds);
    }

    char startupPeak[64];
    std::snprintf(
        startupPeak, sizeof startupPeak, "<= start-up's peak, %.1f", startup.first.peakMb);
    // The import must also rebuild the reference lists: its floor is the statements through
    // sqlite3_exec with the two list queries after them.
    TChildFigures importFloor = import.second;
    importFloor.seconds = import.second.detail;
    std::vector<TLargeRow> rows {
        {"import of the office's script (1,000,000 goods in 20,000 groups, 200,000 clients, "
         "300,000 trade points, every column filled)",
            "the same statements through sqlite3_exec, one transaction, then the two list queries",
            import.first, importFloor, 1.00, std::string(startupPeak) + " + 2 %",
            import.first.peakMb <= startup.first.peakMb * 1.02},
        {"start-up: schema check and reference lists, same database",
            "the two list queries into strings", startup.first, startup.second, 1.00, "<= 450 MB",
            startup.first.peakMb <= 450},
        {"export of 50,000 orders x 10 lines", "the same queries and XML through sqlite3_exec",
            exported.first, exported.second, 1.10, "-", true},
    };
    if (window.first.seconds > 0)
        rows.insert(rows.begin() + 2,
            {"main window first painted, then its journal of 10,000 orders today painted "
             "(the journal's fixed 1 s wait left out), same catalogue",
                "the two list queries and today's journal query into strings", window.first,
                window.second, 1.30, "-", true});
    if (totals.first.seconds > 0)
        rows.push_back({"«Итоги» over the journal's 66,666 orders: the totals worked out, the "
                        "window built and shown, its chart painted",
            "the same sums by SQLite: by journal date, by client, by state", totals.first,
            totals.second, 0, "-", true, 1.0});
    std::printf("\n| operation | ours, s | floor | floor, s | ratio | goal | peak RSS ours, MB | "
                "peak RSS floor, MB | RSS goal |\n");
    std::printf("|---|---:|---|---:|---:|---:|---:|---:|---|\n");
    for (const TLargeRow& r : rows) {
        const double ratio = r.ours.seconds / r.floor.seconds;
        char goal[64];
        if (r.secondsGoal > 0)
            std::snprintf(goal, sizeof goal, "< %.0f s (%s)", r.secondsGoal,
                r.ours.seconds < r.secondsGoal ? "met" : "missed");
        else
            std::snprintf(
                goal, sizeof goal, "<= %.2f (%s)", r.goal, ratio <= r.goal ? "met" : "missed");
        std::printf("| %s | %.2f | %s | %.2f | %.2f | %s | %.1f | %.1f | %s%s |\n", r.what.c_str(),
            r.ours.seconds, r.floorName.c_str(), r.floor.seconds, ratio, goal, r.ours.peakMb,
            r.floor.peakMb, r.memoryGoal.c_str(),
            r.memoryGoal == "-" ? "" : (r.memoryMet ? " (met)" : " (missed)"));
    }
    std::printf("\nAgainst the bare statements alone (%.2f s) the import's ratio is %.2f.\n",
        import.second.seconds, import.first.seconds / import.second.seconds);
    std::printf("\nThe copy of the full database an import makes first (VACUUM INTO "
                "data/backup/): %.2f s; the import above copies an empty one.\n",
        backup.seconds);
    rusage self {};
    getrusage(RUSAGE_SELF, &self);
    std::printf("The harness's own peak RSS (the least a child's figure can show): %.0f MB\n",
        double(self.ru_maxrss) / 1024.0);
    std::printf("load average at the end: %s\n", LoadAverage().c_str());
    return 0;
}

fs::path DefaultCache()
{
    // build-bench/bench/vendrix_bench keeps its data in build-bench/cache/large.
    return fs::read_symlink("/proc/self/exe").parent_path().parent_path() / "cache" / "large";
}

} // namespace

int main(int argc, char** argv)
{
    TUserInterfaceGuard quiet(nullptr);
    setenv("QT_QPA_PLATFORM", "offscreen", 0); // for the main window's child
    if (argc == 5 && std::strcmp(argv[1], kChildCommand) == 0)
        return ChildMain(std::atoi(argv[2]), argv[3], TLargeData {argv[4]});
    bool large = false;
    int repeats = 5;
    TLargeData data {DefaultCache()};
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--large")
            large = true;
        else if (arg == "--cache" && i + 1 < argc)
            data.root = argv[++i];
        else if (arg == "--repeats" && i + 1 < argc)
            repeats = std::max(1, std::atoi(argv[++i]));
        else {
            std::fprintf(stderr, "usage: vendrix_bench [--large [--cache DIR] [--repeats N]]\n");
            return 2;
        }
    }
    return large ? RunLarge(data, repeats) : RunSuite();
}
