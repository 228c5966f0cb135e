// Test ground shared by the core test programs.
#include "support/test_support.h"

#include "documents/reference_lists.h"
#include "shell/startup.h"
#include "storage/codepage.h"
#include "storage/sql_query.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <sys/wait.h>

namespace vendrix::test {

namespace fs = std::filesystem;

TTemporaryFolder::TTemporaryFolder(const std::string& prefix)
{
    std::string pattern = (fs::temp_directory_path() / prefix).string() + "-XXXXXX";
    if (mkdtemp(pattern.data()))
        m_path = pattern;
}

TTemporaryFolder::~TTemporaryFolder()
{
    if (m_path.empty())
        return;
    // A test may have taken the folder's rights away to see a write fail.
    std::error_code ec;
    fs::permissions(m_path, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(m_path, ec);
}

TProgramFolder::TProgramFolder()
    : m_guard(&ui)
{
    if (m_folder.Path().empty())
        throw std::runtime_error("cannot make a temporary folder");
}

TProgramFolder::~TProgramFolder()
{
    FreeReferenceLists();
}

bool TProgramFolder::Start()
{
    return StartStorage(Path());
}

void StartedFolderTest::SetUp()
{
    ASSERT_TRUE(folder.Start());
    ASSERT_TRUE(folder.ui.shown.empty()) << folder.ui.shown.front().text;
}

std::string AnswerHeader(TAnswerVersion version)
{
    return version == TAnswerVersion::V2 ? "Z_AGENT RESPONSE 0002-0000-0000-0002"
                                         : "Z_AGENT RESPONSE 0003-0000-0000-0001";
}

std::string OfficeScript(const std::vector<std::string>& lines, TAnswerVersion version)
{
    std::string text = AnswerHeader(version) + "\r\n";
    for (const std::string& line : lines)
        text += line + "\r\n";
    return text;
}

fs::path WriteOfficeScript(const fs::path& folder, const std::string& script)
{
    fs::create_directories(folder);
    fs::path file = folder / "ToPDA.sqd";
    WriteFile(file, Utf8ToCp1251(script));
    return file;
}

TDate Day(int year, int month, int day)
{
    TDate d = 0;
    EncodeDate(year, month, day, d);
    return d;
}

std::string ReadFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void WriteFile(const std::filesystem::path& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

std::filesystem::path Fixture(const std::string& name)
{
    return std::filesystem::path(VENDRIX_FIXTURES) / name;
}

std::vector<std::string> Column(const std::string& sql, int column)
{
    std::vector<std::string> out;
    auto q = RunQuery(sql);
    EXPECT_TRUE(q) << sql;
    if (!q)
        return out;
    for (int r = 0; r < q->RowCount(); ++r) {
        q->GoToRow(r);
        out.push_back(q->Field(column));
    }
    return out;
}

std::string Value(const std::string& sql)
{
    const auto values = Column(sql);
    return values.empty() ? std::string() : values.front();
}

TProcessResult RunProcess(const std::string& command, const std::filesystem::path& errFile)
{
    TProcessResult r {-1, {}};
    FILE* p = popen((command + " 2>'" + errFile.string() + "'").c_str(), "r");
    if (!p)
        return r;
    char buf[4096];
    std::size_t n = 0;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0)
        r.out.append(buf, n);
    const int raw = pclose(p);
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return r;
}

void Exec(const std::string& sql)
{
    EXPECT_TRUE(RunStatement(sql)) << sql;
}

} // namespace vendrix::test
