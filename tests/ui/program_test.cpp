// The real program started as separate processes from a temporary program folder: the first
// start creates its database and runs; a second start brings the first to the front and ends
// with exit code 0; a start after a killed copy runs despite the channel the dead copy left.
#include "toolkit/single_instance.h"
#include "ui/ui_support.h"

#include <gtest/gtest.h>

#include <QLocalSocket>
#include <QProcess>
#include <QProcessEnvironment>

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

    QProcess& Start()
    {
        m_processes.push_back(std::make_unique<QProcess>());
        QProcess& p = *m_processes.back();
        p.setProcessEnvironment(m_environment);
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

} // namespace
} // namespace vendrix
