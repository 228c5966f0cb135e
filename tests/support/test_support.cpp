// Test ground shared by the core test programs.
#include "support/test_support.h"

#include "documents/reference_lists.h"
#include "shell/startup.h"
#include "storage/sql_query.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <sys/wait.h>

namespace vendrix::test {

namespace {

std::filesystem::path MakeTempFolder()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "vendrix-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("cannot make a temporary folder");
    return pattern;
}

} // namespace

TProgramFolder::TProgramFolder()
    : m_path(MakeTempFolder())
    , m_guard(&ui)
{
}

TProgramFolder::~TProgramFolder()
{
    FreeReferenceLists();
    std::error_code ec;
    std::filesystem::permissions(
        m_path, std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(m_path, ec);
}

bool TProgramFolder::Start()
{
    return StartStorage(m_path);
}

void StartedFolderTest::SetUp()
{
    ASSERT_TRUE(folder.Start());
    ASSERT_TRUE(folder.ui.shown.empty()) << folder.ui.shown.front().text;
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
