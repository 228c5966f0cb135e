// List taps and the soft input panel.
#include "toolkit/stylus.h"

#include <QAbstractItemView>
#include <QEvent>
#include <QGuiApplication>
#include <QInputMethod>
#include <QItemSelectionModel>
#include <QMouseEvent>

namespace vendrix {

namespace {

int SelectedRow(const QAbstractItemView* list)
{
    const QItemSelectionModel* selection = list->selectionModel();
    if (!selection)
        return -1;
    const QModelIndexList rows = selection->selectedRows();
    return rows.isEmpty() ? -1 : rows.front().row();
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
}

bool TListTaps::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseButtonPress) {
        // Seen before the list moves its selection to the tapped row.
        m_selectedAtPress = SelectedRow(m_list);
    } else if (event->type() == QEvent::MouseButtonRelease) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::LeftButton && onTap) {
            const QModelIndex at = m_list->indexAt(mouse->position().toPoint());
            const int row = at.isValid() ? at.row() : -1;
            const bool wasSelected = row >= 0 && row == m_selectedAtPress;
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
