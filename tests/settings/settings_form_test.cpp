// The settings form with real widgets over a real database: its tabs and controls, what loading
// shows, what "[ OK ]" writes and "[ Отмена ]" does not, the enabling of the FTP fields, the
// exchange tab's widths, the two-digit days box, the device information list, the column-width
// reset that writes at once, and the modal run with its flag.
#include "settings/settings_form.h"
#include "settings/settings_rules.h"
#include "storage/options.h"
#include "storage/sql_query.h"
#include "storage/value_formats.h"
#include "support/test_support.h"
#include "toolkit/menu_bar.h"
#include "toolkit/modal.h"
#include "toolkit/report_list.h"
#include "ui/ui_support.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QStyle>
#include <QTabWidget>
#include <QTest>

#include <set>

namespace vendrix {
namespace {

QString Q(const char* text)
{
    return QString::fromUtf8(text);
}

class SettingsFormTest : public test::StartedFolderTest {
protected:
    std::unique_ptr<TSettingsForm> Open()
    {
        auto form = std::make_unique<TSettingsForm>(nullptr);
        EXPECT_TRUE(form->Load());
        form->show();
        return form;
    }

    static void Ok(TSettingsForm& form) { form.Menu().Activate(0); }
    static void Cancel(TSettingsForm& form) { form.Menu().Activate(1); }

    // The stored row of `name` (exact) as "value|description", NULL shown as "<null>".
    static std::string Row(const std::string& name)
    {
        return test::Value("select coalesce(OPT_VAL, '<null>') || '|' || coalesce(OPT_DESCR, "
                           "'<null>') from MY_OPTIONS where OPT_NAME="
            + SqlString(name));
    }
    static std::string Count(const std::string& where)
    {
        return test::Value("select count(*) from MY_OPTIONS where " + where);
    }
};

TEST_F(SettingsFormTest, TabsMenuAndEveryOptionBoundInOrder)
{
    auto form = Open();
    EXPECT_EQ(form->windowTitle(), Q("Настройки"));
    const char* tabs[] = {" Обмен ", "Оформл.", "Функц.", "Надписи", "Информ."};
    ASSERT_EQ(form->Tabs().count(), 5);
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(form->Tabs().tabText(i), Q(tabs[i]));
    ASSERT_EQ(form->Menu().ItemCount(), 2);
    EXPECT_EQ(form->Menu().ItemCaption(0), Q("[ OK ]"));
    EXPECT_EQ(form->Menu().ItemCaption(1), Q("[ Отмена ]"));

    const std::set<std::string> edits = {"FTPADDRESS", "FTPPORT", "FTPPATH", "FTPLOGIN",
        "FTPPASSWORD", "NEWDOC_DATE", "DATE", "CLIENT", "TP", "PRIM", "TABLE1", "TABLE2", "TABLE3",
        "MULTISELFORMTEXT", "NOMENKL", "COUNT"};
    ASSERT_EQ(form->Binding().Count(), static_cast<int>(kSettingsOptions.size()));
    for (int i = 0; i < form->Binding().Count(); ++i) {
        const std::string name = UpperLatin(kSettingsOptions[static_cast<std::size_t>(i)]);
        EXPECT_EQ(form->Binding().NameAt(i), name);
        const std::string cls = form->Binding().ControlAt(i)->ClassName();
        EXPECT_EQ(cls,
            name == "FONT_SIZE"     ? "COMBOBOX"
                : edits.count(name) ? "EDIT"
                                    : "BUTTON")
            << name;
    }

    struct TPlace {
        const char* option;
        const char* caption;
        int left, top;
    };
    const TPlace places[] = {
        {"USEFTP", " FTP соединение", 4, 25},
        {"CONN_LAN", "Подключать частную сеть", 22, 273},
        {"BREAK_INET", " Разрывать соединение...", 3, 295},
        {"X_IS_CLOSE", " [ x ] - кн. выхода", 17, 233},
        {"DOC_SKU", " ТЧ  \"SKU\"", 17, 55},
        {"DOCPAGE", " Откр. стр. \"Заявка\"", 17, 153},
        {"NOCOPY_DATE", " Дату отгрузки", 18, 340},
        {"NOCOPY_SKU", " ТЧ  \"SKU\"", 17, 403},
    };
    for (const TPlace& p : places) {
        QCheckBox* box = form->CheckBox(p.option);
        ASSERT_TRUE(box) << p.option;
        EXPECT_EQ(box->text(), Q(p.caption)) << p.option;
        EXPECT_EQ(box->pos(), QPoint(p.left, p.top)) << p.option;
    }
    for (const char* hidden : {"DOC_PRICES", "NOCOPY_PRICES"}) {
        EXPECT_EQ(form->CheckBox(hidden)->text(), Q(" ТЧ  \"Цены...\""));
        EXPECT_TRUE(form->CheckBox(hidden)->isHidden()) << hidden;
    }
    EXPECT_EQ(form->Edit("FTPPASSWORD")->echoMode(), QLineEdit::Password);
    QComboBox* fonts = form->ComboBox("FONT_SIZE");
    ASSERT_EQ(fonts->count(), 4);
    EXPECT_EQ(fonts->itemText(3), Q("Оч. крупный"));
    EXPECT_EQ(form->EditLabel("FTPADDRESS")->text(), Q("Сервер: "));
    EXPECT_EQ(form->EditLabel("MultiSelFormText")->text(), Q("Подбор:"));
    QLineEdit* days = form->Edit("NEWDOC_DATE");
    EXPECT_EQ(days->geometry().topLeft(), QPoint(129, 129));
    EXPECT_EQ(days->width(), 29);
    EXPECT_TRUE(days->alignment() & Qt::AlignRight);
}

TEST_F(SettingsFormTest, LoadingShowsEachValueByTheRulesOfItsControl)
{
    test::Exec("update MY_OPTIONS set OPT_VAL='3' where OPT_NAME='FONT_SIZE';"
               "update MY_OPTIONS set OPT_VAL='true' where OPT_NAME='LINES_ZH';"
               "update MY_OPTIONS set OPT_VAL=' 1 ' where OPT_NAME='HIDE_PERIOD';"
               "insert into MY_OPTIONS (OPT_NAME, OPT_VAL) values ('ftpaddress', ' ftp.ru '),"
               "('NEWDOC_DATE', '2')");
    auto form = Open();
    EXPECT_EQ(form->ComboBox("FONT_SIZE")->currentText(), Q("Оч. крупный"));
    EXPECT_FALSE(form->CheckBox("LINES_ZH")->isChecked()) << "only the exact text 1 ticks";
    EXPECT_TRUE(form->CheckBox("HIDE_PERIOD")->isChecked()) << "values are trimmed";
    EXPECT_TRUE(form->CheckBox("FTPAUTO")->isChecked());
    EXPECT_EQ(form->Edit("FTPADDRESS")->text(), Q("ftp.ru"));
    EXPECT_EQ(form->Edit("NEWDOC_DATE")->text(), Q("2"));
    EXPECT_EQ(form->Edit("MultiSelFormText")->text(), Q(" Подбор товаров:")) << "no row: initial";
    EXPECT_EQ(form->Edit("TABLE2")->text(), Q(" SKU "));

    Ok(*form);
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(Row("FONT_SIZE"), "3|<null>");
    EXPECT_EQ(Row("LINES_ZH"), "0|<null>");
    EXPECT_EQ(Row("HIDE_PERIOD"), "1|<null>");
    EXPECT_EQ(Row("FTPADDRESS"), "ftp.ru|<null>");
    EXPECT_EQ(Row("MULTISELFORMTEXT"), "Подбор товаров:|<null>") << "the initial text, trimmed";
    EXPECT_EQ(Row("TABLE2"), "SKU|<null>");
    EXPECT_EQ(GetOption(nullptr, "MultiSelFormText", "default"), "Подбор товаров:");
}

TEST_F(SettingsFormTest, SavingKeepsWhatNoControlShowsAndRewritesWhatTheyShow)
{
    test::Exec("insert into MY_OPTIONS (OPT_NAME, OPT_VAL, OPT_DESCR) values "
               "('AgentName', 'Петров', 'Имя торгового агента'), ('PDA_ID', 'OLD-ID', 'x'), "
               "('LLD', '2009-10-25', 'загрузка'), ('EXCH_CNT', '12', NULL), "
               "('SPR_COLW_0', '80', 'ширина'), ('SPR_MUL_COLW_1', '55', ''), "
               "('LLD', '2001-01-01', 'вторая строка'), "
               "('MultiSelFormText', 'Выбор:', 'описание пропадёт'), "
               "('UseSUMS', '0', 'тоже')");
    test::Exec("delete from MY_OPTIONS where OPT_NAME='UseSUMS' and OPT_DESCR is null");
    auto form = Open();
    EXPECT_EQ(form->Edit("MultiSelFormText")->text(), Q("Выбор:"));
    form->CheckBox("USEFTP")->click();
    Ok(*form);

    EXPECT_EQ(Row("AgentName"), "Петров|Имя торгового агента");
    EXPECT_EQ(Row("PDA_ID"), "OLD-ID|x");
    EXPECT_EQ(Row("LLD"), "2009-10-25|загрузка");
    EXPECT_EQ(Count("OPT_NAME='LLD'"), "1") << "two rows of an unbound option are kept once";
    EXPECT_EQ(Row("EXCH_CNT"), "12|");
    EXPECT_EQ(Row("SPR_COLW_0"), "80|ширина");
    EXPECT_EQ(Row("SPR_MUL_COLW_1"), "55|");
    EXPECT_EQ(Row("MULTISELFORMTEXT"), "Выбор:|<null>");
    EXPECT_EQ(Row("USESUMS"), "0|<null>");
    EXPECT_EQ(Count("OPT_NAME='MultiSelFormText' or OPT_NAME='UseSUMS'"), "0");
    EXPECT_EQ(Row("USEFTP"), "1|<null>");
    EXPECT_EQ(Count("1"), std::to_string(kSettingsOptions.size() + 6));
    EXPECT_EQ(GetOption(nullptr, "UseFTP"), "1") << "readers find the upper-case names";
}

TEST_F(SettingsFormTest, CancelSavesNothing)
{
    const std::vector<std::string> before = test::Column("select * from MY_OPTIONS");
    auto form = Open();
    form->CheckBox("USEFTP")->click();
    form->Edit("DATE")->setText(Q("Отгрузка"));
    Cancel(*form);
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(test::Column("select * from MY_OPTIONS"), before);
}

TEST_F(SettingsFormTest, FtpFieldsFollowTheConnectionAndAuthorisationBoxes)
{
    auto form = Open();
    const char* connection[]
        = {"FTPAUTO", "CONN_INET", "CONN_LAN", "BREAK_INET", "FTP_PAUSE", "FTPAUTH"};
    const char* connectionEdits[] = {"FTPADDRESS", "FTPPORT", "FTPPATH"};
    struct TCase {
        bool ftp, auth, zip;
        bool fields, login;
    };
    const TCase cases[] = {
        {false, false, false, false, false},
        {false, false, true, false, false},
        {false, true, false, false, false},
        {false, true, true, false, false},
        {true, false, false, true, false},
        {true, false, true, true, false},
        {true, true, false, true, true},
        {true, true, true, true, true},
    };
    for (const TCase& c : cases) {
        const std::string what = std::string("ftp ") + (c.ftp ? "on" : "off") + ", auth "
            + (c.auth ? "on" : "off") + ", zip " + (c.zip ? "on" : "off");
        // The boxes are tapped into place, ticking the authorisation while it can be tapped.
        QCheckBox* ftp = form->CheckBox("USEFTP");
        QCheckBox* auth = form->CheckBox("FTPAUTH");
        QCheckBox* zip = form->CheckBox("USEZIP");
        if (!ftp->isChecked())
            ftp->click();
        if (auth->isChecked() != c.auth)
            auth->click();
        if (ftp->isChecked() != c.ftp)
            ftp->click();
        if (zip->isChecked() != c.zip)
            zip->click();
        for (const char* option : connection)
            EXPECT_EQ(form->CheckBox(option)->isEnabled(), c.fields) << what << ": " << option;
        for (const char* option : connectionEdits) {
            EXPECT_EQ(form->Edit(option)->isEnabled(), c.fields) << what << ": " << option;
            EXPECT_EQ(form->EditLabel(option)->isEnabled(), c.fields) << what << ": " << option;
        }
        for (const char* option : {"FTPLOGIN", "FTPPASSWORD"}) {
            EXPECT_EQ(form->Edit(option)->isEnabled(), c.login) << what << ": " << option;
            EXPECT_EQ(form->EditLabel(option)->isEnabled(), c.login) << what << ": " << option;
        }
        EXPECT_TRUE(ftp->isEnabled() && zip->isEnabled()) << what;
    }

    // Loading applies the rules to the stored boxes.
    test::Exec("update MY_OPTIONS set OPT_VAL='1' where OPT_NAME='USEFTP'");
    auto stored = Open();
    EXPECT_TRUE(stored->Edit("FTPADDRESS")->isEnabled());
    EXPECT_FALSE(stored->Edit("FTPLOGIN")->isEnabled());
    EXPECT_FALSE(stored->EditLabel("FTPPASSWORD")->isEnabled());
}

TEST_F(SettingsFormTest, StartsOnTheLookTabWhenTheExchangeItemsAreHidden)
{
    EXPECT_EQ(Open()->Tabs().currentIndex(), 0);
    test::Exec("update MY_OPTIONS set OPT_VAL='1' where OPT_NAME='HIDE_FTP_PAGE'");
    EXPECT_EQ(Open()->Tabs().currentIndex(), 1);
}

TEST_F(SettingsFormTest, ExchangeTabControlsReachTheRightEdgeAndShareTheServerBoxEdge)
{
    auto form = Open();
    const int bar = form->style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    auto* page = qobject_cast<QScrollArea*>(form->Tabs().widget(0));
    ASSERT_TRUE(page);
    for (int width : {240, 320, 120}) {
        form->resize(width, 320);
        // The page is laid out again through the event queue.
        EXPECT_TRUE(test::WaitUntil([&] {
            return form->Edit("FTPADDRESS")->width() == std::max(50, page->width() - 15 - bar - 70);
        }));
        const int right = page->width() - 15 - bar;
        for (const char* option : {"FTPADDRESS", "FTPPORT", "FTPPATH", "FTPLOGIN", "FTPPASSWORD"}) {
            QLineEdit* edit = form->Edit(option);
            EXPECT_EQ(edit->x(), 70) << option;
            EXPECT_EQ(edit->width(), std::max(50, right - 70)) << width << " " << option;
        }
        for (const char* option : {"USEFTP", "CONN_LAN", "BREAK_INET", "FTP_PAUSE"}) {
            QCheckBox* box = form->CheckBox(option);
            EXPECT_EQ(box->width(), std::max(50, right - box->x())) << width << " " << option;
        }
        EXPECT_EQ(form->ConnectionHeading()->width(), std::max(50, right - 4)) << width;
    }
    EXPECT_EQ(form->Edit("DATE")->x(), form->Edit("Count")->x());
}

TEST_F(SettingsFormTest, DaysBoxTakesAtMostTwoDigits)
{
    auto form = Open();
    form->Tabs().setCurrentIndex(2);
    QLineEdit* days = form->Edit("NEWDOC_DATE");
    EXPECT_EQ(days->text(), Q("0"));
    days->setFocus();
    days->selectAll();
    QTest::keyClicks(days, "123");
    EXPECT_EQ(days->text(), Q("12")) << "a third digit is refused";
    days->selectAll();
    QTest::keyClicks(days, "7.,a");
    EXPECT_EQ(days->text(), Q("7")) << "points, commas and letters are refused";
    Ok(*form);
    EXPECT_EQ(GetOption(nullptr, "NEWDOC_DATE"), "7");
}

TEST_F(SettingsFormTest, InformationListShowsTheDeviceAndTheSelectedRowWhole)
{
    SetOption("AgentName", "Петров");
    SetOption("EXCH_CNT", "12");
    auto form = Open();
    form->Tabs().setCurrentIndex(4);
    TReportList& list = form->InfoList();
    const QAbstractItemModel* m = list.model();
    ASSERT_TRUE(test::WaitUntil(
        [&] { return list.isVisible() && !list.visualRect(m->index(4, 2)).isEmpty(); }));
    ASSERT_EQ(m->rowCount(), 6);
    EXPECT_TRUE(list.isColumnHidden(0) && list.isColumnHidden(1));
    EXPECT_EQ(list.ColumnCaption(2), Q("Имя"));
    EXPECT_EQ(list.ColumnCaption(3), Q("Значение"));
    EXPECT_EQ(m->data(m->index(1, 2)).toString(), Q("КПК:"));
    EXPECT_EQ(m->data(m->index(1, 3)).toString(), QString::fromStdString(DeviceIdentifier()));
    EXPECT_EQ(m->data(m->index(2, 3)).toString(), Q("???"));
    EXPECT_EQ(list.SelectedRow(), 0);
    EXPECT_EQ(form->InfoLabel()->text(), Q("Петров\nИмя торгового агента"));

    auto tap = [&](int row) {
        QTest::mouseClick(
            list.viewport(), Qt::LeftButton, {}, list.visualRect(m->index(row, 2)).center());
    };
    tap(4);
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
    EXPECT_EQ(list.SelectedRow(), 4);
    EXPECT_EQ(form->InfoLabel()->text(), Q("12\nКоличество успешных обменов"));
    EXPECT_TRUE(folder.ui.shown.empty()) << "the first tap only selects";
    tap(4);
    // The tap is handed on through the event queue.
    EXPECT_TRUE(test::WaitUntil([&] { return !folder.ui.shown.empty(); }));
    EXPECT_EQ(folder.ui.Texts(), std::vector<std::string> {"Обменов:\r\n12"});
    // A quick second tap reaches the list as a double click and its release.
    folder.ui.Clear();
    const QPoint at = list.visualRect(m->index(4, 2)).center();
    QTest::mouseDClick(list.viewport(), Qt::LeftButton, {}, at);
    QTest::mouseRelease(list.viewport(), Qt::LeftButton, {}, at);
    EXPECT_TRUE(test::WaitUntil([&] { return !folder.ui.shown.empty(); }));
    EXPECT_EQ(folder.ui.Texts(), std::vector<std::string> {"Обменов:\r\n12"});
}

TEST_F(SettingsFormTest, ColumnWidthResetDeletesAtOnceAndOutlivesCancel)
{
    test::Exec("insert into MY_OPTIONS (OPT_NAME, OPT_VAL) values ('SPR_COLW_0', '80'), "
               "('SPR_MUL_COLW_0', '90'), ('SPR_MUL_COLW_4', '30')");
    auto form = Open();
    form->Tabs().setCurrentIndex(4);
    folder.ui.answers.push_back(TAnswer::Cancel);
    form->ResetWidthsButton()->click();
    EXPECT_EQ(Count("OPT_NAME like 'SPR%COLW%'"), "3");
    folder.ui.answers.push_back(TAnswer::Ok);
    form->ResetWidthsButton()->click();
    EXPECT_EQ(Count("OPT_NAME like 'SPR%COLW%'"), "0") << "deleted before the form closes";
    EXPECT_EQ(folder.ui.Texts(),
        std::vector<std::string>(2, "Установить настройки ширины колонок по-умолчанию?"));
    Cancel(*form);
    EXPECT_EQ(Count("OPT_NAME like 'SPR%COLW%'"), "0");

    test::Exec("insert into MY_OPTIONS (OPT_NAME, OPT_VAL) values ('SPR_COLW_0', '80')");
    auto again = Open();
    folder.ui.answers.push_back(TAnswer::Ok);
    again->ResetWidthsButton()->click();
    Ok(*again);
    EXPECT_EQ(Count("OPT_NAME like 'SPR%COLW%'"), "0") << "nor does a save write them back";
}

TEST_F(SettingsFormTest, AFailedSaveKeepsTheFormOpenAndTheSettingsAsTheyWere)
{
    test::Exec("create trigger REFUSE before insert on MY_OPTIONS when new.OPT_NAME='COUNT' "
               "begin select raise(abort, 'refused'); end");
    const std::vector<std::string> before = test::Column("select * from MY_OPTIONS");
    auto form = Open();
    form->CheckBox("USEFTP")->click();
    Ok(*form);
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(folder.ui.Texts(), std::vector<std::string> {"refused"});
    EXPECT_EQ(test::Column("select * from MY_OPTIONS"), before);
}

TEST_F(SettingsFormTest, RunsModallyWithTheModalChildFlag)
{
    bool flag = false;
    auto ran = test::OnNextModal<TSettingsForm>([&](TSettingsForm* form) {
        flag = ModalChildOpen();
        form->CheckBox("X_IS_CLOSE")->click();
        form->Menu().Activate(0);
    });
    EXPECT_TRUE(RunSettingsForm(nullptr));
    EXPECT_TRUE(*ran);
    EXPECT_TRUE(flag);
    EXPECT_FALSE(ModalChildOpen());
    EXPECT_EQ(GetOption(nullptr, "X_IS_CLOSE"), "1");

    test::OnNextModal<TSettingsForm>([](TSettingsForm* form) {
        form->CheckBox("X_IS_CLOSE")->click();
        form->Menu().Activate(1);
    });
    EXPECT_FALSE(RunSettingsForm(nullptr));
    EXPECT_EQ(GetOption(nullptr, "X_IS_CLOSE"), "1");

    // Settings that cannot be read are not offered for editing, since saving them would lose the
    // rows never read: the call returns at once instead of running a form nobody closes.
    test::Exec("alter table MY_OPTIONS rename to MY_OPTIONS_AWAY");
    folder.ui.Clear();
    EXPECT_FALSE(RunSettingsForm(nullptr));
    EXPECT_EQ(folder.ui.shown.size(), 1u);
    EXPECT_FALSE(ModalChildOpen());
}

} // namespace
} // namespace vendrix
