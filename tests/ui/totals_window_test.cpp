// The «Итоги» window over a real journal: opened from the main window's menu over its period with
// the focus inside it, Esc and «[ Закрыть ]» closing it, the pages by keyboard, the lists and the
// chart painted, the sums left out with UseSUMS off. TotalsWindowScreen runs once per screen the
// windows are made for (ctest starts it on each): the chart and the lists are whole on it.
#include "shell/main_window.h"
#include "shell/totals_window.h"
#include "storage/options.h"
#include "support/test_support.h"
#include "toolkit/menu_bar.h"
#include "toolkit/modal.h"
#include "toolkit/report_list.h"
#include "toolkit/window_placement.h"
#include "ui/ui_support.h"

#include <QAction>
#include <QImage>
#include <QLabel>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>

namespace vendrix {
namespace {

using test::Day;

const TDate kToday = Day(2009, 10, 25);

class TotalsWindowTest : public test::StartedFolderTest {
protected:
    void SetUp() override
    {
        StartedFolderTest::SetUp();
        // Three days of the journal, four clients, every kind of state; the 26th lies past the
        // main window's period (today).
        test::AddDocument("A", Day(2009, 10, 23), "1", "Иванов", "2", "100.10");
        test::AddDocument("B", Day(2009, 10, 24), "2", "Петров", "1.5", "20");
        test::AddDocument("C", kToday, "0", "ООО «Ромашка»", "10", "1000");
        test::AddDocument("D", kToday, "2", "Иванов", "0.25", "0.005");
        test::AddDocument("E", kToday, "4", "Сидорова", "1", "7.5");
        test::AddDocument("F", Day(2009, 10, 26), "1", "Петров", "3", "300");
    }

    static QString Cell(const TReportList& list, int row, int column)
    {
        const QAbstractItemModel* m = list.model();
        return m->data(m->index(row, column)).toString();
    }

    static std::vector<QString> Column(const TReportList& list, int column)
    {
        std::vector<QString> out;
        for (int r = 0; r < list.model()->rowCount(); ++r)
            out.push_back(Cell(list, r, column));
        return out;
    }

    static std::unique_ptr<TTotalsWindow> Open(TDate start, TDate end)
    {
        std::optional<TTotals> totals = JournalTotals(start, end);
        EXPECT_TRUE(totals.has_value());
        auto w = std::make_unique<TTotalsWindow>(nullptr, std::move(*totals), start, end);
        w->show();
        FitToScreen(w.get());
        EXPECT_TRUE(QTest::qWaitForWindowExposed(w.get()));
        return w;
    }

    // How many pixels of the chart's picture have the colour of its bars.
    static int BarPixels(TTotalsChart& chart)
    {
        const QImage picture = chart.grab().toImage();
        int n = 0;
        for (int y = 0; y < picture.height(); ++y)
            for (int x = 0; x < picture.width(); ++x)
                n += picture.pixelColor(x, y) == QColor(0x2E, 0x8B, 0x57);
        return n;
    }
};

TEST_F(TotalsWindowTest, OpensFromTheMenuOverTheJournalsPeriodWithTheFocusAndEscCloses)
{
    TMainWindow main({[] { return kToday; }, [] {}});
    main.show();
    ASSERT_EQ(main.Menu().ItemCaption(main_menu::kTotals), QString::fromUtf8("Итоги"));
    bool flag = false, focused = false, paged = false;
    QString orders, period;
    auto ran = test::OnNextModal<TTotalsWindow>([&](TTotalsWindow* w) {
        flag = ModalChildOpen();
        orders = w->OrdersLabel()->text();
        period = w->PeriodLabel()->text();
        focused = test::WaitUntil([&] {
            const QWidget* f = QApplication::focusWidget();
            return f && f->window() == w;
        });
        QWidget* target = QApplication::focusWidget();
        ASSERT_NE(target, nullptr);
        QTest::keyClick(target, Qt::Key_Tab, Qt::ControlModifier);
        paged = w->Pages().currentIndex() == static_cast<int>(TTotalsPage::Days);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    });
    main.Menu().Action(main_menu::kTotals)->trigger();
    EXPECT_TRUE(*ran);
    EXPECT_TRUE(flag) << "the main window ignores its title-bar OK meanwhile";
    EXPECT_FALSE(ModalChildOpen());
    EXPECT_TRUE(focused) << "a control of the window has the keyboard";
    EXPECT_TRUE(paged) << "Ctrl+Tab turns the page";
    EXPECT_EQ(period, QString::fromUtf8("25.10.2009"));
    EXPECT_EQ(orders, QString::fromUtf8("3")) << "today's orders, deleted and taken over too";

    auto closed = test::OnNextModal<TTotalsWindow>([](TTotalsWindow* w) {
        ASSERT_EQ(w->Menu().ItemCount(), 1);
        EXPECT_EQ(w->Menu().ItemCaption(totals_menu::kClose), QString::fromUtf8("[ Закрыть ]"));
        w->Menu().Activate(totals_menu::kClose);
    });
    main.Menu().Action(main_menu::kTotals)->trigger();
    EXPECT_TRUE(*closed);
}

TEST_F(TotalsWindowTest, ListsTheDaysAndClientsByTheirSumAndSaysWhichStatesCount)
{
    auto w = Open(Day(2009, 10, 23), kToday);
    EXPECT_EQ(w->windowTitle(), QString::fromUtf8("Итоги"));
    EXPECT_EQ(w->PeriodLabel()->text(), QString::fromUtf8("23.10.2009 – 25.10.2009"));
    EXPECT_EQ(w->OrdersLabel()->text(), QString::fromUtf8("5"));
    ASSERT_NE(w->SumLabel(), nullptr);
    EXPECT_EQ(w->SumLabel()->text(), QString::fromUtf8("1127.61")) << "0.005 added exactly";
    EXPECT_EQ(w->WeightLabel()->text(), QString::fromUtf8("14.750"));
    EXPECT_TRUE(w->StatesLabel()->text().contains(QString::fromUtf8("в любом состоянии")));

    const TReportList& days = w->DaysList();
    ASSERT_EQ(days.ColumnCount(), 3);
    EXPECT_EQ(days.ColumnCaption(0), QString::fromUtf8("Дата"));
    EXPECT_EQ(days.ColumnCaption(1), QString::fromUtf8("Заказов"));
    EXPECT_EQ(days.ColumnCaption(2), QString::fromUtf8("Сумма"));
    EXPECT_EQ(Column(days, 0), (std::vector<QString> {"25.10.2009", "23.10.2009", "24.10.2009"}));
    EXPECT_EQ(Column(days, 1), (std::vector<QString> {"3", "1", "1"}));
    EXPECT_EQ(Column(days, 2), (std::vector<QString> {"1007.51", "100.10", "20.00"}));
    EXPECT_EQ(Column(w->ClientsList(), 0),
        (std::vector<QString> {QString::fromUtf8("ООО «Ромашка»"), QString::fromUtf8("Иванов"),
            QString::fromUtf8("Петров"), QString::fromUtf8("Сидорова")}));
    EXPECT_EQ(
        Column(w->ClientsList(), 2), (std::vector<QString> {"1000.00", "100.11", "20.00", "7.50"}));

    // The chart on the first page: a bar a day in date order, the largest the tallest.
    TTotalsChart& chart = w->Chart();
    ASSERT_TRUE(test::WaitUntil([&] { return chart.PaintCount() > 0; }));
    ASSERT_EQ(chart.Painted().bars.size(), 3u);
    EXPECT_EQ(chart.Painted().bars[0].label, "23.10");
    EXPECT_EQ(chart.Painted().bars[2].label, "25.10");
    ASSERT_EQ(chart.BarRects().size(), 3u);
    EXPECT_GT(chart.BarRects()[2].height(), chart.BarRects()[0].height());
    EXPECT_GT(chart.BarRects()[0].height(), chart.BarRects()[1].height());
    EXPECT_GT(BarPixels(chart), 0);
}

TEST_F(TotalsWindowTest, WithoutSumsNoSumIsShownAndTheChartCountsOrders)
{
    SetOption("UseSUMS", "0");
    auto w = Open(0, 0);
    EXPECT_FALSE(w->ShowsSums());
    EXPECT_EQ(w->SumLabel(), nullptr);
    EXPECT_EQ(w->OrdersLabel()->text(), QString::fromUtf8("6"));
    EXPECT_EQ(w->DaysList().ColumnCount(), 2);
    EXPECT_EQ(w->ClientsList().ColumnCount(), 2);
    EXPECT_EQ(Column(w->ClientsList(), 0).front(), QString::fromUtf8("Иванов"))
        << "by orders: two of Иванов's and Петров's, then by name";
    ASSERT_TRUE(test::WaitUntil([&] { return w->Chart().PaintCount() > 0; }));
    ASSERT_EQ(w->Chart().Painted().bars.size(), 4u);
    EXPECT_EQ(w->Chart().Painted().bars[2].value, 3) << "the 25th's orders";
}

TEST_F(TotalsWindowTest, AnEmptyPeriodShowsNoBars)
{
    auto w = Open(Day(2010, 1, 1), Day(2010, 1, 31));
    EXPECT_EQ(w->OrdersLabel()->text(), QString::fromUtf8("0"));
    EXPECT_EQ(w->DaysList().model()->rowCount(), 0);
    ASSERT_TRUE(test::WaitUntil([&] { return w->Chart().PaintCount() > 0; }));
    EXPECT_TRUE(w->Chart().BarRects().empty());
    EXPECT_EQ(BarPixels(w->Chart()), 0);
}

// On the screen of this run: the window inside the available area, the chart whole on its page
// without scrolling, every bar inside it and drawn, and the lists' columns in view.
using TotalsWindowScreen = TotalsWindowTest;

TEST_F(TotalsWindowScreen, ChartAndListsAreWholeOnTheScreen)
{
    auto w = Open(0, 0);
    const QRect area = w->screen()->availableGeometry();
    SCOPED_TRACE(std::to_string(area.width()) + "x" + std::to_string(area.height()));
    EXPECT_TRUE(test::WaitUntil([&] { return area.contains(w->frameGeometry()); }, 2000));
    QWidget* menu = &w->Menu();
    EXPECT_TRUE(w->rect().contains(QRect(menu->mapTo(w.get(), QPoint(0, 0)), menu->size())))
        << "the menu bar stays on screen";

    TTotalsChart& chart = w->Chart();
    ASSERT_TRUE(test::WaitUntil([&] { return chart.PaintCount() > 0; }));
    const QWidget* page = w->Page(TTotalsPage::Whole);
    const QRect shown(chart.mapTo(page, QPoint(0, 0)), chart.size());
    EXPECT_TRUE(page->rect().contains(shown))
        << "the chart at " << shown.x() << "," << shown.y() << " " << shown.width() << "x"
        << shown.height() << " on a page of " << page->width() << "x" << page->height();
    EXPECT_GE(chart.height(), chart.minimumSizeHint().height());
    ASSERT_EQ(chart.BarRects().size(), 4u);
    for (const QRect& bar : chart.BarRects())
        EXPECT_TRUE(chart.rect().contains(bar));
    EXPECT_GT(BarPixels(chart), 0);
    if (w->width() > w->height()) {
        EXPECT_GT(shown.left(), w->OrdersLabel()->mapTo(page, QPoint(0, 0)).x())
            << "in a landscape window the chart stands beside the figures";
    }

    for (TTotalsPage p : {TTotalsPage::Days, TTotalsPage::Clients}) {
        w->Pages().setCurrentIndex(static_cast<int>(p));
        auto* list = dynamic_cast<TReportList*>(w->Page(p));
        ASSERT_NE(list, nullptr);
        QTest::qWait(20);
        const int columns = list->ColumnCount();
        int right = 0;
        for (int c = 0; c < columns; ++c)
            right += list->columnWidth(c);
        EXPECT_LE(right, list->viewport()->width()) << "every column in view without scrolling";
    }
}

} // namespace
} // namespace vendrix
