// The program's UTF-8 texts as Qt strings for the windows, one place for every window.
#pragma once

#include <QString>

#include <string>

namespace vendrix {

/// A UTF-8 literal or text as a Qt string.
inline QString Q(const char* text)
{
    return QString::fromUtf8(text);
}
inline QString Q(const std::string& text)
{
    return QString::fromStdString(text);
}

/// A text with CR LF breaks (as the record and the office write them) broken as widgets break.
inline QString Lines(const std::string& text)
{
    return Q(text).replace(QLatin1String("\r\n"), QLatin1String("\n"));
}

} // namespace vendrix
