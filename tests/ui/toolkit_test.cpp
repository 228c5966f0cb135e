// The control toolkit on its own: the bottom menu bar's items, the report list's rows, images,
// grid and last-column fitting, the drawn pictures at 1x and 2x, modal results 1 and 2, Qt's
// own words in Russian, the folder picker and the message box with the button Enter presses.
#include "toolkit/folder_picker.h"
#include "toolkit/glyphs.h"
#include "toolkit/menu_bar.h"
#include "toolkit/message_box.h"
#include "toolkit/message_dialog.h"
#include "toolkit/modal.h"
#include "toolkit/report_list.h"
#include "toolkit/translations.h"
#include "ui/ui_support.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAction>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <iostream>

namespace vendrix {
namespace {

TEST(MenuBar, NumbersItemsKeepsBlanksAndHidesOrDisables)
{
    QWidget window;
    TMenuBar bar(&window);
    std::vector<int> chosen;
    bar.onCommand = [&](int item) { chosen.push_back(item); };
    const int go = bar.AddItem(QString::fromUtf8(" Вперёд "));
    const int more = bar.AddItem(QStringLiteral("  ...  "));
    const int first = bar.AddItem(QStringLiteral("One"), more);
    const int line = bar.AddItem(QStringLiteral("-"), more);
    const int second = bar.AddItem(QStringLiteral("Two"), more);
    EXPECT_EQ(std::vector<int>({go, more, first, line, second}), std::vector<int>({0, 1, 2, 3, 4}));
    EXPECT_EQ(bar.Button(go)->text(), QString::fromUtf8(" Вперёд "));
    EXPECT_EQ(bar.Button(more)->text(), QStringLiteral("  ...  "));
    EXPECT_TRUE(bar.IsSeparator(line));
    EXPECT_TRUE(bar.Action(line)->isSeparator());

    QTest::mouseClick(bar.Button(go), Qt::LeftButton);
    bar.Action(second)->trigger();
    EXPECT_EQ(chosen, std::vector<int>({go, second}));

    bar.SetItemEnabled(go, false);
    bar.Activate(go);
    bar.SetItemVisible(second, false);
    EXPECT_FALSE(bar.ItemVisible(second));
    EXPECT_FALSE(bar.Action(second)->isVisible());
    bar.SetItemVisible(go, false);
    EXPECT_TRUE(bar.Button(go)->isHidden());
    EXPECT_EQ(chosen.size(), 2u);
}

class TRows : public TReportSource {
public:
    int RowCount() const override { return count; }
    QString Cell(int row, int column) const override
    {
        return QStringLiteral("%1:%2").arg(row).arg(column);
    }
    int Image(int row) const override { return row % 7; }
    int count = 0;
};

TEST(ReportList, ShowsTheSourceAndKeepsSelectionWithinIt)
{
    TRows rows;
    TReportList list(nullptr);
    list.resize(400, 200);
    list.SetColumns({{"A", 18, Qt::AlignLeft}, {"B", 50, Qt::AlignRight}});
    list.SetImages(ImageList(QStringLiteral("FMAIN_IL_STATES"), 16, 12, 1));
    list.SetSource(&rows);
    list.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&list));
    EXPECT_EQ(list.SelectedRow(), -1);

    list.BeginUpdate();
    rows.count = 50000;
    list.EndUpdate();
    const QAbstractItemModel* m = list.model();
    ASSERT_EQ(m->rowCount(), 50000);
    EXPECT_EQ(m->data(m->index(49999, 1)).toString(), QStringLiteral("49999:1"));
    EXPECT_EQ(m->data(m->index(3, 1), Qt::TextAlignmentRole).value<Qt::Alignment>()
            & Qt::AlignHorizontal_Mask,
        Qt::AlignRight);
    EXPECT_TRUE(m->data(m->index(4, 0), Qt::DecorationRole).isValid());
    EXPECT_FALSE(m->data(m->index(5, 0), Qt::DecorationRole).isValid()) << "image 5 is none";

    list.SelectRow(49999);
    EXPECT_EQ(list.SelectedRow(), 49999);
    list.SelectRow(50000);
    EXPECT_EQ(list.SelectedRow(), -1);

    int ups = 0;
    list.onStylusUp = [&] { ++ups; };
    list.scrollToTop();
    const QPoint firstRow = list.visualRect(m->index(0, 1)).center();
    QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, firstRow);
    QTest::mouseClick(list.viewport(), Qt::RightButton, {}, firstRow);
    EXPECT_EQ(ups, 1) << "only the stylus (left button) taps";
    EXPECT_EQ(list.SelectedRow(), 0);
}

TEST(ReportList, LastColumnFillsTheRowButNeverShrinksBelowItsWidth)
{
    TRows rows;
    TReportList list(nullptr);
    list.SetColumns({{"A", 40, Qt::AlignLeft}, {"B", 60, Qt::AlignLeft}});
    list.SetSource(&rows);
    list.SetFitColumn(1);
    list.resize(300, 100);
    list.show();
    const int scrollBar = list.style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, &list);
    EXPECT_EQ(list.columnWidth(1), list.contentsRect().width() - 40 - scrollBar - 2);
    list.resize(90, 100);
    EXPECT_TRUE(test::WaitUntil([&] { return list.columnWidth(1) == 60; })) << list.columnWidth(1);
}

TEST(Glyphs, PicturesHaveTheirSizesAtOneAndTwoTimes)
{
    for (qreal ratio : {1.0, 2.0}) {
        const QPixmap strip = ResourceBitmap(QStringLiteral("FMAIN_IL_STATES"), ratio);
        EXPECT_EQ(strip.size(), QSize(80, 12) * ratio);
        EXPECT_EQ(strip.deviceIndependentSize().toSize(), QSize(80, 12));
        const auto states = ImageList(QStringLiteral("FMAIN_IL_STATES"), 16, 12, ratio);
        ASSERT_EQ(states.size(), 5u);
        for (const QPixmap& image : states) {
            EXPECT_EQ(image.deviceIndependentSize().toSize(), QSize(16, 12));
            EXPECT_EQ(image.size(), QSize(16, 12) * ratio);
        }
        // Each state looks different from the others.
        for (std::size_t a = 0; a < 5; ++a)
            for (std::size_t b = a + 1; b < 5; ++b)
                EXPECT_NE(states[a].toImage(), states[b].toImage()) << a << " " << b;
        EXPECT_EQ(ImageList(QStringLiteral("FSPRMULTISEL_IL1"), 16, 16, ratio).size(), 2u);
        for (const char* name : {"BITBTN1_BITMAP", "BITBTN4_BITMAP"})
            EXPECT_EQ(
                ResourceBitmap(QString::fromLatin1(name), ratio).size(), QSize(16, 16) * ratio);
    }
    EXPECT_TRUE(ResourceBitmap(QStringLiteral("NO_SUCH_BITMAP"), 1).isNull());
    EXPECT_FALSE(ProgramIcon().pixmap(32).isNull());
}

TEST(Modal, ResultsAreOneForOkAndTwoOtherwise)
{
    QDialog dialog;
    test::OnNextModal<QDialog>([](QDialog* d) { CloseDialog(d, true); });
    EXPECT_EQ(RunModal(dialog), kModalOk);
    test::OnNextModal<QDialog>([](QDialog* d) { CloseDialog(d, false); });
    EXPECT_EQ(RunModal(dialog), kModalCancel);
    test::OnNextModal<QDialog>([](QDialog* d) { d->close(); });
    EXPECT_EQ(RunModal(dialog), kModalCancel);

    QDialog modeless;
    modeless.show();
    CloseDialog(&modeless, true);
    EXPECT_FALSE(modeless.isVisible());
}

TEST(Translations, QtsOwnWordsAreRussianWhateverTheLocale)
{
    // The test programs run under whatever LANG the machine has (CI: none, that is C).
    ASSERT_TRUE(InstallRussianTranslations()) << "qtbase_ru.qm is missing";
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"), QString::fromUtf8("Отмена"));
    EXPECT_EQ(QLocale().language(), QLocale::Russian);
}

// A tap on the selected row of the picker's list.
void TapSelected(QListWidget* list, int row)
{
    list->setCurrentRow(row);
    const QPoint at = list->visualItemRect(list->item(row)).center();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
}

TEST(FolderPicker, WalksFoldersByTapsAndReturnsTheOpenOne)
{
    const test::TTemporaryFolder folder("vendrix-picker");
    const QString root = QString::fromStdString(folder.Path().string());
    ASSERT_TRUE(QDir(root).mkpath(QString::fromUtf8("Обмен/Январь")));
    ASSERT_TRUE(QDir(root).mkpath(QStringLiteral("archive")));
    auto ran = test::OnNextModal<TFolderPicker>([&](TFolderPicker* picker) {
        EXPECT_EQ(picker->windowTitle(), QString::fromUtf8("Выберите папку"));
        QListWidget* list = picker->List();
        ASSERT_EQ(list->count(), 3);
        EXPECT_EQ(list->item(0)->text(), QStringLiteral(".."));
        EXPECT_EQ(list->item(1)->text(), QStringLiteral("archive"));
        EXPECT_EQ(list->item(2)->text(), QString::fromUtf8("Обмен"));

        // A first tap on another row only selects it; a tap on the selected row opens it.
        list->setCurrentRow(0);
        QTest::mouseClick(
            list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(2)).center());
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
        EXPECT_EQ(picker->Folder(), QDir::toNativeSeparators(root));
        TapSelected(list, 2);
        EXPECT_TRUE(
            test::WaitUntil([&] { return picker->Folder().endsWith(QString::fromUtf8("Обмен")); }));
        EXPECT_EQ(list->count(), 2) << "\"..\" and Январь";
        TapSelected(list, 2 - 1);
        EXPECT_TRUE(test::WaitUntil(
            [&] { return picker->Folder().endsWith(QString::fromUtf8("Январь")); }));
        TapSelected(list, 0);
        EXPECT_TRUE(test::WaitUntil([&] {
            return picker->Folder().endsWith(QString::fromUtf8("Обмен"));
        })) << "\"..\" goes up";
        picker->Menu()->Activate(0);
    });
    EXPECT_EQ(PickFolderDialog(nullptr, root),
        QDir::toNativeSeparators(root + QString::fromUtf8("/Обмен")))
        << "[ OK ] chooses the open folder";
    EXPECT_TRUE(*ran);

    test::OnNextModal<TFolderPicker>([](TFolderPicker* picker) { picker->Menu()->Activate(1); });
    EXPECT_EQ(PickFolderDialog(nullptr, root), QString()) << "[ Отмена ] picks nothing";
}

TEST(MessageDialog, NeverWiderThanTheProgramsWindowOnALargeScreen)
{
    // The test screen is desktop-sized: the program's window keeps the handheld's size.
    QWidget window;
    window.resize(240, 320);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    const QString longText = QString::fromUtf8(
        "Произошла ошибка!\nПоследнее сообщение: \nНе удалось соединиться с сервером "
        "ftp.example.ru по адресу, указанному в настройках обмена.");
    TMessageDialog box(&window, longText, TIcon::Question,
        QDialogButtonBox::Yes | QDialogButtonBox::No | QDialogButtonBox::Cancel,
        QDialogButtonBox::Cancel);
    box.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&box));
    EXPECT_LE(box.frameGeometry().width(), window.frameGeometry().width());
    for (QAbstractButton* button : box.Buttons()->buttons())
        EXPECT_TRUE(box.rect().contains(QRect(button->mapTo(&box, QPoint(0, 0)), button->size())))
            << button->text().toStdString();
    EXPECT_EQ(box.Buttons()->button(QDialogButtonBox::Yes)->text(), QString::fromUtf8("&Да"));
    EXPECT_GT(box.TextLabel()->height(), box.TextLabel()->fontMetrics().height() * 2)
        << "the long text wraps instead of widening the box";

    QTest::keyClick(&box, Qt::Key_Escape);
    EXPECT_FALSE(box.isVisible()) << "Esc answers with the escape button";
}

// A question whose «Да» destroys something leaves Enter to «Нет»; any other keeps «Да» first.
TEST(MessageDialog, EnterAnswersNoToADestructiveQuestion)
{
    struct TCase {
        const char* what;
        TButtons buttons;
        const char* preferred; // the default button's caption, which has the focus
        Qt::Key key;
        TAnswer answer;
    };
    const TCase cases[] = {
        {"an ordinary question: Enter says yes", TButtons::YesNo, "&Да", Qt::Key_Return,
            TAnswer::Yes},
        {"a destructive question: Enter says no", TButtons::YesNoDefaultNo, "&Нет", Qt::Key_Return,
            TAnswer::No},
        {"a destructive question: Esc says no", TButtons::YesNoDefaultNo, "&Нет", Qt::Key_Escape,
            TAnswer::No},
    };
    TQtUserInterface qtUi;
    TUserInterfaceGuard guard(&qtUi);
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.what);
        QString preferred;
        bool focused = false;
        auto ran = test::OnNextModal<TMessageDialog>([&](TMessageDialog* box) {
            for (QAbstractButton* b : box->Buttons()->buttons())
                if (qobject_cast<QPushButton*>(b)->isDefault())
                    preferred += b->text();
            focused = test::WaitUntil([&] {
                const QWidget* f = QApplication::focusWidget();
                return f && f->parentWidget() == box->Buttons()
                    && qobject_cast<const QPushButton*>(f)->isDefault();
            });
            // The key goes where the agent's keyboard sends it: to the focused widget.
            QWidget* target = QApplication::focusWidget();
            QTest::keyClick(target ? target : box, c.key);
        });
        EXPECT_EQ(UI().Ask("Удалить документ?", TIcon::Question, c.buttons), c.answer);
        EXPECT_TRUE(*ran);
        EXPECT_EQ(preferred, QString::fromUtf8(c.preferred)) << "the one default button";
        EXPECT_TRUE(focused) << "the default button has the focus";
    }
}

} // namespace
} // namespace vendrix

namespace vendrix {
namespace {

// What the agent must read whole: the office's message that wraps into five lines on the
// handheld, and the first-run question, whose last line must not break.
struct TWholeMessage {
    const char* what;
    const char* text;
    TIcon icon;
    TButtons buttons;
    const char* unbroken; // a line that must stay on one line
};

const TWholeMessage kWholeMessages[] = {
    {"the office's message",
        "Сообщение из офиса: [1 / 2]\r\nДобрый день! С 1 декабря действуют "
        "новые цены на соки. Заявки на пятницу принимаются до 15:00.",
        TIcon::None, TButtons::Ok, "Сообщение из офиса: [1 / 2]"},
    {"the first-run question",
        "\r\nПервый запуск...\r\n\r\nПриветствую!\r\n\r\nОткрыть настройки?\r\n\r\n",
        TIcon::Question, TButtons::YesNo, "Открыть настройки?"},
};

// Run on the test screen (desktop-sized) and, by the next test, on handheld screens.
TEST(MessageDialog, ShowsTheWholeTextWithoutAScrollBarWhenTheScreenHasRoom)
{
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    std::cout << "screen " << area.width() << "x" << area.height() << "\n";
    // The program's window: the whole screen on a handheld, the handheld's size on a desktop.
    QWidget window;
    window.resize(std::min(area.width(), 240), std::min(area.height(), 320));
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    TQtUserInterface qtUi;
    TUserInterfaceGuard guard(&qtUi);
    for (const TWholeMessage& m : kWholeMessages) {
        SCOPED_TRACE(m.what);
        auto ran = test::OnNextModal<TMessageDialog>([&](TMessageDialog* box) {
            const QLabel* label = box->TextLabel();
            const auto* scroll = box->findChild<QScrollArea*>();
            ASSERT_NE(scroll, nullptr);
            const QWidget* viewport = scroll->viewport();
            EXPECT_FALSE(scroll->verticalScrollBar()->isVisible()) << "no scroll bar";
            EXPECT_GE(label->height(), label->heightForWidth(label->width()))
                << "the label is as tall as its text at its width";
            EXPECT_TRUE(viewport->rect().contains(QRect(label->pos(), label->size())))
                << "the whole label inside the viewport";
            EXPECT_GE(label->width(),
                label->fontMetrics().horizontalAdvance(QString::fromUtf8(m.unbroken)))
                << "\"" << m.unbroken << "\" fits on one line";
            EXPECT_TRUE(area.contains(box->frameGeometry()));
            for (QAbstractButton* button : box->Buttons()->buttons())
                EXPECT_TRUE(
                    box->rect().contains(QRect(button->mapTo(box, QPoint(0, 0)), button->size())));
            QTest::keyClick(box, Qt::Key_Escape);
        });
        if (m.buttons == TButtons::Ok)
            UI().Message(m.text, m.icon);
        else
            UI().Ask(m.text, m.icon, m.buttons);
        EXPECT_TRUE(*ran);
    }

    // Taller than the screen: the text scrolls beside its bar, the box and its button stay on
    // the screen.
    std::string tall;
    for (int i = 0; i < 60; ++i)
        tall += "Строка сообщения из офиса\r\n";
    auto ran = test::OnNextModal<TMessageDialog>([&](TMessageDialog* box) {
        const auto* scroll = box->findChild<QScrollArea*>();
        ASSERT_NE(scroll, nullptr);
        EXPECT_TRUE(scroll->verticalScrollBar()->isVisible());
        EXPECT_GT(scroll->verticalScrollBar()->maximum(), 0);
        EXPECT_EQ(box->TextLabel()->width(), scroll->viewport()->width()) << "no sideways scroll";
        EXPECT_TRUE(area.contains(box->frameGeometry()));
        QAbstractButton* ok = box->Buttons()->buttons().front();
        EXPECT_TRUE(box->rect().contains(QRect(ok->mapTo(box, QPoint(0, 0)), ok->size())));
        QTest::keyClick(box, Qt::Key_Escape);
    });
    UI().Message(tall, TIcon::None);
    EXPECT_TRUE(*ran);
}

// The same test again on handheld screens, each in a program of its own started on an offscreen
// screen of that size: portrait and landscape.
TEST(MessageDialog, ShowsTheWholeTextOnHandheldScreens)
{
    if (QGuiApplication::primaryScreen()->availableGeometry().width() <= 320)
        GTEST_SKIP() << "already on a handheld screen";
    const QTemporaryDir screens;
    ASSERT_TRUE(screens.isValid());
    for (const QSize size : {QSize(240, 320), QSize(320, 240)}) {
        const QString name = QStringLiteral("%1x%2").arg(size.width()).arg(size.height());
        SCOPED_TRACE(name.toStdString());
        const QString config = screens.filePath(name + QStringLiteral(".json"));
        QFile file(config);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QStringLiteral("{\"screens\": [{\"name\": \"%1\", \"x\": 0, \"y\": 0, "
                                  "\"width\": %2, \"height\": %3, \"logicalDpi\": 96, "
                                  "\"logicalBaseDpi\": 96, \"dpr\": 1}]}\n")
                       .arg(name)
                       .arg(size.width())
                       .arg(size.height())
                       .toUtf8());
        file.close();
        QProcess run;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(
            QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen:configfile=") + config);
        run.setProcessEnvironment(env);
        run.setProcessChannelMode(QProcess::MergedChannels);
        run.start(QCoreApplication::applicationFilePath(),
            {QStringLiteral("--gtest_filter=MessageDialog."
                            "ShowsTheWholeTextWithoutAScrollBarWhenTheScreenHasRoom")});
        ASSERT_TRUE(run.waitForFinished(120000));
        const QString output = QString::fromUtf8(run.readAll());
        EXPECT_EQ(run.exitCode(), 0) << output.toStdString();
        EXPECT_TRUE(output.contains(QStringLiteral("screen ") + name)) << output.toStdString();
        EXPECT_TRUE(output.contains(QStringLiteral("[  PASSED  ] 1 test"))) << output.toStdString();
    }
}

} // namespace
} // namespace vendrix
