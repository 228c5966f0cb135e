// The one way the core talks to the person in front of the device: messages, questions, the
// wait cursor, repainting during long work and picking a folder. The program installs the Qt
// implementation, the command-line companion a console one, and tests a scripted one, so the
// exact Russian texts the agent sees can be checked without a screen.
#pragma once

#include <deque>
#include <string>
#include <string_view>
#include <vector>

namespace vendrix {

enum class TIcon { None, Information, Warning, Error, Question };
// YesNoDefaultNo asks a question whose «Да» destroys something (deleting an order, putting a
// copy in place of the database): «Нет» is the button Enter presses.
enum class TButtons { Ok, YesNo, YesNoCancel, OkCancel, RetryCancel, YesNoDefaultNo };
enum class TAnswer { Ok, Cancel, Yes, No, Retry };

class TUserInterface {
public:
    virtual ~TUserInterface() = default;
    /// Shows a message with an OK button and waits until the user acknowledges it.
    virtual void Message(const std::string& text, TIcon icon) = 0;
    /// Asks a question with the given buttons; returns the button chosen.
    virtual TAnswer Ask(const std::string& text, TIcon icon, TButtons buttons) = 0;
    /// Shows (true) or hides (false) the wait cursor.
    virtual void SetBusyCursor(bool on) = 0;
    /// Lets the screen repaint during long work on the single thread.
    virtual void ProcessEvents() = 0;
    /// Lets the user pick a folder, starting at `start`; returns the empty text when cancelled.
    virtual std::string PickFolder(const std::string& start) = 0;
};

/// Installs the process-wide implementation; nullptr restores the silent one. Not owned.
void InstallUserInterface(TUserInterface* ui);
/// The installed implementation (a silent one that answers the default when none is installed).
TUserInterface& UI();

/// `text` with every control character but CR, LF and TAB (bytes below 32, and 127, and the
/// eight-bit controls U+0080 to U+009F) in the notation of `cat -v` ("^[" for ESC, "^G" for
/// BEL, "^?" for 127, "M-^[" for U+009B), so that a text from the office cannot retitle, clear
/// or otherwise drive a terminal. Other bytes, UTF-8 included, are kept.
std::string VisibleControlCharacters(std::string_view text);

/// Writes messages to standard error and answers questions from standard input (y/n), for the
/// command-line companion. Texts are shown with their control characters made visible.
class TConsoleUserInterface : public TUserInterface {
public:
    explicit TConsoleUserInterface(bool assumeYes = false)
        : m_assumeYes(assumeYes)
    {
    }
    void Message(const std::string& text, TIcon icon) override;
    TAnswer Ask(const std::string& text, TIcon icon, TButtons buttons) override;
    void SetBusyCursor(bool) override { }
    void ProcessEvents() override { }
    std::string PickFolder(const std::string& start) override { return start; }

private:
    bool m_assumeYes;
};

/// Records everything shown and answers questions from a queue; for tests.
class TScriptedUserInterface : public TUserInterface {
public:
    struct TShown {
        std::string text;
        TIcon icon;
        bool question;
        TButtons buttons; // what a question offered; Ok for a message
    };

    void Message(const std::string& text, TIcon icon) override;
    /// Answers with the next queued answer; with an empty queue, No (or Cancel) and records that.
    TAnswer Ask(const std::string& text, TIcon icon, TButtons buttons) override;
    void SetBusyCursor(bool on) override;
    void ProcessEvents() override { ++eventPumps; }
    std::string PickFolder(const std::string& start) override;

    /// Texts of everything shown, messages and questions, in order.
    std::vector<std::string> Texts() const;
    void Clear();

    std::vector<TShown> shown;
    std::deque<TAnswer> answers;
    std::deque<std::string> folders;
    bool busy = false;
    int busyOnCount = 0;
    int eventPumps = 0;
    int unansweredQuestions = 0;
};

/// Installs a UI for the lifetime of the guard and restores the previous one afterwards.
class TUserInterfaceGuard {
public:
    explicit TUserInterfaceGuard(TUserInterface* ui);
    ~TUserInterfaceGuard();
    TUserInterfaceGuard(const TUserInterfaceGuard&) = delete;
    TUserInterfaceGuard& operator=(const TUserInterfaceGuard&) = delete;

private:
    TUserInterface* m_previous;
};

} // namespace vendrix
