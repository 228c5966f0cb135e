// The settings form's copy of MY_OPTIONS: each option the form shows is bound by name to one of
// its controls, the stored values are copied into those controls, every row no control shows is
// kept as it was read, and the whole table is written back as one script of inserts. Controls
// are seen through a small interface, so the rules run without any window.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vendrix {

class TSqlQuery;

/// The window classes whose controls are filled and saved; any other class is only carried.
constexpr const char* kCheckBoxClass = "BUTTON";
constexpr const char* kEditClass = "EDIT";
constexpr const char* kComboBoxClass = "COMBOBOX";

/// A control of the settings form as the binding table sees it: its window class and the one
/// kind of value that class holds. A class only answers the accessors of its own kind.
class TBoundControl {
public:
    virtual ~TBoundControl() = default;
    /// "BUTTON" (check box), "EDIT" (edit box), "COMBOBOX" (drop-down list) or another class.
    virtual std::string ClassName() const = 0;

    virtual bool Checked() const { return false; }
    virtual void SetChecked(bool) { }
    virtual std::string Text() const { return {}; }
    virtual void SetText(const std::string&) { }
    /// The selected item, -1 when none.
    virtual int ItemIndex() const { return -1; }
    virtual int ItemCount() const { return 0; }
    virtual void SetItemIndex(int) { }
};

/// The text a control is saved with: a check box "1" or "0", an edit box its text trimmed, a
/// drop-down list the decimal index of its item. Nothing for a control of another class.
std::optional<std::string> ControlValue(const TBoundControl& control);
/// Shows the stored `value` (already trimmed) in the control: only "1" ticks a check box, an
/// edit box takes it as text, a drop-down list selects the item it names, the first one when
/// the value is no number or no item. A control of another class is left alone.
void ShowValue(TBoundControl& control, const std::string& value);

/// A MY_OPTIONS row that no control shows, exactly as it was read.
struct TKeptRow {
    std::string name;
    std::string value;
    std::string description;
};

class TOptionsBinding {
public:
    /// Binds `control` (owned from now on; may be null, then it is only carried) to option
    /// `name`, kept trimmed and upper-cased. Returns the new binding's index.
    int Bind(std::unique_ptr<TBoundControl> control, std::string_view name);
    int Count() const { return static_cast<int>(m_bindings.size()); }
    /// The name of binding `index`; nothing when there is no such binding.
    std::optional<std::string> NameAt(int index) const;
    /// The control of binding `index`; nullptr when there is no such binding.
    TBoundControl* ControlAt(int index) const;

    /// Copies the rows of "select OPT_NAME, OPT_VAL, OPT_DESCR from MY_OPTIONS" into every
    /// control bound to each row's name; with `keepRows`, keeps the first row of each name no
    /// control is bound to (names compared upper-cased).
    void Fill(TSqlQuery& rows, bool keepRows);

    /// The save script: "BEGIN;" CR LF, with `emptyTableFirst` a delete of every row, one insert
    /// per bound control in binding order (upper-case name, no description), with
    /// `withKeptRows` one insert per kept row as read, then "COMMIT;". Every text goes in as an
    /// SQL string literal, so no name or value can end its statement or add another.
    std::string Script(bool withKeptRows, bool emptyTableFirst = false) const;
    /// Runs Script on `query` in one call. True when it was stored; on failure SQLite's text
    /// has been shown, the transaction is rolled back and the table is as it was.
    bool Write(TSqlQuery& query, bool withKeptRows, bool emptyTableFirst = false) const;

    /// Forgets the kept row named `name` (compared upper-cased) and deletes its rows from
    /// MY_OPTIONS at once; bindings stay. False when the delete failed (SQLite's text shown).
    bool RemoveOption(std::string_view name);

    const std::vector<TKeptRow>& KeptRows() const { return m_kept; }

private:
    struct TBinding {
        std::string name;
        std::unique_ptr<TBoundControl> control;
    };
    std::vector<TBinding> m_bindings;
    std::vector<TKeptRow> m_kept;
};

} // namespace vendrix
