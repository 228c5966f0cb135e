// The road of one order through the real windows, from a program folder that has never been
// started to an order the office has taken over: the first-run question leads to the settings
// form, where the demo office's FTP settings are typed, and to the exchange that brings its
// catalogue; the order is written in the document form with the client and goods selection
// forms and the keypad; the automatic exchange from the main menu sends it; the office answers
// with state 2, the journal shows it and the form refuses to save it. The database, the bytes
// the office received and every text the agent saw are checked.
#include "app/local_office.h"
#include "documents/document_form.h"
#include "documents/goods_form.h"
#include "documents/keypad_dialog.h"
#include "documents/reference_form.h"
#include "documents/reference_lists.h"
#include "exchange/exchange_window.h"
#include "settings/settings_form.h"
#include "shell/main_window.h"
#include "storage/codepage.h"
#include "storage/database_location.h"
#include "storage/sql_query.h"
#include "toolkit/menu_bar.h"
#include "toolkit/report_list.h"
#include "ui/document_fixture.h"
#include "ui/ui_support.h"

#include <QCheckBox>
#include <QDate>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
#include <QTabWidget>
#include <QToolButton>
#include <QTreeWidget>

namespace vendrix {
namespace {

namespace fs = std::filesystem;

// The office's invented catalogue, as examples/office/make_office.py writes it.
constexpr const char* kClient = "ИП Иванов А. А.";
constexpr const char* kClientGuid = "C0000002-D0E0-4000-8000-000000003DEF";
constexpr const char* kJuice = "Сок яблочный «Сад-огород» 1 л"; // 89.50 a piece
constexpr const char* kJuiceGuid = "G0000065-D0E0-4000-8000-0000000C345C";
constexpr const char* kCheese = "Сыр «Российский»"; // 689.00 a kilogram
constexpr const char* kCheeseGuid = "G0000078-D0E0-4000-8000-0000000E8019";

int RowOf(const TReportList* list, int column, const char* text)
{
    const QAbstractItemModel* m = list->model();
    for (int row = 0; row < m->rowCount(); ++row) {
        if (m->data(m->index(row, column)).toString() == QString::fromUtf8(text))
            return row;
    }
    return -1;
}

QString Cell(const TReportList& list, int row, int column)
{
    return list.model()->data(list.model()->index(row, column)).toString();
}

// In the goods form: opens `group` in the tree, then types `keys` on the keypad for `goods`.
void TypeQuantity(TGoodsForm* g, const char* group, const char* goods, const char* keys)
{
    g->OpenGroups();
    const auto items = g->Tree()->findItems(QString::fromUtf8(group), Qt::MatchRecursive);
    ASSERT_EQ(items.size(), 1) << group;
    g->Tree()->setCurrentItem(items.front());
    g->TreeOk()->click();
    const int row = RowOf(g->List(), 1, goods);
    ASSERT_GE(row, 0) << goods;
    g->List()->SelectRow(row);
    auto typed = test::WhenShown<TKeypadDialog>([keys](TKeypadDialog* k) {
        test::Type(k->Entry(), QString::fromUtf8(keys));
        k->OkButton()->click();
    });
    g->Menu().Activate(goods_menu::kEnter);
    EXPECT_TRUE(*typed) << goods;
}

// Today as the export writes its dates.
std::string IsoToday()
{
    return QDate::currentDate().toString("yyyy-MM-dd").toStdString();
}

TEST(RoadThroughTheWindows, FromTheFirstStartToAnOrderTheOfficeTookOver)
{
    test::TProgramFolder folder;
    ASSERT_TRUE(folder.Start());
    ASSERT_TRUE(IsNewDatabase());
    const fs::path officeHome = folder.Path() / "office-home";
    test::TLocalOffice office(officeHome);
    ASSERT_TRUE(office.Ready()) << "python3-pyftpdlib missing?";

    // The first start: "Открыть настройки?" Yes; the exchange settings typed in the form;
    // "Произвести обмен сейчас?" Yes; "Загрузить данные с сервера?" Yes.
    folder.ui.answers = {TAnswer::Yes, TAnswer::Yes, TAnswer::Yes};
    auto typed = test::WhenShown<TSettingsForm>([&](TSettingsForm* form) {
        form->CheckBox("USEFTP")->click();
        form->CheckBox("FTPAUTH")->click();
        EXPECT_TRUE(form->CheckBox("FTPAUTO")->isChecked()) << "on for a new database";
        const std::pair<const char*, std::string> fields[]
            = {{"FTPADDRESS", "127.0.0.1"}, {"FTPPORT", std::to_string(office.Port())},
                {"FTPPATH", test::TLocalOffice::kFolder}, {"FTPLOGIN", test::TLocalOffice::kLogin},
                {"FTPPASSWORD", test::TLocalOffice::kPassword}};
        for (const auto& [option, value] : fields) {
            QLineEdit* edit = form->Edit(option);
            edit->clear();
            test::Type(edit, QString::fromStdString(value));
        }
        form->Menu().Activate(0); // "[ OK ]"
    });
    TMainWindow w({[] { return Today(); }, [] {}});
    w.show();
    ASSERT_TRUE(test::WaitUntil([&] { return folder.ui.shown.size() >= 5; }, 60000))
        << "the first-run road ended early";
    EXPECT_TRUE(*typed);
    EXPECT_TRUE(test::WaitUntil([&] { return !test::FindChild<TExchangeWindow>(&w); }))
        << "the exchange window closed after its success";
    const char* officeMessage
        = "Сообщение из офиса: [1 / 1]\r\nДобрый день! С 1 декабря действуют новые цены на соки. "
          "Заявки на пятницу принимаются до 15:00.";
    const std::vector<std::string> firstRun
        = {"\r\nПервый запуск...\r\n\r\nПриветствую!\r\n\r\nОткрыть настройки?\r\n\r\n",
            "Произвести обмен сейчас?", "Загрузить данные с сервера?", officeMessage,
            "Успешно!\r\nЗагрузка завершена."};
    EXPECT_EQ(folder.ui.Texts(), firstRun);
    EXPECT_EQ(test::Value("select count(*) from SPR_GOODS where IS_FOLDER=0"), "60");
    EXPECT_EQ(test::Value("select count(*) from SPR_CLIENTS where KIND=1"), "7");
    EXPECT_EQ(GoodsList().size(), 70u) << "the reference lists were reloaded";
    EXPECT_EQ(test::Value("select OPT_VAL from MY_OPTIONS where OPT_NAME='FTPPORT'"),
        std::to_string(office.Port()));
    EXPECT_EQ(
        test::ReadFile(officeHome / "office" / "PDATo1C.xml").find("<DOC "), std::string::npos)
        << "the first export carried no orders";

    // " Новый ": the client and two goods lines, the keypad's quantities, a comment; " Ок ".
    folder.ui.Clear();
    w.Menu().Activate(main_menu::kNew);
    QPointer<TDocumentForm> f = test::FindChild<TDocumentForm>(&w);
    ASSERT_TRUE(f);
    test::FireTimer(f->Timer());
    EXPECT_EQ(f->Status()->text(), QString::fromUtf8("новый документ"));
    auto picked = test::WhenShown<TReferenceForm>([](TReferenceForm* r) {
        const int row = RowOf(r->List(), 1, kClient);
        ASSERT_GE(row, 0);
        r->List()->SelectRow(row);
        r->Pick();
    });
    f->ClientButton()->click();
    EXPECT_TRUE(*picked);
    EXPECT_EQ(f->ClientBox()->text(), QString::fromUtf8(kClient));
    EXPECT_EQ(f->ClientInfo()->text(),
        QString::fromUtf8("тел. 8 900 123-45-67\nБерёзовский, ул. Ленина, 12"));
    test::Type(f->Comment(), QString::fromUtf8("После 12:00 & с накладной"));
    f->Tabs()->setCurrentWidget(f->Page(TDocumentPage::Order));
    auto chosen = test::WhenShown<TGoodsForm>([](TGoodsForm* g) {
        TypeQuantity(g, "Соки и нектары", kJuice, "3");
        TypeQuantity(g, "Сыры", kCheese, "1.5");
        g->Menu().Activate(goods_menu::kOk);
    });
    f->Menu().Activate(document_menu::kPick);
    EXPECT_TRUE(*chosen);
    const TReportList& lines = *f->OrderTable();
    ASSERT_EQ(lines.model()->rowCount(), 2);
    EXPECT_EQ(Cell(lines, 0, 1), QString::fromUtf8(kJuice));
    EXPECT_EQ(Cell(lines, 0, 3), QStringLiteral("268.50"));
    EXPECT_EQ(Cell(lines, 1, 1), QString::fromUtf8(kCheese));
    EXPECT_EQ(Cell(lines, 1, 3), QStringLiteral("1033.50"));
    f->Menu().Activate(document_menu::kOk);
    ASSERT_TRUE(test::WaitUntil([&] { return !f; })) << "saved and closed";
    EXPECT_TRUE(folder.ui.shown.empty()) << folder.ui.shown.front().text;

    const std::string guid = test::Value("select GUID from DOC_HEADS");
    ASSERT_EQ(guid.size(), 36u);
    ASSERT_EQ(w.Journal().rows.size(), 1u);
    EXPECT_EQ(w.Journal().rows[0].client, kClient);
    EXPECT_EQ(w.Journal().rows[0].sum, "1302.00");
    EXPECT_EQ(w.JournalList().model()->data(
                  w.JournalList().model()->index(0, 0), TReportList::kImageRole),
        1);
    EXPECT_EQ(test::Value("select DOC_STATE from DOC_HEADS"), "1");

    // "Обмен с центр. БД": the automatic exchange sends the order and runs the office's answer.
    folder.ui.answers = {TAnswer::Yes};
    w.Menu().Activate(main_menu::kExchange);
    ASSERT_TRUE(test::FindChild<TExchangeWindow>(&w));
    ASSERT_TRUE(test::WaitUntil([&] { return !test::FindChild<TExchangeWindow>(&w); }, 60000))
        << "the exchange window closed after its success";
    const std::vector<std::string> exchange = {"Загрузить данные с сервера?",
        "Сообщение из офиса: [1 / 2]\r\nДобрый день! С 1 декабря действуют новые цены на соки. "
        "Заявки на пятницу принимаются до 15:00.",
        "Сообщение из офиса: [2 / 2]\r\nОфис принял заявок: 1.", "Успешно!\r\nЗагрузка завершена."};
    EXPECT_EQ(folder.ui.Texts(), exchange);

    // What the office received, byte for byte (the time of the export and the device's id
    // are taken from the file itself; the quantities are the numbers the database keeps).
    const std::string received = test::ReadFile(officeHome / "office" / "PDATo1C.xml");
    const QRegularExpression header("DateTime=\"([^\"]*)\" Agent=\"Test\" PDA_ID=\"([^\"]*)\" "
                                    "LastLoadDate=\"([^\"]*)\"");
    const auto found = header.match(QString::fromLatin1(received.c_str()));
    ASSERT_TRUE(found.hasMatch()) << received;
    const std::string expected = Utf8ToCp1251(
        "<?xml version=\"1.0\" encoding=\"windows-1251\"?>\r\n"
        "<VendrixAgent ProtoVersion=\"0002-0000-0000-0002\" DateTime=\""
        + found.captured(1).toStdString() + "\" Agent=\"Test\" PDA_ID=\""
        + found.captured(2).toStdString() + "\" LastLoadDate=\"" + found.captured(3).toStdString()
        + "\">\r\n<DOC ID=\"" + guid + "\" DATEREC=\"" + IsoToday() + "\" DOCDATE=\"" + IsoToday()
        + "\" CLIENT=\"" + kClientGuid + "\" CLIENTNAME=\"" + kClient
        + "\" LINES=\"2\" PRIM=\"После 12:00 &amp; с накладной\" >\r\n<TABLE1>\r\n"
        + "<ROW NGUID=\"" + kJuiceGuid + "\" NNAME=\"" + kJuice + "\" NCOUNT=\"3.0\" />\r\n"
        + "<ROW NGUID=\"" + kCheeseGuid + "\" NNAME=\"" + kCheese + "\" NCOUNT=\"1.5\" />\r\n"
        + "</TABLE1>\r\n</DOC>\r\n</VendrixAgent>\r\n");
    EXPECT_EQ(received, expected);

    // The office took the order over: the journal shows state 2 and the form refuses to save.
    EXPECT_EQ(test::Value("select DOC_STATE from DOC_HEADS"), "2");
    ASSERT_EQ(w.JournalList().model()->rowCount(), 1);
    EXPECT_EQ(w.JournalList().model()->data(
                  w.JournalList().model()->index(0, 0), TReportList::kImageRole),
        2);
    folder.ui.Clear();
    w.JournalList().SelectRow(0);
    w.Menu().Activate(main_menu::kEdit);
    QPointer<TDocumentForm> locked = test::FindChild<TDocumentForm>(&w);
    ASSERT_TRUE(locked);
    test::FireTimer(locked->Timer());
    EXPECT_EQ(locked->Status()->text(), QString::fromUtf8("документ передан в БД"));
    EXPECT_EQ(locked->ClientBox()->text(), QString::fromUtf8(kClient));
    test::Type(locked->Comment(), QString::fromUtf8("!"));
    locked->Menu().Activate(document_menu::kSave);
    EXPECT_EQ(folder.ui.Texts(),
        std::vector<std::string> {"Изменение запрещено.\r\nДокумент выгружен в центр. БД."});
    EXPECT_EQ(test::Value("select STR_PRIM from DOC_HEADS"), "После 12:00 & с накладной");
    folder.ui.answers = {TAnswer::No};
    locked->RequestClose();
    EXPECT_TRUE(test::WaitUntil([&] { return !locked; }));
}

} // namespace
} // namespace vendrix
