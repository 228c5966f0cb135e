// "Ввод строки": one row of a document's SKU table turned on its side, one line per goods
// category with its whole-number count, each count changed on the numeric keypad. The document
// form fills it from the SKU row and writes the counts back after "Ok".
#pragma once

#include "documents/document_editing.h"

#include <QDialog>

#include <vector>

class QLabel;
class QPushButton;
class QTimer;

namespace vendrix {

class TReportList;

class TLineEntryDialog : public QDialog {
public:
    /// Builds the dialog over `owner` and starts its 300 ms timer.
    explicit TLineEntryDialog(QWidget* owner);
    ~TLineEntryDialog() override;

    void SetTitle(const std::string& text);
    void ClearRows();
    void AddRow(const std::string& caption, const std::string& count, int tag);
    /// The rows with their counts as they stand.
    const std::vector<TLineEntryRow>& Rows() const { return m_rows; }

    QLabel* Title() const { return m_title; }
    TReportList* List() const { return m_list; }
    QPushButton* ChangeButton() const { return m_change; }
    QPushButton* OkButton() const { return m_ok; }
    QPushButton* CancelButton() const { return m_cancel; }
    /// Whether the title bar's button is the handheld's caption OK (X_IS_CLOSE, after 300 ms).
    bool TitleBarOk() const { return m_titleBarOk; }
    QTimer* Timer() const { return m_timer; }

    /// Changes the selected row's count on the keypad.
    void ChangeCount();

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    class TRows;
    void LayOutButtons();

    std::vector<TLineEntryRow> m_rows;
    std::unique_ptr<TRows> m_source;
    QLabel* m_title = nullptr;
    TReportList* m_list = nullptr;
    QWidget* m_buttons = nullptr;
    QPushButton* m_change = nullptr;
    QPushButton* m_ok = nullptr;
    QPushButton* m_cancel = nullptr;
    QTimer* m_timer = nullptr;
    bool m_titleBarOk = false;
};

} // namespace vendrix
