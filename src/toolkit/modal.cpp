// Modal runs and the modal-child-open flag.
#include "toolkit/modal.h"

#include "toolkit/keyboard.h"

#include <QDialog>
#include <QPointer>

namespace vendrix {

namespace {

bool g_modalChildOpen = false;

} // namespace

int RunModal(QDialog& dialog)
{
    // The keyboard goes back where it was once the dialog is gone: to the owner's control that
    // had it, the keypad's owner list or the document's button that opened a selection.
    QPointer<QWidget> owner = dialog.parentWidget() ? dialog.parentWidget()->window() : nullptr;
    QPointer<QWidget> control = owner ? owner->focusWidget() : nullptr;
    // Qt's own codes are mapped explicitly: only an accepted dialog is OK.
    const int result = dialog.exec() == QDialog::Accepted ? kModalOk : kModalCancel;
    GiveKeyboardBack(owner, control);
    return result;
}

void CloseDialog(QDialog* dialog, bool ok)
{
    if (dialog->isModal())
        dialog->done(ok ? QDialog::Accepted : QDialog::Rejected);
    else
        dialog->close();
}

bool ModalChildOpen()
{
    return g_modalChildOpen;
}

TModalChildScope::TModalChildScope()
    : m_previous(g_modalChildOpen)
{
    g_modalChildOpen = true;
}

TModalChildScope::~TModalChildScope()
{
    g_modalChildOpen = m_previous;
}

} // namespace vendrix
