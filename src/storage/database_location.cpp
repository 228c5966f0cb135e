// The database location, kept for the program's run, and the privacy of the data folder and the
// database file, which hold the FTP password and the clients.
#include "storage/database_location.h"

#include "storage/ui_seam.h"

#include <system_error>

namespace vendrix {

namespace {

std::filesystem::path g_dbPath;
bool g_isNewDatabase = false;

} // namespace

bool InitDatabaseLocation(const std::filesystem::path& programFolder)
{
    namespace fs = std::filesystem;
    const fs::path data = programFolder / "data";
    g_dbPath = data / "base.sdb";
    std::error_code ec;
    if (!fs::is_directory(data, ec)) {
        ec.clear();
        fs::create_directory(data, ec);
        if (ec || !fs::is_directory(data)) {
            UI().Message("Не удалось создать папку данных:\r\n" + data.string(), TIcon::Error);
            g_isNewDatabase = !fs::exists(g_dbPath, ec);
            return false;
        }
    }
    // The data are the agent's alone, whatever the umask: the database holds the FTP password
    // and the clients. A folder or file of another owner is left as it is.
    fs::permissions(data, fs::perms::owner_all, ec);
    g_isNewDatabase = !fs::exists(g_dbPath, ec);
    if (!g_isNewDatabase)
        fs::permissions(g_dbPath, fs::perms::owner_read | fs::perms::owner_write, ec);
    return true;
}

const std::filesystem::path& DbPath()
{
    return g_dbPath;
}

bool IsNewDatabase()
{
    return g_isNewDatabase;
}

} // namespace vendrix
