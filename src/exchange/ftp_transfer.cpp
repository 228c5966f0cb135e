// The transfer of one exchange file over FTP with libcurl. One easy handle serves the three
// steps of a transfer (log in, change to the remote folder, move the file), so that each step
// can be logged on its own while the server sees one session. Texts on the wire are
// windows-1251, as the office's servers have always received them from the devices.
#include "exchange/ftp_transfer.h"

#include "exchange/exchange_log.h"
#include "exchange/export_file.h"
#include "exchange/import_script.h"
#include "storage/codepage.h"
#include "storage/options.h"
#include "storage/ui_seam.h"
#include "storage/value_formats.h"

#include <curl/curl.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <system_error>

namespace vendrix {

namespace {

TFtpTimeLimits g_limits;

struct TCurlCloser {
    void operator()(CURL* c) const { curl_easy_cleanup(c); }
};
using TCurl = std::unique_ptr<CURL, TCurlCloser>;

struct TFileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using TFile = std::unique_ptr<std::FILE, TFileCloser>;

struct TCurlTextFree {
    void operator()(char* p) const { curl_free(p); }
};

// libcurl is started once for the process; when that fails the device has no internet.
bool InternetAvailable()
{
    static const bool started = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
    return started;
}

bool IsHostChar(unsigned char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.'
        || c == '-' || c == '_' || c >= 0x80;
}

bool IsIpv6Char(unsigned char c)
{
    return (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F') || (c >= '0' && c <= '9') || c == ':'
        || c == '.';
}

// "ftp://host:port/" for the server text; empty when the text is no host name or address, so
// that whatever the agent typed can never reshape the address (a user part, a path).
std::string ServerUrl(const std::string& server, int port)
{
    if (server.empty() || port < 1 || port > 65535)
        return {};
    std::string host = server;
    if (host.front() == '[' && host.back() == ']' && host.size() > 2)
        host = host.substr(1, host.size() - 2);
    bool ipv6 = host.find(':') != std::string::npos;
    for (const char c : host) {
        if (ipv6 ? !IsIpv6Char(static_cast<unsigned char>(c))
                 : !IsHostChar(static_cast<unsigned char>(c)))
            return {};
    }
    if (ipv6)
        host = "[" + host + "]";
    return "ftp://" + host + ":" + std::to_string(port) + "/";
}

std::string Escape(CURL* curl, const std::string& bytes)
{
    std::unique_ptr<char, TCurlTextFree> escaped(
        curl_easy_escape(curl, bytes.data(), static_cast<int>(bytes.size())));
    return escaped ? std::string(escaped.get()) : std::string();
}

// The remote folder as a URL path ending in "/". A leading "/" names the server's root rather
// than the login folder, as a folder change on the server does.
std::string FolderPath(CURL* curl, const std::string& folder)
{
    const std::string bytes = Utf8ToCp1251(folder);
    std::string path = !bytes.empty() && bytes.front() == '/' ? "%2F/" : "";
    std::size_t start = 0;
    while (start <= bytes.size()) {
        std::size_t slash = bytes.find('/', start);
        if (slash == std::string::npos)
            slash = bytes.size();
        if (slash > start)
            path += Escape(curl, bytes.substr(start, slash - start)) + "/";
        start = slash + 1;
    }
    return path;
}

bool HasLineBreak(const std::string& text)
{
    return text.find_first_of("\r\n") != std::string::npos;
}

// Lets the screen repaint while libcurl waits for the server, a few times a second.
int PumpEvents(void* last, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    auto& previous = *static_cast<std::chrono::steady_clock::time_point*>(last);
    const auto now = std::chrono::steady_clock::now();
    if (now - previous >= std::chrono::milliseconds(50)) {
        previous = now;
        UI().ProcessEvents();
    }
    return 0;
}

std::size_t Discard(char*, std::size_t size, std::size_t count, void*)
{
    return size * count;
}

std::size_t WriteToFile(char* data, std::size_t size, std::size_t count, void* file)
{
    return std::fwrite(data, size, count, static_cast<std::FILE*>(file)) * size;
}

std::size_t ReadFromFile(char* data, std::size_t size, std::size_t count, void* file)
{
    auto* f = static_cast<std::FILE*>(file);
    const std::size_t n = std::fread(data, size, count, f);
    if (n == 0 && std::ferror(f))
        return CURL_READFUNC_ABORT; // a file that cannot be read must not arrive cut short
    return n;
}

// Asks the server for `url` without moving any file: logs in, or changes to a folder.
bool Visit(CURL* curl, const std::string& url)
{
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_NOBODY, 1L);
    curl_easy_setopt(curl, CURLOPT_UPLOAD, 0L);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, Discard);
    return curl_easy_perform(curl) == CURLE_OK;
}

bool Store(CURL* curl, const std::string& url, const std::filesystem::path& localPath)
{
    std::error_code ec;
    const auto size = std::filesystem::file_size(localPath, ec);
    TFile file(ec ? nullptr : std::fopen(localPath.c_str(), "rb"));
    if (!file)
        return false;
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_NOBODY, 0L);
    curl_easy_setopt(curl, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(curl, CURLOPT_READFUNCTION, ReadFromFile);
    curl_easy_setopt(curl, CURLOPT_READDATA, file.get());
    curl_easy_setopt(curl, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(size));
    return curl_easy_perform(curl) == CURLE_OK;
}

// Fetches into a name beside the target and puts it in place only when complete, so that a
// broken connection never leaves half a script where the last good one was.
bool Fetch(CURL* curl, const std::string& url, const std::filesystem::path& localPath)
{
    std::filesystem::path partial = localPath;
    partial += ".part";
    TFile file(std::fopen(partial.c_str(), "wb"));
    if (!file)
        return false;
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_NOBODY, 0L);
    curl_easy_setopt(curl, CURLOPT_UPLOAD, 0L);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, WriteToFile);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, file.get());
    bool ok = curl_easy_perform(curl) == CURLE_OK;
    ok = std::fflush(file.get()) == 0 && ok;
    ok = std::fclose(file.release()) == 0 && ok;
    std::error_code ec;
    if (ok) {
        std::filesystem::rename(partial, localPath, ec);
        ok = !ec;
    }
    if (!ok)
        std::filesystem::remove(partial, ec);
    return ok;
}

} // namespace

void SetFtpTimeLimits(const TFtpTimeLimits& limits)
{
    g_limits = limits;
}

TFtpTimeLimits FtpTimeLimits()
{
    return g_limits;
}

TExchangeSettings ReadExchangeSettings()
{
    TExchangeSettings s;
    s.useZip = GetOption(nullptr, "UseZip") == "1";
    s.useFtp = GetOption(nullptr, "UseFTP") == "1";
    s.ftpAuth = GetOption(nullptr, "FTPAuth") == "1";
    s.automatic = s.useFtp && GetOption(nullptr, "FTPAuto") == "1";
    s.ftp.server = GetOption(nullptr, "FTPAddress");
    s.ftp.folder = Trim(GetOption(nullptr, "FTPPath"));
    if (s.ftpAuth) {
        s.ftp.user = GetOption(nullptr, "FTPLogin");
        s.ftp.password = GetOption(nullptr, "FTPPassword");
    } else {
        s.ftp.user = kAnonymousUser;
        s.ftp.password = kAnonymousPassword;
    }
    // A number that is no port at all would otherwise be cut to 16 bits and reach some other
    // port than the log shows; it counts as not given, like an empty field.
    const int port = TextToInt(GetOption(nullptr, "FTPPort"), 0);
    s.ftp.port = port >= 1 && port <= 65535 ? port : kDefaultFtpPort;
    return s;
}

std::filesystem::path ExchangeFolder()
{
    return ProgramFolder() / "exchange";
}

bool Transfer(TExchangeSink& sink, TFtpDirection direction, const TFtpSettings& settings,
    const std::filesystem::path& localPath)
{
    const bool get = direction == TFtpDirection::Get;
    const std::string word = get ? "Загрузка " : "Отправка";

    TCurl curl(InternetAvailable() ? curl_easy_init() : nullptr);
    if (!curl) {
        sink.Log("Функции интернета недоступны.");
        return false;
    }
    sink.Log("Try connect to " + settings.server + " : " + std::to_string(settings.port));
    sink.Log("  (Username=" + settings.user
        + "; Password=" + std::string(Utf8Length(settings.password), '*') + ")");
    UI().ProcessEvents();

    const std::string user = Utf8ToCp1251(settings.user);
    const std::string password = Utf8ToCp1251(settings.password);
    CURL* c = curl.get();
    auto last = std::chrono::steady_clock::now();
    curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "ftp");
    curl_easy_setopt(c, CURLOPT_USERNAME, user.c_str());
    curl_easy_setopt(c, CURLOPT_PASSWORD, password.c_str());
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT, g_limits.connectSeconds);
    curl_easy_setopt(c, CURLOPT_SERVER_RESPONSE_TIMEOUT, g_limits.connectSeconds);
    curl_easy_setopt(c, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(c, CURLOPT_LOW_SPEED_TIME, g_limits.stallSeconds);
    curl_easy_setopt(c, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(c, CURLOPT_XFERINFOFUNCTION, PumpEvents);
    curl_easy_setopt(c, CURLOPT_XFERINFODATA, &last);

    // A line break in the login would let it smuggle commands to the server.
    const std::string root = ServerUrl(settings.server, settings.port);
    if (root.empty() || HasLineBreak(user) || HasLineBreak(password) || !Visit(c, root)) {
        sink.Log("Не удалось соединиться с сервером.");
        return false;
    }
    sink.Log("Соединение установлено.");
    UI().ProcessEvents();

    const std::string folder = root + FolderPath(c, settings.folder);
    bool ok = false;
    if (!settings.folder.empty() && !Visit(c, folder)) {
        sink.Log("Сменить путь не удалось.");
    } else {
        sink.Log(word + " файла.");
        UI().ProcessEvents();
        const std::string url = folder + Escape(c, Utf8ToCp1251(localPath.filename().string()));
        ok = get ? Fetch(c, url, localPath) : Store(c, url, localPath);
    }
    curl.reset();
    sink.Log(ok ? word + " завершена." : (get ? "Файл не найден." : "Сбой связи."));
    return ok;
}

bool Upload(TExchangeSink& sink, const TExchangeSettings& settings)
{
    if (!settings.FtpEnabled())
        return false;
    const std::filesystem::path folder = ExchangeFolder();
    if (!Export(sink, folder.string(), settings.useZip))
        return false;
    return Transfer(sink, TFtpDirection::Put, settings.ftp,
        folder / (settings.useZip ? kExportZipName : kExportXmlName));
}

bool Download(TExchangeSink& sink, const TExchangeSettings& settings, bool* imported)
{
    if (imported)
        *imported = false;
    if (!settings.FtpEnabled())
        return false;
    const std::filesystem::path folder = ExchangeFolder();
    if (!Transfer(sink, TFtpDirection::Get, settings.ftp,
            folder / (settings.useZip ? kImportZipName : kImportScriptName)))
        return false;
    // The file has arrived; what the office's script then does is the import's to report.
    const bool ran = Import(sink, folder.string(), settings.useZip);
    if (imported)
        *imported = ran;
    return true;
}

} // namespace vendrix
