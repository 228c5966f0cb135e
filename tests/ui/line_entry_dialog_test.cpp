// The line entry dialog: its list and buttons, counts through the keypad as whole numbers,
// grid lines by LINES_OTHER and the caption OK by X_IS_CLOSE.
#include "documents/keypad_dialog.h"
#include "documents/line_entry_dialog.h"
#include "storage/options.h"
#include "toolkit/modal.h"
#include "toolkit/report_list.h"
#include "ui/document_fixture.h"

#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>

namespace vendrix {
namespace {

class LineEntryDialogTest : public test::StartedFolderTest {
protected:
    // Changes the selected row's count: `keys` typed on the keypad, then OK or cancel.
    static void Change(TLineEntryDialog& d, const char* keys, bool ok, TAmount* opened = nullptr)
    {
        auto ran = test::WhenShown<TKeypadDialog>([keys, ok, opened](TKeypadDialog* k) {
            if (opened)
                *opened = k->Keypad().Value();
            EXPECT_FALSE(k->PriceLine()->isVisible());
            test::Type(k->Entry(), QString::fromUtf8(keys));
            (ok ? k->OkButton() : k->CancelButton())->click();
        });
        d.ChangeButton()->click();
        EXPECT_TRUE(*ran);
    }
};

TEST_F(LineEntryDialogTest, CountsAreWholeNumbersThroughTheKeypad)
{
    TLineEntryDialog d(nullptr);
    d.SetTitle("Наш завод");
    d.ClearRows();
    d.AddRow("Соки", "3", 2);
    d.AddRow("Воды", "abc", 3);
    d.show();
    EXPECT_EQ(d.windowTitle(), QString::fromUtf8("Ввод строки"));
    EXPECT_EQ(d.Title()->text(), QString::fromUtf8("Наш завод"));
    EXPECT_EQ(d.List()->ColumnCaption(0), QString::fromUtf8("Товарная группа"));
    EXPECT_EQ(d.List()->ColumnCaption(1), QString::fromUtf8("Кол."));
    EXPECT_EQ(d.List()->ColumnAlignment(1), Qt::AlignRight);
    EXPECT_GE(d.List()->columnWidth(0), 100);
    EXPECT_EQ(d.List()->SelectedRow(), 0) << "the first row is selected";
    EXPECT_EQ(d.ChangeButton()->size(), QSize(36, 29));
    EXPECT_EQ(d.OkButton()->x(), d.ChangeButton()->x() + 41);
    EXPECT_EQ(d.CancelButton()->x(), d.OkButton()->x() + 70);
    EXPECT_FALSE(d.List()->GridLines()) << "LINES_OTHER is 0 on a new database";

    TAmount opened = -1;
    Change(d, "4.9", true, &opened);
    EXPECT_EQ(opened, 30000) << "3 opens as 3.00";
    EXPECT_EQ(d.Rows()[0].count, "4") << "the fraction is cut off";
    Change(d, "7", false);
    EXPECT_EQ(d.Rows()[0].count, "4") << "cancel in the keypad changes nothing";

    d.List()->SelectRow(1);
    Change(d, "2", true, &opened);
    EXPECT_EQ(opened, 0) << "unreadable opens as 0.00";
    EXPECT_EQ(d.Rows()[1].count, "2");
    EXPECT_EQ(d.Rows()[1].tag, 3);
}

TEST_F(LineEntryDialogTest, ModalResultsAndTheTitleBar)
{
    struct TCase {
        const char* name;
        const char* xIsClose;
        std::function<void(TLineEntryDialog*)> act;
        int result;
    } const cases[] = {
        {"Ok", "0", [](TLineEntryDialog* d) { d->OkButton()->click(); }, kModalOk},
        {"Отмена", "0", [](TLineEntryDialog* d) { d->CancelButton()->click(); }, kModalCancel},
        {"title bar without caption OK", "0",
            [](TLineEntryDialog* d) {
                test::FireTimer(d->Timer());
                EXPECT_FALSE(d->TitleBarOk());
                d->close();
            },
            kModalCancel},
        {"title bar with caption OK", "1",
            [](TLineEntryDialog* d) {
                test::FireTimer(d->Timer());
                EXPECT_TRUE(d->TitleBarOk());
                d->close();
            },
            kModalOk},
    };
    for (const TCase& c : cases) {
        SetOption("X_IS_CLOSE", c.xIsClose);
        TLineEntryDialog d(nullptr);
        d.AddRow("Соки", "1", 2);
        auto ran = test::WhenShown<TLineEntryDialog>(c.act);
        EXPECT_EQ(RunModal(d), c.result) << c.name;
        EXPECT_TRUE(*ran) << c.name;
    }
}

TEST_F(LineEntryDialogTest, GridLinesAndPlaceFollowTheOptions)
{
    SetOption("LINES_OTHER", "1");
    QWidget owner;
    owner.resize(240, 320);
    owner.show();
    TLineEntryDialog d(&owner);
    d.show();
    EXPECT_TRUE(d.List()->GridLines());
    const QRect screen = owner.geometry();
    EXPECT_EQ(d.geometry().left(), screen.left() + 20);
    EXPECT_EQ(d.width(), 200);
    EXPECT_LT(d.height(), 320 - 40);
}

} // namespace
} // namespace vendrix
