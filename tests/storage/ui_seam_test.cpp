// The user-interface seam without windows: how the console shows the office's texts on an
// agent's terminal and answers questions, and what the silent interface answers.
#include "storage/ui_seam.h"

#include <gtest/gtest.h>

#include <iostream>
#include <sstream>

namespace vendrix {
namespace {

TEST(VisibleControlCharacters, Cases)
{
    struct TCase {
        const char* what;
        std::string text;
        std::string shown;
    };
    const TCase cases[] = {
        {"plain Cyrillic is kept", "Привет, агент!", "Привет, агент!"},
        {"line breaks and tabs lay the text out", "a\r\nb\tc\n", "a\r\nb\tc\n"},
        {"a terminal title and a clear screen", "\x1b]0;title\x07\x1b[2J", "^[]0;title^G^[[2J"},
        {"NUL inside the text", std::string("a\0b", 3), "a^@b"},
        {"DEL", "a\x7f", "a^?"},
        {"the last control below the blank", "\x1f", "^_"},
        {"a lone carriage return is kept", "50%\r", "50%\r"},
        {"eight-bit controls in UTF-8",
            "a\xc2\x9b"
            "2J\xc2\x80",
            "aM-^[2JM-^@"},
        {"other bytes above DEL are kept", "\xc2\xa0\xff", "\xc2\xa0\xff"},
        {"empty", "", ""},
    };
    for (const TCase& c : cases)
        EXPECT_EQ(VisibleControlCharacters(c.text), c.shown) << c.what;
}

// Standard input and standard error swapped for strings while a test talks to the console.
class TConsoleStreams {
public:
    explicit TConsoleStreams(const std::string& input)
        : m_in(input)
        , m_savedIn(std::cin.rdbuf(m_in.rdbuf()))
        , m_savedErr(std::cerr.rdbuf(m_err.rdbuf()))
    {
        std::cin.clear();
    }
    ~TConsoleStreams()
    {
        std::cin.rdbuf(m_savedIn);
        std::cerr.rdbuf(m_savedErr);
        std::cin.clear();
    }
    std::string Shown() const { return m_err.str(); }

private:
    std::istringstream m_in;
    std::ostringstream m_err;
    std::streambuf* m_savedIn;
    std::streambuf* m_savedErr;
};

TEST(ConsoleUserInterface, AnswersEveryButtonSet)
{
    struct TCase {
        const char* what;
        TButtons buttons;
        bool assumeYes;
        const char* input;
        TAnswer answer;
    };
    const TCase cases[] = {
        {"yes typed", TButtons::YesNo, false, "y\n", TAnswer::Yes},
        {"nothing typed is no", TButtons::YesNo, false, "", TAnswer::No},
        {"--yes", TButtons::YesNo, true, "", TAnswer::Yes},
        {"destructive: yes typed", TButtons::YesNoDefaultNo, false, "y\n", TAnswer::Yes},
        {"destructive: an empty line is no", TButtons::YesNoDefaultNo, false, "\n", TAnswer::No},
        {"destructive: anything else is no", TButtons::YesNoDefaultNo, false, "c\n", TAnswer::No},
        {"destructive under --yes, as the caller asked", TButtons::YesNoDefaultNo, true, "",
            TAnswer::Yes},
        {"cancel typed", TButtons::YesNoCancel, false, "c\n", TAnswer::Cancel},
        {"retry typed", TButtons::RetryCancel, false, "r\n", TAnswer::Retry},
        {"nothing typed cancels", TButtons::OkCancel, false, "", TAnswer::Cancel},
        {"OK asks nothing", TButtons::Ok, false, "", TAnswer::Ok},
    };
    for (const TCase& c : cases) {
        TConsoleStreams streams(c.input);
        TConsoleUserInterface console(c.assumeYes);
        EXPECT_EQ(console.Ask("Удалить документ?", TIcon::Question, c.buttons), c.answer) << c.what;
        EXPECT_EQ(streams.Shown().rfind("[?] Удалить документ?", 0), 0u) << c.what;
    }
}

TEST(ConsoleUserInterface, OfficeTextsNeverDriveTheTerminal)
{
    const std::string hostile = "Сообщение\x1b]0;title\x07\x1b[2J";
    TConsoleStreams streams("");
    TConsoleUserInterface console;
    console.Message(hostile, TIcon::Information);
    console.Ask(hostile, TIcon::Question, TButtons::YesNo);
    EXPECT_EQ(
        streams.Shown(), "[i] Сообщение^[]0;title^G^[[2J\n[?] Сообщение^[]0;title^G^[[2J [y/n] ");
}

TEST(SilentUserInterface, TakesTheCautiousAnswer)
{
    const TUserInterfaceGuard none(nullptr);
    const std::pair<TButtons, TAnswer> cases[] = {{TButtons::YesNo, TAnswer::No},
        {TButtons::YesNoDefaultNo, TAnswer::No}, {TButtons::YesNoCancel, TAnswer::No},
        {TButtons::RetryCancel, TAnswer::Cancel}, {TButtons::OkCancel, TAnswer::Cancel}};
    for (const auto& [buttons, answer] : cases)
        EXPECT_EQ(UI().Ask("?", TIcon::Question, buttons), answer);
}

} // namespace
} // namespace vendrix
