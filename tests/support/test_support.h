// Shared ground for the core tests: a temporary program folder with its own data/base.sdb, a
// scripted user interface that records what the agent would see, the office's answer scripts
// as the office writes them, dates, and small file and process helpers.
#pragma once

#include "storage/ui_seam.h"
#include "storage/value_formats.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace vendrix::test {

/// A fresh private folder (0700) in the system's temporary folder, named `prefix`-XXXXXX,
/// removed with everything in it when the object goes. Path() is empty when it could not be
/// made.
class TTemporaryFolder {
public:
    explicit TTemporaryFolder(const std::string& prefix = "vendrix");
    ~TTemporaryFolder();
    TTemporaryFolder(const TTemporaryFolder&) = delete;
    TTemporaryFolder& operator=(const TTemporaryFolder&) = delete;

    const std::filesystem::path& Path() const { return m_path; }

private:
    std::filesystem::path m_path;
};

/// A fresh program folder in /tmp, removed afterwards. Installs a scripted user interface.
/// Throws when the folder cannot be made.
class TProgramFolder {
public:
    TProgramFolder();
    ~TProgramFolder();
    TProgramFolder(const TProgramFolder&) = delete;
    TProgramFolder& operator=(const TProgramFolder&) = delete;

    const std::filesystem::path& Path() const { return m_folder.Path(); }
    std::filesystem::path Db() const { return Path() / "data" / "base.sdb"; }
    /// Runs the storage start-up on this folder, as the program does when it starts.
    bool Start();

    TScriptedUserInterface ui;

private:
    TTemporaryFolder m_folder;
    TUserInterfaceGuard m_guard;
};

/// Test fixture with a started program folder (new database, schema, defaults).
class StartedFolderTest : public ::testing::Test {
protected:
    void SetUp() override;
    TProgramFolder folder;
};

/// The formats of the office's answer the device reads: version 2 (the script alone) and
/// version 3 (the script and its reference script ToPDA.sql).
enum class TAnswerVersion { V2, V3 };

/// The first line of an office answer of `version`, without its line end.
std::string AnswerHeader(TAnswerVersion version = TAnswerVersion::V2);
/// An office answer script as the office writes it: the header line of `version`, then
/// `lines`, every line ended by CR LF. The text stays UTF-8; WriteOfficeScript stores it.
std::string OfficeScript(
    const std::vector<std::string>& lines = {}, TAnswerVersion version = TAnswerVersion::V2);
/// Writes `script` (UTF-8) into `folder`/ToPDA.sqd in windows-1251, as the office sends it,
/// making the folder when it is missing; returns the file's path.
std::filesystem::path WriteOfficeScript(
    const std::filesystem::path& folder, const std::string& script);

/// A whole-day date value; 0 when there is no such day.
TDate Day(int year, int month, int day);

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
