// The road of one order by the keyboard alone, through real key events: the real program runs on
// a virtual X screen of a handheld's size with no window manager, and xdotool presses its keys
// (XTEST), so every key goes where the X server's focus is, as an agent's keyboard would. No
// pointer event anywhere. From a program folder never started: the first-run question, the
// demo office's FTP settings typed in screen order and saved, the exchange that fetches the
// catalogue, then « Новый », a client from the list, a goods group, a goods line with its
// quantity on the keypad, and «Записать». The database and the office's folder are checked.
#include "app/local_office.h"
#include "documents/goods_selection.h"
#include "documents/reference_selection.h"
#include "shell/startup.h"
#include "storage/ui_seam.h"
#include "ui/ui_support.h"

#include <gtest/gtest.h>

#include <QProcess>
#include <QProcessEnvironment>

#include <chrono>
#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <thread>

namespace vendrix {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr const char* kMainCaption = "Агент продаж"; // the main window's and every message box's

bool Installed(const char* tool)
{
    return test::RunProcess(std::string("command -v ") + tool + " >/dev/null").status == 0;
}

std::string Trimmed(const std::string& text)
{
    const auto first = text.find_first_not_of(" \r\n");
    const auto last = text.find_last_not_of(" \r\n");
    return first == std::string::npos ? std::string() : text.substr(first, last - first + 1);
}

// Polls `done` until it holds or `limit` passes; the program answers keys at its own pace.
bool Eventually(const std::function<bool()>& done, std::chrono::milliseconds limit = 30s)
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(50ms);
    }
    return true;
}

class KeyboardRoad : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!Installed("Xvfb") || !Installed("xdotool"))
            GTEST_SKIP() << "Xvfb or xdotool is not installed";
        ASSERT_FALSE(m_root.Path().empty());
        // Xvfb picks a free display itself and writes its number; the number plus one stands for
        // the port, which may not be 0.
        ASSERT_TRUE(m_xvfb.Start(
            {"/usr/bin/Xvfb", "-displayfd", "1", "-screen", "0", "240x320x24", "-nolisten", "tcp"},
            [](const std::string& line) {
                return line.find_first_not_of("0123456789") == std::string::npos && !line.empty()
                    ? std::stoi(line) + 1
                    : 0;
            }))
            << "Xvfb did not start";
        m_display = ":" + std::to_string(m_xvfb.Port() - 1);
        for (const char* folder : {"agent", "tmp", "runtime", "home"})
            fs::create_directories(m_root.Path() / folder);
        fs::permissions(m_root.Path() / "runtime", fs::perms::owner_all);
        // The program keeps its database beside itself, so it runs from a copy of its own.
        fs::copy_file(VENDRIX_PROGRAM, Agent() / "vendrix");
    }

    void TearDown() override
    {
        if (m_program.state() != QProcess::NotRunning) {
            m_program.kill();
            m_program.waitForFinished(5000);
        }
    }

    fs::path Agent() const { return m_root.Path() / "agent"; }

    void StartProgram()
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("DISPLAY", QString::fromStdString(m_display));
        env.insert("QT_QPA_PLATFORM", "xcb");
        env.remove("WAYLAND_DISPLAY");
        env.insert("HOME", QString::fromStdString((m_root.Path() / "home").string()));
        env.insert("TMPDIR", QString::fromStdString((m_root.Path() / "tmp").string()));
        env.insert("XDG_RUNTIME_DIR", QString::fromStdString((m_root.Path() / "runtime").string()));
        m_program.setProcessEnvironment(env);
        m_program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_program.start(QString::fromStdString((Agent() / "vendrix").string()), {});
        ASSERT_TRUE(m_program.waitForStarted(5000));
    }

    std::string Xdotool(const std::string& arguments) const
    {
        return Trimmed(test::RunProcess("DISPLAY=" + m_display + " xdotool " + arguments).out);
    }

    // Presses `keys` (xdotool's names, e.g. "Tab space ctrl+Tab") on the X server's keyboard.
    void Keys(const std::string& keys) const { Xdotool("key --delay 60 " + keys); }
    void Type(const std::string& text) const { Xdotool("type --delay 60 '" + text + "'"); }

    // The window that holds the X server's keyboard focus, and its caption.
    std::string FocusedWindow() const { return Xdotool("getwindowfocus"); }
    std::string FocusedCaption() const { return Xdotool("getwindowfocus getwindowname"); }
    bool Shown(const std::string& caption) const
    {
        return !Xdotool("search --onlyvisible --name '^" + caption + "$'").empty();
    }

    // Waits until the keys go to a window whose caption begins with `caption` (blanks around
    // it aside; the goods' caption is an option the settings saved, "Подбор товаров:").
    bool KeysGoTo(const std::string& caption, std::chrono::milliseconds limit = 30s) const
    {
        return Eventually([&] { return FocusedCaption().rfind(caption, 0) == 0; }, limit);
    }

    // A message box not answered yet has the keys: its id, else empty.
    std::string NewBox() const
    {
        const std::string focused = FocusedWindow();
        if (focused.empty() || focused == m_main || m_answered.count(focused))
            return {};
        return FocusedCaption() == kMainCaption ? focused : std::string();
    }

    // Answers the message box that takes the keys next with Enter, its preferred button.
    bool AnswerNextBox()
    {
        std::string box;
        if (!Eventually([&] { return !(box = NewBox()).empty(); }))
            return false;
        m_answered.insert(box);
        Keys("Return");
        return true;
    }

    test::TTemporaryFolder m_root {"vendrix-keys"};
    test::TServerProcess m_xvfb;
    std::string m_display;
    QProcess m_program;
    std::string m_main; // the main window's X id
    std::set<std::string> m_answered; // the message boxes answered so far
};

TEST_F(KeyboardRoad, FromTheFirstStartToASavedOrderWithNoPointer)
{
    const fs::path officeHome = m_root.Path() / "office-home";
    test::TLocalOffice office(officeHome);
    ASSERT_TRUE(office.Ready()) << "python3-pyftpdlib missing?";
    StartProgram();

    // The main window comes first; the first-run question half a second later, over it.
    // X gives out the ids of one program's windows in the order they are made.
    ASSERT_TRUE(Eventually([&] {
        m_main = Xdotool("search --onlyvisible --name '^" + std::string(kMainCaption) + "$'");
        m_main = m_main.substr(0, m_main.find('\n'));
        return !m_main.empty();
    })) << "the main window did not come up";
    ASSERT_TRUE(AnswerNextBox()) << "Первый запуск... Открыть настройки?";

    // The settings open on their tab bar, on " Обмен ": each check box before the boxes it
    // enables, the values typed as they come.
    ASSERT_TRUE(KeysGoTo("Настройки"));
    Keys("Tab space Tab");
    Type("127.0.0.1");
    Keys("Tab");
    Type(std::to_string(office.Port()));
    Keys("Tab");
    Type(test::TLocalOffice::kFolder);
    Keys("Tab space Tab");
    Type(test::TLocalOffice::kLogin);
    Keys("Tab");
    Type(test::TLocalOffice::kPassword);
    // ZIP, start at once, GPRS, private network, hang up, pause; then "[ OK ]".
    Keys("Tab Tab Tab Tab Tab Tab Tab Return");

    // "Произвести обмен сейчас?", then the exchange window's own boxes: "Загрузить данные с
    // сервера?", the office's message, "Успешно!". The window closes by itself after them.
    ASSERT_TRUE(AnswerNextBox()) << "Произвести обмен сейчас?";
    ASSERT_TRUE(Eventually([&] { return Shown("Обмен с сервером"); }));
    ASSERT_TRUE(Eventually(
        [&] {
            if (!NewBox().empty())
                AnswerNextBox();
            return !Shown("Обмен с сервером") && FocusedWindow() == m_main;
        },
        120s))
        << "the exchange did not end with the keys back on the journal";
    EXPECT_TRUE(fs::exists(officeHome / test::TLocalOffice::kFolder / "PDATo1C.xml"))
        << "the office received the export";

    // What the exchange brought, read as the program reads it: the client list in the order
    // the selection form shows it, and the first client that may be shipped to.
    TScriptedUserInterface quiet;
    TUserInterfaceGuard guard(&quiet);
    ASSERT_TRUE(StartStorage(Agent()));
    EXPECT_EQ(test::Value("select count(*) from SPR_GOODS where IS_FOLDER=0"), "60")
        << "the office served its catalogue";
    const auto clients = ReferenceRows(TReferenceMode::Clients, "");
    std::size_t client = 0;
    while (client < clients.size() && ReferenceCell(*clients[client], 3) == "1")
        ++client;
    ASSERT_LT(client, clients.size());
    const std::string clientGuid = ReferenceCell(*clients[client], 2);
    // The group tree opens with its first group unfolded: one step down is that group's first
    // sub-group.
    TGoodsSelection goods;
    goods.Prepare("");
    ASSERT_GE(goods.Groups().size(), 2u);
    ASSERT_EQ(goods.Groups()[1].parent, 0);
    const std::string group = std::to_string(goods.Groups()[1].node->ID);

    // The journal has the keys; Tab leads to « Новый ».
    Keys("Tab space");
    ASSERT_TRUE(KeysGoTo("FDocum"));
    // The form opens on its tab bar; the date takes three stops (day, month, year), then the
    // client's box and its "..." button.
    Keys("Tab Tab Tab Tab Tab space");
    ASSERT_TRUE(KeysGoTo("Справочник"));
    // The code box, the name box, the list (Tab into it chooses its first row), down to the
    // client.
    Keys("Tab Tab");
    for (std::size_t row = 0; row < client; ++row)
        Keys("Down");
    Keys("Return");
    ASSERT_TRUE(KeysGoTo("FDocum"));

    // The order page by Ctrl+Tab (the keys stay on the "..." button's form and move onto the
    // page), then "Подбор".
    Keys("ctrl+Tab Tab space");
    ASSERT_TRUE(KeysGoTo("Подбор товаров"));
    // The group caption has the keys: its drop-down, the first group's first sub-group, chosen.
    Keys("space Down Return");
    // The code box, the name box, the list with its first goods chosen, its keypad.
    Keys("Tab Tab Tab Return");
    ASSERT_TRUE(KeysGoTo("Количество"));
    Type("3");
    Keys("Return");
    ASSERT_TRUE(KeysGoTo("Подбор товаров")) << "the keypad gave the keys back to the goods";
    // " ВВОД ", then " [ Ок ] ".
    Keys("Tab Tab Return");
    ASSERT_TRUE(KeysGoTo("FDocum"));
    // Back on "Подбор": " Ок ", then «Записать».
    Keys("Tab Tab Return");

    ASSERT_TRUE(Eventually([] { return test::Value("select count(*) from DOC_HEADS") == "1"; }))
        << "the order was not written";
    EXPECT_EQ(test::Value("select CLI_GUID from DOC_HEADS"), clientGuid);
    EXPECT_EQ(test::Value("select count(*) from DOC_ORDERS"), "1");
    EXPECT_EQ(test::Value("select G_WT from DOC_ORDERS"), "3.0");
    EXPECT_EQ(
        test::Value("select G.ROOTID from DOC_ORDERS O join SPR_GOODS G on G.GUID=O.G_GUID"), group)
        << "goods of the group chosen";
    EXPECT_TRUE(KeysGoTo("FDocum")) << "«Записать» keeps the form open";
    EXPECT_EQ(m_program.state(), QProcess::Running);
}

} // namespace
} // namespace vendrix
