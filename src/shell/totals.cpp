// The totals of a journal period: one streamed read of the journal's rows, added up in fixed
// point, and their forms for a terminal, for CSV and for the chart.
#include "shell/totals.h"

#include "shell/journal.h"
#include "storage/codepage.h"
#include "storage/database_location.h"
#include "storage/sql_query.h"
#include "storage/ui_seam.h"

#include <algorithm>
#include <limits>
#include <map>
#include <unordered_map>

namespace vendrix {

namespace {

// An amount added to a running total; a total beyond the amount range is held at its nearest
// end rather than wrapping, as a product of two amounts is.
void AddAmount(TAmount& total, TAmount amount)
{
    if (__builtin_add_overflow(total, amount, &total))
        total = amount > 0 ? std::numeric_limits<TAmount>::max()
                           : std::numeric_limits<TAmount>::min();
}

void AddOrder(TTotalsLine& line, TAmount sum, TAmount weight)
{
    ++line.orders;
    AddAmount(line.sum, sum);
    AddAmount(line.weight, weight);
}

// Lines keyed by the database's own bytes while the rows stream past; each key is turned into
// UTF-8 once, at the end, not once a row.
class TGroups {
public:
    TTotalsLine& At(std::string_view cp1251)
    {
        m_probe.assign(cp1251);
        const auto [it, added] = m_index.try_emplace(m_probe, m_lines.size());
        if (added)
            m_lines.push_back({m_probe});
        return m_lines[it->second];
    }
    std::vector<TTotalsLine> Take()
    {
        for (TTotalsLine& line : m_lines) {
            if (!IsAscii(line.key))
                line.key = Cp1251ToUtf8(line.key);
        }
        return std::move(m_lines);
    }

private:
    std::unordered_map<std::string, std::size_t> m_index;
    std::vector<TTotalsLine> m_lines;
    std::string m_probe; // reused, so a known key costs no allocation
};

// The largest sum first; equal sums by key, so the order never depends on the table's.
void SortBySum(std::vector<TTotalsLine>& lines)
{
    std::sort(lines.begin(), lines.end(), [](const TTotalsLine& a, const TTotalsLine& b) {
        return a.sum != b.sum ? a.sum > b.sum : a.key < b.key;
    });
}

// The journal's rows under `filter`, added up.
std::optional<TTotals> ReadTotals(const std::string& filter)
{
    auto q = TSqlQuery::Create(DbPath(), true);
    if (!q)
        return std::nullopt;
    TBusyScope busy;
    TTotals totals;
    TGroups days, clients;
    std::map<int, int> states;
    // The columns are this statement's own, in this order.
    const bool read = q->ForEachRow(
        "select REC_TIME, CLI_NAME, DOC_STATE, ORD_WEIGHT, ORD_SUMM from DOC_HEADS" + filter,
        [&](const TRowView& row) {
            // Read as the journal reads its cells, so that every figure is what it lists.
            const TAmount weight = TextToAmount(TrimView(row.Value(3)), 0);
            const TAmount sum = TextToAmount(TrimView(row.Value(4)), 0);
            AddOrder(totals.whole, sum, weight);
            AddOrder(days.At(TrimView(row.Value(0))), sum, weight);
            AddOrder(clients.At(TrimView(row.Value(1))), sum, weight);
            ++states[TextToInt(row.Value(2), 0)];
        });
    if (!read) {
        UI().Message("Ошибка при выполнении запроса (итоги).", TIcon::None);
        return std::nullopt;
    }
    totals.days = days.Take();
    totals.clients = clients.Take();
    SortBySum(totals.days);
    SortBySum(totals.clients);
    for (const auto& [state, orders] : states)
        totals.states.push_back({state, orders});
    return totals;
}

std::string DateWords(TDate date)
{
    int y = 0, m = 0, d = 0;
    DecodeDate(date, y, m, d);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02d.%02d.%04d", d, m, y);
    return buf;
}

// A text padded with blanks to `width` characters, on the right (left-aligned) or the left.
std::string Padded(const std::string& text, std::size_t width, bool left)
{
    const std::size_t length = Utf8Length(text);
    const std::string blanks(width > length ? width - length : 0, ' ');
    return left ? text + blanks : blanks + text;
}

// A table whose first column is left-aligned and the others right-aligned, two blanks apart.
std::string Table(const std::vector<std::vector<std::string>>& rows)
{
    std::vector<std::size_t> widths;
    for (const auto& row : rows) {
        widths.resize(std::max(widths.size(), row.size()));
        for (std::size_t c = 0; c < row.size(); ++c)
            widths[c] = std::max(widths[c], Utf8Length(row[c]));
    }
    std::string out;
    for (const auto& row : rows) {
        std::string line;
        for (std::size_t c = 0; c < row.size(); ++c) {
            if (c > 0)
                line += "  ";
            line += Padded(row[c], widths[c], c == 0);
        }
        while (!line.empty() && line.back() == ' ')
            line.pop_back();
        out += line + "\n";
    }
    return out;
}

std::string SumText(TAmount sum)
{
    return AmountText(sum, 2, false);
}

std::string WeightText(TAmount weight)
{
    return AmountText(weight, 3, false);
}

// One list of the terminal's text: its caption, then a row per line under the column heads.
std::string ListText(
    const char* caption, const char* keyHead, const std::vector<TTotalsLine>& lines, bool days)
{
    std::string out = std::string(caption) + "\n";
    if (lines.empty())
        return out + "  нет заказов\n";
    std::vector<std::vector<std::string>> rows {{keyHead, "Заказов", "Сумма", "Вес"}};
    for (const TTotalsLine& l : lines)
        rows.push_back({days ? DayText(l.key) : l.key, std::to_string(l.orders), SumText(l.sum),
            WeightText(l.weight)});
    return out + Table(rows);
}

// A CSV field, quoted when it holds a comma, a quote or a line break (RFC 4180).
std::string CsvField(const std::string& text)
{
    if (text.find_first_of(",\"\r\n") == std::string::npos)
        return text;
    std::string out = "\"";
    for (char c : text) {
        if (c == '"')
            out += '"';
        out += c;
    }
    return out + "\"";
}

void CsvRow(std::string& out, const char* kind, const TTotalsLine& line)
{
    out += std::string(kind) + "," + CsvField(line.key) + "," + std::to_string(line.orders) + ","
        + SumText(line.sum) + "," + WeightText(line.weight) + "\r\n";
}

} // namespace

std::optional<TTotals> JournalTotals(TDate start, TDate end)
{
    return ReadTotals(JournalFilter(start, end));
}

std::optional<TTotals> PeriodTotals(std::optional<TDate> from, std::optional<TDate> to)
{
    return ReadTotals(PeriodFilter(from, to));
}

void SortByOrders(std::vector<TTotalsLine>& lines)
{
    std::sort(lines.begin(), lines.end(), [](const TTotalsLine& a, const TTotalsLine& b) {
        return a.orders != b.orders ? a.orders > b.orders : a.key < b.key;
    });
}

std::string DayText(std::string_view stored)
{
    const std::string_view d = TrimView(stored);
    if (!IsStoredDate(d))
        return "???";
    return std::string(d.substr(8, 2)) + "." + std::string(d.substr(5, 2)) + "."
        + std::string(d.substr(0, 4));
}

std::string PeriodText(std::optional<TDate> from, std::optional<TDate> to)
{
    if (from && to)
        return *from == *to ? DateWords(*from) : DateWords(*from) + " – " + DateWords(*to);
    if (from)
        return "с " + DateWords(*from);
    if (to)
        return "по " + DateWords(*to);
    return "все документы";
}

std::string JournalPeriodText(TDate start, TDate end)
{
    if (start == 0)
        return PeriodText(std::nullopt, std::nullopt);
    return PeriodText(start, end);
}

std::string TotalsText(const TTotals& totals, const std::string& period)
{
    std::string out = "Период: " + period + "\n";
    std::string states;
    for (const TStateCount& s : totals.states)
        states += (states.empty() ? "" : ", ") + std::to_string(s.state) + " — "
            + std::to_string(s.orders);
    if (!states.empty())
        out += "Заказов по состояниям (DOC_STATE): " + states + "; учтены все, как в журнале\n";
    out += "\n" + ListText("По дням", "Дата", totals.days, true);
    out += "\n" + ListText("По клиентам", "Клиент", totals.clients, false);
    out += "\nВсего: заказов " + std::to_string(totals.whole.orders) + ", сумма "
        + SumText(totals.whole.sum) + ", вес " + WeightText(totals.whole.weight) + "\n";
    return out;
}

std::string TotalsCsv(const TTotals& totals)
{
    std::string out = "kind,key,orders,sum,weight\r\n";
    for (const TTotalsLine& day : totals.days)
        CsvRow(out, "day", day);
    for (const TTotalsLine& client : totals.clients)
        CsvRow(out, "client", client);
    TTotalsLine whole = totals.whole;
    whole.key.clear();
    CsvRow(out, "total", whole);
    return out;
}

TChart ChartOf(const std::vector<TTotalsLine>& days, int maxBars, bool sums)
{
    // The days in date order: the stored form sorts as the calendar does.
    std::vector<const TTotalsLine*> dated;
    std::int64_t undated = 0;
    bool anyUndated = false;
    for (const TTotalsLine& day : days) {
        const std::int64_t value = sums ? day.sum : day.orders;
        if (IsStoredDate(TrimView(day.key))) {
            dated.push_back(&day);
        } else {
            anyUndated = true;
            AddAmount(undated, value);
        }
    }
    std::sort(dated.begin(), dated.end(),
        [](const TTotalsLine* a, const TTotalsLine* b) { return a->key < b->key; });

    // The coarsest step needed to fit: a bar for each distinct prefix of the stored date.
    struct TStep {
        TChartStep step;
        std::size_t prefix; // "yyyy-MM-dd", "yyyy-MM", "yyyy"
    };
    const TStep steps[] = {{TChartStep::Day, 10}, {TChartStep::Month, 7}, {TChartStep::Year, 4}};
    const std::size_t room = static_cast<std::size_t>(std::max(maxBars, 1));
    TChart chart;
    for (const TStep& step : steps) {
        chart.step = step.step;
        chart.bars.clear();
        std::string last;
        for (const TTotalsLine* day : dated) {
            const std::string_view d = TrimView(day->key);
            const std::string prefix(d.substr(0, step.prefix));
            if (chart.bars.empty() || prefix != last) {
                last = prefix;
                std::string label;
                if (step.step == TChartStep::Day)
                    label = std::string(d.substr(8, 2)) + "." + std::string(d.substr(5, 2));
                else if (step.step == TChartStep::Month)
                    label = std::string(d.substr(5, 2)) + "." + std::string(d.substr(0, 4));
                else
                    label = std::string(d.substr(0, 4));
                chart.bars.push_back({label, 0});
            }
            AddAmount(chart.bars.back().value, sums ? day->sum : day->orders);
        }
        if (anyUndated)
            chart.bars.push_back({"???", undated});
        if (chart.bars.size() <= room)
            break;
    }
    return chart;
}

std::string ChartValueText(std::int64_t value, bool sums)
{
    return sums ? AmountText(value, 2, false) : IntText(value);
}

} // namespace vendrix
