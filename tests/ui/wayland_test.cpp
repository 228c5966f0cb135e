// The windows under a real Wayland compositor: a headless Weston with its desktop shell, whose
// panel takes the top of the output, and Qt's Wayland platform. ctest starts this program once
// per output size (VENDRIX_WESTON_OUTPUT, e.g. "240x320"): a handheld's, a phone's and a
// desktop's. There the compositor places and sizes the windows and the program cannot move
// them, the free area Qt reports is the whole output, and a minimised window comes back only if
// the compositor can activate it (Weston 10 cannot). Each program starts its own Weston before
// its QApplication; without Weston or Qt's Wayland platform every test skips.
#include "ui/ui_support.h"
#include "ui/weston.h"

#include "documents/document_form.h"
#include "shell/main_window.h"
#include "storage/options.h"
#include "toolkit/compositor.h"
#include "toolkit/handheld_style.h"
#include "toolkit/menu_bar.h"
#include "toolkit/message_box.h"
#include "toolkit/message_dialog.h"
#include "toolkit/single_instance.h"
#include "toolkit/translations.h"
#include "toolkit/window_placement.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QLocalSocket>
#include <QPointer>
#include <QProcess>
#include <QProcessEnvironment>
#include <QScreen>
#include <QTest>
#include <QWindow>

#include <filesystem>
#include <memory>
#include <sstream>

namespace vendrix {
namespace {

namespace fs = std::filesystem;

test::TWeston* g_weston = nullptr;

// "240x320" as a size; invalid when it is not one.
QSize ParseSize(const QString& text)
{
    const QStringList parts = text.split(QLatin1Char('x'));
    bool w = false, h = false;
    const QSize size = parts.size() == 2 ? QSize(parts[0].toInt(&w), parts[1].toInt(&h)) : QSize();
    return w && h ? size : QSize();
}

std::string Text(const QRect& r)
{
    std::ostringstream out;
    out << r.x() << "," << r.y() << " " << r.width() << "x" << r.height();
    return out.str();
}

// The room the compositor gives a maximised window, frame included: the output less the shell's
// panel. The shell is a client that Weston starts once it takes clients, and a window maximised
// before the panel is up keeps the whole output: probe windows are tried until one gets the room
// below the panel.
QSize MaximisedRoom()
{
    static const QSize room = [] {
        const QSize output = QGuiApplication::primaryScreen()->geometry().size();
        QElapsedTimer clock;
        clock.start();
        QSize seen;
        while (clock.elapsed() < 30000) {
            QWidget probe;
            probe.resize(100, 100);
            probe.showMaximized();
            // Across the whole output.
            const bool configured = test::WaitUntil([&] {
                return probe.windowHandle() && probe.windowHandle()->isExposed()
                    && probe.isMaximized() && probe.frameGeometry().width() == output.width();
            });
            seen = probe.frameGeometry().size();
            if (configured && seen.height() < output.height())
                break;
        }
        return seen;
    }();
    return room;
}

class WaylandTest : public test::StartedFolderTest {
protected:
    void SetUp() override
    {
        if (!g_weston->SkipReason().empty())
            GTEST_SKIP() << g_weston->SkipReason();
        ASSERT_TRUE(g_weston->Ready()) << "Weston did not start:\n" << g_weston->Log();
        ASSERT_TRUE(OnWayland());
        ASSERT_LT(MaximisedRoom().height(), Output().height())
            << "the shell's panel takes the top of the output";
        StartedFolderTest::SetUp();
        // Not a new database any more: no first-run question comes up in the middle of a test.
        ASSERT_TRUE(folder.Start());
    }

    static QSize Output() { return QGuiApplication::primaryScreen()->geometry().size(); }

    // The program's main window as the program shows it, up and sized by the compositor.
    std::unique_ptr<TMainWindow> ShowProgram(TMainWindowEnvironment environment = {})
    {
        auto window = std::make_unique<TMainWindow>(std::move(environment));
        ShowMainWindow(window.get());
        EXPECT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        if (IsHandheldSize(Output())) {
            EXPECT_TRUE(test::WaitUntil([&] { return window->isMaximized(); }));
        }
        return window;
    }

    static TDocumentForm* OpenForm(const TMainWindow& window)
    {
        for (QObject* child : window.children()) {
            auto* form = dynamic_cast<TDocumentForm*>(child);
            if (form && form->isVisible())
                return form;
        }
        return nullptr;
    }
};

// Under Wayland the free area is the whole output, panel included; a window set to that
// geometry has its menu bar under the panel or below the output's edge. On a handheld-sized
// output the compositor sizes the window; on a desktop it keeps the handheld's size.
TEST_F(WaylandTest, MainWindowTakesTheRoomTheCompositorGivesWithItsMenuBarOnScreen)
{
    const QSize output = Output();
    const QSize room = MaximisedRoom();
    auto window = ShowProgram();
    const QRect frame = window->frameGeometry();
    SCOPED_TRACE("window frame " + Text(frame) + " in a room of " + Text(QRect(QPoint(), room)));
    if (IsHandheldSize(output)) {
        EXPECT_TRUE(window->isMaximized());
        EXPECT_EQ(frame.size(), room) << "the window is as large as the compositor lets it be";
    } else {
        EXPECT_FALSE(window->isMaximized());
        EXPECT_EQ(window->size(), QSize(kHandheldWidth, kHandheldHeight));
    }
    EXPECT_LE(frame.width(), room.width());
    EXPECT_LE(frame.height(), room.height());
    const TMenuBar& bar = window->Menu();
    const QRect barRect(bar.mapTo(window.get(), QPoint(0, 0)), bar.size());
    EXPECT_TRUE(bar.isVisible());
    EXPECT_GT(barRect.height(), 0);
    EXPECT_TRUE(window->rect().contains(barRect))
        << "menu bar " << Text(barRect) << " in the window's " << Text(window->rect());
}

// Weston 10 cannot activate a window, so a minimised one would never come back: the title bar's
// close button asks to end the program (and closes the form) instead of hiding the window, on
// every output. Where the compositor can activate, it hides them on a handheld-sized output.
TEST_F(WaylandTest, CloseButtonNeverLosesAWindowTheCompositorCannotBringBack)
{
    EXPECT_TRUE(CompositorOffers("xdg_wm_base")) << "the compositor's registry was read";
    const bool activates = CompositorOffers("xdg_activation_v1");
    EXPECT_EQ(MinimisedWindowsComeBack(), activates);
    const bool hides = activates && IsHandheldSize(Output());
    SetOption("Q_ON_EXIT", "1");
    SetOption("X_IS_CLOSE", "0");
    int quits = 0;
    auto window = ShowProgram({nullptr, [&quits] { ++quits; }});
    EXPECT_EQ(CloseButtonHides(window.get()), hides);

    window->Menu().Activate(main_menu::kNew);
    QPointer<TDocumentForm> form = OpenForm(*window);
    ASSERT_TRUE(form);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form));
    form->close();
    if (hides) {
        EXPECT_TRUE(form && form->isVisible()) << "the form is only hidden";
    } else {
        EXPECT_TRUE(test::WaitUntil([&] { return !form || !form->isVisible(); }))
            << "the unchanged new order closes";
    }

    folder.ui.answers = {TAnswer::No};
    window->close();
    if (hides) {
        EXPECT_TRUE(folder.ui.shown.empty());
    } else {
        EXPECT_EQ(folder.ui.Texts(), std::vector<std::string> {"Завершить работу?"});
        EXPECT_TRUE(window->isVisible()) << "the agent answered «Нет»";
    }
    EXPECT_EQ(quits, 0);
}

// A window opened from another is transient for it: a Wayland compositor places it over its
// owner and keeps it above (the program's own placement is ignored there).
TEST_F(WaylandTest, EveryWindowIsTransientForTheWindowItWasOpenedFrom)
{
    auto window = ShowProgram();
    QWindow* main = window->windowHandle();
    ASSERT_TRUE(main);

    // The modal windows of the main menu, each closed as soon as it is up.
    for (const main_menu::TItem item :
        {main_menu::kPeriod, main_menu::kSettings, main_menu::kAbout}) {
        SCOPED_TRACE("menu item " + std::to_string(item));
        auto ran = test::OnNextModal<QDialog>([&](QDialog* dialog) {
            ASSERT_TRUE(dialog->windowHandle());
            EXPECT_EQ(dialog->windowHandle()->transientParent(), main);
            dialog->reject();
        });
        window->Menu().Activate(item);
        EXPECT_TRUE(*ran);
    }

    // A message box of the Qt side of the seam, owned by the main window.
    TQtUserInterface qtUi;
    TUserInterfaceGuard guard(&qtUi);
    auto boxRan = test::OnNextModal<TMessageDialog>([&](TMessageDialog* box) {
        ASSERT_TRUE(box->windowHandle());
        EXPECT_EQ(box->windowHandle()->transientParent(), main);
        box->reject();
    });
    UI().Message("Нет связи с сервером", TIcon::Information);
    EXPECT_TRUE(*boxRan);

    // The journal's pop-up menu.
    TPopupMenu& popup = window->JournalMenu();
    popup.popup(window->mapToGlobal(QPoint(20, 40)));
    ASSERT_TRUE(test::WaitUntil([&] { return popup.windowHandle() && popup.isVisible(); }));
    EXPECT_EQ(popup.windowHandle()->transientParent(), main);
    popup.hide();

    // The document form, and a question it asks.
    window->Menu().Activate(main_menu::kNew);
    QPointer<TDocumentForm> form = OpenForm(*window);
    ASSERT_TRUE(form);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form));
    EXPECT_EQ(form->windowHandle()->transientParent(), main);
    if (IsHandheldSize(Output())) {
        EXPECT_TRUE(test::WaitUntil([&] { return form->isMaximized(); }))
            << "the form fills the room as the main window does";
    }
    form->RequestClose();
}

// The token a second start handed over serves the one activation it was given for: where the
// compositor takes it, Qt uses it up; where it cannot activate (Weston), it must not stay in
// the environment for the programs this one starts.
TEST_F(WaylandTest, ActivationTokenServesOneActivationAndIsNotPassedOn)
{
    auto window = ShowProgram();
    BringProgramToFront(window.get(), QStringLiteral("launcher-token"));
    EXPECT_FALSE(qEnvironmentVariableIsSet("XDG_ACTIVATION_TOKEN"));
    EXPECT_TRUE(window->isVisible());
}

// The real program, started twice under Weston: the second start hands over the launcher's
// token and ends with 0; the first keeps running and keeps answering. (Weston cannot activate
// a window; the close test above covers what the program does about that.)
TEST_F(WaylandTest, SecondStartUnderWaylandEndsWithZeroAndLeavesTheFirstRunning)
{
    const test::TTemporaryFolder root("vendrix-wayland");
    ASSERT_FALSE(root.Path().empty());
    const fs::path program = folder.Path() / "vendrix";
    fs::copy_file(VENDRIX_PROGRAM, program);
    fs::create_directories(root.Path() / "tmp");
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_QPA_PLATFORM", "wayland");
    environment.insert("WAYLAND_DISPLAY", QString::fromStdString(g_weston->Display()));
    environment.insert(
        "XDG_RUNTIME_DIR", QString::fromStdString(g_weston->RuntimeFolder().string()));
    environment.insert("TMPDIR", QString::fromStdString((root.Path() / "tmp").string()));
    environment.remove("DISPLAY");
    const QString channel
        = QString::fromStdString((root.Path() / "tmp").string()) + "/" + SingleInstanceName();
    auto start = [&](const QString& token) {
        auto p = std::make_unique<QProcess>();
        QProcessEnvironment e = environment;
        if (!token.isEmpty())
            e.insert("XDG_ACTIVATION_TOKEN", token);
        p->setProcessEnvironment(e);
        p->setProcessChannelMode(QProcess::ForwardedChannels);
        p->start(QString::fromStdString(program.string()), {});
        EXPECT_TRUE(p->waitForStarted(5000));
        return p;
    };
    auto answers = [&] {
        return test::WaitUntil(
            [&] {
                QLocalSocket probe;
                probe.connectToServer(channel);
                if (!probe.waitForConnected(200))
                    return false;
                probe.write("raise\n");
                return probe.waitForReadyRead(2000) && probe.readAll() == "ok\n";
            },
            15000);
    };

    auto first = start({});
    ASSERT_TRUE(answers()) << "the first copy is up under Weston";
    auto second = start(QStringLiteral("vendrix-test-token"));
    EXPECT_TRUE(test::WaitUntil([&] { return second->state() == QProcess::NotRunning; }, 15000));
    EXPECT_EQ(second->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second->exitCode(), 0);
    EXPECT_EQ(first->state(), QProcess::Running);
    EXPECT_TRUE(answers());
    first->kill();
    first->waitForFinished(5000);
}

} // namespace
} // namespace vendrix

int main(int argc, char** argv)
{
    QSize output = vendrix::ParseSize(qEnvironmentVariable("VENDRIX_WESTON_OUTPUT"));
    if (!output.isValid())
        output = QSize(vendrix::kHandheldWidth, vendrix::kHandheldHeight);
    // Weston first: the QApplication connects to it as it starts.
    vendrix::test::TWeston weston(output.width(), output.height());
    vendrix::g_weston = &weston;
    const vendrix::test::TTemporaryFolder runtime("vendrix-xdg");
    if (weston.Ready()) {
        qputenv("QT_QPA_PLATFORM", "wayland");
        qputenv("WAYLAND_DISPLAY", weston.Display().c_str());
        qputenv("XDG_RUNTIME_DIR", weston.RuntimeFolder().c_str());
    } else {
        // Only to run the tests that then skip or fail with the reason.
        qputenv("QT_QPA_PLATFORM", "offscreen");
        qputenv("XDG_RUNTIME_DIR", runtime.Path().c_str());
    }
    QApplication app(argc, argv);
    vendrix::ApplyHandheldStyle();
    vendrix::InstallRussianTranslations();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
