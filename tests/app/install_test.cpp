// The program as a package installs it: `cmake --install` into a temporary root, the installed
// files checked by the desktop's own validators, and the installed program and companion run
// from that root made read-only, with a temporary home. An installed program keeps its data in
// the user's data folder and writes nothing beside itself; a portable copy keeps it beside.
#include "support/test_support.h"

#include <QProcess>
#include <QProcessEnvironment>

#include <chrono>
#include <functional>
#include <set>
#include <thread>
#include <unistd.h>

namespace vendrix {
namespace {

namespace fs = std::filesystem;

constexpr const char* kId = "org.vendrix.Agent";

// Every path under `root`, to tell whether a run wrote anything there.
std::set<std::string> Tree(const fs::path& root)
{
    std::set<std::string> paths;
    for (const auto& e : fs::recursive_directory_iterator(root))
        paths.insert(e.path().string());
    return paths;
}

void MakeReadOnly(const fs::path& root, bool readOnly)
{
    const fs::perms write = fs::perms::owner_write | fs::perms::group_write;
    const auto how = readOnly ? fs::perm_options::remove : fs::perm_options::add;
    fs::permissions(root, write, how);
    for (const auto& e : fs::recursive_directory_iterator(root))
        if (!e.is_symlink())
            fs::permissions(e.path(), write, how);
}

// The width and height of a PNG file, from its header.
std::pair<int, int> PngSize(const fs::path& file)
{
    const std::string b = test::ReadFile(file);
    if (b.size() < 24 || b.compare(1, 3, "PNG") != 0)
        return {0, 0};
    auto at = [&](std::size_t i) {
        return (static_cast<unsigned char>(b[i]) << 24)
            | (static_cast<unsigned char>(b[i + 1]) << 16)
            | (static_cast<unsigned char>(b[i + 2]) << 8) | static_cast<unsigned char>(b[i + 3]);
    };
    return {static_cast<int>(at(16)), static_cast<int>(at(20))};
}

// Asks `done` every 100 ms until it holds or `timeoutMs` have passed.
bool Poll(const std::function<bool()>& done, int timeoutMs)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return true;
}

// One installation for the whole suite: installing is the slow part.
class InstallTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_root = new test::TTemporaryFolder("vendrix-install");
        const fs::path dest = s_root->Path() / "dest";
        const test::TProcessResult r = test::RunProcess("DESTDIR='" + dest.string() + "' '"
            + std::string(VENDRIX_CMAKE) + "' --install '" + VENDRIX_BUILD_DIR + "' --prefix /usr");
        ASSERT_EQ(r.status, 0) << r.out;
    }
    static void TearDownTestSuite()
    {
        MakeReadOnly(Usr(), false);
        delete s_root;
        s_root = nullptr;
    }
    static fs::path Usr() { return s_root->Path() / "dest" / "usr"; }

    // A fresh home for one case.
    void SetUp() override
    {
        m_home = s_root->Path() / ("home-" + std::to_string(++s_homes));
        fs::create_directories(m_home);
    }

    // Runs an installed program file with this case's home and no XDG_DATA_HOME but `xdg`.
    test::TProcessResult Run(const fs::path& program, const std::string& args,
        const std::string& xdg = "", const fs::path& err = "/dev/null")
    {
        const std::string env = "env -u XDG_DATA_HOME HOME='" + m_home.string() + "' "
            + (xdg.empty() ? "" : "XDG_DATA_HOME='" + xdg + "' ");
        return test::RunProcess(env + "'" + program.string() + "' " + args, err);
    }

    fs::path UserFolder() const { return m_home / ".local" / "share" / "vendrix"; }

    static test::TTemporaryFolder* s_root;
    static int s_homes;
    fs::path m_home;
};

test::TTemporaryFolder* InstallTest::s_root = nullptr;
int InstallTest::s_homes = 0;

TEST_F(InstallTest, InstallsTheProgramItsMenuEntryIconMetadataAndManualPages)
{
    const fs::path share = Usr() / "share";
    for (const fs::path& f : {Usr() / "bin" / "vendrix", Usr() / "bin" / "vendrix-cli",
             share / "man" / "man1" / "vendrix.1.gz", share / "man" / "man1" / "vendrix-cli.1.gz",
             share / "doc" / "vendrix" / "copyright", share / "doc" / "vendrix" / "changelog.gz"})
        EXPECT_TRUE(fs::is_regular_file(f)) << f;
    for (int size : {16, 24, 32, 48, 64, 128, 256}) {
        const std::string dim = std::to_string(size) + "x" + std::to_string(size);
        const fs::path icon
            = share / "icons" / "hicolor" / dim / "apps" / (std::string(kId) + ".png");
        EXPECT_EQ(PngSize(icon), std::make_pair(size, size)) << icon;
    }

    const fs::path desktop = share / "applications" / (std::string(kId) + ".desktop");
    const fs::path metainfo = share / "metainfo" / (std::string(kId) + ".metainfo.xml");
    const std::string entry = test::ReadFile(desktop);
    for (const char* line : {"Name=Агент продаж\n", "Exec=vendrix\n", "Categories=Office;\n",
             "Icon=org.vendrix.Agent\n"})
        EXPECT_NE(entry.find(line), std::string::npos) << line;
    const fs::path err = s_root->Path() / "validate.txt";
    const test::TProcessResult d
        = test::RunProcess("desktop-file-validate '" + desktop.string() + "'", err);
    EXPECT_EQ(d.status, 0) << d.out << test::ReadFile(err);
    EXPECT_EQ(d.out, "") << "no warnings either";
    const test::TProcessResult a
        = test::RunProcess("appstreamcli validate --no-net '" + metainfo.string() + "'", err);
    EXPECT_EQ(a.status, 0) << a.out << test::ReadFile(err);
}

TEST_F(InstallTest, InstalledCompanionKeepsDataInTheUserFolderAndFindsItAgain)
{
    const fs::path cli = Usr() / "bin" / "vendrix-cli";
    const fs::path office = m_home / "office";
    test::WriteOfficeScript(office,
        test::OfficeScript({"<EXEC \"insert into DOC_HEADS (GUID, DOC_STATE, CLI_NAME) values "
                            "('D-1', 1, 'Иванов')\">"}));
    MakeReadOnly(Usr(), true);
    const std::set<std::string> before = Tree(Usr());
    const fs::path err = m_home / "err.txt";

    EXPECT_EQ(Run(cli, "import '" + office.string() + "'", "", err).status, 0)
        << test::ReadFile(err);
    EXPECT_TRUE(fs::is_regular_file(UserFolder() / "data" / "base.sdb"));
    // A second run finds the same database: the imported order is exported.
    fs::create_directories(m_home / "out");
    EXPECT_EQ(Run(cli, "export '" + (m_home / "out").string() + "'", "", err).status, 0)
        << test::ReadFile(err);
    EXPECT_NE(test::ReadFile(m_home / "out" / "PDATo1C.xml").find("D-1"), std::string::npos);

    // XDG_DATA_HOME, when set, is the user's data folder; --home wins over both.
    const fs::path xdg = m_home / "xdg";
    EXPECT_EQ(Run(cli, "export '" + (m_home / "out").string() + "'", xdg.string()).status, 0);
    EXPECT_TRUE(fs::is_regular_file(xdg / "vendrix" / "data" / "base.sdb"));
    const fs::path own = m_home / "own";
    fs::create_directories(own);
    EXPECT_EQ(
        Run(cli, "--home '" + own.string() + "' export '" + (m_home / "out").string() + "'").status,
        0);
    EXPECT_TRUE(fs::is_regular_file(own / "data" / "base.sdb"));

    // A pack large enough to spill to a temporary file spills into the user's folder.
    const fs::path big = m_home / "big.bin";
    std::string bytes(6 << 20, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>((i * 2654435761u) >> 11);
    test::WriteFile(big, bytes);
    EXPECT_EQ(
        Run(cli, "pack '" + big.string() + "' '" + (m_home / "big.zip").string() + "'", "", err)
            .status,
        0)
        << test::ReadFile(err);

    EXPECT_EQ(Tree(Usr()), before) << "nothing written beside the installed program";
    MakeReadOnly(Usr(), false);
}

TEST_F(InstallTest, InstalledProgramStartsWithItsDatabaseInTheUserFolder)
{
    MakeReadOnly(Usr(), true);
    const std::set<std::string> before = Tree(Usr());
    const fs::path runtime = m_home / "runtime";
    fs::create_directories(runtime);
    fs::permissions(runtime, fs::perms::owner_all);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("XDG_DATA_HOME");
    env.insert("HOME", QString::fromStdString(m_home.string()));
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("TMPDIR", QString::fromStdString(runtime.string()));
    env.insert("XDG_RUNTIME_DIR", QString::fromStdString(runtime.string()));
    const fs::path db = UserFolder() / "data" / "base.sdb";

    // The window is up, past the storage start, once its single-instance channel shows in the
    // temporary folder; a killed copy leaves it behind, so each run starts without one.
    const auto channelOpen = [&] {
        for (const auto& e : fs::directory_iterator(runtime))
            if (e.is_socket())
                return true;
        return false;
    };
    for (int run = 1; run <= 2; ++run) {
        for (const auto& e : fs::directory_iterator(runtime))
            fs::remove_all(e.path());
        QProcess program;
        program.setProcessEnvironment(env);
        program.start(QString::fromStdString((Usr() / "bin" / "vendrix").string()), {});
        ASSERT_TRUE(program.waitForStarted(5000));
        EXPECT_TRUE(Poll(channelOpen, 20000)) << "run " << run;
        EXPECT_EQ(program.state(), QProcess::Running) << "run " << run;
        program.kill();
        program.waitForFinished(5000);
        if (run == 1) {
            // Marks the first run's database, which the second must keep using.
            EXPECT_TRUE(fs::is_regular_file(db));
            test::RunProcess("sqlite3 '" + db.string() + "' \"insert into MY_OPTIONS values "
                + "('AgentName', 'Петров', NULL)\"");
        }
    }
    EXPECT_EQ(test::RunProcess("sqlite3 '" + db.string()
                  + "' \"select OPT_VAL from MY_OPTIONS where OPT_NAME = 'AgentName'\"")
                  .out,
        "Петров\n");
    int databases = 0;
    for (const fs::path& root : {m_home, s_root->Path() / "dest"})
        for (const auto& e : fs::recursive_directory_iterator(root))
            databases += e.path().filename() == "base.sdb";
    EXPECT_EQ(databases, 1) << "both runs opened the one in the user's folder";
    EXPECT_EQ(Tree(Usr()), before) << "nothing written beside the installed program";
    MakeReadOnly(Usr(), false);
}

// A copy in a folder of its own keeps its data beside itself, whoever runs it; a copy in a
// folder it cannot write falls back to the user's folder (only a user other than root can
// show that: root writes anywhere).
TEST_F(InstallTest, PortableCopyKeepsItsDataBesideItself)
{
    const fs::path portable = m_home / "stick" / "agent";
    fs::create_directories(portable);
    fs::copy_file(Usr() / "bin" / "vendrix-cli", portable / "vendrix-cli");
    fs::create_directories(m_home / "out");
    const std::string exportArgs = "export '" + (m_home / "out").string() + "'";
    EXPECT_EQ(Run(portable / "vendrix-cli", exportArgs).status, 0);
    EXPECT_TRUE(fs::is_regular_file(portable / "data" / "base.sdb"));
    EXPECT_FALSE(fs::exists(UserFolder()));

    if (geteuid() == 0)
        return;
    const fs::path locked = m_home / "locked";
    fs::create_directories(locked);
    fs::copy_file(Usr() / "bin" / "vendrix-cli", locked / "vendrix-cli");
    MakeReadOnly(locked, true);
    EXPECT_EQ(Run(locked / "vendrix-cli", exportArgs).status, 0);
    EXPECT_FALSE(fs::exists(locked / "data"));
    EXPECT_TRUE(fs::is_regular_file(UserFolder() / "data" / "base.sdb"));
    MakeReadOnly(locked, false);
}

} // namespace
} // namespace vendrix
