// Platform stand-ins over QtCore and POSIX.
#include "platform/platform.h"

#include "platform/utf8.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QString>
#include <QSysInfo>
#include <QUuid>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace vendrix::platform {

std::filesystem::path RunningProgramFolder()
{
    std::error_code ec;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec)
        return {};
    return exe.parent_path();
}

std::filesystem::path UserDataFolder()
{
    // The base directory rules: a relative XDG_DATA_HOME is invalid and is ignored.
    const char* xdg = std::getenv("XDG_DATA_HOME");
    if (xdg && xdg[0] == '/')
        return std::filesystem::path(xdg) / "vendrix";
    const char* home = std::getenv("HOME");
    if (!home || home[0] != '/')
        return {};
    return std::filesystem::path(home) / ".local" / "share" / "vendrix";
}

bool IsPortableFolder(const std::filesystem::path& folder)
{
    if (folder.empty() || access(folder.c_str(), W_OK | X_OK) != 0)
        return false;
    // The super-user may write anywhere, so write access alone would put an installed
    // program's database into /usr/bin; the desktop entry beside an installed program says
    // that it was installed, and so never holds data.
    std::error_code ec;
    const std::filesystem::path entry
        = folder.parent_path() / "share" / "applications" / (std::string(kDesktopId) + ".desktop");
    return !(folder.filename() == "bin" && std::filesystem::exists(entry, ec));
}

std::filesystem::path WorkingProgramFolder()
{
    std::filesystem::path own = RunningProgramFolder();
    if (IsPortableFolder(own))
        return own;
    std::filesystem::path user = UserDataFolder();
    if (user.empty())
        return own;
    std::error_code ec;
    std::filesystem::create_directories(user, ec);
    return user;
}

bool DeviceUniqueId(
    const std::vector<std::uint8_t>& applicationData, std::vector<std::uint8_t>& out)
{
    const QByteArray machine = QSysInfo::machineUniqueId();
    if (machine.isEmpty())
        return false;
    // Mixing in the application data, as the handheld does, keeps the identifier private to
    // this program: another program asking with other data gets another identifier.
    QCryptographicHash hash(QCryptographicHash::Sha1);
    hash.addData(machine);
    hash.addData(QByteArrayView(reinterpret_cast<const char*>(applicationData.data()),
        static_cast<qsizetype>(applicationData.size())));
    const QByteArray digest = hash.result();
    out.assign(digest.begin(), digest.end());
    return out.size() == 20;
}

std::string NewGuid()
{
    const QUuid id = QUuid::createUuid();
    if (id.isNull())
        return {};
    return id.toString(QUuid::WithoutBraces).toUpper().toStdString();
}

std::string DocumentsFolder()
{
    const QString path = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (path.isEmpty())
        return {};
    if (!QDir().mkpath(path))
        return {};
    return QDir::toNativeSeparators(path).toStdString();
}

namespace {

TLocalTime FromTimeT(std::time_t t, int millisecond)
{
    std::tm tm {};
    localtime_r(&t, &tm);
    return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec,
        millisecond};
}

} // namespace

TLocalTime LocalNow()
{
    const auto now = std::chrono::system_clock::now();
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch());
    return FromTimeT(
        std::chrono::system_clock::to_time_t(now), static_cast<int>(ms.count() % 1000));
}

bool FileLocalTime(const std::filesystem::path& file, TLocalTime& out)
{
    struct stat st { };
    if (::stat(file.c_str(), &st) != 0)
        return false;
    out = FromTimeT(st.st_mtime, 0);
    return true;
}

namespace {

// Broken bytes are left as they read: they then match only the same broken bytes.
char32_t Fold(char32_t c)
{
    if (IsBrokenUtf8(c))
        return c;
    if (c < 0x80)
        return c >= 'A' && c <= 'Z' ? c + 32 : c;
    return QChar::toCaseFolded(c);
}

} // namespace

TPrefixMatcher::TPrefixMatcher(std::string_view prefix)
{
    std::size_t at = 0;
    while (at < prefix.size())
        m_folded.push_back(Fold(NextCodePoint(prefix, at)));
}

bool TPrefixMatcher::Matches(std::string_view text) const
{
    std::size_t at = 0;
    for (char32_t wanted : m_folded) {
        if (at >= text.size())
            return false; // a text shorter than the prefix does not match
        if (Fold(NextCodePoint(text, at)) != wanted)
            return false;
    }
    return true;
}

bool StartsWithIgnoreCase(std::string_view text, std::string_view prefix)
{
    return TPrefixMatcher(prefix).Matches(text);
}

} // namespace vendrix::platform
