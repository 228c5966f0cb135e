// The «Итоги» window: what the journal's period came to. A page with the whole (the period, the
// number of orders, their sum and weight, the states counted) and a bar chart of the sum per
// day, and two pages listing the days and the clients, the largest sum first. Opened modally
// from the main window's «  ...  » menu over the journal's period; the figures come from
// shell/totals, the window only shows them.
#pragma once

#include "shell/totals.h"

#include <QDialog>
#include <QRect>

#include <iterator>
#include <memory>
#include <vector>

class QBoxLayout;
class QGridLayout;
class QLabel;
class QTabWidget;

namespace vendrix {

class TMenuBar;
class TReportList;
class TTotalsRows;

/// The totals window's menu bar: its items' numbers, in the order they are added, and their
/// captions by number. A plain enum, since the bar numbers its items with ints.
namespace totals_menu {
enum TItem : int { kClose, kItemCount };
inline constexpr const char* kCaptions[] = {"[ Закрыть ]"};
static_assert(std::size(kCaptions) == kItemCount, "one caption per item");
} // namespace totals_menu

/// The bar chart of the period's sum (or orders) per day, drawn by the window itself; a bar a
/// month or a year when the days are too many for its width.
class TTotalsChart : public QWidget {
public:
    TTotalsChart(QWidget* parent, std::vector<TTotalsLine> days, bool sums);

    /// The chart as it was last painted, and how many times it was.
    const TChart& Painted() const { return m_painted; }
    int PaintCount() const { return m_paints; }
    /// Where each painted bar stands, in the chart's coordinates (a zero bar is a line).
    const std::vector<QRect>& BarRects() const { return m_bars; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    bool event(QEvent* event) override;

private:
    std::vector<TTotalsLine> m_days;
    bool m_sums;
    TChart m_painted;
    std::vector<QRect> m_bars;
    int m_paints = 0;
};

/// The pages of the window, in their order.
enum class TTotalsPage { Whole, Days, Clients };

class TTotalsWindow : public QDialog {
public:
    /// Builds the window over `owner` for `totals` of the period `start`-`end` (start 0: every
    /// document); reads UseSUMS once, here: without sums the sums are left out and the lists
    /// and the chart go by the number of orders.
    TTotalsWindow(QWidget* owner, TTotals totals, TDate start, TDate end);
    ~TTotalsWindow() override;

    TMenuBar& Menu() const { return *m_menu; }
    QTabWidget& Pages() const { return *m_pages; }
    QWidget* Page(TTotalsPage page) const;
    TReportList& DaysList() const { return *m_daysList; }
    TReportList& ClientsList() const { return *m_clientsList; }
    TTotalsChart& Chart() const { return *m_chart; }
    const TTotals& Totals() const { return m_totals; }
    bool ShowsSums() const { return m_sums; }
    /// The figures of the first page: the period, the orders, the sum (nullptr without sums),
    /// the weight, and the sentence that says which states are counted.
    QLabel* PeriodLabel() const { return m_period; }
    QLabel* OrdersLabel() const { return m_orders; }
    QLabel* SumLabel() const { return m_sum; }
    QLabel* WeightLabel() const { return m_weight; }
    QLabel* StatesLabel() const { return m_statesNote; }

protected:
    void changeEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    // The construction steps, in the order the constructor takes them.
    QWidget* BuildWholePage(TDate start, TDate end);
    QLayout* BuildFigures(QWidget* page, TDate start, TDate end);
    QLayout* BuildStates(QWidget* page);
    void FlowStates(int perRow);
    TReportList* BuildList(const char* keyCaption, std::unique_ptr<TTotalsRows>& rows,
        const std::vector<TTotalsLine>& lines, bool days);
    void BuildMenuBar();

    TTotals m_totals;
    bool m_sums;
    TMenuBar* m_menu = nullptr;
    QTabWidget* m_pages = nullptr;
    QBoxLayout* m_wholeLayout = nullptr; // figures beside the chart in landscape, above it else
    QWidget* m_figures = nullptr; // the figures and the states counted
    QGridLayout* m_states = nullptr; // the states' cells, as many to a row as the width takes
    std::vector<QWidget*> m_stateCells;
    TTotalsChart* m_chart = nullptr;
    TReportList* m_daysList = nullptr;
    TReportList* m_clientsList = nullptr;
    std::unique_ptr<TTotalsRows> m_dayRows;
    std::unique_ptr<TTotalsRows> m_clientRows;
    QLabel* m_period = nullptr;
    QLabel* m_orders = nullptr;
    QLabel* m_sum = nullptr;
    QLabel* m_weight = nullptr;
    QLabel* m_statesNote = nullptr;
};

/// Works out the totals of the journal's period (start 0: every document) and shows them
/// modally over `owner`; shows nothing when the journal could not be read (the agent was told).
void RunTotalsWindow(QWidget* owner, TDate start, TDate end);

} // namespace vendrix
