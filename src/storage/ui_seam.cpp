// The process-wide user-interface seam and the two implementations that need no windows.
#include "storage/ui_seam.h"

#include <cstdio>
#include <iostream>
#include <string_view>

namespace vendrix {

namespace {

// The questions answered Yes or No (with Cancel beside them for YesNoCancel).
bool IsYesNo(TButtons buttons)
{
    return buttons == TButtons::YesNo || buttons == TButtons::YesNoDefaultNo
        || buttons == TButtons::YesNoCancel;
}

// Used before anything is installed: stays quiet and takes the cautious answer.
class TSilentUserInterface : public TUserInterface {
public:
    void Message(const std::string&, TIcon) override { }
    TAnswer Ask(const std::string&, TIcon, TButtons buttons) override
    {
        return IsYesNo(buttons) ? TAnswer::No : TAnswer::Cancel;
    }
    void SetBusyCursor(bool) override { }
    void ProcessEvents() override { }
    std::string PickFolder(const std::string&) override { return {}; }
};

TSilentUserInterface g_silent;
TUserInterface* g_installed = nullptr;

TAnswer NegativeAnswer(TButtons buttons)
{
    switch (buttons) {
    case TButtons::Ok:
        return TAnswer::Ok;
    case TButtons::YesNo:
    case TButtons::YesNoDefaultNo:
        return TAnswer::No;
    default:
        return TAnswer::Cancel;
    }
}

const char* IconWord(TIcon icon)
{
    switch (icon) {
    case TIcon::Information:
        return "[i] ";
    case TIcon::Warning:
        return "[!] ";
    case TIcon::Error:
        return "[X] ";
    case TIcon::Question:
        return "[?] ";
    case TIcon::None:
        break;
    }
    return "";
}

} // namespace

void InstallUserInterface(TUserInterface* ui)
{
    g_installed = ui;
}

TUserInterface& UI()
{
    return g_installed ? *g_installed : g_silent;
}

std::string VisibleControlCharacters(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        const auto byte = static_cast<unsigned char>(c);
        const auto next = i + 1 < text.size() ? static_cast<unsigned char>(text[i + 1]) : 0u;
        // Line breaks and tabs lay out a message; every other control is a command to the
        // terminal that the office has no business giving.
        if ((byte < 32 && c != '\r' && c != '\n' && c != '\t') || byte == 127) {
            out += '^';
            out += static_cast<char>(byte ^ 0x40); // 27 -> '[', 7 -> 'G', 127 -> '?'
        } else if (byte == 0xC2 && next >= 0x80 && next <= 0x9F) {
            // The eight-bit controls (U+0080 to U+009F in UTF-8), which some terminals obey
            // as well: U+009B starts a command as ESC [ does. Shown as `cat -v` shows them.
            out += "M-^";
            out += static_cast<char>((next - 0x80) ^ 0x40);
            ++i;
        } else {
            out += c;
        }
    }
    return out;
}

void TConsoleUserInterface::Message(const std::string& text, TIcon icon)
{
    std::cerr << IconWord(icon) << VisibleControlCharacters(text) << std::endl;
}

TAnswer TConsoleUserInterface::Ask(const std::string& text, TIcon icon, TButtons buttons)
{
    std::cerr << IconWord(icon) << VisibleControlCharacters(text);
    if (buttons == TButtons::Ok) {
        std::cerr << std::endl;
        return TAnswer::Ok;
    }
    const bool yesNo = IsYesNo(buttons);
    std::cerr << (yesNo ? " [y/n] " : " [o/c] ");
    if (m_assumeYes) {
        std::cerr << "y" << std::endl;
        return yesNo ? TAnswer::Yes
                     : (buttons == TButtons::RetryCancel ? TAnswer::Retry : TAnswer::Ok);
    }
    std::string line;
    if (!std::getline(std::cin, line) || line.empty())
        return NegativeAnswer(buttons);
    const char c = line[0];
    if (c == 'y' || c == 'Y' || c == 'o' || c == 'O' || c == 'r' || c == 'R')
        return yesNo ? TAnswer::Yes
                     : (buttons == TButtons::RetryCancel ? TAnswer::Retry : TAnswer::Ok);
    if (buttons == TButtons::YesNoCancel && (c == 'c' || c == 'C'))
        return TAnswer::Cancel;
    return NegativeAnswer(buttons);
}

void TScriptedUserInterface::Message(const std::string& text, TIcon icon)
{
    shown.push_back({text, icon, false, TButtons::Ok});
}

TAnswer TScriptedUserInterface::Ask(const std::string& text, TIcon icon, TButtons buttons)
{
    shown.push_back({text, icon, true, buttons});
    if (answers.empty()) {
        ++unansweredQuestions;
        return NegativeAnswer(buttons);
    }
    const TAnswer a = answers.front();
    answers.pop_front();
    return a;
}

void TScriptedUserInterface::SetBusyCursor(bool on)
{
    if (on)
        ++busyOnCount;
    busy = on;
}

std::string TScriptedUserInterface::PickFolder(const std::string&)
{
    if (folders.empty())
        return {};
    std::string f = folders.front();
    folders.pop_front();
    return f;
}

std::vector<std::string> TScriptedUserInterface::Texts() const
{
    std::vector<std::string> out;
    out.reserve(shown.size());
    for (const auto& s : shown)
        out.push_back(s.text);
    return out;
}

void TScriptedUserInterface::Clear()
{
    shown.clear();
    answers.clear();
    folders.clear();
    unansweredQuestions = 0;
}

TUserInterfaceGuard::TUserInterfaceGuard(TUserInterface* ui)
    : m_previous(g_installed)
{
    g_installed = ui;
}

TUserInterfaceGuard::~TUserInterfaceGuard()
{
    g_installed = m_previous;
}

} // namespace vendrix
