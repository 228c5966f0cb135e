// The transfer of one exchange file over FTP with libcurl. One easy handle serves the three
// steps of a transfer (log in, change to the remote folder, move the file), so that each step
// can be logged on its own while the server sees one session. Texts on the wire are
// windows-1251, as the office's servers have always received them from the devices. A file only
// ever appears complete under its name: a download through a temporary local file, an upload
// through a temporary remote name renamed at the end, so that the office's program never takes
// half an export. Time and size limits keep a bad line or a bad server from holding the device.
// A server spelt with "ftpes://" or "ftps://" is reached over TLS with its certificate checked;
// a line that cannot be protected is refused, never quietly used in the clear.
#include "exchange/ftp_transfer.h"

#include "exchange/exchange_log.h"
#include "exchange/export_file.h"
#include "exchange/import_script.h"
#include "platform/atomic_file.h"
#include "storage/codepage.h"
#include "storage/database_location.h"
#include "storage/options.h"
#include "storage/sql_query.h"
#include "storage/ui_seam.h"
#include "storage/value_formats.h"

#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
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

struct TCurlListFree {
    void operator()(curl_slist* l) const { curl_slist_free_all(l); }
};
using TCurlList = std::unique_ptr<curl_slist, TCurlListFree>;

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

// How the line to the server is protected: "ftpes://" asks for TLS on the plain port with
// AUTH TLS, "ftps://" speaks TLS from the first byte; the spellings FileZilla and most FTP
// clients use, so an office administrator already knows them.
enum class TSecurity { Plain, Explicit, Implicit };

// The server text split into its protection and the host name or address it names.
struct TServerText {
    TSecurity security = TSecurity::Plain;
    std::string host;
};

TServerText ParseServer(const std::string& server)
{
    static const struct {
        const char* scheme;
        TSecurity security;
    } schemes[] = {{"ftpes://", TSecurity::Explicit}, {"ftps://", TSecurity::Implicit}};
    for (const auto& s : schemes) {
        const std::size_t n = std::char_traits<char>::length(s.scheme);
        bool same = server.size() >= n;
        for (std::size_t i = 0; same && i < n; ++i)
            same = std::tolower(static_cast<unsigned char>(server[i])) == s.scheme[i];
        if (!same)
            continue;
        std::string host = server.substr(n);
        if (!host.empty() && host.back() == '/')
            host.pop_back(); // "ftps://host/", as a browser would show it
        return {s.security, host};
    }
    return {TSecurity::Plain, server};
}

// "ftp://host:port/" (or "ftps://" for implicit TLS) for the server text; empty when the text is
// no host name or address, so that whatever the agent typed can never reshape the address (a
// user part, a path).
std::string ServerUrl(const TServerText& server, int port)
{
    if (server.host.empty() || port < 1 || port > 65535)
        return {};
    std::string host = server.host;
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
    const char* scheme = server.security == TSecurity::Implicit ? "ftps://" : "ftp://";
    return scheme + host + ":" + std::to_string(port) + "/";
}

// The whole content of a file; empty when it cannot be read.
std::string ReadWhole(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Asks for TLS on the control and the data connections, with the server's certificate checked
// for its issuer and its host name. The office's own CA, when its file lies in the data folder,
// is trusted beside the system's store, not instead of it: a CA file given to libcurl replaces
// its default bundle, so the office's file is appended to that bundle in memory (the system's
// certificate folder stays in use as well), and the device never writes a bundle of its own.
void ProtectLine(CURL* curl)
{
    curl_easy_setopt(curl, CURLOPT_USE_SSL, static_cast<long>(CURLUSESSL_ALL));
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L);
    const std::filesystem::path office = DbPath().parent_path() / kOfficeCaName;
    std::error_code ec;
    if (!std::filesystem::is_regular_file(office, ec))
        return;
    std::string bundle;
    char* system = nullptr;
    if (curl_easy_getinfo(curl, CURLINFO_CAINFO, &system) == CURLE_OK && system)
        bundle = ReadWhole(system) + "\n";
    bundle += ReadWhole(office);
    curl_blob blob {bundle.data(), bundle.size(), CURL_BLOB_COPY};
    curl_easy_setopt(curl, CURLOPT_CAINFO_BLOB, &blob);
}

// Why a protected line could not be opened, in the agent's words; null when the cause is no
// matter of TLS (a dead line, a refused login), which the connect failure alone reports.
const char* TlsFailure(CURL* curl, CURLcode rc)
{
    switch (rc) {
    case CURLE_PEER_FAILED_VERIFICATION: {
        // OpenSSL checks the chain during the handshake and leaves its reason (2 and up);
        // libcurl checks the host name afterwards and leaves none (0 or 1), unless OpenSSL did
        // that check itself (62, X509_V_ERR_HOSTNAME_MISMATCH).
        constexpr long kHostNameMismatch = 62;
        long chain = 0;
        curl_easy_getinfo(curl, CURLINFO_SSL_VERIFYRESULT, &chain);
        return chain >= 2 && chain != kHostNameMismatch
            ? "Сертификат сервера не прошёл проверку."
            : "Сертификат сервера выдан для другого адреса.";
    }
    case CURLE_USE_SSL_FAILED:
        return "Сервер не поддерживает защищённое соединение.";
    case CURLE_SSL_CONNECT_ERROR:
        return "Не удалось установить защищённое соединение.";
    case CURLE_SSL_CACERT_BADFILE:
        return "Не удалось прочитать сертификаты для проверки сервера.";
    default:
        return nullptr;
    }
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

// How the move of one file ended, as the log tells the agent.
enum class TOutcome {
    Done,
    Missing, // the file is not there to fetch, or the line broke
    Failed, // too slow, too large, stalled, refused, or the device could not store it
    Unwritable, // the device could not begin the local file, so the file was never asked for
};

// What the progress callback keeps between its calls.
struct TProgress {
    TExchangeSink* sink = nullptr; // told of the bytes moved
    std::chrono::steady_clock::time_point lastPump;
    std::chrono::steady_clock::time_point lastMove; // when the byte count last grew
    curl_off_t moved = 0;
    bool watchStall = false; // only while a file moves; waiting for an answer has its own limit
    bool stalled = false;

    // Called before each file is moved.
    void Start()
    {
        lastMove = std::chrono::steady_clock::now();
        moved = 0;
        watchStall = true;
        stalled = false;
    }
};

// Lets the screen repaint while libcurl waits for the server, a few times a second, and ends a
// transfer that has moved nothing for the stall limit.
int OnProgress(
    void* data, curl_off_t dltotal, curl_off_t dlnow, curl_off_t ultotal, curl_off_t ulnow)
{
    auto& p = *static_cast<TProgress*>(data);
    const auto now = std::chrono::steady_clock::now();
    // Once the last byte is out, only the server's closing answer is awaited, under its own
    // limit: a slow line may still be carrying the data the device has already handed over.
    const curl_off_t total = dltotal + ultotal;
    const bool pending = total == 0 || dlnow + ulnow < total;
    if (dlnow + ulnow != p.moved) {
        p.moved = dlnow + ulnow;
        p.lastMove = now;
        if (p.watchStall && p.sink)
            p.sink->TransferBytes(static_cast<std::uint64_t>(p.moved),
                static_cast<std::uint64_t>(std::max<curl_off_t>(total, 0)));
    } else if (p.watchStall && pending
        && now - p.lastMove >= std::chrono::seconds(g_limits.stallSeconds)) {
        p.stalled = true;
        return 1;
    }
    if (now - p.lastPump >= std::chrono::milliseconds(50)) {
        p.lastPump = now;
        UI().ProcessEvents();
    }
    return 0;
}

std::size_t Discard(char*, std::size_t size, std::size_t count, void*)
{
    return size * count;
}

// The local side of a download: where it goes and how much has arrived.
struct TDownload {
    std::FILE* file = nullptr;
    curl_off_t written = 0;
    bool tooLarge = false;
    bool writeFailed = false; // the disk is full or failing
};

std::size_t WriteToFile(char* data, std::size_t size, std::size_t count, void* target)
{
    auto& d = *static_cast<TDownload*>(target);
    const std::size_t n = size * count;
    // The server need not announce the size, so the cap is also counted here.
    if (d.written + static_cast<curl_off_t>(n) > g_limits.maxDownloadBytes) {
        d.tooLarge = true;
        return 0;
    }
    const std::size_t stored = std::fwrite(data, 1, n, d.file);
    d.written += static_cast<curl_off_t>(stored);
    if (stored != n)
        d.writeFailed = true;
    return stored;
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
CURLcode Visit(CURL* curl, const std::string& url)
{
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_NOBODY, 1L);
    curl_easy_setopt(curl, CURLOPT_UPLOAD, 0L);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, Discard);
    return curl_easy_perform(curl);
}

CURLcode Store(
    CURL* curl, const std::string& url, const std::filesystem::path& localPath, TProgress& progress)
{
    std::error_code ec;
    const auto size = std::filesystem::file_size(localPath, ec);
    TFile file(ec ? nullptr : std::fopen(localPath.c_str(), "rb"));
    if (!file)
        return CURLE_READ_ERROR;
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_NOBODY, 0L);
    curl_easy_setopt(curl, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(curl, CURLOPT_READFUNCTION, ReadFromFile);
    curl_easy_setopt(curl, CURLOPT_READDATA, file.get());
    curl_easy_setopt(curl, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(size));
    progress.Start();
    const CURLcode rc = curl_easy_perform(curl);
    progress.watchStall = false;
    return rc;
}

// Puts the file on the server under a temporary name and renames it onto `name` in the same
// session once the server has all of it, so the office's program never sees half an export. A
// server that refuses the temporary name or the rename gets the file directly instead, as
// before; the leftover temporary file is removed then when the server allows, and is in any
// case overwritten by the next upload.
TOutcome Send(TExchangeSink& sink, CURL* curl, const std::string& folderUrl,
    const std::string& name, const std::filesystem::path& localPath, TProgress& progress)
{
    const std::string temporary
        = Utf8ToCp1251(platform::TAtomicFile::TemporaryPathOf(name).string());
    if (HasLineBreak(temporary))
        return TOutcome::Failed; // the rename commands would carry it to the server as commands
    const std::string renameFrom = "RNFR " + temporary;
    const std::string renameTo = "RNTO " + Utf8ToCp1251(name);
    TCurlList rename(curl_slist_append(nullptr, renameFrom.c_str()));
    if (rename && curl_slist_append(rename.get(), renameTo.c_str()) == nullptr)
        rename.reset();
    if (!rename)
        return TOutcome::Failed;
    curl_easy_setopt(curl, CURLOPT_POSTQUOTE, rename.get());
    CURLcode rc = Store(curl, folderUrl + Escape(curl, temporary), localPath, progress);
    curl_easy_setopt(curl, CURLOPT_POSTQUOTE, nullptr);
    if (rc == CURLE_OK)
        return TOutcome::Done;
    // A refused rename also drops the connection; the next transfer logs in anew by itself.
    if (rc == CURLE_QUOTE_ERROR)
        sink.Log("Сервер не переименовал файл; отправка напрямую.");
    else if (rc == CURLE_UPLOAD_FAILED)
        sink.Log("Сервер не принял временный файл; отправка напрямую.");
    else
        return TOutcome::Failed;
    UI().ProcessEvents();

    // The leading "*" lets the upload succeed whether or not the server deletes the leftover.
    const std::string removeLeftover = "*DELE " + temporary;
    TCurlList cleanUp(curl_slist_append(nullptr, removeLeftover.c_str()));
    curl_easy_setopt(curl, CURLOPT_POSTQUOTE, cleanUp.get());
    rc = Store(curl, folderUrl + Escape(curl, Utf8ToCp1251(name)), localPath, progress);
    curl_easy_setopt(curl, CURLOPT_POSTQUOTE, nullptr);
    return rc == CURLE_OK ? TOutcome::Done : TOutcome::Failed;
}

// Fetches into a name beside the target and puts it in place only when complete, so that a
// broken connection, a full disk or a refused file never leaves half a script where the last
// good one was.
TOutcome Fetch(
    CURL* curl, const std::string& url, const std::filesystem::path& localPath, TProgress& progress)
{
    platform::TAtomicFile target(localPath);
    TDownload download;
    download.file = target.Open();
    // The device's own folder is at fault, not the office: saying "not found" would send the
    // agent to ask the office for a file it has.
    if (!download.file)
        return TOutcome::Unwritable;
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_NOBODY, 0L);
    curl_easy_setopt(curl, CURLOPT_UPLOAD, 0L);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, WriteToFile);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &download);
    curl_easy_setopt(
        curl, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(g_limits.maxDownloadBytes));
    progress.Start();
    const CURLcode rc = curl_easy_perform(curl);
    progress.watchStall = false;
    if (rc == CURLE_OK)
        return target.Commit() ? TOutcome::Done : TOutcome::Failed;
    // A file that is not there, or a line that broke off, is what the office has always read as
    // "not found"; a transfer ended by a limit or by the device's own disk is a failed exchange.
    if (download.tooLarge || download.writeFailed || progress.stalled
        || rc == CURLE_OPERATION_TIMEDOUT || rc == CURLE_FILESIZE_EXCEEDED)
        return TOutcome::Failed;
    return TOutcome::Missing;
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
    const bool implicitTls = ParseServer(s.ftp.server).security == TSecurity::Implicit;
    s.ftp.port = port >= 1 && port <= 65535 ? port
        : implicitTls                       ? kImplicitTlsPort
                                            : kDefaultFtpPort;
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
    // The get word keeps its trailing blank, so the log reads «Загрузка  файла.» with two: the
    // office's support compares these lines with the devices' logs.
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
    TProgress progress;
    progress.sink = &sink;
    progress.lastPump = std::chrono::steady_clock::now();
    const TServerText server = ParseServer(settings.server);
    curl_easy_setopt(
        c, CURLOPT_PROTOCOLS_STR, server.security == TSecurity::Implicit ? "ftps" : "ftp");
    if (server.security != TSecurity::Plain)
        ProtectLine(c);
    curl_easy_setopt(c, CURLOPT_USERNAME, user.c_str());
    curl_easy_setopt(c, CURLOPT_PASSWORD, password.c_str());
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT, g_limits.connectSeconds);
    curl_easy_setopt(c, CURLOPT_SERVER_RESPONSE_TIMEOUT, g_limits.connectSeconds);
    // A line that trickles a few bytes a second would otherwise hold the device for ever.
    curl_easy_setopt(c, CURLOPT_LOW_SPEED_LIMIT, g_limits.lowSpeedBytes);
    curl_easy_setopt(c, CURLOPT_LOW_SPEED_TIME, g_limits.lowSpeedSeconds);
    curl_easy_setopt(c, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(c, CURLOPT_XFERINFOFUNCTION, OnProgress);
    curl_easy_setopt(c, CURLOPT_XFERINFODATA, &progress);

    // A line break in the login would let it smuggle commands to the server.
    const std::string root = ServerUrl(server, settings.port);
    const CURLcode login = root.empty() || HasLineBreak(user) || HasLineBreak(password)
        ? CURLE_URL_MALFORMAT
        : Visit(c, root);
    if (login != CURLE_OK) {
        if (const char* why = TlsFailure(c, login))
            sink.Log(why);
        sink.Log("Не удалось соединиться с сервером.");
        return false;
    }
    sink.Log("Соединение установлено.");
    UI().ProcessEvents();

    const std::string folder = root + FolderPath(c, settings.folder);
    TOutcome outcome = TOutcome::Missing; // as the office reads a folder that is not there
    if (!settings.folder.empty() && Visit(c, folder) != CURLE_OK) {
        sink.Log("Сменить путь не удалось.");
    } else {
        sink.Log(word + " файла.");
        UI().ProcessEvents();
        const std::string name = localPath.filename().string();
        outcome = get ? Fetch(c, folder + Escape(c, Utf8ToCp1251(name)), localPath, progress)
                      : Send(sink, c, folder, name, localPath, progress);
    }
    curl.reset();
    if (outcome == TOutcome::Done)
        sink.Log(word + " завершена.");
    else if (outcome == TOutcome::Unwritable)
        sink.Log("Не удалось открыть файл для записи.");
    else
        sink.Log(get && outcome == TOutcome::Missing ? "Файл не найден." : "Сбой связи.");
    return outcome == TOutcome::Done;
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
    // A device that has never exchanged has no folder yet; the export makes it on its side, and
    // so does the download, or the office's answer would have nowhere to land. A folder that
    // cannot be made is reported by the transfer, which cannot open the file then.
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
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
