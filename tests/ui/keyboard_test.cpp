// Every window by the keyboard alone, through key events sent where the agent's keyboard sends
// them (to the control that has the focus): the focus each window opens on and that it is
// drawn, Tab and Shift+Tab through the controls in screen order with the bottom menu bar's
// commands last, Space and Enter on the bar, a submenu walked with the arrows, Ctrl+Tab through
// the pages, Esc, and the focus given back after a dialog over a window closes.
#include "documents/document_form.h"
#include "documents/goods_form.h"
#include "documents/keypad_dialog.h"
#include "documents/line_entry_dialog.h"
#include "documents/reference_form.h"
#include "exchange/exchange_window.h"
#include "settings/about_window.h"
#include "settings/settings_form.h"
#include "shell/main_window.h"
#include "shell/period_dialog.h"
#include "storage/options.h"
#include "toolkit/menu_bar.h"
#include "toolkit/message_dialog.h"
#include "toolkit/report_list.h"
#include "ui/document_fixture.h"
#include "ui/ui_support.h"

#include <QAction>
#include <QCheckBox>
#include <QDateEdit>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStyleOption>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QToolButton>
#include <QTreeWidget>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace vendrix {
namespace {

using test::Day;

QWidget* Focus()
{
    return QApplication::focusWidget();
}

// Presses `key` where the keyboard sends it: to the focused control, else the active window.
void Press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QWidget* target = Focus() ? Focus() : QApplication::activeWindow();
    ASSERT_NE(target, nullptr) << "no window takes the keys";
    QTest::keyClick(target, key, modifiers);
}

std::string Describe(const QWidget* w)
{
    if (!w)
        return "<nothing>";
    std::string text = w->metaObject()->className();
    if (const auto* button = qobject_cast<const QAbstractButton*>(w))
        text += " \"" + button->text().toStdString() + "\"";
    return text;
}

std::string Describe(const std::vector<QWidget*>& controls)
{
    std::string text;
    for (const QWidget* w : controls)
        text += "\n  " + Describe(w);
    return text;
}

// Whether the style draws the focus frame of `control`: it has the focus, and its window
// shows focus frames (Qt's own styles draw them only after the keyboard moved the focus).
bool FocusDrawn(const QWidget* control)
{
    QStyleOption option;
    option.initFrom(control);
    return control->hasFocus() && option.state.testFlag(QStyle::State_HasFocus)
        && option.state.testFlag(QStyle::State_KeyboardFocusChange);
}

// The controls `key` (Tab or Shift+Tab) stops at, from the focused one until the focus comes
// round to it again. A control with stops of its own (a date's day, month and year) counts once.
std::vector<QWidget*> Stops(Qt::Key key)
{
    std::vector<QWidget*> stops {Focus()};
    for (int press = 0; press < 80; ++press) {
        Press(key);
        QWidget* now = Focus();
        if (now == stops.back())
            continue;
        if (now == stops.front())
            break;
        stops.push_back(now);
    }
    return stops;
}

// Whether `window` becomes the window the keys go to (activation comes through the event
// queue, after the window is shown).
bool TakesTheKeys(QWidget* window)
{
    return test::WaitUntil([window] { return QApplication::activeWindow() == window; });
}

// Shows `window` as the program does (a dialog modally) and waits until it takes the keys.
void Show(QWidget* window)
{
    if (auto* dialog = qobject_cast<QDialog*>(window))
        dialog->setModal(true);
    window->show();
    window->activateWindow();
    ASSERT_TRUE(TakesTheKeys(window)) << window->windowTitle().toStdString();
}

// Presses Tab until `control` has the focus; false when Tab came round without reaching it.
bool TabTo(QWidget* control)
{
    for (int press = 0; press < 40 && Focus() && Focus() != control; ++press)
        Press(Qt::Key_Tab);
    return Focus() == control;
}

// A window opened for the keyboard and the controls Tab should stop at, in screen order from
// the one it opens on.
struct TOpened {
    std::unique_ptr<QWidget> window;
    std::vector<QWidget*> stops;
};

std::vector<QWidget*> Bar(const TMenuBar& bar, std::initializer_list<int> items)
{
    std::vector<QWidget*> buttons;
    for (int item : items)
        buttons.push_back(bar.Button(item));
    return buttons;
}

std::vector<QWidget*> Join(std::vector<QWidget*> controls, const std::vector<QWidget*>& bar)
{
    controls.insert(controls.end(), bar.begin(), bar.end());
    return controls;
}

struct TWindowCase {
    const char* name;
    std::function<TOpened()> open;
    bool escCloses; // Esc cancels the window as its cancel command does
};

std::vector<TWindowCase> WindowCases()
{
    return {
        {"main window: the journal, then the bar",
            [] {
                auto w = std::make_unique<TMainWindow>(
                    TMainWindowEnvironment {[] { return Day(2009, 10, 25); }, [] {}});
                std::vector<QWidget*> stops = Join({&w->JournalList()},
                    Bar(w->Menu(),
                        {main_menu::kNew, main_menu::kEditMenu, main_menu::kDelete,
                            main_menu::kMore}));
                return TOpened {std::move(w), stops};
            },
            false},
        {"document form, header page with the trade point",
            [] {
                SetOption("DOC_TRADE_P", "1");
                auto f = std::make_unique<TDocumentForm>(nullptr);
                f->Open({}, false);
                using namespace document_menu;
                std::vector<QWidget*> stops
                    = Join({f->Tabs()->tabBar(), f->Date(), f->ClientBox(), f->ClientButton(),
                               f->TradePointBox(), f->TradePointButton(), f->Comment()},
                        Bar(f->Menu(), {kOk, kSave, kClose}));
                return TOpened {std::move(f), stops};
            },
            true},
        {"document form opening on the order page",
            [] {
                SetOption("DOCPAGE", "1");
                auto f = std::make_unique<TDocumentForm>(nullptr);
                f->Open({}, false);
                using namespace document_menu;
                std::vector<QWidget*> stops = Join({f->Tabs()->tabBar(), f->OrderTable()},
                    Bar(f->Menu(), {kPick, kOk, kSave, kClose}));
                return TOpened {std::move(f), stops};
            },
            true},
        {"settings: each check box before the boxes it enables",
            [] {
                auto s = std::make_unique<TSettingsForm>(nullptr);
                EXPECT_TRUE(s->Load());
                s->CheckBox("USEFTP")->setChecked(true);
                s->CheckBox("FTPAUTH")->setChecked(true);
                std::vector<QWidget*> stops {s->Tabs().tabBar()};
                for (const char* option : {"USEFTP", "FTPADDRESS", "FTPPORT", "FTPPATH", "FTPAUTH",
                         "FTPLOGIN", "FTPPASSWORD", "USEZIP", "FTPAUTO", "CONN_INET", "CONN_LAN",
                         "BREAK_INET", "FTP_PAUSE"}) {
                    QWidget* control = s->CheckBox(option);
                    stops.push_back(control ? control : s->Edit(option));
                }
                stops = Join(stops, Bar(s->Menu(), {settings_menu::kOk, settings_menu::kCancel}));
                return TOpened {std::move(s), stops};
            },
            true},
        {"settings with the FTP connection off: its boxes are passed by",
            [] {
                auto s = std::make_unique<TSettingsForm>(nullptr);
                EXPECT_TRUE(s->Load());
                s->CheckBox("USEFTP")->setChecked(false);
                std::vector<QWidget*> stops
                    = Join({s->Tabs().tabBar(), s->CheckBox("USEFTP"), s->CheckBox("USEZIP")},
                        Bar(s->Menu(), {settings_menu::kOk, settings_menu::kCancel}));
                return TOpened {std::move(s), stops};
            },
            true},
        {"client selection: search boxes, list, bar",
            [] {
                auto r = std::make_unique<TReferenceForm>(nullptr, TReferenceMode::Clients, "C-3");
                std::vector<QWidget*> stops = Join({r->CodeBox(), r->NameBox(), r->List()},
                    Bar(r->Menu(), {reference_menu::kPick, reference_menu::kCancel}));
                return TOpened {std::move(r), stops};
            },
            true},
        {"goods selection: group, search boxes, list, bar",
            [] {
                auto g = std::make_unique<TGoodsForm>(nullptr);
                g->Prepare("");
                using namespace goods_menu;
                std::vector<QWidget*> stops
                    = Join({g->GroupButton(), g->CodeBox(), g->NameBox(), g->List()},
                        Bar(g->Menu(), {kEnter, kOk, kCancel}));
                return TOpened {std::move(g), stops};
            },
            true},
        {"line entry: the rows, then its three buttons",
            [] {
                auto d = std::make_unique<TLineEntryDialog>(nullptr);
                d->AddRow("Соки", "2", 2);
                std::vector<QWidget*> stops
                    = {d->List(), d->ChangeButton(), d->OkButton(), d->CancelButton()};
                return TOpened {std::move(d), stops};
            },
            true},
        {"period on a month: the choice, its steps, the usable options",
            [] {
                auto p = std::make_unique<TPeriodDialog>(
                    nullptr, Day(2009, 10, 1), Day(2009, 10, 31), Day(2009, 10, 25));
                std::vector<QWidget*> stops
                    = Join({p->Radio(TPeriodChoice::Month), p->PrevButton(2), p->NextButton(2),
                               p->FromYearStart(), p->FromQuarterStart()},
                        Bar(p->Menu(), {period_menu::kOk, period_menu::kCancel}));
                return TOpened {std::move(p), stops};
            },
            true},
        {"period on a day: never a date picker first",
            [] {
                auto p = std::make_unique<TPeriodDialog>(
                    nullptr, Day(2009, 10, 20), Day(2009, 10, 20), Day(2009, 10, 25));
                std::vector<QWidget*> stops
                    = Join({p->Radio(TPeriodChoice::Day), p->DayPicker(), p->FromYearStart(),
                               p->FromQuarterStart(), p->FromMonthStart()},
                        Bar(p->Menu(), {period_menu::kOk, period_menu::kCancel}));
                return TOpened {std::move(p), stops};
            },
            true},
        {"about: its one command",
            [] {
                auto a = std::make_unique<TAboutWindow>(nullptr);
                std::vector<QWidget*> stops = Bar(a->Menu(), {about_menu::kClose});
                return TOpened {std::move(a), stops};
            },
            true},
        {"exchange: the log, then the bar",
            [] {
                auto e = std::make_unique<TExchangeWindow>(nullptr);
                std::vector<QWidget*> stops = Join({&e->LogBox()},
                    Bar(e->Menu(), {TExchangeWindow::kExchange, TExchangeWindow::kClose}));
                return TOpened {std::move(e), stops};
            },
            true},
    };
}

class KeyboardTest : public test::CatalogueTest {
protected:
    void SetUp() override
    {
        test::CatalogueTest::SetUp();
        // A database met before: the main window asks no first-run question.
        ASSERT_TRUE(folder.Start());
    }
};

TEST_F(KeyboardTest, EveryWindowOpensOnItsFirstControlAndTabsInScreenOrder)
{
    for (const TWindowCase& c : WindowCases()) {
        SCOPED_TRACE(c.name);
        TOpened o = c.open();
        Show(o.window.get());
        ASSERT_FALSE(o.stops.empty());
        EXPECT_EQ(Focus(), o.stops.front()) << Describe(Focus());
        EXPECT_TRUE(FocusDrawn(o.stops.front())) << "the focus is seen from the start";

        EXPECT_EQ(Stops(Qt::Key_Tab), o.stops)
            << "Tab went:" << Describe(Stops(Qt::Key_Tab)) << "\nexpected:" << Describe(o.stops);
        std::vector<QWidget*> back {o.stops.front()};
        back.insert(back.end(), o.stops.rbegin(), o.stops.rend() - 1);
        EXPECT_EQ(Stops(Qt::Key_Backtab), back) << "Shift+Tab goes the same way back";
    }
}

TEST_F(KeyboardTest, EscCancelsEveryDialogAsItsCancelCommandDoes)
{
    for (const TWindowCase& c : WindowCases()) {
        if (!c.escCloses)
            continue;
        SCOPED_TRACE(c.name);
        TOpened o = c.open();
        Show(o.window.get());
        Press(Qt::Key_Escape);
        EXPECT_TRUE(test::WaitUntil([&] { return !o.window->isVisible(); }));
        if (auto* dialog = qobject_cast<QDialog*>(o.window.get())) {
            EXPECT_EQ(dialog->result(), QDialog::Rejected);
        }
    }
}

TEST_F(KeyboardTest, BarCommandsRunOnSpaceAndEnterButATapLeavesTheFocusWhereItWas)
{
    for (Qt::Key key : {Qt::Key_Space, Qt::Key_Return, Qt::Key_Enter}) {
        SCOPED_TRACE(key);
        TReferenceForm r(nullptr, TReferenceMode::Clients, "C-3");
        Show(&r);
        ASSERT_TRUE(TabTo(r.Menu().Button(reference_menu::kPick)));
        Press(key);
        EXPECT_EQ(r.result(), QDialog::Accepted);
        EXPECT_EQ(r.Picked().guid, "C-3") << "the preselected client";
    }

    // A tap on the bar does what it always did: the focus stays in the box being typed into.
    TGoodsForm g(nullptr);
    g.Prepare("");
    Show(&g);
    g.NameBox()->setFocus();
    QToolButton* enter = g.Menu().Button(goods_menu::kEnter);
    const QImage plain = enter->grab().toImage();
    QTest::mouseClick(enter, Qt::LeftButton);
    EXPECT_EQ(Focus(), g.NameBox());
    // The flat bar button draws a frame when it has the focus.
    ASSERT_TRUE(TabTo(enter));
    EXPECT_NE(enter->grab().toImage(), plain) << "the focused command shows it";
}

TEST_F(KeyboardTest, ASubmenuOpensOnTheKeyWithItsFirstItemActiveAndArrowsAndEnterPick)
{
    TMainWindow w({[] { return Day(2009, 10, 25); }, [] {}});
    Show(&w);
    QToolButton* more = w.Menu().Button(main_menu::kMore);
    ASSERT_TRUE(TabTo(more));
    QMenu* menu = w.Menu().Submenu(main_menu::kMore);

    Press(Qt::Key_Space);
    ASSERT_TRUE(test::WaitUntil([&] { return menu->isVisible(); }));
    EXPECT_EQ(menu->activeAction(), w.Menu().Action(main_menu::kExchange));
    QTest::keyClick(menu, Qt::Key_Down);
    EXPECT_EQ(menu->activeAction(), w.Menu().Action(main_menu::kRefresh)) << "over the separator";
    QTest::keyClick(menu, Qt::Key_Escape);
    EXPECT_TRUE(test::WaitUntil([&] { return !menu->isVisible(); }));
    EXPECT_EQ(Focus(), more) << "Esc closes the menu and leaves the keys on its button";

    Press(Qt::Key_Return);
    ASSERT_TRUE(test::WaitUntil([&] { return menu->isVisible(); }));
    QTest::keyClick(menu, Qt::Key_Down);
    QTest::keyClick(menu, Qt::Key_Down);
    EXPECT_EQ(menu->activeAction(), w.Menu().Action(main_menu::kPeriod));
    bool periodShown = false;
    auto cancelled = test::WhenShown<TPeriodDialog>([&](TPeriodDialog* p) {
        periodShown = TakesTheKeys(p) && Focus() == p->Radio(TPeriodChoice::Day);
        Press(Qt::Key_Escape);
    });
    QTest::keyClick(menu, Qt::Key_Return);
    EXPECT_TRUE(test::WaitUntil([&] { return *cancelled; }));
    EXPECT_TRUE(periodShown) << "Enter picked \"Выбор периода\"; it opened on the day's choice";
    EXPECT_TRUE(TakesTheKeys(&w)) << "the keys came back to the journal's window";
    EXPECT_EQ(Focus(), &w.JournalList());
}

TEST_F(KeyboardTest, CtrlTabTurnsThePagesFromAnyControlOnThem)
{
    SetOption("DOC_SKU", "1");
    TDocumentForm f(nullptr);
    f.Open({}, false);
    TSettingsForm s(nullptr);
    ASSERT_TRUE(s.Load());
    s.CheckBox("USEFTP")->setChecked(true);
    struct TCase {
        const char* name;
        QWidget* window;
        QTabWidget* tabs;
        QWidget* control; // on the first page shown
    };
    const TCase cases[] = {
        {"document: the tab bar", &f, f.Tabs(), f.Tabs()->tabBar()},
        {"document: the date", &f, f.Tabs(), f.Date()},
        {"document: the comment", &f, f.Tabs(), f.Comment()},
        {"document: the client's button", &f, f.Tabs(), f.ClientButton()},
        {"settings: the tab bar", &s, &s.Tabs(), s.Tabs().tabBar()},
        {"settings: a check box", &s, &s.Tabs(), s.CheckBox("USEFTP")},
        {"settings: an edit box", &s, &s.Tabs(), s.Edit("FTPADDRESS")},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.name);
        if (!c.window->isVisible())
            Show(c.window);
        c.tabs->setCurrentIndex(0);
        c.control->setFocus(Qt::TabFocusReason);
        ASSERT_EQ(Focus(), c.control);
        Press(Qt::Key_Tab, Qt::ControlModifier);
        EXPECT_EQ(c.tabs->currentIndex(), 1);
        EXPECT_TRUE(Focus() && c.tabs->isAncestorOf(Focus())) << Describe(Focus());
        Press(Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier);
        EXPECT_EQ(c.tabs->currentIndex(), 0);
        Press(Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier);
        EXPECT_EQ(c.tabs->currentIndex(), c.tabs->count() - 1) << "round to the last page";
    }
}

TEST_F(KeyboardTest, TheGroupDropDownOpensAndChoosesByKeys)
{
    TGoodsForm g(nullptr);
    g.Prepare("");
    Show(&g);
    ASSERT_EQ(Focus(), g.GroupButton());
    for (Qt::Key key : {Qt::Key_Space, Qt::Key_Return}) {
        SCOPED_TRACE(key);
        Press(key);
        ASSERT_TRUE(g.DropDown()->isVisible());
        EXPECT_EQ(Focus(), g.Tree());
        Press(Qt::Key_Escape);
        EXPECT_FALSE(g.DropDown()->isVisible());
        EXPECT_TRUE(g.isVisible()) << "Esc closed the drop-down only";
        EXPECT_EQ(Focus(), g.GroupButton());
    }
    Press(Qt::Key_Space);
    Press(Qt::Key_End); // "Бакалея", the last top-level group
    Press(Qt::Key_Return);
    EXPECT_FALSE(g.DropDown()->isVisible());
    EXPECT_EQ(g.GroupButton()->text(), QString::fromUtf8(" Бакалея"));
    EXPECT_EQ(g.List()->model()->rowCount(), 2);
    EXPECT_EQ(Focus(), g.GroupButton());
}

// Tab into a list where no row is chosen chooses the first, so that Enter acts on a row the
// agent sees; a list with a chosen row keeps it.
TEST_F(KeyboardTest, TabIntoAListChoosesARowForEnter)
{
    TGoodsForm g(nullptr);
    g.Prepare("");
    Show(&g);
    ASSERT_EQ(g.List()->SelectedRow(), -1);
    ASSERT_TRUE(TabTo(g.List()));
    EXPECT_EQ(g.List()->SelectedRow(), 0);
    auto keypad = test::WhenShown<TKeypadDialog>([](TKeypadDialog* k) {
        ASSERT_TRUE(TakesTheKeys(k));
        Press(Qt::Key_Escape);
    });
    Press(Qt::Key_Return);
    EXPECT_TRUE(*keypad);

    TReferenceForm r(nullptr, TReferenceMode::Clients, "C-3");
    Show(&r);
    const int preselected = r.List()->SelectedRow();
    ASSERT_GT(preselected, 0);
    ASSERT_TRUE(TabTo(r.List()));
    EXPECT_EQ(r.List()->SelectedRow(), preselected);
}

// The exchange tab is taller than the handheld's screen: Shift+Tab from the bar lands on its
// last check box, Tab round from the bar on its first, and each is scrolled into sight.
TEST_F(KeyboardTest, ALongPageScrollsToTheControlTabReaches)
{
    TSettingsForm s(nullptr);
    ASSERT_TRUE(s.Load());
    s.CheckBox("USEFTP")->setChecked(true);
    Show(&s);
    ASSERT_TRUE(TabTo(s.Menu().Button(settings_menu::kOk)));
    Press(Qt::Key_Backtab);
    ASSERT_EQ(Focus(), s.CheckBox("FTP_PAUSE"));
    EXPECT_EQ(Focus()->visibleRegion().boundingRect(), Focus()->rect());
    ASSERT_TRUE(TabTo(s.CheckBox("USEFTP")));
    EXPECT_EQ(Focus()->visibleRegion().boundingRect(), Focus()->rect());
}

// The SKU row entry from the document's bar, the keypad over it, Enter on each: the keys come
// back to the dialog, then to the document, with no window manager to give them back.
TEST_F(KeyboardTest, TheKeysComeBackAfterEachNestedDialogCloses)
{
    SetOption("DOC_SKU", "1");
    TDocumentForm f(nullptr);
    f.Open({}, false);
    Show(&f);
    Press(Qt::Key_Tab, Qt::ControlModifier);
    Press(Qt::Key_Tab, Qt::ControlModifier);
    ASSERT_EQ(f.CurrentPage(), TDocumentPage::Sku);
    QToolButton* enter = f.Menu().Button(document_menu::kEnter);
    ASSERT_TRUE(TabTo(enter));

    bool backInDialog = false;
    auto entered = test::WhenShown<TLineEntryDialog>([&](TLineEntryDialog* d) {
        ASSERT_TRUE(TakesTheKeys(d));
        ASSERT_EQ(Focus(), d->List()) << Describe(Focus());
        auto typed = test::WhenShown<TKeypadDialog>([](TKeypadDialog* k) {
            ASSERT_TRUE(TakesTheKeys(k));
            Press(Qt::Key_4);
            Press(Qt::Key_Return);
        });
        Press(Qt::Key_Return);
        EXPECT_TRUE(*typed);
        backInDialog = TakesTheKeys(d) && Focus() == d->List();
        ASSERT_TRUE(TabTo(d->OkButton()));
        Press(Qt::Key_Return);
    });
    Press(Qt::Key_Return);
    EXPECT_TRUE(*entered);
    EXPECT_TRUE(backInDialog) << "the keypad gave the keys back to the row's dialog";
    EXPECT_EQ(f.Record().sku.grid.Cell(0, 2), "4");
    EXPECT_TRUE(TakesTheKeys(&f));
    EXPECT_EQ(Focus(), enter) << "back on the command that opened the dialog";
}

TEST_F(KeyboardTest, TheKeysComeBackToTheTypedTextAfterAMessageBox)
{
    TDocumentForm f(nullptr);
    f.Open({}, false);
    Show(&f);
    f.Comment()->setFocus();
    ASSERT_EQ(Focus(), f.Comment());

    auto answered = test::WhenShown<TMessageDialog>([](TMessageDialog* box) {
        ASSERT_TRUE(TakesTheKeys(box));
        Press(Qt::Key_Return);
    });
    TMessageDialog box(&f, QStringLiteral("Сообщение"), TIcon::Information, QDialogButtonBox::Ok,
        QDialogButtonBox::Ok);
    EXPECT_EQ(box.Run(), QDialogButtonBox::Ok);
    EXPECT_TRUE(*answered);
    EXPECT_TRUE(TakesTheKeys(&f));
    EXPECT_EQ(Focus(), f.Comment()) << "the next keys go on with the comment";
}

} // namespace
} // namespace vendrix
