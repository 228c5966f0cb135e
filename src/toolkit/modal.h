// Modal runs of the handheld's windows: a dialog shown over its caller returns 1 for OK and 2
// for cancel, small dialogs close themselves the same way whether shown modally or not, and the
// process-wide modal-child-open flag tells the main window to ignore its title-bar OK meanwhile.
#pragma once

class QDialog;

namespace vendrix {

constexpr int kModalOk = 1;
constexpr int kModalCancel = 2;

/// Shows `dialog` modally over its owner; returns kModalOk when it was accepted, else
/// kModalCancel (closing it from the title bar counts as cancel).
int RunModal(QDialog& dialog);

/// Ends a modally shown dialog with kModalOk or kModalCancel; a dialog that is not modal is
/// asked to close instead.
void CloseDialog(QDialog* dialog, bool ok);

/// True while a window that sets the flag (about, period, settings, goods selection) is shown.
bool ModalChildOpen();

/// Sets the modal-child-open flag for a scope and puts back its previous value afterwards.
class TModalChildScope {
public:
    TModalChildScope();
    ~TModalChildScope();
    TModalChildScope(const TModalChildScope&) = delete;
    TModalChildScope& operator=(const TModalChildScope&) = delete;

private:
    bool m_previous;
};

} // namespace vendrix
