// The handheld's stylus and keyboard habits on a list and an edit box: a tap on a list row,
// told apart from a tap on the row that was already selected (the goods list opens the keypad
// only on the second), and the soft input panel shown while an edit box has the focus.
#pragma once

#include <QObject>
#include <QPersistentModelIndex>

#include <functional>

class QAbstractItemView;
class QWidget;

namespace vendrix {

/// Watches taps (left button released) on a list's or a tree's rows. A double tap is two taps:
/// the second one counts as a tap on the row the first one selected.
class TListTaps : public QObject {
public:
    /// Watches `list`; the watcher belongs to the list.
    explicit TListTaps(QAbstractItemView* list);

    /// Runs with the row under the released stylus (-1 outside the rows) and whether that row
    /// was already the selected one before the stylus came down. Enter on the list runs it
    /// for the selected row as a tap on the selected row.
    std::function<void(int row, bool wasSelected)> onTap;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QAbstractItemView* m_list;
    QPersistentModelIndex m_selectedAtPress;
};

/// Shows the soft input panel while `edit` has the focus and hides it when the focus leaves.
void ShowInputPanelWhileFocused(QWidget* edit);

} // namespace vendrix
