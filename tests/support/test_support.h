// Shared ground for the core tests: a temporary program folder with its own data/base.sdb, a
// scripted user interface that records what the agent would see, and small file helpers.
#pragma once

#include "storage/ui_seam.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace vendrix::test {

/// A fresh program folder in /tmp, removed afterwards. Installs a scripted user interface.
class TProgramFolder {
public:
    TProgramFolder();
    ~TProgramFolder();
    TProgramFolder(const TProgramFolder&) = delete;
    TProgramFolder& operator=(const TProgramFolder&) = delete;

    const std::filesystem::path& Path() const { return m_path; }
    std::filesystem::path Db() const { return m_path / "data" / "base.sdb"; }
    /// Runs the storage start-up on this folder, as the program does when it starts.
    bool Start();

    TScriptedUserInterface ui;

private:
    std::filesystem::path m_path;
    TUserInterfaceGuard m_guard;
};

/// Test fixture with a started program folder (new database, schema, defaults).
class StartedFolderTest : public ::testing::Test {
protected:
    void SetUp() override;
    TProgramFolder folder;
};

std::string ReadFile(const std::filesystem::path& path);
void WriteFile(const std::filesystem::path& path, const std::string& bytes);
/// Path of a file in tests/fixtures.
std::filesystem::path Fixture(const std::string& name);
/// One column of every row of `sql` run through the access layer; fails the test on error.
std::vector<std::string> Column(const std::string& sql, int column = 0);
/// The single value of `sql`; empty when there is no row.
std::string Value(const std::string& sql);
struct TProcessResult {
    int status; // the exit status; -1 when the process did not end normally
    std::string out;
};
/// Runs a shell command, collecting its standard output; standard error goes to `errFile`.
TProcessResult RunProcess(
    const std::string& command, const std::filesystem::path& errFile = "/dev/null");

/// Runs `sql` through the access layer, failing the test when it fails.
void Exec(const std::string& sql);

} // namespace vendrix::test
