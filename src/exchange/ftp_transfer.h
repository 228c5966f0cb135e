// The FTP leg of the exchange with the office: one file moved to or from the office's server,
// every step written to the exchange log, and the two flows built on it: the upload (the
// export, then the file put on the server) and the download (the office's script fetched,
// then imported). Files lie in the "exchange" folder beside the program. The line may be
// protected with TLS, as the server text asks ("ftpes://host", "ftps://host").
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

namespace vendrix {

class TExchangeSink;

enum class TFtpDirection { Put, Get };

/// User name and password the office's server is given when the agent has no account of his own.
constexpr const char* kAnonymousUser = "anonimous";
constexpr const char* kAnonymousPassword = "agent@example.com";
constexpr int kDefaultFtpPort = 21;
/// The port a server spelt "ftps://host" listens on when «Порт» names none: implicit TLS.
constexpr int kImplicitTlsPort = 990;
/// The CA file the office may supply in the data folder, trusted beside the system's store
/// for the certificate of its server.
constexpr const char* kOfficeCaName = "office-ca.pem";

/// Where and as whom the device logs in on the office's server.
struct TFtpSettings {
    std::string server; // host name or address as typed, "ftpes://" or "ftps://" before it for TLS
    int port = kDefaultFtpPort;
    std::string folder; // remote folder, trimmed; empty: the login folder of the account
    std::string user;
    std::string password;
};

/// The exchange settings as the exchange window reads them when it is shown.
struct TExchangeSettings {
    bool useZip = false; // UseZip is "1"
    bool useFtp = false; // UseFTP is "1"
    bool ftpAuth = false; // FTPAuth is "1"
    bool automatic = false; // FTPAuto is "1" and UseFTP is "1"
    TFtpSettings ftp;

    /// Both FTP flows work only with UseFTP on and a server given.
    bool FtpEnabled() const { return useFtp && !ftp.server.empty(); }
};

/// Reads the exchange settings from the options store at this moment. The port is 21 (990 for a
/// server spelt "ftps://") when FTPPort is empty, not a number, 0 or no port at all; without
/// FTPAuth the login is anonymous. Shows nothing.
TExchangeSettings ReadExchangeSettings();

/// The "exchange" folder beside the program, where the FTP flows keep their files.
std::filesystem::path ExchangeFolder();

/// Moves `localPath` to the server (Put) or fetches the file of the same name from the server
/// into `localPath` (Get), in the remote folder when one is given, logging each step. Returns
/// true when the whole file was moved. A server spelt "ftpes://host" is reached with AUTH TLS,
/// "ftps://host" with TLS from the start; both protect the data too, verify the server's
/// certificate against the system's store and the office's CA file, and never fall back to
/// plain FTP: a refused certificate is logged with its reason. A fetched file replaces the local
/// one only once complete; a local file that cannot be begun is logged as the device's fault,
/// never as a file missing on the server. A sent file is stored under a temporary name and
/// renamed onto its own once complete, or sent directly (with one more log line) when the server
/// will not rename. The password never reaches the log. Fails on a transfer slower, larger or
/// longer stalled than FtpTimeLimits allows.
bool Transfer(TExchangeSink& sink, TFtpDirection direction, const TFtpSettings& settings,
    const std::filesystem::path& localPath);

/// Exports into the exchange folder and puts the export file (XML or ZIP by UseZip) on the
/// server. False when FTP is not enabled (nothing is done), the export or the transfer fails.
bool Upload(TExchangeSink& sink, const TExchangeSettings& settings);

/// Fetches the office's script (or its archive by UseZip) into the exchange folder, made when
/// missing, and imports it. True when the file was fetched, whatever the import then did; false
/// when FTP is not enabled (nothing is done) or the transfer fails. `imported`, when given,
/// tells whether the fetched answer was imported to its end.
bool Download(TExchangeSink& sink, const TExchangeSettings& settings, bool* imported = nullptr);

/// Limits of a transfer: how long connecting and each answer of the server may take, how long
/// a transfer may stall, the slowest it may crawl (fewer than `lowSpeedBytes` a second for
/// `lowSpeedSeconds` fails it), and the largest file a download accepts. Tests shorten them.
struct TFtpTimeLimits {
    long connectSeconds = 30;
    long stallSeconds = 30;
    long lowSpeedBytes = 100;
    long lowSpeedSeconds = 60;
    std::int64_t maxDownloadBytes = std::int64_t {2} << 30; // no office script comes near it
};
/// Sets the limits every later transfer uses; FtpTimeLimits returns them.
void SetFtpTimeLimits(const TFtpTimeLimits& limits);
TFtpTimeLimits FtpTimeLimits();

} // namespace vendrix
