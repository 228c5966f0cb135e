// The main window over a real database: its menus and the settings that shape them, the journal
// filled a second after the window appears, deletion, the date check of "Обновить", the
// first-run question, the close query and the period chosen from the menu.
#include "documents/document_form.h"
#include "shell/main_window.h"
#include "shell/period_dialog.h"
#include "storage/database_location.h"
#include "storage/options.h"
#include "storage/sql_query.h"
#include "support/test_support.h"
#include "toolkit/menu_bar.h"
#include "toolkit/modal.h"
#include "toolkit/report_list.h"
#include "toolkit/window_placement.h"
#include "ui/ui_support.h"

#include <QAction>
#include <QElapsedTimer>
#include <QPointer>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <QToolButton>

namespace vendrix {
namespace {

using test::Day;

constexpr TDate kDay = 40111; // 25 October 2009

class MainWindowTest : public test::StartedFolderTest {
protected:
    // A database that existed before this start: no first-run question.
    void Restart()
    {
        ASSERT_TRUE(folder.Start());
        ASSERT_FALSE(IsNewDatabase());
    }

    std::unique_ptr<TMainWindow> Open()
    {
        auto window = std::make_unique<TMainWindow>(
            TMainWindowEnvironment {[this] { return today; }, [this] { ++quits; }});
        window->show();
        return window;
    }

    static bool Filled(const TMainWindow& w, int rows)
    {
        return test::WaitUntil([&] { return w.JournalList().model()->rowCount() == rows; });
    }

    static QString CellText(const TMainWindow& w, int row, int column)
    {
        const QAbstractItemModel* m = w.JournalList().model();
        return m->data(m->index(row, column)).toString();
    }

    TDate today = kDay;
    int quits = 0;
};

TEST_F(MainWindowTest, MenusKeepTheirCaptionsBlanksAndOrder)
{
    Restart();
    auto w = Open();
    EXPECT_EQ(w->windowTitle(), QString::fromUtf8("Агент продаж"));
    // «Резервные копии» and «Итоги» are this program's own; every item of the handheld's menu
    // keeps its caption and its order around them.
    const char* const captions[]
        = {" Новый ", " Правка ", " Копировать документ ", "-", " Редактировать ", " Удалить ",
            "  ...  ", "Обмен с центр. БД", "-", "Обновить", "Выбор периода", "-", "Настройки",
            "Резервные копии", "-", "О программе", "Итоги", "-", "Выход"};
    TMenuBar& menu = w->Menu();
    ASSERT_EQ(menu.ItemCount(), 19);
    for (int i = 0; i < 19; ++i) {
        EXPECT_EQ(menu.ItemCaption(i).toStdString(), captions[i]) << i;
        EXPECT_TRUE(menu.ItemVisible(i)) << i;
    }
    // Four entries on the bar; " Правка " and "  ...  " hold the rest, in order.
    for (int bar : {0, 1, 5, 6})
        EXPECT_NE(menu.Button(bar), nullptr) << bar;
    EXPECT_EQ(menu.Button(0)->text(), QString::fromUtf8(" Новый "));
    auto inMenu = [&](int owner, int first, int last) {
        const QList<QAction*> actions = menu.Submenu(owner)->actions();
        ASSERT_EQ(actions.size(), last - first + 1);
        for (int i = first; i <= last; ++i)
            EXPECT_EQ(actions[i - first], menu.Action(i)) << i;
    };
    inMenu(1, 2, 4);
    inMenu(6, 7, 18);

    const char* const popup[]
        = {" Новый ", " Копировать ", " Редактировать ", " Удалить ", "-", "Выбор периода"};
    ASSERT_EQ(w->JournalMenu().ItemCount(), 6);
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(w->JournalMenu().ItemCaption(i).toStdString(), popup[i]) << i;

    const char* const columns[] = {" ", "Дата", "Клиент", "Кол-во", "Сумма"};
    const int widths[] = {18, 46, 106, 62, 62};
    const TReportList& list = w->JournalList();
    ASSERT_EQ(list.ColumnCount(), 5);
    for (int c = 0; c < 5; ++c) {
        EXPECT_EQ(list.ColumnCaption(c).toStdString(), columns[c]) << c;
        EXPECT_EQ(list.ColumnAlignment(c), c >= 3 ? Qt::AlignRight : Qt::AlignLeft) << c;
        if (c < 4) {
            EXPECT_EQ(list.columnWidth(c), widths[c]) << c;
        }
    }
    EXPECT_GE(list.columnWidth(4), 62);
    EXPECT_EQ(list.selectionBehavior(), QAbstractItemView::SelectRows);
    EXPECT_TRUE(list.GridLines()); // LINES_ZH is on by default
    EXPECT_FALSE(w->TitleBarClosesProgram()); // X_IS_CLOSE is off by default
}

struct TShaping {
    const char* name;
    const char* option;
    const char* value;
    std::vector<int> hiddenMenu;
    std::vector<int> hiddenPopup;
    int columns;
    bool grid;
    bool titleBarOk;
};

class MainWindowSettings : public MainWindowTest,
                           public ::testing::WithParamInterface<TShaping> { };

TEST_P(MainWindowSettings, ShapeTheWindowOnceAtConstruction)
{
    const TShaping& s = GetParam();
    Restart();
    SetOption(s.option, s.value);
    auto w = Open();
    for (int i = 0; i < w->Menu().ItemCount(); ++i) {
        const bool hidden = std::count(s.hiddenMenu.begin(), s.hiddenMenu.end(), i) > 0;
        EXPECT_EQ(w->Menu().ItemVisible(i), !hidden) << i;
    }
    for (int i = 0; i < w->JournalMenu().ItemCount(); ++i) {
        const bool hidden = std::count(s.hiddenPopup.begin(), s.hiddenPopup.end(), i) > 0;
        EXPECT_EQ(w->JournalMenu().ItemVisible(i), !hidden) << i;
    }
    EXPECT_EQ(w->JournalList().ColumnCount(), s.columns);
    EXPECT_EQ(w->JournalList().GridLines(), s.grid);
    EXPECT_EQ(w->TitleBarClosesProgram(), s.titleBarOk);
    // Read once: a later change waits for the next start.
    SetOption(s.option, "0");
    EXPECT_EQ(w->JournalList().ColumnCount(), s.columns);
}

INSTANTIATE_TEST_SUITE_P(Options, MainWindowSettings,
    ::testing::Values(
        TShaping {"HidePeriod", "HIDE_PERIOD", "1", {main_menu::kPeriod}, {4, 5}, 5, true, false},
        TShaping {"HideAboutBox", "HIDE_ABOUTBOX", "1",
            {main_menu::kAbout, main_menu::kAboutSeparator}, {}, 5, true, false},
        TShaping {"NoSums", "UseSUMS", "0", {}, {}, 4, true, false},
        TShaping {"NoGridLines", "LINES_ZH", "0", {}, {}, 5, false, false},
        TShaping {"TitleBarOk", "X_IS_CLOSE", "1", {}, {}, 5, true, true},
        TShaping {"SwitchesWantExactlyOne", "HIDE_PERIOD", " yes ", {}, {}, 5, true, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(MainWindowTest, JournalShowsTheDocumentsOfTheDayASecondAfterTheWindow)
{
    Restart();
    test::AddDocument("G0", kDay, "0", "Иванов", "12.34", "1000");
    test::AddDocument("G1", kDay, "1", "Петров", "0", "0");
    test::AddDocument("G2", kDay, "2", "Сидоров", "1,5", "2.5");
    test::AddDocument("G3", kDay, "3", "ООО \"Ромашка\"");
    test::AddDocument("G4", kDay, "4", "Кузнецов");
    test::AddDocument("G9", kDay, "9", "Неизвестный");
    test::AddDocument("OLD", kDay - 1, "1", "Вчерашний");
    // Timers never fire early (a coarse one by at most 5 %), however busy the machine is.
    QElapsedTimer clock;
    clock.start();
    auto w = Open();
    ASSERT_TRUE(Filled(*w, 6));
    EXPECT_GE(clock.elapsed(), 950) << "filled before its second";

    const char* const expected[][5] = {
        {"  G0", "25.10", "Иванов", "12.3", "1000.00"},
        {"  G1", "25.10", "Петров", "", ""},
        {"  G2", "25.10", "Сидоров", "1.5", "2.50"},
        {"  G3", "25.10", "ООО \"Ромашка\"", "1.0", "10.00"},
        {"  G4", "25.10", "Кузнецов", "1.0", "10.00"},
        {"  G9", "25.10", "Неизвестный", "1.0", "10.00"},
    };
    const QAbstractItemModel* m = w->JournalList().model();
    const auto& images = w->JournalList().Images();
    ASSERT_EQ(images.size(), 5u);
    for (int row = 0; row < 6; ++row) {
        for (int c = 0; c < 5; ++c)
            EXPECT_EQ(CellText(*w, row, c).toStdString(), expected[row][c]) << row << "," << c;
        const QVariant picture = m->data(m->index(row, 0), Qt::DecorationRole);
        if (row < 5) {
            EXPECT_EQ(m->data(m->index(row, 0), TReportList::kImageRole).toInt(), row);
            ASSERT_TRUE(picture.canConvert<QPixmap>()) << row;
            EXPECT_EQ(picture.value<QPixmap>().toImage(), images[row].toImage()) << row;
        } else {
            EXPECT_FALSE(picture.isValid()) << "a state outside 0-4 shows no image";
        }
        EXPECT_FALSE(m->data(m->index(row, 2), Qt::DecorationRole).isValid());
    }
    EXPECT_EQ(w->Journal().keys.front(), "G0");
}

TEST_F(MainWindowTest, DeleteAsksAndRemovesTheSelectedDocument)
{
    Restart();
    test::AddDocument("A", kDay, "1", "Первый");
    test::AddDocument("B", kDay, "1", "Второй");
    test::Exec("insert into DOC_ORDERS (DOC_ID, G_NAME) values ('B', 'Чай')");
    auto w = Open();
    ASSERT_TRUE(Filled(*w, 2));
    TMenuBar& menu = w->Menu();

    QTest::mouseClick(menu.Button(main_menu::kDelete), Qt::LeftButton);
    EXPECT_TRUE(folder.ui.shown.empty()) << "no row selected, nothing asked";

    w->JournalList().SelectRow(1);
    folder.ui.answers.push_back(TAnswer::No);
    QTest::mouseClick(menu.Button(main_menu::kDelete), Qt::LeftButton);
    EXPECT_EQ(folder.ui.Texts(), std::vector<std::string> {"Удалить документ?"});
    EXPECT_EQ(folder.ui.shown.back().icon, TIcon::Question);
    EXPECT_EQ(folder.ui.shown.back().buttons, TButtons::YesNoDefaultNo) << "Enter must not delete";
    EXPECT_EQ(w->JournalList().model()->rowCount(), 2);

    w->JournalList().SelectRow(1);
    folder.ui.answers.push_back(TAnswer::Yes);
    w->JournalMenu().Action(journal_menu::kDelete)->trigger();
    EXPECT_EQ(folder.ui.shown.size(), 2u);
    ASSERT_EQ(w->JournalList().model()->rowCount(), 1);
    EXPECT_EQ(CellText(*w, 0, 2), QString::fromUtf8("Первый"));
    EXPECT_EQ(test::Column("select GUID from DOC_HEADS"), std::vector<std::string> {"A"});
    EXPECT_EQ(test::Value("select count(*) from DOC_ORDERS"), "0");
}

TEST_F(MainWindowTest, RefreshOverAChangedDateAsksOnce)
{
    Restart();
    test::AddDocument("TODAY", kDay, "1", "Сегодняшний");
    test::AddDocument("NEXT", kDay + 1, "1", "Завтрашний");
    test::AddDocument("AFTER", kDay + 2, "1", "Послезавтрашний");
    auto w = Open();
    ASSERT_TRUE(Filled(*w, 1));
    QAction* refresh = w->Menu().Action(main_menu::kRefresh);

    refresh->trigger();
    EXPECT_TRUE(folder.ui.shown.empty()) << "same day, no question";

    today = kDay + 1 + 0.6; // past midnight
    folder.ui.answers.push_back(TAnswer::No);
    refresh->trigger();
    refresh->trigger();
    ASSERT_EQ(folder.ui.Texts(),
        std::vector<std::string> {"Сменилась дата. Установить новую дату в журнале?"});
    EXPECT_EQ(w->Period().start, kDay);
    EXPECT_EQ(CellText(*w, 0, 2), QString::fromUtf8("Сегодняшний"));

    today = kDay + 2;
    folder.ui.answers.push_back(TAnswer::Yes);
    refresh->trigger();
    EXPECT_EQ(folder.ui.shown.size(), 2u);
    EXPECT_EQ(w->Period().start, kDay + 2);
    EXPECT_EQ(w->Period().end, kDay + 2);
    ASSERT_EQ(w->JournalList().model()->rowCount(), 1);
    EXPECT_EQ(CellText(*w, 0, 2), QString::fromUtf8("Послезавтрашний"));
}

TEST_F(MainWindowTest, FirstRunQuestionOnANewDatabaseOnly)
{
    ASSERT_TRUE(IsNewDatabase());
    {
        auto w = Open();
        ASSERT_TRUE(test::WaitUntil([&] { return !folder.ui.shown.empty(); }, 2000));
        EXPECT_EQ(folder.ui.Texts(),
            std::vector<std::string> {
                "\r\nПервый запуск...\r\n\r\nПриветствую!\r\n\r\nОткрыть настройки?\r\n\r\n"});
        EXPECT_EQ(folder.ui.shown.front().icon, TIcon::Question);
        ASSERT_TRUE(Filled(*w, 0));
    }
    folder.ui.Clear();
    Restart();
    auto w = Open();
    // Once every one-shot timer of the window has fired, the first-run question has had its
    // chance.
    ASSERT_TRUE(test::WaitUntil([&] {
        for (const QTimer* timer : w->findChildren<QTimer*>(Qt::FindDirectChildrenOnly))
            if (timer->isActive())
                return false;
        return true;
    }));
    EXPECT_TRUE(folder.ui.shown.empty());
}

TEST_F(MainWindowTest, ExitFollowsTheCloseQuery)
{
    Restart();
    auto w = Open();
    QAction* exit = w->Menu().Action(main_menu::kExit);

    folder.ui.answers.push_back(TAnswer::No);
    exit->trigger();
    EXPECT_EQ(folder.ui.Texts(), std::vector<std::string> {"Завершить работу?"});
    EXPECT_EQ(quits, 0);
    EXPECT_TRUE(w->isVisible());

    folder.ui.answers.push_back(TAnswer::Yes);
    exit->trigger();
    EXPECT_EQ(quits, 1);

    folder.ui.Clear();
    SetOption("Q_ON_EXIT", "0");
    w->show();
    exit->trigger();
    EXPECT_TRUE(folder.ui.shown.empty());
    EXPECT_EQ(quits, 2);
}

// On a handheld-sized screen the X without X_IS_CLOSE only hides the program: the window
// geometry test checks that on every screen size.
TEST_F(MainWindowTest, TitleBarButtonOnADesktopIsACloseRequest)
{
    Restart();
    {
        auto w = Open();
        folder.ui.answers.push_back(TAnswer::No);
        w->close(); // without X_IS_CLOSE, but this screen is desktop-sized
        EXPECT_EQ(folder.ui.Texts(), std::vector<std::string> {"Завершить работу?"});
        EXPECT_FALSE(w->isMinimized());
        EXPECT_EQ(quits, 0);
    }
    folder.ui.Clear();
    SetOption("X_IS_CLOSE", "1");
    auto w = Open();
    {
        TModalChildScope aboutIsOpen;
        w->close();
        EXPECT_TRUE(folder.ui.shown.empty()) << "ignored while a modal child is open";
    }
    folder.ui.answers.push_back(TAnswer::Yes);
    w->close();
    EXPECT_EQ(folder.ui.Texts(), std::vector<std::string> {"Завершить работу?"});
    EXPECT_EQ(quits, 1);
}

TEST_F(MainWindowTest, PeriodFromTheMenuReloadsTheJournal)
{
    Restart();
    test::AddDocument("OLD", Day(2009, 1, 15), "1", "Январский");
    test::AddDocument("NOW", kDay, "1", "Октябрьский");
    auto w = Open();
    ASSERT_TRUE(Filled(*w, 1));

    bool flagWhileOpen = false;
    auto ran = test::OnNextModal<TPeriodDialog>([&](TPeriodDialog* d) {
        flagWhileOpen = ModalChildOpen();
        EXPECT_TRUE(d->Radio(TPeriodChoice::Day)->isChecked());
        QTest::mouseClick(d->Radio(TPeriodChoice::All), Qt::LeftButton);
        d->Menu().Activate(0); // "[ OK ]"
    });
    w->Menu().Action(main_menu::kPeriod)->trigger();
    ASSERT_TRUE(*ran);
    EXPECT_TRUE(flagWhileOpen);
    EXPECT_FALSE(ModalChildOpen());
    EXPECT_EQ(w->Period().start, 0);
    EXPECT_EQ(w->Period().end, 0);
    EXPECT_EQ(w->JournalList().model()->rowCount(), 2);

    ran = test::OnNextModal<TPeriodDialog>([](TPeriodDialog* d) {
        QTest::mouseClick(d->Radio(TPeriodChoice::Year), Qt::LeftButton);
        d->Menu().Activate(1); // "[ Отмена ]"
    });
    w->JournalMenu().Action(journal_menu::kPeriod)->trigger();
    ASSERT_TRUE(*ran);
    EXPECT_EQ(w->Period().start, 0) << "cancel keeps the period";
}

// Watches which of the program's windows was raised last (the one on top).
class TRaiseOrder : public QObject {
public:
    TRaiseOrder() { qApp->installEventFilter(this); }
    ~TRaiseOrder() override { qApp->removeEventFilter(this); }
    QObject* last = nullptr;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::ZOrderChange && watched->isWidgetType()
            && static_cast<QWidget*>(watched)->isWindow())
            last = watched;
        return QObject::eventFilter(watched, event);
    }
};

TEST_F(MainWindowTest, BringingToFrontActivatesTheOpenModalDialogNotTheBlockedWindow)
{
    Restart();
    auto w = Open();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(w.get()));
    auto ran = test::OnNextModal<TPeriodDialog>([&](TPeriodDialog* d) {
        // The agent left the program minimised with the period dialog open, then starts it
        // again (or taps the notification icon).
        w->showMinimized();
        TRaiseOrder raised;
        BringProgramToFront(w.get());
        EXPECT_FALSE(w->isMinimized());
        EXPECT_EQ(raised.last, d) << "the dialog ends on top of the window it blocks";
        EXPECT_TRUE(test::WaitUntil([&] { return QApplication::activeWindow() == d; }))
            << "the dialog is the active window";
        d->reject();
    });
    w->Menu().Activate(main_menu::kPeriod);
    EXPECT_TRUE(*ran);
}

TEST_F(MainWindowTest, BringingToFrontWithoutADialogActivatesTheMainWindow)
{
    Restart();
    auto w = Open();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(w.get()));
    w->showMinimized();
    TRaiseOrder raised;
    BringProgramToFront(w.get());
    EXPECT_FALSE(w->isMinimized());
    EXPECT_EQ(raised.last, w.get());
    EXPECT_TRUE(test::WaitUntil([&] { return QApplication::activeWindow() == w.get(); }));
}

TEST_F(MainWindowTest, AfterADocumentFormClosesTheJournalKeepsItsDocumentSelected)
{
    Restart();
    test::AddDocument("A", kDay, "1", "Иванов");
    test::AddDocument("B", kDay, "1", "Петров");
    auto w = Open();
    ASSERT_TRUE(Filled(*w, 2));
    w->JournalList().SelectRow(1);
    const std::string key = w->Journal().keys[1];
    auto openForm = [&]() -> QPointer<TDocumentForm> {
        // The windows have no meta-objects of their own: findChildren would take any widget.
        for (QObject* child : w->children()) {
            auto* form = dynamic_cast<TDocumentForm*>(child);
            if (form && form->isVisible())
                return form;
        }
        return nullptr;
    };
    w->Menu().Activate(main_menu::kEdit);
    QPointer<TDocumentForm> form = openForm();
    ASSERT_TRUE(form);
    folder.ui.answers = {TAnswer::No}; // should the form ask, it closes without saving
    form->RequestClose();
    ASSERT_TRUE(test::WaitUntil([&] { return !form || !form->isVisible(); }))
        << "the form has closed";
    ASSERT_GE(w->JournalList().SelectedRow(), 0) << "the journal keeps a selection";
    EXPECT_EQ(w->Journal().keys[static_cast<std::size_t>(w->JournalList().SelectedRow())], key);

    w->Menu().Activate(main_menu::kCopy);
    EXPECT_TRUE(openForm()) << "«Копировать документ» copies the document that was open";
}

} // namespace
} // namespace vendrix

namespace vendrix {
namespace {

// A wider window on a desktop shows more of each client's name: the extra width goes to
// «Клиент», the date and the numbers keep theirs. At the handheld's width every column keeps
// the width the handheld gives it.
TEST_F(MainWindowTest, WideWindowGivesItsExtraWidthToTheClients)
{
    Restart();
    auto w = Open();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(w.get()));
    const TReportList& list = w->JournalList();
    const int handheld[] = {18, 46, 106, 62, 62};
    const int scrollBar = list.style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, &list);
    for (const int width : {700, kHandheldWidth, 500}) {
        SCOPED_TRACE(width);
        w->resize(width, w->height());
        // The row filled: the client's column takes what the other four leave.
        auto filled = [&] {
            return w->width() == width
                && list.columnWidth(2)
                == std::max(106, list.contentsRect().width() - 188 - scrollBar - 2);
        };
        EXPECT_TRUE(test::WaitUntil(filled)) << list.columnWidth(2);
        if (width == 700) {
            EXPECT_GT(list.columnWidth(2), 400);
        }
        for (int c = 0; c < 5; ++c) {
            if (c != 2 || width == kHandheldWidth) {
                EXPECT_EQ(list.columnWidth(c), handheld[c]) << c;
            }
        }
    }
}

} // namespace
} // namespace vendrix
