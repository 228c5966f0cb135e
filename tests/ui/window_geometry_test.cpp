// Every window of the program on the screen this run was started with (ctest starts it once per
// screen: handheld, small tablet, phone and desktop sizes, portrait and landscape). Each window
// must lie inside the available screen area, and each of its buttons (menu-bar items, dialog
// buttons, radio buttons and check boxes) must be fully visible or reachable by scrolling its
// page. Each window belongs to the window it was opened from (transient for it, which a Wayland
// compositor needs to place it) and, on a desktop, opens over it.
#include "ui/document_fixture.h"
#include "ui/ui_support.h"

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
#include "toolkit/folder_picker.h"
#include "toolkit/menu_bar.h"
#include "toolkit/message_dialog.h"
#include "toolkit/window_placement.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAbstractSpinBox>
#include <QCalendarWidget>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QWindow>

#include <QDir>

#include <algorithm>
#include <functional>
#include <iostream>
#include <memory>
#include <string>

namespace vendrix {
namespace {

using test::CatalogueTest;

struct TWindowCase {
    std::string name;
    std::function<void()> options; // settings that add rows, set before the window is built
    std::function<std::unique_ptr<QWidget>(QWidget* owner)> build;
    std::function<void(QWidget* window)> afterShow; // e.g. switch to a tab
};

bool IsInside(const QWidget* widget, const char* className)
{
    for (const QWidget* w = widget->parentWidget(); w; w = w->parentWidget())
        if (w->inherits(className))
            return true;
    return false;
}

// Why `button` cannot be reached inside `window`, or empty when it can: at every level its rect
// lies inside its parent's, except that inside a scroll area's viewport it only needs the page
// to scroll far enough.
std::string Unreachable(const QWidget* button, const QWidget* window)
{
    QRect rect = button->geometry();
    for (const QWidget* parent = button->parentWidget(); parent; parent = parent->parentWidget()) {
        const auto* scroll = parent->parentWidget()
            ? qobject_cast<const QAbstractScrollArea*>(parent->parentWidget())
            : nullptr;
        if (scroll && scroll->viewport() == parent) {
            const auto* area = qobject_cast<const QScrollArea*>(scroll);
            if (area && area->widget()) {
                const QWidget* page = area->widget();
                const int hiddenDown = page->height() - parent->height();
                const int hiddenRight = page->width() - parent->width();
                if (hiddenDown > scroll->verticalScrollBar()->maximum()
                    || hiddenRight > scroll->horizontalScrollBar()->maximum())
                    return "its page scrolls less than it is hidden";
                if ((hiddenDown > 0 && !scroll->verticalScrollBar()->isVisible())
                    || (hiddenRight > 0 && !scroll->horizontalScrollBar()->isVisible()))
                    return "its page is hidden in part without a scroll bar";
                if (parent->height() < 20)
                    return "its scroll area is too low to use";
            }
            rect = parent->geometry();
            continue;
        }
        if (!parent->rect().contains(rect))
            return "it is cut by " + std::string(parent->metaObject()->className());
        if (parent == window)
            return {};
        rect.translate(parent->geometry().topLeft());
    }
    return {};
}

std::string Text(const QRect& r)
{
    return std::to_string(r.x()) + "," + std::to_string(r.y()) + " " + std::to_string(r.width())
        + "x" + std::to_string(r.height());
}

// `window` opened from `owner` (nullptr: the main window itself).
void ExpectFits(QWidget* window, const QWidget* owner, const std::string& name)
{
    SCOPED_TRACE(name);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    const QRect area = window->screen()->availableGeometry();
    // The window is kept on screen once it is up (the frame is known only then).
    EXPECT_TRUE(test::WaitUntil([&] { return area.contains(window->frameGeometry()); }, 2000))
        << "window " << Text(window->frameGeometry()) << " on the screen's " << area.width() << "x"
        << area.height();
    if (owner) {
        ASSERT_TRUE(window->windowHandle());
        EXPECT_EQ(window->windowHandle()->transientParent(), owner->windowHandle());
        // On a desktop the window opens over its owner, not wherever the window manager would
        // put a new window; on a small screen both fill it.
        if (!OnHandheldScreen(owner)) {
            EXPECT_TRUE(owner->frameGeometry().contains(window->frameGeometry().center()))
                << "window " << Text(window->frameGeometry()) << " over its owner's "
                << Text(owner->frameGeometry());
        }
    }
    std::vector<const QAbstractButton*> buttons;
    for (QAbstractButton* button : window->findChildren<QAbstractButton*>()) {
        // The inner buttons of tab bars, spin boxes and calendars come and go with their
        // control; a button on a hidden page is not on screen to begin with.
        if (!button->isVisibleTo(window) || IsInside(button, "QTabBar")
            || IsInside(button, "QAbstractSpinBox") || IsInside(button, "QCalendarWidget")
            || button->inherits("QTabBar"))
            continue;
        buttons.push_back(button);
    }
    // A window fitted to the screen as it becomes active lays its pages out again a moment
    // later.
    test::WaitUntil(
        [&] {
            return std::all_of(buttons.begin(), buttons.end(),
                [&](const QAbstractButton* b) { return Unreachable(b, window).empty(); });
        },
        2000);
    for (const QAbstractButton* button : buttons) {
        const std::string why = Unreachable(button, window);
        EXPECT_TRUE(why.empty()) << "button \"" << button->text().toStdString()
                                 << "\" is out of reach: " << why;
    }
    EXPECT_FALSE(buttons.empty()) << "a window without buttons to check";
}

std::vector<TWindowCase> Cases()
{
    auto documentForm = [](QWidget* owner) {
        auto form = std::make_unique<TDocumentForm>(owner);
        form->Open("", false);
        // Where and how large the main window opens it (its own test is below).
        form->resize(owner->size());
        PlaceOverOwner(form.get());
        return std::unique_ptr<QWidget>(std::move(form));
    };
    auto onPage = [](int page) {
        return [page](QWidget* window) {
            auto* tabs = test::FindChild<QTabWidget>(window);
            ASSERT_NE(tabs, nullptr);
            if (page < tabs->count())
                tabs->setCurrentIndex(page);
        };
    };
    std::vector<TWindowCase> cases {
        {"main window", nullptr,
            [](QWidget*) { return std::unique_ptr<QWidget>(new TMainWindow()); }, nullptr},
        {"period dialog", nullptr,
            [](QWidget* owner) {
                return std::unique_ptr<QWidget>(
                    new TPeriodDialog(owner, 0, 0, test::Day(2009, 10, 15)));
            },
            nullptr},
        {"document form, header with the trade point row", [] { SetOption("DOC_TRADE_P", "1"); },
            documentForm, onPage(0)},
        {"document form, order page with sums", [] { SetOption("UseSUMS", "1"); }, documentForm,
            onPage(1)},
        {"document form, SKU page", [] { SetOption("DOC_SKU", "1"); }, documentForm, onPage(2)},
        {"reference form (clients)", [] { SetOption("SPR_QSEARCH", "1"); },
            [](QWidget* owner) {
                return std::unique_ptr<QWidget>(
                    new TReferenceForm(owner, TReferenceMode::Clients, ""));
            },
            nullptr},
        {"goods form with the search row",
            [] {
                SetOption("SPR_QSEARCH", "1");
                SetOption("SPR_CODES", "1");
            },
            [](QWidget* owner) {
                auto form = std::make_unique<TGoodsForm>(owner);
                form->Prepare("");
                return std::unique_ptr<QWidget>(std::move(form));
            },
            nullptr},
        {"keypad with price", nullptr,
            [](QWidget* owner) {
                return std::unique_ptr<QWidget>(
                    new TKeypadDialog(owner, 30000, 125000, "Сок яблочный 1 л", "шт"));
            },
            nullptr},
        {"line entry", nullptr,
            [](QWidget* owner) {
                auto dialog = std::make_unique<TLineEntryDialog>(owner);
                dialog->SetTitle("Конкурент");
                for (int i = 0; i < 12; ++i)
                    dialog->AddRow("Категория " + std::to_string(i), "1", i + 2);
                return std::unique_ptr<QWidget>(std::move(dialog));
            },
            nullptr},
        {"exchange window", nullptr,
            [](QWidget* owner) { return std::unique_ptr<QWidget>(new TExchangeWindow(owner)); },
            nullptr},
        {"about window", nullptr,
            [](QWidget* owner) { return std::unique_ptr<QWidget>(new TAboutWindow(owner)); },
            nullptr},
        {"folder picker", nullptr,
            [](QWidget* owner) {
                return std::unique_ptr<QWidget>(new TFolderPicker(owner, QDir::tempPath()));
            },
            nullptr},
        {"message box with three buttons", nullptr,
            [](QWidget* owner) {
                return std::unique_ptr<QWidget>(new TMessageDialog(owner,
                    QString::fromUtf8("Документ изменен. Сохранить?"), TIcon::Question,
                    QDialogButtonBox::Yes | QDialogButtonBox::No | QDialogButtonBox::Cancel,
                    QDialogButtonBox::Cancel));
            },
            nullptr},
        {"message box with a long office message", nullptr,
            [](QWidget* owner) {
                QString text;
                for (int i = 0; i < 40; ++i)
                    text += QString::fromUtf8("Строка сообщения из центрального офиса номер %1\n")
                                .arg(i);
                return std::unique_ptr<QWidget>(new TMessageDialog(
                    owner, text, TIcon::Information, QDialogButtonBox::Ok, QDialogButtonBox::Ok));
            },
            nullptr},
    };
    const char* tabs[] = {"exchange", "look", "functions", "captions", "info"};
    for (int tab = 0; tab < 5; ++tab)
        cases.push_back({std::string("settings form, tab ") + tabs[tab], nullptr,
            [](QWidget* owner) {
                auto form = std::make_unique<TSettingsForm>(owner);
                form->Load();
                return std::unique_ptr<QWidget>(std::move(form));
            },
            onPage(tab)});
    return cases;
}

class WindowGeometryTest : public CatalogueTest { };

// Where the screen has room, the main window moves off the screen's corner, so that a window
// that opens in the corner instead of over it shows.
void MoveAwayFromTheCorner(QWidget& window)
{
    if (OnHandheldScreen(&window))
        return;
    const QRect area = window.screen()->availableGeometry();
    window.move(area.center() - QPoint(window.width() / 2, window.height() / 2));
    ASSERT_TRUE(test::WaitUntil([&] { return window.frameGeometry().top() > area.top() + 50; }));
}

TEST_F(WindowGeometryTest, every_window_fits_the_screen_with_its_commands_in_reach)
{
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    std::cout << "screen " << area.width() << "x" << area.height() << " at ratio "
              << QGuiApplication::primaryScreen()->devicePixelRatio() << "\n";
    TMainWindow owner;
    ShowMainWindow(&owner);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&owner));
    MoveAwayFromTheCorner(owner);
    for (const TWindowCase& c : Cases()) {
        if (c.options)
            c.options();
        std::unique_ptr<QWidget> window = c.build(&owner);
        const bool isOwner = dynamic_cast<TMainWindow*>(window.get()) != nullptr;
        window->show();
        if (c.afterShow)
            c.afterShow(window.get());
        ExpectFits(window.get(), isOwner ? nullptr : &owner, c.name);
        window->hide();
    }
}

// The screens where a window keeps the handheld's size and where it fills the screen: a phone
// (below a tablet's 600 logical pixels across) fills, a tablet or a desktop does not, nor does a
// low desktop screen (a full HD laptop at double scale).
TEST(HandheldSize, PhonesAreHandheldTabletsAndDesktopsAreNot)
{
    const struct {
        const char* name;
        QSize size;
        bool handheld;
    } cases[] = {
        {"the handheld's own screen", {240, 320}, true},
        {"the handheld turned", {320, 240}, true},
        {"a phone", {360, 720}, true},
        {"a phone turned", {720, 360}, true},
        {"a large phone", {412, 915}, true},
        {"a small tablet's 480 x 800", {480, 800}, true},
        {"a seven-inch tablet", {600, 960}, false},
        {"a ten-inch tablet", {800, 1280}, false},
        {"a netbook", {1024, 600}, false},
        {"a full HD laptop at double scale", {960, 540}, false},
        {"a desktop", {1920, 1080}, false},
        {"no screen", {}, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(IsHandheldSize(c.size), c.handheld) << c.name;
}

// « Новый » on a desktop: the form takes the main window's place and size and becomes the active
// window, instead of opening in a corner of the screen behind the still active main window. On a
// small screen both fill it.
TEST_F(WindowGeometryTest, document_form_opens_over_the_main_window_and_is_the_active_one)
{
    TMainWindow window;
    ShowMainWindow(&window);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    MoveAwayFromTheCorner(window);
    for (int i = 0; i < 2; ++i) { // a second new order opens over the main window too
        window.Menu().Activate(main_menu::kNew);
        TDocumentForm* form = nullptr;
        for (QObject* child : window.children()) {
            auto* f = dynamic_cast<TDocumentForm*>(child);
            if (f && f->isVisible() && QApplication::activeWindow() != f)
                form = f;
        }
        ASSERT_TRUE(form);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form));
        EXPECT_TRUE(test::WaitUntil([&] { return QApplication::activeWindow() == form; }))
            << "the new form is the active window";
        EXPECT_TRUE(test::WaitUntil([&] {
            return form->frameGeometry() == window.frameGeometry();
        })) << "form "
            << Text(form->frameGeometry()) << ", main window " << Text(window.frameGeometry());
        form->hide();
    }
}

// A message box on a handheld-sized screen is as wide as the screen, so that a sentence does not
// wrap into a column of words; on a larger screen no wider than the program's window.
TEST_F(WindowGeometryTest, message_box_is_as_wide_as_a_small_screen_allows)
{
    TMainWindow owner;
    owner.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&owner));
    TMessageDialog box(&owner, QString::fromUtf8("Удалить документ?"), TIcon::Question,
        QDialogButtonBox::Yes | QDialogButtonBox::No, QDialogButtonBox::No);
    box.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&box));
    const QRect area = box.screen()->availableGeometry();
    if (OnHandheldScreen(&owner))
        EXPECT_EQ(box.frameGeometry().width(), area.width());
    else
        EXPECT_LE(box.frameGeometry().width(), owner.frameGeometry().width());
    EXPECT_TRUE(area.contains(box.frameGeometry()));
}

// The window manager's close button, without the handheld's caption OK: on a handheld-sized
// screen it hides the program as the handheld's X does; on a larger one it asks to end it.
TEST_F(WindowGeometryTest, close_button_minimises_only_on_a_handheld_sized_screen)
{
    // Not a new database: no first-run question to come up meanwhile.
    ASSERT_TRUE(folder.Start());
    SetOption("Q_ON_EXIT", "1");
    SetOption("X_IS_CLOSE", "0");
    int quits = 0;
    TMainWindow window({nullptr, [&quits] { ++quits; }});
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    folder.ui.answers = {TAnswer::No};
    window.close();
    if (OnHandheldScreen(&window)) {
        EXPECT_TRUE(window.isMinimized());
        EXPECT_TRUE(folder.ui.shown.empty()) << "no question: the program only hides";
    } else {
        EXPECT_FALSE(window.isMinimized());
        EXPECT_EQ(folder.ui.Texts(), std::vector<std::string> {"Завершить работу?"});
    }
    EXPECT_EQ(quits, 0);
}

} // namespace
} // namespace vendrix
