// Renders every window of the program offscreen to PNG files, over a sample database, so that
// clipped captions, unreadable Cyrillic or overlapping controls at 240 x 320 show at a glance.
// Usage: vendrix_screenshots <folder>; scripts/screenshot.sh also runs it on a doubled screen.
#include "documents/document_form.h"
#include "documents/goods_form.h"
#include "documents/keypad_dialog.h"
#include "documents/line_entry_dialog.h"
#include "documents/reference_form.h"
#include "exchange/exchange_window.h"
#include "settings/about_window.h"
#include "settings/settings_form.h"
#include "shell/backups_window.h"
#include "shell/main_window.h"
#include "shell/period_dialog.h"
#include "shell/totals_window.h"
#include "storage/backups.h"
#include "storage/options.h"
#include "support/test_support.h"
#include "toolkit/folder_picker.h"
#include "toolkit/glyphs.h"
#include "toolkit/handheld_style.h"
#include "toolkit/menu_bar.h"
#include "toolkit/message_box.h"
#include "toolkit/message_dialog.h"
#include "toolkit/report_list.h"
#include "toolkit/translations.h"
#include "toolkit/window_placement.h"
#include "ui/document_fixture.h"
#include "ui/ui_support.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QRadioButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTabWidget>
#include <QTest>
#include <QToolButton>
#include <QTreeWidget>

#include <fstream>
#include <iostream>

namespace {

using namespace vendrix;

QString g_folder;

void Save(const QPixmap& picture, const char* name)
{
    const QString path = g_folder + QLatin1Char('/') + QString::fromLatin1(name) + ".png";
    if (!picture.save(path))
        std::cerr << "cannot write " << path.toStdString() << "\n";
}

// The window with a pop-up menu drawn where it stands over it.
QPixmap WithPopup(QWidget* window, QMenu* menu, const std::function<void()>& open)
{
    open();
    QTest::qWait(50);
    QPixmap picture = window->grab();
    QPainter p(&picture);
    p.drawPixmap(menu->pos() - window->mapToGlobal(QPoint(0, 0)), menu->grab());
    p.end();
    menu->hide();
    return picture;
}

QPixmap Enlarged(const QPixmap& picture, int factor)
{
    QImage image = picture.toImage();
    QImage big(image.size() * factor, QImage::Format_ARGB32);
    big.fill(QColor(0xFF, 0xFF, 0xFF));
    QPainter p(&big);
    p.drawImage(QRect(QPoint(0, 0), big.size()), image);
    return QPixmap::fromImage(big);
}

void Glyphs()
{
    QImage sheet(700, 330, QImage::Format_ARGB32);
    sheet.fill(Qt::white);
    QPainter p(&sheet);
    p.drawPixmap(10, 10, Enlarged(ResourceBitmap("FMAIN_IL_STATES", 1), 8));
    p.drawPixmap(10, 120, Enlarged(ResourceBitmap("FMAIN_IL_STATES", 2), 4));
    int x = 10;
    for (const char* name : {"BITBTN1_BITMAP", "BITBTN4_BITMAP", "FSPRMULTISEL_IL1"}) {
        p.drawPixmap(x, 230, Enlarged(ResourceBitmap(name, 1), 4));
        x += ResourceBitmap(name, 1).width() * 4 + 20;
    }
    for (int size : {16, 32, 64}) {
        p.drawPixmap(x, 230, ProgramIcon().pixmap(size));
        x += size + 10;
    }
    p.end();
    Save(QPixmap::fromImage(sheet), "glyphs");
}

// Each tab of the settings form; the tall pages also scrolled to their end, and the exchange
// tab again with the connection and authorisation ticked.
void SettingsShots(QWidget* owner)
{
    SetOption("AgentName", "Петров Пётр Петрович");
    SetOption("EXCH_CNT", "12");
    TSettingsForm form(owner);
    if (!form.Load())
        return;
    form.show();
    const char* names[] = {"exchange", "look", "functions", "captions", "info"};
    for (int tab = 0; tab < form.Tabs().count(); ++tab) {
        form.Tabs().setCurrentIndex(tab);
        QTest::qWait(20);
        const std::string name = std::string("settings_") + names[tab];
        Save(form.grab(), name.c_str());
        auto* scroll = qobject_cast<QScrollArea*>(form.Tabs().widget(tab));
        if (scroll && scroll->verticalScrollBar()->maximum() > 0) {
            scroll->verticalScrollBar()->setValue(scroll->verticalScrollBar()->maximum());
            QTest::qWait(20);
            Save(form.grab(), (name + "_end").c_str());
            scroll->verticalScrollBar()->setValue(0);
        }
    }
    // The device identifier is the longest value: the label under the list shows it whole.
    form.InfoList().SelectRow(1);
    QTest::qWait(20);
    Save(form.grab(), "settings_info_device");
    form.Tabs().setCurrentIndex(0);
    form.CheckBox("USEFTP")->click();
    form.CheckBox("FTPAUTH")->click();
    form.Edit("FTPADDRESS")->setText(QStringLiteral("ftp.example.ru"));
    form.Edit("FTPLOGIN")->setText(QStringLiteral("agent"));
    form.Edit("FTPPASSWORD")->setText(QStringLiteral("secret"));
    QTest::qWait(20);
    Save(form.grab(), "settings_exchange_ftp");
}

// A dialog drawn where it stands over its owner, as the agent sees the two together.
QPixmap Over(QWidget* owner, QWidget* dialog)
{
    QPixmap picture = owner->grab();
    QPainter p(&picture);
    const QPoint at = dialog->mapToGlobal(QPoint(0, 0)) - owner->mapToGlobal(QPoint(0, 0));
    p.drawPixmap(at, dialog->grab());
    p.setPen(QColor(0x40, 0x40, 0x40));
    p.drawRect(QRect(at, dialog->size()).adjusted(-1, -1, 0, 0));
    p.end();
    return picture;
}

// A new order of `clientName`, not yet saved.
TDocument NewOrder(const std::string& clientGuid, const std::string& clientName)
{
    TDocument d;
    d.Reset();
    d.Open("", false);
    d.clientGuid = clientGuid;
    d.clientName = clientName;
    return d;
}

// The document form's pages over a stored order, the client and trade point lists, the goods
// selection with its drop-down, the keypad in both layouts and the SKU line entry.
void DocumentShots(QWidget* owner)
{
    test::FillCatalogue();
    test::Exec("insert into SPR_GOODS (GUID, ID, ROOTID, IS_FOLDER, ANAME, UNAME, PRICE, ED_IZM, "
               "KOD) values ('G-L1', 12, 1, 0, 'Сок яблочный осветлённый 0,95 л, тетрапак', "
               "'bb', '104.90', 'шт', 'А103'),"
               "('G-L2', 13, 1, 0, 'Нектар мультифруктовый «Летний сад» 1 л', 'bc', '1234.50', "
               "'уп', '104')");
    test::Exec("insert into SPR_CLIENTS (GUID, IS_FOLDER, IS_DELETED, ANAME, UNAME, KIND, KOD, "
               "INFO) values ('C-9', 0, 0, 'ООО «Торговый дом Садовое кольцо»', 'aa', 0, 'А77', "
               "'ИНН 7701234567|Москва, ул. Садовая-Кудринская, д. 12, стр. 3|Тел. (495) "
               "123-45-67')");
    LoadReferenceLists(true);
    SetOption("DOC_SKU", "1");
    SetOption("DOC_TRADE_P", "1");

    TDocument d = NewOrder("C-9", "ООО «Торговый дом Садовое кольцо»");
    d.tradePointGuid = "T-1";
    d.tradePointName = "Магазин на Садовой";
    d.comment = "Доставить до 12:00, позвонить заранее";
    d.lines.push_back({"G-1", "Сок яблочный", "2.00", "25.00", 1250});
    d.lines.push_back(
        {"G-L1", "Сок яблочный осветлённый 0,95 л, тетрапак", "12.50", "1311.25", 10490});
    d.lines.push_back(
        {"G-L2", "Нектар мультифруктовый «Летний сад» 1 л", "100.00", "123450.00", 123450});
    d.sku.grid.SetCell(0, 2, "3");
    d.sku.grid.SetCell(1, 4, "12");
    d.Save();

    TDocumentForm form(owner);
    form.Open(d.guid, false);
    form.show();
    FitToScreen(&form);
    QTest::qWait(20);
    Save(form.grab(), "document_header");
    form.Tabs()->setCurrentWidget(form.Page(TDocumentPage::Order));
    form.OrderTable()->SelectRow(1);
    QTest::qWait(20);
    Save(form.grab(), "document_order");
    form.Tabs()->setCurrentWidget(form.Page(TDocumentPage::Sku));
    QTest::qWait(20);
    Save(form.grab(), "document_sku");
    TDocumentForm fresh(owner);
    fresh.show();
    FitToScreen(&fresh);
    QTest::qWait(20);
    Save(fresh.grab(), "document_new");

    TReferenceForm clients(&form, TReferenceMode::Clients, "C-3");
    clients.show();
    QTest::qWait(20);
    Save(clients.grab(), "reference_clients");
    TReferenceForm points(&form, TReferenceMode::TradePoints, "T-1", "C-1");
    points.show();
    QTest::qWait(20);
    Save(points.grab(), "reference_trade_points");

    TGoodsForm goods(&form);
    goods.Prepare("G-1\t2\r\nG-L1\t12.5\r\n");
    goods.show();
    goods.List()->SelectRow(1);
    QTest::qWait(20);
    Save(goods.grab(), "goods");
    goods.OpenGroups();
    QTest::qWait(20);
    Save(goods.grab(), "goods_groups");
    goods.CloseGroups();

    // The portrait layout drawn alone; over the goods the keypad lays itself out for the screen.
    TKeypadDialog keypad(&goods, 125000, 1049000, "Сок яблочный осветлённый 0,95 л", "шт",
        QSize(kHandheldWidth, kHandheldHeight));
    keypad.show();
    QTest::qWait(20);
    Save(keypad.grab(), "keypad_portrait");
    keypad.hide();
    TKeypadDialog placed(&goods, 125000, 1049000, "Сок яблочный осветлённый 0,95 л", "шт");
    placed.show();
    QTest::qWait(20);
    Save(Over(&goods, &placed), "keypad_over_goods");
    placed.hide();
    TKeypadDialog wide(&goods, 20000, -1, "", "", QSize(kHandheldHeight, kHandheldWidth));
    wide.show();
    QTest::qWait(20);
    Save(wide.grab(), "keypad_landscape");
    TKeypadDialog priced(&goods, 30000, 125000, "", "кг", QSize(kHandheldHeight, kHandheldWidth));
    priced.show();
    QTest::qWait(20);
    Save(priced.grab(), "keypad_landscape_price");

    TLineEntryDialog line(&form);
    line.SetTitle(d.sku.grid.Cell(1, 1));
    for (const TLineEntryRow& r : TDocumentEditor(d).SkuRowEntries(1))
        line.AddRow(r.caption, r.count, r.tag);
    line.show();
    QTest::qWait(20);
    Save(Over(&form, &line), "line_entry");
}

// The road of one order over the demo office's catalogue, for the README: the office's answer
// loaded in the exchange window, the exchange settings of the local office, a new order with
// its client and goods picked, the journal before and after the office took the orders over.
void RoadShots()
{
    test::TProgramFolder folder;
    if (!folder.Start())
        return;
    TMainWindow window({[] { return Today(); }, [] {}});
    window.show();
    FitToScreen(&window);

    {
        TExchangeWindow exchange(&window);
        exchange.Prepare();
        exchange.show();
        folder.ui.folders.push_back(VENDRIX_OFFICE);
        exchange.Command(TExchangeWindow::kImport);
        QTest::qWait(20);
        Save(exchange.grab(), "road_exchange");
    }
    {
        TSettingsForm form(&window);
        if (form.Load()) {
            form.show();
            form.CheckBox("USEFTP")->click();
            form.CheckBox("FTPAUTH")->click();
            form.Edit("FTPADDRESS")->setText(QStringLiteral("127.0.0.1"));
            form.Edit("FTPPORT")->setText(QStringLiteral("2121"));
            form.Edit("FTPPATH")->setText(QStringLiteral("office"));
            form.Edit("FTPLOGIN")->setText(QStringLiteral("agent"));
            form.Edit("FTPPASSWORD")->setText(QStringLiteral("demo"));
            QTest::qWait(20);
            Save(form.grab(), "road_settings");
        }
    }

    const char* const juice = "G0000065-D0E0-4000-8000-0000000C345C";
    const char* const cheese = "G0000078-D0E0-4000-8000-0000000E8019";
    TDocument d = NewOrder("C0000002-D0E0-4000-8000-000000003DEF", "ИП Иванов А. А.");
    d.comment = "После 12:00, с накладной";
    d.lines.push_back({juice, "Сок яблочный «Сад-огород» 1 л", "3.00", "268.50", 8950});
    d.lines.push_back({cheese, "Сыр «Российский»", "1.50", "1033.50", 68900});
    d.Save();

    TDocumentForm form(&window);
    form.Open(d.guid, false);
    form.show();
    FitToScreen(&form);
    QTest::qWait(20);
    Save(form.grab(), "road_document_header");
    {
        TReferenceForm clients(&form, TReferenceMode::Clients, d.clientGuid);
        clients.show();
        QTest::qWait(20);
        Save(clients.grab(), "road_clients");
    }
    {
        TGoodsForm goods(&form);
        goods.Prepare(std::string(juice) + "\t3\r\n" + cheese + "\t1.5\r\n");
        goods.show();
        goods.OpenGroups();
        const auto items
            = goods.Tree()->findItems(QString::fromUtf8("Соки и нектары"), Qt::MatchRecursive);
        if (!items.isEmpty()) {
            goods.Tree()->setCurrentItem(items.front());
            goods.TreeOk()->click();
        }
        goods.List()->SelectRow(0);
        QTest::qWait(20);
        Save(goods.grab(), "road_goods");
        TKeypadDialog keypad(&goods, 30000, 895000, "Сок яблочный «Сад-огород» 1 л", "шт");
        keypad.show();
        QTest::qWait(20);
        Save(Over(&goods, &keypad), "road_keypad");
    }
    form.Tabs()->setCurrentWidget(form.Page(TDocumentPage::Order));
    QTest::qWait(20);
    Save(form.grab(), "road_document_order");
    form.hide();

    // Two more orders of the day that the office has already taken over.
    const std::pair<const char*, const char*> others[]
        = {{"C0000001-D0E0-4000-8000-000000001F00", "ООО «Ромашка»"},
            {"C0000006-D0E0-4000-8000-00000000B9AB", "ЗАО «Уральский гастроном»"}};
    for (const auto& [guid, name] : others) {
        TDocument other = NewOrder(guid, name);
        other.lines.push_back({cheese, "Сыр «Российский»", "2.00", "1378.00", 68900});
        other.Save();
    }
    test::Exec("update DOC_HEADS set DOC_STATE=2 where GUID<>'" + d.guid + "'");
    window.Menu().Activate(main_menu::kRefresh);
    window.JournalList().SelectRow(0);
    QTest::qWait(20);
    Save(window.grab(), "road_journal");
    test::Exec("update DOC_HEADS set DOC_STATE=2");
    window.Menu().Activate(main_menu::kRefresh);
    window.JournalList().SelectRow(0);
    QTest::qWait(20);
    Save(window.grab(), "road_journal_taken_over");
}

// «Итоги» over October of the sample journal, with orders on twenty more days of the month: the
// whole with its chart of the days, the list by day and the list by client.
// The backups window over three copies: two sound, the oldest spoilt.
void BackupsShots(QWidget* owner)
{
    std::string spoilt;
    if (MakeBackup(&spoilt) != TBackupOutcome::Made)
        return;
    for (int copy = 0; copy < 2; ++copy) {
        // A copy's name carries the millisecond it was made at.
        QTest::qWait(5);
        if (MakeBackup() != TBackupOutcome::Made)
            return;
    }
    std::ofstream(BackupFolder() / spoilt, std::ios::binary | std::ios::trunc) << "not a base";
    TBackupsWindow window(owner);
    window.show();
    FitToScreen(&window);
    QTest::qWait(20);
    Save(window.grab(), "backups");
}

void TotalsShots(QWidget* owner)
{
    const char* clients[] = {"ИП Иванов А. А.", "ООО «Ромашка»", "Магазин «Продукты» на Садовой",
        "Сидорова", "ЗАО «Уральский гастроном»"};
    for (int day = 5; day <= 24; ++day) {
        for (int i = 0; i <= day % 3; ++i) {
            const int n = day * 3 + i;
            test::AddDocument("T" + std::to_string(n), test::Day(2009, 10, day),
                std::to_string(1 + n % 2), clients[n % 5], std::to_string(n % 7 + 1) + ".5",
                std::to_string((n * 1379) % 9000 + 1500) + ".40");
        }
    }
    const TDate start = test::Day(2009, 10, 1), end = test::Day(2009, 10, 31);
    std::optional<TTotals> totals = JournalTotals(start, end);
    if (!totals)
        return;
    TTotalsWindow window(owner, std::move(*totals), start, end);
    window.show();
    FitToScreen(&window);
    QTest::qWait(20);
    Save(window.grab(), "totals");
    window.Pages().setCurrentIndex(static_cast<int>(TTotalsPage::Days));
    QTest::qWait(20);
    Save(window.grab(), "totals_days");
    window.Pages().setCurrentIndex(static_cast<int>(TTotalsPage::Clients));
    QTest::qWait(20);
    Save(window.grab(), "totals_clients");
}

} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ApplyHandheldStyle();
    InstallRussianTranslations();
    g_folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("screenshots");
    QDir().mkpath(g_folder);

    test::TProgramFolder folder;
    if (!folder.Start() || !folder.Start())
        return 1;
    const TDate today = test::Day(2009, 10, 25);
    const char* clients[] = {"ИП Иванов А. А.", "Петров", "ООО \"Ромашка\"",
        "Магазин «Продукты» на Садовой", "Сидорова"};
    for (int i = 0; i < 12; ++i)
        test::AddDocument("DOC" + std::to_string(i), today, std::to_string(i % 5), clients[i % 5],
            std::to_string(3 * i + 1) + ".25", std::to_string(1250 * (i + 1)) + ".5");

    TMainWindow window({[today] { return today; }, [] {}});
    window.show();
    // The size the screen gives it: filled on a handheld-sized screen, the handheld's elsewhere.
    FitToScreen(&window);
    QTest::qWait(1200);
    window.JournalList().SelectRow(2);
    Save(window.grab(), "main_window");
    TMenuBar& menu = window.Menu();
    Save(WithPopup(
             &window, menu.Submenu(main_menu::kMore), [&] { menu.Activate(main_menu::kMore); }),
        "main_window_more_menu");
    Save(WithPopup(&window, menu.Submenu(main_menu::kEditMenu),
             [&] { menu.Activate(main_menu::kEditMenu); }),
        "main_window_edit_menu");
    Save(WithPopup(&window, &window.JournalMenu(),
             [&] { window.JournalMenu().popup(window.mapToGlobal(QPoint(40, 60))); }),
        "main_window_journal_menu");

    struct TPeriodShot {
        const char* name;
        TDate start, end;
    };
    const TPeriodShot periods[] = {
        {"period_all", 0, 0},
        {"period_quarter", test::Day(2009, 10, 1), test::Day(2009, 12, 31)},
        {"period_day_from_year", test::Day(2009, 1, 1), test::Day(2009, 10, 31)},
        {"period_interval", test::Day(2009, 10, 15), test::Day(2009, 10, 20)},
    };
    for (const TPeriodShot& shot : periods) {
        TPeriodDialog dialog(&window, shot.start, shot.end, today);
        dialog.show();
        QTest::qWait(20);
        Save(dialog.grab(), shot.name);
    }

    TAboutWindow about(&window);
    about.show();
    QTest::qWait(20);
    Save(about.grab(), "about");

    SettingsShots(&window);
    DocumentShots(&window);

    // A question box of the Qt side of the seam, answered by closing it once drawn.
    TQtUserInterface qtUi;
    TUserInterfaceGuard guard(&qtUi);
    test::OnNextModal<TMessageDialog>([&window](TMessageDialog* box) {
        QTest::qWait(20);
        Save(box->grab(), "first_run_question");
        Save(Over(&window, box), "first_run_question_over_journal");
        box->reject();
    });
    UI().Ask("\r\nПервый запуск...\r\n\r\nПриветствую!\r\n\r\nОткрыть настройки?\r\n\r\n",
        TIcon::Question, TButtons::YesNo);

    test::OnNextModal<TMessageDialog>([&window](TMessageDialog* box) {
        QTest::qWait(20);
        Save(Over(&window, box), "question_yes_no_cancel");
        box->reject();
    });
    UI().Ask("Документ изменен. Сохранить?", TIcon::Question, TButtons::YesNoCancel);

    // The folder picker of the manual exchange, in a folder with a few sub-folders.
    {
        const QString start = QString::fromStdString(folder.Path().string());
        for (const char* name : {"Выгрузка", "Загрузка", "Архив 2009"})
            QDir(start).mkpath(QString::fromUtf8(name));
        TFolderPicker picker(&window, start);
        picker.show();
        QTest::qWait(20);
        Save(picker.grab(), "folder_picker");
    }

    BackupsShots(&window);
    TotalsShots(&window);
    Glyphs();
    RoadShots();
    std::cout << "screenshots written to " << g_folder.toStdString() << "\n";
    return 0;
}
