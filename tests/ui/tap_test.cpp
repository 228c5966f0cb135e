// Taps on the lists and trees, as a stylus or a finger makes them: a single tap, a tap on the
// row that is already selected, and a quick double tap (whose second press Qt delivers as a
// double click). Each list does what its window says a tap does, and a double tap is never
// swallowed.
#include "ui/document_fixture.h"
#include "ui/ui_support.h"

#include "documents/document_form.h"
#include "documents/goods_form.h"
#include "documents/keypad_dialog.h"
#include "documents/line_entry_dialog.h"
#include "documents/reference_form.h"
#include "shell/main_window.h"
#include "toolkit/report_list.h"

#include <gtest/gtest.h>

#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

#include <functional>
#include <memory>

namespace vendrix {
namespace {

// Counts the keypads that open and cancels each at once (from inside its modal run).
class TKeypadCounter : public QObject {
public:
    TKeypadCounter() { qApp->installEventFilter(this); }
    ~TKeypadCounter() override { qApp->removeEventFilter(this); }
    int opened = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Show) {
            if (auto* keypad = dynamic_cast<TKeypadDialog*>(watched)) {
                ++opened;
                QMetaObject::invokeMethod(
                    keypad, [keypad] { keypad->reject(); }, Qt::QueuedConnection);
            }
        }
        return QObject::eventFilter(watched, event);
    }
};

enum class TGesture { Tap, TapOnSelected, DoubleTap };

const char* GestureName(TGesture g)
{
    switch (g) {
    case TGesture::Tap:
        return "a tap on another row";
    case TGesture::TapOnSelected:
        return "a tap on the selected row";
    case TGesture::DoubleTap:
        return "a double tap on another row";
    }
    return "";
}

// One list or tree under test: its window, the view, the row tapped, and whether the window's
// tap action has happened.
struct TTapTarget {
    std::unique_ptr<QWidget> window;
    QAbstractItemView* view = nullptr;
    QModelIndex row;
    std::function<bool()> acted;
};

struct TTapCase {
    const char* name;
    std::function<TTapTarget(const TKeypadCounter& keypads)> open;
    bool actsOnTap; // a tap on another row acts as well, not only a tap on the selected row
};

void Gesture(QAbstractItemView* view, const QModelIndex& row, TGesture g)
{
    const QPoint at = view->visualRect(row).center();
    QWidget* surface = view->viewport();
    if (g == TGesture::TapOnSelected)
        view->selectionModel()->setCurrentIndex(
            row, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    else
        view->selectionModel()->clearSelection();
    QTest::mousePress(surface, Qt::LeftButton, {}, at);
    QTest::mouseRelease(surface, Qt::LeftButton, {}, at);
    if (g == TGesture::DoubleTap) {
        QTest::mouseDClick(surface, Qt::LeftButton, {}, at);
        QTest::mouseRelease(surface, Qt::LeftButton, {}, at);
    }
}

std::vector<TTapCase> Cases()
{
    return {
        {"goods list (keypad)",
            [](const TKeypadCounter& keypads) {
                auto form = std::make_unique<TGoodsForm>(nullptr);
                form->Prepare("");
                TTapTarget t;
                t.view = form->List();
                t.row = form->List()->model()->index(1, 1);
                t.acted = [&keypads] { return keypads.opened > 0; };
                t.window = std::move(form);
                return t;
            },
            false},
        {"goods tree (chooses the group)",
            [](const TKeypadCounter&) {
                auto form = std::make_unique<TGoodsForm>(nullptr);
                form->Prepare("");
                TGoodsForm* f = form.get();
                TTapTarget t;
                t.window = std::move(form);
                t.window->show();
                f->OpenGroups();
                t.view = f->Tree();
                QTreeWidgetItem* other = f->Tree()->topLevelItem(1);
                t.row = f->Tree()->indexFromItem(other);
                const QString caption = QLatin1Char(' ') + other->text(0);
                t.acted = [f, caption] {
                    return !f->DropDown()->isVisible() && f->GroupButton()->text() == caption;
                };
                return t;
            },
            false},
        {"line entry (keypad)",
            [](const TKeypadCounter& keypads) {
                auto dialog = std::make_unique<TLineEntryDialog>(nullptr);
                for (int i = 0; i < 3; ++i)
                    dialog->AddRow("Категория " + std::to_string(i), "1", i + 2);
                TTapTarget t;
                t.view = dialog->List();
                t.row = dialog->List()->model()->index(1, 0);
                t.acted = [&keypads] { return keypads.opened > 0; };
                t.window = std::move(dialog);
                return t;
            },
            false},
        {"reference form (picks the client)",
            [](const TKeypadCounter&) {
                auto form = std::make_unique<TReferenceForm>(nullptr, TReferenceMode::Clients, "");
                TReferenceForm* f = form.get();
                TTapTarget t;
                t.view = f->List();
                t.row = f->List()->model()->index(0, 1);
                t.acted = [f] { return f->Picked().chosen; };
                t.window = std::move(form);
                return t;
            },
            true},
        {"journal (opens the document)",
            [](const TKeypadCounter&) {
                test::Exec("delete from DOC_HEADS");
                test::AddDocument("D-1", test::Day(2009, 10, 2), "1", "Иванов");
                test::AddDocument("D-2", test::Day(2009, 10, 2), "1", "Петров");
                auto window = std::make_unique<TMainWindow>(
                    TMainWindowEnvironment {[] { return test::Day(2009, 10, 2); }, [] {}});
                TMainWindow* w = window.get();
                w->show();
                EXPECT_TRUE(
                    test::WaitUntil([w] { return w->JournalList().model()->rowCount() == 2; }));
                TTapTarget t;
                t.view = &w->JournalList();
                t.row = w->JournalList().model()->index(1, 2);
                t.acted = [w] {
                    int open = 0;
                    // The windows have no meta-objects of their own: findChildren would take
                    // any widget.
                    for (QObject* child : w->children()) {
                        auto* form = dynamic_cast<TDocumentForm*>(child);
                        open += form && form->isVisible() ? 1 : 0;
                    }
                    // A double tap opens the document once, not in two forms.
                    EXPECT_LE(open, 1);
                    return open > 0;
                };
                t.window = std::move(window);
                return t;
            },
            true},
    };
}

class TapTest : public test::CatalogueTest { };

TEST_F(TapTest, taps_and_double_taps_on_every_list_and_tree)
{
    for (const TTapCase& c : Cases()) {
        for (TGesture g : {TGesture::Tap, TGesture::TapOnSelected, TGesture::DoubleTap}) {
            SCOPED_TRACE(std::string(c.name) + ", " + GestureName(g));
            TKeypadCounter keypads;
            TTapTarget t = c.open(keypads);
            t.window->show();
            ASSERT_TRUE(QTest::qWaitForWindowExposed(t.window.get()));
            ASSERT_TRUE(t.row.isValid());
            Gesture(t.view, t.row, g);
            const bool expected = g != TGesture::Tap || c.actsOnTap;
            if (expected) {
                EXPECT_TRUE(test::WaitUntil(t.acted)) << "the tap was swallowed";
            } else {
                // The tap is handed on through the event queue: once the queue is empty, it
                // has done whatever it does.
                QCoreApplication::sendPostedEvents();
                QCoreApplication::processEvents();
                EXPECT_FALSE(t.acted()) << "a first tap only selects";
                EXPECT_EQ(t.view->selectionModel()->selectedRows().value(0).row(), t.row.row())
                    << "the tap selects its row";
            }
            for (QWidget* w : QApplication::topLevelWidgets())
                if (w != t.window.get() && w->isVisible() && w->parentWidget() == t.window.get())
                    w->close();
        }
    }
}

TEST_F(TapTest, enter_on_a_list_is_a_tap_on_its_selected_row)
{
    TKeypadCounter keypads;
    TLineEntryDialog dialog(nullptr);
    dialog.AddRow("Соки", "2", 2);
    dialog.AddRow("Воды", "3", 3);
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    dialog.List()->setFocus();
    QTest::keyClick(dialog.List(), Qt::Key_Down);
    EXPECT_EQ(dialog.List()->SelectedRow(), 1) << "the arrows move through the rows";
    QTest::keyClick(dialog.List(), Qt::Key_Return);
    EXPECT_TRUE(test::WaitUntil([&] { return keypads.opened == 1; }));
}

TEST_F(TapTest, esc_is_the_windows_cancel_item)
{
    TDocumentForm form(nullptr);
    form.Open("", false);
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    QTest::keyClick(&form, Qt::Key_Escape);
    EXPECT_FALSE(form.isVisible()) << "an unchanged order closes as with \"  X  \"";

    TGoodsForm goods(nullptr);
    goods.Prepare("");
    goods.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&goods));
    QTest::keyClick(goods.List(), Qt::Key_Escape);
    EXPECT_FALSE(goods.isVisible());
    EXPECT_EQ(goods.result(), QDialog::Rejected) << "as \" [X] Отмена\"";
}

} // namespace
} // namespace vendrix
