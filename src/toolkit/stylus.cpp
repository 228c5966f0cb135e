// List taps and the soft input panel.
#include "toolkit/stylus.h"

#include <QAbstractItemView>
#include <QEvent>
#include <QGuiApplication>
#include <QInputMethod>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QMouseEvent>

namespace vendrix {

namespace {

QModelIndex SelectedIndex(const QAbstractItemView* list)
{
    const QItemSelectionModel* selection = list->selectionModel();
    if (!selection)
        return {};
    const QModelIndexList rows = selection->selectedRows();
    return rows.isEmpty() ? QModelIndex() : rows.front();
}

class TInputPanelWatcher : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::FocusIn)
            QGuiApplication::inputMethod()->show();
        else if (event->type() == QEvent::FocusOut)
            QGuiApplication::inputMethod()->hide();
        return QObject::eventFilter(watched, event);
    }
};

} // namespace

TListTaps::TListTaps(QAbstractItemView* list)
    : QObject(list)
    , m_list(list)
{
    list->viewport()->installEventFilter(this);
    list->installEventFilter(this);
}

bool TListTaps::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_list) {
        // On a handheld with keys, Enter does what a tap on the selected row does; the arrows
        // are the list's own.
        if (event->type() == QEvent::KeyPress && onTap) {
            const int key = static_cast<QKeyEvent*>(event)->key();
            if (key == Qt::Key_Return || key == Qt::Key_Enter) {
                const QModelIndex selected = SelectedIndex(m_list);
                if (selected.isValid())
                    onTap(selected.row(), true);
                return true;
            }
        }
        return QObject::eventFilter(watched, event);
    }
    // The second tap of a quick double tap arrives as a double click instead of a press; it
    // is a tap all the same, or a double tap on a row would select it and do nothing more.
    if (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonDblClick) {
        // Seen before the list moves its selection to the tapped row.
        m_selectedAtPress = SelectedIndex(m_list);
    } else if (event->type() == QEvent::MouseButtonRelease) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::LeftButton && onTap) {
            const QModelIndex at = m_list->indexAt(mouse->position().toPoint());
            const int row = at.isValid() ? at.row() : -1;
            // Compared as whole indexes, so that in a tree a row of another branch with the
            // same number does not count as the selected one.
            const bool wasSelected = at.isValid() && m_selectedAtPress.isValid()
                && at.siblingAtColumn(0) == QModelIndex(m_selectedAtPress);
            // After the list has handled the release itself, so the selection is the tapped row.
            QMetaObject::invokeMethod(
                this, [this, row, wasSelected] { onTap(row, wasSelected); }, Qt::QueuedConnection);
        }
    }
    return QObject::eventFilter(watched, event);
}

void ShowInputPanelWhileFocused(QWidget* edit)
{
    edit->installEventFilter(new TInputPanelWatcher(edit));
}

} // namespace vendrix
