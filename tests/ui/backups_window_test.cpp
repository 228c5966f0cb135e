// The window «Резервные копии» over a real database with real copies made by MakeBackup, one of
// them spoilt: the list (newest first, the damaged copy and the one before the last office answer
// marked), «Вернуть» refusing a damaged copy and refusing while an order form or the exchange
// window is open, a sound copy put back from the main window's menu (its orders in the journal,
// the replaced database a copy, the goods read again), the keyboard, and the fit on the screen
// (run once per screen of the window geometry runs).
#include "ui/document_fixture.h"
#include "ui/ui_support.h"

#include "documents/document_form.h"
#include "documents/reference_lists.h"
#include "exchange/exchange_window.h"
#include "shell/backups_window.h"
#include "shell/main_window.h"
#include "storage/backups.h"
#include "toolkit/menu_bar.h"
#include "toolkit/modal.h"
#include "toolkit/report_list.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QLabel>
#include <QScreen>
#include <QTest>
#include <QToolButton>

#include <fstream>
#include <functional>
#include <memory>

namespace vendrix {
namespace {

namespace fs = std::filesystem;
using namespace backups_menu;

constexpr TDate kToday = 40111; // 25 October 2009

class BackupsWindowTest : public test::CatalogueTest {
protected:
    // Two copies made before office answers, the older one spoilt afterwards; the database
    // then goes on to three orders and one more goods item.
    void SetUp() override
    {
        test::CatalogueTest::SetUp();
        test::AddDocument("D-1", kToday, "0", "Иванов И. И.");
        damaged = MakeCopy();
        test::AddDocument("D-2", kToday, "0", "Петров");
        sound = MakeCopy();
        test::AddDocument("D-3", kToday, "0", "Ивашкин");
        test::Exec("insert into SPR_GOODS (GUID, ID, ROOTID, IS_FOLDER, ANAME, UNAME, PRICE) "
                   "values ('G-6', 32, 3, 0, 'Пшено', 'i', '4')");
        ASSERT_TRUE(LoadReferenceLists(true));
        goodsInCopy = GoodsList().size() - 1;
        std::fstream spoilt(BackupFolder() / damaged, std::ios::in | std::ios::out);
        spoilt.write(std::string(100, '#').data(), 100);
        spoilt.close();
        // The program holds its share of the running lock for the whole run.
        running = std::make_unique<TProgramRunningLock>();
        folder.ui.Clear();
    }

    static std::string MakeCopy()
    {
        std::string name;
        EXPECT_EQ(MakeBackup(&name), TBackupOutcome::Made);
        return name;
    }
    static std::string Orders() { return test::Value("select count(*) from DOC_HEADS"); }
    static QString Cell(const TBackupsWindow& w, int row, int column)
    {
        const QAbstractItemModel* m = w.List().model();
        return m->data(m->index(row, column)).toString();
    }

    std::unique_ptr<TMainWindow> OpenMain()
    {
        auto main
            = std::make_unique<TMainWindow>(TMainWindowEnvironment {[] { return kToday; }, [] {}});
        main->show();
        main->Menu().Action(main_menu::kRefresh)->trigger();
        return main;
    }

    std::string damaged, sound;
    std::size_t goodsInCopy = 0;
    std::unique_ptr<TProgramRunningLock> running;
};

TEST_F(BackupsWindowTest, ListsTheCopiesNewestFirstWithTheirMarks)
{
    TBackupsWindow w(nullptr);
    w.show();
    EXPECT_EQ(w.windowTitle(), QString::fromUtf8("Резервные копии"));
    ASSERT_EQ(w.Menu().ItemCount(), kItemCount);
    EXPECT_EQ(w.Menu().ItemCaption(kRestore), QString::fromUtf8(" Вернуть "));
    EXPECT_EQ(w.Menu().ItemCaption(kClose), QString::fromUtf8("[ Закрыть ]"));
    const char* const captions[] = {"Копия от", "Заявок", "Сделана перед"};
    ASSERT_EQ(w.List().ColumnCount(), 3);
    for (int c = 0; c < 3; ++c)
        EXPECT_EQ(w.List().ColumnCaption(c), QString::fromUtf8(captions[c])) << c;

    ASSERT_EQ(w.List().model()->rowCount(), 2);
    ASSERT_EQ(w.Backups().size(), 2u);
    EXPECT_EQ(w.Backups()[0].name, sound);
    EXPECT_EQ(w.Backups()[1].name, damaged);
    EXPECT_EQ(Cell(w, 0, 0).toStdString(), w.Backups()[0].time);
    EXPECT_EQ(Cell(w, 0, 1), QStringLiteral("2"));
    EXPECT_EQ(Cell(w, 0, 2), QString::fromUtf8("посл. загрузкой"));
    EXPECT_EQ(Cell(w, 1, 1), QString::fromUtf8("повреждена"));
    EXPECT_EQ(Cell(w, 1, 2), QString::fromUtf8("загрузкой"));
    EXPECT_EQ(w.List().SelectedRow(), 0);
    EXPECT_EQ(w.Note().text().toStdString(), "Перед последней загрузкой из офиса.\n" + sound);
    w.List().SelectRow(1);
    EXPECT_EQ(w.Note().text().toStdString(),
        "Перед загрузкой из офиса. Копия повреждена: вернуть её нельзя.\n" + damaged);

    fs::remove_all(BackupFolder());
    w.Reload();
    EXPECT_EQ(w.List().model()->rowCount(), 0);
    EXPECT_EQ(w.Note().text(), QString::fromUtf8("Копий базы нет."));
    EXPECT_FALSE(w.Menu().ItemEnabled(kRestore));
    w.Restore();
    EXPECT_EQ(folder.ui.Texts(), std::vector<std::string> {"Копий базы нет."});
}

TEST_F(BackupsWindowTest, RefusesTheDamagedCopyWithAMessage)
{
    TBackupsWindow w(nullptr);
    w.show();
    w.List().SelectRow(1);
    folder.ui.answers = {TAnswer::Yes};
    w.Menu().Activate(kRestore);
    ASSERT_EQ(folder.ui.shown.size(), 1u);
    EXPECT_FALSE(folder.ui.shown[0].question);
    EXPECT_EQ(folder.ui.shown[0].text,
        "Копия базы от " + w.Backups()[1].time + " (" + damaged
            + ") повреждена или не является базой агента: вернуть её нельзя. База не изменена.");
    EXPECT_EQ(Orders(), "3");
    EXPECT_EQ(ListBackups().size(), 2u) << "no copy of the database was made for nothing";
}

// From the main window's menu, as the agent does it: the question, the copy in place, the
// journal and the goods read again, the replaced database listed as one more copy.
TEST_F(BackupsWindowTest, PutsASoundCopyBackAndTheJournalShowsItsOrders)
{
    auto main = OpenMain();
    ASSERT_TRUE(test::WaitUntil([&] { return main->JournalList().model()->rowCount() == 3; }));
    std::string time;
    std::vector<std::string> listedAfter;
    bool modalFlag = false;
    folder.ui.answers = {TAnswer::Yes};
    auto ran = test::OnNextModal<TBackupsWindow>([&](TBackupsWindow* w) {
        modalFlag = ModalChildOpen();
        time = w->Backups()[0].time;
        w->Menu().Activate(kRestore);
        for (int row = 0; row < w->List().model()->rowCount(); ++row)
            listedAfter.push_back((Cell(*w, row, 1) + "|" + Cell(*w, row, 2)).toStdString());
        // The journal behind the window already shows the copy's orders.
        EXPECT_EQ(main->JournalList().model()->rowCount(), 2);
        w->Menu().Activate(kClose);
    });
    main->Menu().Action(main_menu::kBackups)->trigger();
    ASSERT_TRUE(*ran);
    EXPECT_TRUE(modalFlag);

    const std::vector<TBackup> copies = ListBackups();
    ASSERT_EQ(copies.size(), 3u);
    const std::string keptAs = copies[0].name;
    EXPECT_TRUE(fs::is_regular_file(BackupFolder() / keptAs));
    EXPECT_EQ(folder.ui.Texts(),
        (std::vector<std::string> {
            "Вернуть копию базы от " + time + "?\r\nЗаменённая база сохранится как ещё одна копия.",
            "Копия базы от " + time
                + " возвращена на место базы.\r\nЗаменённая база сохранена как копия " + keptAs
                + "."}));
    EXPECT_EQ(folder.ui.shown[0].buttons, TButtons::YesNoDefaultNo);
    EXPECT_EQ(listedAfter,
        (std::vector<std::string> {"3|возвратом", "2|посл. загрузкой", "повреждена|загрузкой"}))
        << "the replaced database, listed first with its three orders";
    EXPECT_EQ(Orders(), "2");
    EXPECT_EQ(main->JournalList().model()->rowCount(), 2);
    EXPECT_EQ(GoodsList().size(), goodsInCopy) << "the goods read again from the copy";
    EXPECT_TRUE(LastLoadComplete());
}

struct TOpenWork {
    const char* name;
    std::function<void(TMainWindow&)> open;
    std::string refusal;
};

class BackupsWindowRefusal : public BackupsWindowTest,
                             public ::testing::WithParamInterface<TOpenWork> { };

TEST_P(BackupsWindowRefusal, RefusesWhileTheAgentsWorkIsOpen)
{
    auto main = OpenMain();
    GetParam().open(*main);
    TBackupsWindow w(main.get());
    w.show();
    folder.ui.Clear();
    folder.ui.answers = {TAnswer::Yes};
    w.Menu().Activate(kRestore);
    EXPECT_EQ(folder.ui.Texts(), std::vector<std::string> {GetParam().refusal});
    EXPECT_EQ(Orders(), "3");
    EXPECT_EQ(ListBackups().size(), 2u);
}

INSTANTIATE_TEST_SUITE_P(Cases, BackupsWindowRefusal,
    ::testing::Values(
        TOpenWork {"order_form",
            [](TMainWindow& main) {
                main.Menu().Activate(main_menu::kNew);
                ASSERT_TRUE(test::WaitUntil([&] {
                    auto* form = test::FindChild<TDocumentForm>(&main);
                    return form && form->isVisible();
                }));
            },
            "Копию базы нельзя вернуть, пока открыта заявка.\r\nЗапишите или закройте открытые "
            "заявки и повторите."},
        TOpenWork {"exchange_window",
            [](TMainWindow& main) {
                auto* exchange = new TExchangeWindow(&main);
                exchange->setAttribute(Qt::WA_DeleteOnClose);
                exchange->show();
            },
            "Копию базы нельзя вернуть, пока открыто окно обмена.\r\nДождитесь конца обмена, "
            "закройте окно и повторите."}),
    [](const ::testing::TestParamInfo<TOpenWork>& info) { return info.param.name; });

TEST_F(BackupsWindowTest, WorksByKeyboard)
{
    TBackupsWindow w(nullptr);
    w.show();
    w.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    EXPECT_EQ(QApplication::focusWidget(), &w.List()) << "opens with the focus on the list";
    EXPECT_TRUE(w.List().currentIndex().isValid());

    QToolButton* restore = w.Menu().Button(kRestore);
    QToolButton* close = w.Menu().Button(kClose);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), restore);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), close);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_EQ(QApplication::focusWidget(), restore);

    // Enter and Space on «Вернуть», Enter on the list: each asks, «Нет» changes nothing.
    const std::string question = "Вернуть копию базы от " + w.Backups()[0].time
        + "?\r\nЗаменённая база сохранится как ещё одна копия.";
    QTest::keyClick(restore, Qt::Key_Return);
    QTest::keyClick(restore, Qt::Key_Space);
    w.List().setFocus();
    QTest::keyClick(&w.List(), Qt::Key_Enter);
    EXPECT_EQ(folder.ui.Texts(), std::vector<std::string>(3, question));
    EXPECT_EQ(Orders(), "3");

    QTest::keyClick(&w.List(), Qt::Key_Escape);
    EXPECT_FALSE(w.isVisible());
    EXPECT_EQ(w.result(), QDialog::Rejected);
}

// Runs on every screen of the geometry runs (ctest starts it once per screen): the window lies
// inside the available area, the list keeps room for rows and both commands are on screen.
TEST_F(BackupsWindowTest, FitsTheScreenWithItsCommandsInReach)
{
    auto main = OpenMain();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(main.get()));
    TBackupsWindow w(main.get());
    w.show();
    w.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    const QRect area = w.screen()->availableGeometry();
    EXPECT_TRUE(test::WaitUntil([&] { return area.contains(w.frameGeometry()); }, 2000))
        << w.frameGeometry().width() << "x" << w.frameGeometry().height() << " on " << area.width()
        << "x" << area.height();
    EXPECT_GE(w.List().viewport()->height(), 40);
    for (int item = 0; item < kItemCount; ++item) {
        QToolButton* button = w.Menu().Button(item);
        const QRect inWindow(button->mapTo(&w, QPoint(0, 0)), button->size());
        EXPECT_TRUE(button->isVisible()) << item;
        EXPECT_TRUE(w.rect().contains(inWindow)) << item;
    }
}

} // namespace
} // namespace vendrix
