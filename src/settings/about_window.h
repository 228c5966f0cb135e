// The about window "О программе": the product name and version, who made it, and the two colour
// strips down its edges. Opened modally from the main window's menu.
#pragma once

#include <QDialog>

#include <vector>

class QLabel;

namespace vendrix {

class TMenuBar;

class TAboutWindow : public QDialog {
public:
    explicit TAboutWindow(QWidget* owner);

    TMenuBar& Menu() const { return *m_menu; }
    /// The labels of the centre column, top to bottom: title, "Разработано", six credits.
    const std::vector<QLabel*>& Labels() const { return m_labels; }

protected:
    void changeEvent(QEvent* event) override;

private:
    TMenuBar* m_menu = nullptr;
    std::vector<QLabel*> m_labels;
};

/// Shows the about window modally over `owner` and frees it when it closes.
void RunAboutWindow(QWidget* owner);

} // namespace vendrix
