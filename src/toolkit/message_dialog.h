// The program's message box: an icon, the text and a row of buttons, captioned "Агент продаж"
// and kept on top. A desktop message box sizes itself for a monitor: on a 240-pixel screen it
// shrinks to half the width and wraps a short sentence into many lines, and on a large screen
// it may grow wider than the handheld-sized window it speaks for. This box is as wide as the
// handheld's screen on a small screen and never wider than the program's window on a large
// one; a text taller than the screen scrolls above the buttons.
#pragma once

#include "storage/ui_seam.h"

#include <QDialog>
#include <QDialogButtonBox>

class QLabel;
class QScrollArea;

namespace vendrix {

class TMessageDialog : public QDialog {
public:
    /// A box over `owner` (may be nullptr) with `text` shown as plain text and the standard
    /// buttons given; their captions are Russian. `escape` answers Esc and the title bar.
    /// `preferred` is the button Enter presses, and has the focus; NoButton: the first one.
    TMessageDialog(QWidget* owner, const QString& text, TIcon icon,
        QDialogButtonBox::StandardButtons buttons, QDialogButtonBox::StandardButton escape,
        QDialogButtonBox::StandardButton preferred = QDialogButtonBox::NoButton);

    /// Shows the box modally; returns the button chosen (the escape button when closed).
    QDialogButtonBox::StandardButton Run();

    QDialogButtonBox* Buttons() const { return m_buttons; }
    QLabel* TextLabel() const { return m_text; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    /// Sizes the box to show the whole text on the room it has, the text scrolling only when
    /// it is taller than the screen.
    void FitSize();

    bool m_hasIcon;
    QLabel* m_text;
    QLabel* m_icon;
    QScrollArea* m_scroll;
    QDialogButtonBox* m_buttons;
    QDialogButtonBox::StandardButton m_escape;
    QDialogButtonBox::StandardButton m_chosen;
};

} // namespace vendrix
