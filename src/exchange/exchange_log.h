// What the exchange window lends to the export, the import and the FTP flows: a log that stamps
// every entry with the time of day, and a progress indicator. Also the folder choice of the
// manual exchange and the regional date-time text the office reads.
#pragma once

#include <cstdint>
#include <string>

namespace vendrix {

/// Receives the log entries and the progress of one exchange step.
class TExchangeSink {
public:
    virtual ~TExchangeSink() = default;
    /// Appends one log entry; the text may hold CR LF of its own.
    virtual void Log(const std::string& text) = 0;
    /// Shows the progress indicator at position 0 with the given maximum.
    virtual void ProgressStart(int maximum) { (void)maximum; }
    /// Moves the progress indicator.
    virtual void ProgressPosition(int position) { (void)position; }
    /// Bytes of the file on the line so far, of `total` (0 when the server did not say). The
    /// window keeps its indicator for the export and import; the console shows these.
    virtual void TransferBytes(std::uint64_t done, std::uint64_t total)
    {
        (void)done;
        (void)total;
    }
};

/// The log text as the window shows it: "HH:mm:ss" + blank + text per entry, entries joined by
/// CR LF (the first entry has no line break before it).
class TExchangeLog : public TExchangeSink {
public:
    void Log(const std::string& text) override;
    const std::string& Text() const { return m_text; }
    /// The last line of the log without its time stamp: what the result box of the automatic
    /// exchange quotes.
    std::string LastMessage() const;
    void Clear() { m_text.clear(); }

private:
    std::string m_text;
};

/// The current local time as "HH:mm:ss".
std::string TimeStamp();
/// The current local date and time in the devices' regional form: "dd.MM.yyyy H:mm:ss".
std::string RegionalDateTime();
/// Asks for a folder ("Выберите папку"), starting in the user's documents; empty on cancel.
std::string PickExchangeFolder();

} // namespace vendrix
