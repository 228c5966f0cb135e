// The totals of a journal period: the same rows as the journal over a journal of orders saved as
// the agent saves them (several days, clients and states, the period's edges), sums added in
// fixed point, the text and CSV forms, and the chart's bars.
#include "documents/document.h"
#include "shell/journal.h"
#include "shell/totals.h"
#include "support/test_support.h"

#include <optional>
#include <utility>

namespace vendrix {
namespace {

using test::Day;

// One order of the fixture journal: its client, its lines (quantity and sum), the journal day
// and the state the days and the office's script left it in.
struct TFixtureOrder {
    const char* client;
    std::vector<std::pair<const char*, const char*>> lines;
    const char* recorded; // REC_TIME as stored; nullptr leaves none
    const char* state;
};

class TotalsTest : public test::StartedFolderTest {
protected:
    // Saves the order through the document record, as the agent saves it, then moves it to its
    // day and state: the record always writes today and state 1.
    static void SaveOrder(const TFixtureOrder& o)
    {
        TDocument d;
        d.Reset();
        d.clientGuid = std::string("C-") + o.client;
        d.clientName = o.client;
        int n = 0;
        for (const auto& [quantity, sum] : o.lines)
            d.lines.push_back(
                {"G-" + std::to_string(++n), "Товар " + std::to_string(n), quantity, sum, 100});
        ASSERT_TRUE(d.Save());
        const std::string recorded
            = o.recorded ? "'" + std::string(o.recorded) + "'" : std::string("NULL");
        test::Exec("update DOC_HEADS set REC_TIME=" + recorded + ", DOC_STATE='" + o.state
            + "' where GUID='" + d.guid + "'");
    }

    void SetUp() override
    {
        StartedFolderTest::SetUp();
        const TFixtureOrder orders[] = {
            {"Иванов", {{"2.00", "25.00"}}, "2009-10-24", "2"},
            {"Иванов", {{"2.50", "100.00"}, {"1.00", "0.10"}}, "2009-10-25", "1"},
            {"Петров", {{"1.25", "0.20"}}, "2009-10-25", "2"},
            {"ООО \"Ромашка, и К\"", {{"10.00", "1000.00"}}, "2009-10-25", "0"},
            {"Петров", {{"1.50", "50.05"}}, "2009-10-31", "1"},
            {"Сидорова", {{"1.00", "7.00"}}, "2009-11-01", "4"},
            {"Без даты", {{"1.00", "1.00"}}, nullptr, "x"},
        };
        for (const TFixtureOrder& o : orders)
            SaveOrder(o);
    }
};

// A line as "key orders sum weight", for comparing lists at a glance.
std::string Show(const TTotalsLine& l)
{
    return l.key + " " + std::to_string(l.orders) + " " + AmountText(l.sum, 2, false) + " "
        + AmountText(l.weight, 3, false);
}

std::vector<std::string> Show(const std::vector<TTotalsLine>& lines)
{
    std::vector<std::string> out;
    for (const TTotalsLine& l : lines)
        out.push_back(Show(l));
    return out;
}

std::vector<std::pair<int, int>> Show(const std::vector<TStateCount>& states)
{
    std::vector<std::pair<int, int>> out;
    for (const TStateCount& s : states)
        out.emplace_back(s.state, s.orders);
    return out;
}

TEST_F(TotalsTest, JournalPeriodsCountTheJournalsRows)
{
    struct TCase {
        const char* what;
        TDate start, end;
        std::string whole;
        std::vector<std::string> days;
        std::vector<std::string> clients;
        std::vector<std::pair<int, int>> states;
    };
    const TCase cases[] = {
        {"every document, the one without a date too", 0, 0, " 7 1183.35 20.250",
            {"2009-10-25 3 1100.30 14.750", "2009-10-31 1 50.05 1.500", "2009-10-24 1 25.00 2.000",
                "2009-11-01 1 7.00 1.000", " 1 1.00 1.000"},
            {"ООО \"Ромашка, и К\" 1 1000.00 10.000", "Иванов 2 125.10 5.500",
                "Петров 2 50.25 2.750", "Сидорова 1 7.00 1.000", "Без даты 1 1.00 1.000"},
            {{0, 2}, {1, 2}, {2, 2}, {4, 1}}},
        {"one day: deleted and taken-over orders count", Day(2009, 10, 25), Day(2009, 10, 25),
            " 3 1100.30 14.750", {"2009-10-25 3 1100.30 14.750"},
            {"ООО \"Ромашка, и К\" 1 1000.00 10.000", "Иванов 1 100.10 3.500",
                "Петров 1 0.20 1.250"},
            {{0, 1}, {1, 1}, {2, 1}}},
        {"both edges included, the days beyond them not", Day(2009, 10, 25), Day(2009, 10, 31),
            " 4 1150.35 16.250", {"2009-10-25 3 1100.30 14.750", "2009-10-31 1 50.05 1.500"},
            {"ООО \"Ромашка, и К\" 1 1000.00 10.000", "Иванов 1 100.10 3.500",
                "Петров 2 50.25 2.750"},
            {{0, 1}, {1, 2}, {2, 1}}},
        {"a period with no orders", Day(2010, 1, 1), Day(2010, 1, 31), " 0 0.00 0.000", {}, {}, {}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.what);
        const std::optional<TTotals> t = JournalTotals(c.start, c.end);
        ASSERT_TRUE(t.has_value());
        EXPECT_EQ(Show(t->whole), c.whole);
        EXPECT_EQ(Show(t->days), c.days);
        EXPECT_EQ(Show(t->clients), c.clients);
        EXPECT_EQ(Show(t->states), c.states);
        TJournal journal;
        LoadJournal(journal, c.start, c.end);
        EXPECT_EQ(t->whole.orders, static_cast<int>(journal.rows.size()));
    }
    EXPECT_TRUE(folder.ui.shown.empty());
}

TEST_F(TotalsTest, OpenEndedPeriodsOfTheCompanion)
{
    struct TCase {
        const char* what;
        std::optional<TDate> from, to;
        int orders;
        const char* sum;
    };
    const TCase cases[] = {
        {"neither end: every document", std::nullopt, std::nullopt, 7, "1183.35"},
        {"from a day on, that day included", Day(2009, 10, 31), std::nullopt, 2, "57.05"},
        {"up to a day, that day included", std::nullopt, Day(2009, 10, 24), 1, "25.00"},
        {"both ends", Day(2009, 10, 24), Day(2009, 10, 25), 4, "1125.30"},
        {"one day as both ends", Day(2009, 11, 1), Day(2009, 11, 1), 1, "7.00"},
    };
    for (const TCase& c : cases) {
        const std::optional<TTotals> t = PeriodTotals(c.from, c.to);
        ASSERT_TRUE(t.has_value()) << c.what;
        EXPECT_EQ(t->whole.orders, c.orders) << c.what;
        EXPECT_EQ(AmountText(t->whole.sum, 2, false), c.sum) << c.what;
    }
    EXPECT_EQ(PeriodFilter(Day(2009, 10, 31), std::nullopt), " where (REC_TIME>=\"2009-10-31\")");
    EXPECT_EQ(PeriodFilter(std::nullopt, Day(2009, 10, 24)), " where (REC_TIME<=\"2009-10-24\")");
    EXPECT_EQ(PeriodFilter(std::nullopt, std::nullopt), "");
}

// Sums the office wrote with more decimals than two add up in fixed point: three orders of
// 0.005 come to 0.015, shown as 0.02, where a floating sum (0.01499...) would show 0.01.
TEST(Totals, SumsAddUpInFixedPoint)
{
    test::TProgramFolder folder;
    ASSERT_TRUE(folder.Start());
    test::Exec("delete from DOC_HEADS; insert into DOC_HEADS (GUID, REC_TIME, CLI_NAME, "
               "ORD_SUMM, ORD_WEIGHT) values ('A', '2009-10-25', 'Иванов', '0.005', '0.0004'),"
               "('B', '2009-10-25', 'Иванов', '0,005', ' 0.0003 '),"
               "('C', '2009-10-25', 'Иванов', 0.005, 'abc'),"
               "('D', '2009-10-26', 'Петров', '123456789012.34', 1),"
               "('E', '2009-10-26', 'Петров', '-123456789012.33', 1)");
    const std::optional<TTotals> t = JournalTotals(0, 0);
    ASSERT_TRUE(t.has_value());
    EXPECT_EQ(t->whole.sum, 150 + 100);
    EXPECT_EQ(t->days[0].key, "2009-10-25");
    EXPECT_EQ(AmountText(t->days[0].sum, 2, false), "0.02");
    EXPECT_EQ(t->days[0].weight, 7) << "ten-thousandths kept; an unreadable weight counts 0";
    EXPECT_EQ(AmountText(t->days[1].sum, 2, false), "0.01");
}

TEST(Totals, AnUnreadableJournalIsToldAndGivesNothing)
{
    test::TProgramFolder folder;
    ASSERT_TRUE(folder.Start());
    test::Exec("alter table DOC_HEADS rename to GONE");
    EXPECT_FALSE(JournalTotals(0, 0).has_value());
    EXPECT_EQ(folder.ui.Texts(),
        (std::vector<std::string> {
            "no such table: DOC_HEADS", "Ошибка при выполнении запроса (итоги)."}));
    EXPECT_FALSE(folder.ui.busy) << "the wait cursor is off again";
}

TTotals SampleTotals()
{
    TTotals t;
    t.whole = {"", 3, 11234567, 52500};
    t.days = {{"2009-10-25", 2, 11000000, 50000}, {"2009-10-24", 1, 234567, 2500},
        {"25.10.2009", 0, 0, 0}};
    t.clients = {{"ООО \"Ромашка, и К\"", 2, 11000000, 50000}, {"Ян", 1, 234567, 2500}};
    t.states = {{1, 2}, {2, 1}};
    return t;
}

TEST(Totals, CsvForTheOfficesScripts)
{
    EXPECT_EQ(TotalsCsv(SampleTotals()),
        "kind,key,orders,sum,weight\r\n"
        "day,2009-10-25,2,1100.00,5.000\r\n"
        "day,2009-10-24,1,23.46,0.250\r\n"
        "day,25.10.2009,0,0.00,0.000\r\n"
        "client,\"ООО \"\"Ромашка, и К\"\"\",2,1100.00,5.000\r\n"
        "client,Ян,1,23.46,0.250\r\n"
        "total,,3,1123.46,5.250\r\n");
    TTotals empty;
    EXPECT_EQ(TotalsCsv(empty), "kind,key,orders,sum,weight\r\ntotal,,0,0.00,0.000\r\n");
    TTotals lines;
    lines.clients = {{"две\nстроки", 1, 0, 0}};
    EXPECT_NE(TotalsCsv(lines).find("\r\nclient,\"две\nстроки\",1,"), std::string::npos);
}

TEST(Totals, TextForATerminalAlignsCyrillicColumns)
{
    EXPECT_EQ(TotalsText(SampleTotals(), "01.10.2009 – 31.10.2009"),
        "Период: 01.10.2009 – 31.10.2009\n"
        "Заказов по состояниям (DOC_STATE): 1 — 2, 2 — 1; учтены все, как в журнале\n"
        "\n"
        "По дням\n"
        "Дата        Заказов    Сумма    Вес\n"
        "25.10.2009        2  1100.00  5.000\n"
        "24.10.2009        1    23.46  0.250\n"
        "???               0     0.00  0.000\n"
        "\n"
        "По клиентам\n"
        "Клиент              Заказов    Сумма    Вес\n"
        "ООО \"Ромашка, и К\"        2  1100.00  5.000\n"
        "Ян                        1    23.46  0.250\n"
        "\n"
        "Всего: заказов 3, сумма 1123.46, вес 5.250\n");
    EXPECT_EQ(TotalsText(TTotals {}, "все документы"),
        "Период: все документы\n\nПо дням\n  нет заказов\n\nПо клиентам\n  нет заказов\n\n"
        "Всего: заказов 0, сумма 0.00, вес 0.000\n");
}

TEST(Totals, PeriodInWords)
{
    EXPECT_EQ(JournalPeriodText(0, 0), "все документы");
    EXPECT_EQ(JournalPeriodText(0, Day(2009, 10, 25)), "все документы");
    EXPECT_EQ(JournalPeriodText(Day(2009, 10, 25), Day(2009, 10, 25)), "25.10.2009");
    EXPECT_EQ(JournalPeriodText(Day(2009, 10, 1), Day(2009, 10, 31)), "01.10.2009 – 31.10.2009");
    EXPECT_EQ(PeriodText(Day(2009, 10, 1), std::nullopt), "с 01.10.2009");
    EXPECT_EQ(PeriodText(std::nullopt, Day(2009, 10, 31)), "по 31.10.2009");
    EXPECT_EQ(DayText(" 2009-10-25 "), "25.10.2009");
    EXPECT_EQ(DayText("25.10.2009"), "???");
    EXPECT_EQ(DayText(""), "???");
}

// The chart's bars in date order, coarser when the days do not fit.
TEST(Totals, ChartBarsFitTheirRoom)
{
    std::vector<TTotalsLine> days;
    // Every day of 2008 and 2009 with one order of (day of month) units, largest sums first as
    // the totals give them, and one order whose date is not in the stored form.
    for (int y = 2008; y <= 2009; ++y) {
        for (int m = 1; m <= 12; ++m) {
            for (int d = 1; d <= 28; ++d) {
                char key[16];
                std::snprintf(key, sizeof key, "%04d-%02d-%02d", y, m, d);
                days.push_back({key, 1, d * kAmountScale, 0});
            }
        }
    }
    std::reverse(days.begin(), days.end());
    days.push_back({"", 1, 5 * kAmountScale, 0});
    const std::vector<TTotalsLine> week(days.end() - 8, days.end());

    struct TCase {
        const char* what;
        const std::vector<TTotalsLine>& days;
        int room;
        bool sums;
        TChartStep step;
        std::size_t bars;
        const char* first;
        std::int64_t firstValue;
    };
    const TCase cases[] = {
        {"a week: a bar a day, dated ones in order", week, 60, true, TChartStep::Day, 8, "01.01",
            1 * kAmountScale},
        {"two years in 60 bars: a bar a month", days, 60, true, TChartStep::Month, 25, "01.2008",
            406 * kAmountScale},
        {"two years in 10 bars: a bar a year", days, 10, false, TChartStep::Year, 3, "2008", 336},
        {"no room at all still gives the years", days, 0, true, TChartStep::Year, 3, "2008",
            4872 * kAmountScale},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.what);
        const TChart chart = ChartOf(c.days, c.room, c.sums);
        EXPECT_EQ(chart.step, c.step);
        ASSERT_EQ(chart.bars.size(), c.bars);
        EXPECT_EQ(chart.bars.front().label, c.first);
        EXPECT_EQ(chart.bars.front().value, c.firstValue);
        EXPECT_EQ(chart.bars.back().label, "???") << "the undated orders come last";
    }
    EXPECT_TRUE(ChartOf({}, 10, true).bars.empty());
    EXPECT_EQ(ChartValueText(12345, true), "1.23");
    EXPECT_EQ(ChartValueText(12345, false), "12345");
}

TEST(Totals, WithoutSumsTheListsGoByOrders)
{
    std::vector<TTotalsLine> lines {{"Б", 1, 900, 0}, {"В", 3, 10, 0}, {"А", 3, 20, 0}};
    SortByOrders(lines);
    EXPECT_EQ(Show(lines),
        (std::vector<std::string> {"А 3 0.00 0.000", "В 3 0.00 0.000", "Б 1 0.09 0.000"}));
}

} // namespace
} // namespace vendrix
