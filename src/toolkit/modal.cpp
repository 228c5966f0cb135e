// Modal runs and the modal-child-open flag.
#include "toolkit/modal.h"

#include <QDialog>

namespace vendrix {

namespace {

bool g_modalChildOpen = false;

} // namespace

int RunModal(QDialog& dialog)
{
    // Qt's own codes are mapped explicitly: only an accepted dialog is OK.
    return dialog.exec() == QDialog::Accepted ? kModalOk : kModalCancel;
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
