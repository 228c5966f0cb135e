// The folder picker of the manual exchange: the agent chooses the folder the exchange files
// travel through. It is a handheld window, not a desktop file dialog: the size of the screen
// (or of the program's window on a desktop), Russian, and worked by the stylus alone. The path
// of the open folder stands on top; below it the sub-folders, the first row ".." going up; a tap
// on the selected row (or a double tap, or Enter) opens a folder, and "[ OK ]" chooses the
// folder that is open.
#pragma once

#include <QDialog>
#include <QString>

class QLabel;
class QListWidget;

namespace vendrix {

class TMenuBar;

class TFolderPicker : public QDialog {
public:
    /// A picker over `owner` opened in `start` (the home folder when it does not exist).
    TFolderPicker(QWidget* owner, const QString& start);

    /// The folder that is open, as a native path.
    QString Folder() const { return m_folder; }
    /// Opens `folder` (an absolute path); a folder that cannot be read stays unopened.
    void OpenFolder(const QString& folder);
    QListWidget* List() const { return m_list; }
    TMenuBar* Menu() const { return m_menu; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void OpenRow(int row);

    QString m_folder;
    QLabel* m_path;
    QListWidget* m_list;
    TMenuBar* m_menu;
};

/// Runs the picker modally; returns the chosen folder, or the empty text when cancelled.
QString PickFolderDialog(QWidget* owner, const QString& start);

} // namespace vendrix
