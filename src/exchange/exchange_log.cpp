// The exchange log and the texts of date and time the exchange files carry.
#include "exchange/exchange_log.h"

#include "platform/platform.h"
#include "storage/ui_seam.h"
#include "storage/value_formats.h"

#include <cstdio>

namespace vendrix {

std::string TimeStamp()
{
    const platform::TLocalTime t = platform::LocalNow();
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", t.hour, t.minute, t.second);
    return buf;
}

std::string RegionalDateTime()
{
    const platform::TLocalTime t = platform::LocalNow();
    char buf[40];
    std::snprintf(buf, sizeof buf, "%02d.%02d.%04d %d:%02d:%02d", t.day, t.month, t.year, t.hour,
        t.minute, t.second);
    return buf;
}

std::string PickExchangeFolder()
{
    constexpr int kMyDocuments = 12;
    return UI().PickFolder(SpecialFolder(kMyDocuments));
}

void TExchangeLog::Log(const std::string& text)
{
    if (!m_text.empty())
        m_text += "\r\n";
    m_text += TimeStamp() + " " + text;
}

std::string TExchangeLog::LastMessage() const
{
    std::string line = m_text;
    const auto cr = line.find_last_of("\r\n");
    if (cr != std::string::npos)
        line = line.substr(cr + 1);
    line = Trim(line);
    const auto blank = line.find(' ');
    if (blank != std::string::npos)
        line = line.substr(blank + 1);
    return Trim(line);
}

} // namespace vendrix
