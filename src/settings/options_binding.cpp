// The options binding table: filling the controls, keeping the unbound rows, the save script.
#include "settings/options_binding.h"

#include "storage/sql_query.h"
#include "storage/value_formats.h"

#include <algorithm>

namespace vendrix {

namespace {

// The control's class as the table handles it; window classes are named without case.
std::string ClassOf(const TBoundControl& control)
{
    return UpperLatin(control.ClassName());
}

// A text as an SQL string literal. The script reaches SQLite as a C string, so a NUL typed
// into an edit box would cut it short: such characters are dropped, everything else is kept.
std::string Literal(std::string_view text)
{
    std::string clean(text);
    clean.erase(std::remove(clean.begin(), clean.end(), '\0'), clean.end());
    return SqlString(clean);
}

} // namespace

std::optional<std::string> ControlValue(const TBoundControl& control)
{
    const std::string cls = ClassOf(control);
    if (cls == kCheckBoxClass)
        return std::string(control.Checked() ? "1" : "0");
    if (cls == kEditClass)
        return Trim(control.Text());
    if (cls == kComboBoxClass)
        return IntText(std::max(control.ItemIndex(), 0));
    return std::nullopt;
}

void ShowValue(TBoundControl& control, const std::string& value)
{
    const std::string cls = ClassOf(control);
    if (cls == kCheckBoxClass) {
        control.SetChecked(value == "1");
    } else if (cls == kEditClass) {
        control.SetText(value);
    } else if (cls == kComboBoxClass) {
        // A number that names no item would leave the list without a selection, which would
        // then be saved as no valid index; it selects the first item like an unreadable one.
        int index = TextToInt(value, 0);
        if (index < 0 || index >= control.ItemCount())
            index = 0;
        control.SetItemIndex(index);
    }
}

int TOptionsBinding::Bind(std::unique_ptr<TBoundControl> control, std::string_view name)
{
    m_bindings.push_back({UpperLatin(Trim(name)), std::move(control)});
    return Count() - 1;
}

std::optional<std::string> TOptionsBinding::NameAt(int index) const
{
    if (index < 0 || index >= Count())
        return std::nullopt;
    return m_bindings[static_cast<std::size_t>(index)].name;
}

TBoundControl* TOptionsBinding::ControlAt(int index) const
{
    if (index < 0 || index >= Count())
        return nullptr;
    return m_bindings[static_cast<std::size_t>(index)].control.get();
}

void TOptionsBinding::Fill(TSqlQuery& rows, bool keepRows)
{
    for (int r = 0; r < rows.RowCount(); ++r) {
        rows.GoToRow(r);
        const std::string name = rows.Field(0);
        const std::string key = UpperLatin(Trim(name));
        const std::string value = Trim(rows.Field(1));
        bool bound = false;
        for (TBinding& b : m_bindings) {
            if (b.name != key)
                continue;
            bound = true;
            if (b.control)
                ShowValue(*b.control, value);
        }
        if (bound || !keepRows)
            continue;
        const std::string upper = UpperLatin(name);
        const bool known = std::any_of(m_kept.begin(), m_kept.end(),
            [&](const TKeptRow& k) { return UpperLatin(k.name) == upper; });
        if (!known)
            m_kept.push_back({name, rows.Field(1), rows.Field(2)});
    }
}

std::string TOptionsBinding::Script(bool withKeptRows, bool emptyTableFirst) const
{
    std::string script = "BEGIN;\r\n";
    if (emptyTableFirst)
        script += "delete from MY_OPTIONS;\r\n";
    for (const TBinding& b : m_bindings) {
        if (!b.control)
            continue;
        const std::optional<std::string> value = ControlValue(*b.control);
        if (!value)
            continue;
        script += "insert into MY_OPTIONS (OPT_NAME, OPT_VAL) values (" + Literal(b.name) + ", "
            + Literal(Trim(*value)) + ");\r\n";
    }
    if (withKeptRows) {
        for (const TKeptRow& k : m_kept)
            script += "insert into MY_OPTIONS (OPT_NAME, OPT_VAL, OPT_DESCR) values ("
                + Literal(k.name) + ", " + Literal(k.value) + ", " + Literal(k.description)
                + ");\r\n";
    }
    script += "COMMIT;";
    return script;
}

bool TOptionsBinding::Write(TSqlQuery& query, bool withKeptRows, bool emptyTableFirst) const
{
    if (query.Exec(Script(withKeptRows, emptyTableFirst)))
        return true;
    // A statement that failed leaves the transaction open with part of the rows; ending it
    // here puts the table back as it was before the save.
    query.TryExec("ROLLBACK;");
    return false;
}

bool TOptionsBinding::RemoveOption(std::string_view name)
{
    const std::string upper = UpperLatin(name);
    const auto kept = std::find_if(m_kept.begin(), m_kept.end(),
        [&](const TKeptRow& k) { return UpperLatin(k.name) == upper; });
    if (kept != m_kept.end())
        m_kept.erase(kept);
    // Readers find an option whatever the case of its stored name, so every spelling goes;
    // otherwise a width stored as "spr_colw_0" would outlive the reset.
    return RunStatement("delete from MY_OPTIONS where (Upper(OPT_NAME)=" + Literal(upper) + ")");
}

} // namespace vendrix
