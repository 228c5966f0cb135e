// The real program started as separate processes from a temporary program folder: the first
// start creates its database and runs; a second start brings the first to the front, handing
// over the launcher's activation token, and ends with exit code 0; a start after a killed copy
// runs despite the channel the dead copy left. And the channel itself, line by line.
#include "toolkit/single_instance.h"
#include "ui/ui_support.h"

#include <gtest/gtest.h>

#include <QLocalSocket>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTest>

#include <filesystem>

namespace vendrix {
namespace {

namespace fs = std::filesystem;

class ProgramTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(m_root.Path().empty());
        fs::create_directories(m_root.Path() / "tmp");
        fs::create_directories(m_root.Path() / "runtime");
        fs::permissions(m_root.Path() / "runtime", fs::perms::owner_all);
        // The program keeps its database beside itself, so it runs from a copy of its own.
        fs::copy_file(VENDRIX_PROGRAM, Program());
        // The channel lives in the temporary folder: these copies never meet a real one.
        m_environment = QProcessEnvironment::systemEnvironment();
        m_environment.insert("QT_QPA_PLATFORM", "offscreen");
        m_environment.insert("TMPDIR", QString::fromStdString((m_root.Path() / "tmp").string()));
        m_environment.insert(
            "XDG_RUNTIME_DIR", QString::fromStdString((m_root.Path() / "runtime").string()));
        // Only the starts that a test gives a token have one.
        m_environment.remove("XDG_ACTIVATION_TOKEN");
    }

    void TearDown() override
    {
        for (auto& p : m_processes) {
            if (p->state() != QProcess::NotRunning) {
                p->kill();
                p->waitForFinished(5000);
            }
        }
    }

    fs::path Program() const { return m_agent.Path() / "vendrix"; }
    fs::path Channel() const { return m_root.Path() / "tmp" / SingleInstanceName().toStdString(); }

    QProcess& Start(const QString& activationToken = {})
    {
        m_processes.push_back(std::make_unique<QProcess>());
        QProcess& p = *m_processes.back();
        QProcessEnvironment environment = m_environment;
        if (!activationToken.isEmpty())
            environment.insert("XDG_ACTIVATION_TOKEN", activationToken);
        p.setProcessEnvironment(environment);
        p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        p.start(QString::fromStdString(Program().string()), {});
        EXPECT_TRUE(p.waitForStarted(5000));
        return p;
    }

    // The copy answers on the channel once its window is up.
    bool Answers()
    {
        return test::WaitUntil(
            [&] {
                if (!fs::exists(Channel()))
                    return false;
                QLocalSocket probe;
                probe.connectToServer(QString::fromStdString(Channel().string()));
                if (!probe.waitForConnected(200))
                    return false;
                probe.write("raise\n");
                return probe.waitForReadyRead(2000) && probe.readAll() == "ok\n";
            },
            15000);
    }

    test::TTemporaryFolder m_root {"vendrix-program"}; // the copies' temporary and runtime folders
    test::TProgramFolder m_agent; // the program's own folder, where it keeps its database
    QProcessEnvironment m_environment;
    std::vector<std::unique_ptr<QProcess>> m_processes;
};

TEST_F(ProgramTest, SecondStartRaisesTheFirstAndEndsWithZero)
{
    QProcess& first = Start();
    ASSERT_TRUE(Answers()) << "the first copy came to the front on request";
    EXPECT_TRUE(fs::exists(m_agent.Db()));

    QProcess& second = Start();
    ASSERT_TRUE(second.waitForFinished(15000));
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_EQ(first.state(), QProcess::Running);
    EXPECT_TRUE(Answers());

    // A killed copy leaves its channel behind; the next start takes it over and runs.
    first.kill();
    ASSERT_TRUE(first.waitForFinished(5000));
    ASSERT_TRUE(fs::exists(Channel()));
    QProcess& third = Start();
    ASSERT_TRUE(Answers());
    EXPECT_FALSE(third.waitForFinished(500));
    EXPECT_EQ(third.state(), QProcess::Running);
}

// The second start hands its launcher's token to the running copy (here the test plays that
// copy), so that a Wayland compositor lets the copy come forward; a start without a token says
// so by sending none.
TEST_F(ProgramTest, SecondStartHandsTheLaunchersActivationTokenToTheRunningCopy)
{
    TSingleInstance running(QString::fromStdString(Channel().string()));
    std::vector<QString> tokens;
    ASSERT_TRUE(running.Listen([&tokens](const QString& token) { tokens.push_back(token); }));
    for (const QString& token : {QStringLiteral("launcher-token_1.2:3"), QString()}) {
        QProcess& second = Start(token);
        ASSERT_TRUE(test::WaitUntil([&] { return second.state() == QProcess::NotRunning; }, 15000));
        EXPECT_EQ(second.exitCode(), 0);
    }
    EXPECT_EQ(tokens, (std::vector<QString> {QStringLiteral("launcher-token_1.2:3"), QString()}));
}

// What the running copy makes of the lines on its channel: a request comes in one line, whole
// or in pieces, with or without a token (older copies send none); anything else gets no answer,
// and a token that is no printable text is dropped while the window still comes up.
TEST(SingleInstanceChannel, RunningCopyAnswersEachRequestLineAndTakesItsToken)
{
    const test::TTemporaryFolder folder("vendrix-channel");
    const QString name = QString::fromStdString((folder.Path() / "channel").string());
    TSingleInstance running(name);
    std::vector<QString> tokens;
    ASSERT_TRUE(running.Listen([&tokens](const QString& token) { tokens.push_back(token); }));
    const struct {
        const char* name;
        std::vector<QByteArray> pieces; // written one after the other
        bool answered;
        std::vector<QString> tokens;
    } cases[] = {
        {"an older copy's request", {"raise\n"}, true, {QString()}},
        {"a request with a token", {"raise xdg-token-42\n"}, true, {"xdg-token-42"}},
        {"a request in pieces", {"rai", "se tok", "en\n"}, true, {"token"}},
        {"two requests at once", {"raise a\nraise b\n"}, true, {"a", "b"}},
        {"a token with a control character", {"raise bad\x01token\n"}, true, {QString()}},
        {"a line that is no request", {"hello\n"}, false, {}},
        {"a request not ended yet", {"raise"}, false, {}},
        {"a line too long to be a request", {"raise " + QByteArray(5000, 'x') + "\n"}, false, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        tokens.clear();
        QLocalSocket socket;
        socket.connectToServer(name);
        ASSERT_TRUE(socket.waitForConnected(2000));
        for (const QByteArray& piece : c.pieces) {
            socket.write(piece);
            socket.flush();
            QTest::qWait(20); // the running copy reads each piece as it comes
        }
        const bool answered
            = test::WaitUntil([&] { return socket.bytesAvailable() > 0; }, c.answered ? 5000 : 300);
        EXPECT_EQ(answered, c.answered);
        if (answered) {
            EXPECT_TRUE(socket.readAll().startsWith("ok\n"));
        }
        EXPECT_EQ(tokens, c.tokens);
    }
}

} // namespace
} // namespace vendrix
