// The settings form "Настройки": five tabs of check boxes, edit boxes and one drop-down list,
// each bound to an option of MY_OPTIONS through the options binding table, the device
// information list, and the column-width reset. The main window opens it modally from its menu
// and after the first-run question; "[ OK ]" rewrites the whole table, "[ Отмена ]" nothing.
#pragma once

#include "settings/options_binding.h"

#include <QDialog>

#include <iterator>
#include <map>
#include <string>
#include <string_view>
#include <vector>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QScrollArea;
class QTabWidget;

namespace vendrix {

class TMenuBar;
class TReportList;
class TInfoSource;

/// The settings form's menu bar: its items' numbers, in the order they are added, and their
/// captions by number. A plain enum, since the bar numbers its items with ints.
namespace settings_menu {
enum TItem : int { kOk, kCancel, kItemCount };
inline constexpr const char* kCaptions[] = {"[ OK ]", "[ Отмена ]"};
static_assert(std::size(kCaptions) == kItemCount, "one caption per item");
} // namespace settings_menu

class TSettingsForm : public QDialog {
public:
    /// Builds the form over `owner` with every control bound; nothing is read yet.
    explicit TSettingsForm(QWidget* owner);
    ~TSettingsForm() override;

    /// Reads MY_OPTIONS into the controls and the device information into its list, and picks
    /// the starting tab. False when the table could not be read (SQLite's text shown): the
    /// form must then not be shown, since saving would lose the rows it never saw.
    bool Load();

    TMenuBar& Menu() const { return *m_menu; }
    QTabWidget& Tabs() const { return *m_tabs; }
    const TOptionsBinding& Binding() const { return m_binding; }
    /// The control bound to `option` (any letter case); nullptr when the form shows no such
    /// option or the control is of another kind.
    QCheckBox* CheckBox(std::string_view option) const;
    QLineEdit* Edit(std::string_view option) const;
    QComboBox* ComboBox(std::string_view option) const;
    /// The label in front of the edit box of `option`; nullptr when it has none.
    QLabel* EditLabel(std::string_view option) const;
    /// The bold label that starts the first section of the exchange tab.
    QLabel* ConnectionHeading() const { return m_connectionHeading; }
    TReportList& InfoList() const { return *m_infoList; }
    QLabel* InfoLabel() const { return m_infoLabel; }
    QPushButton* ResetWidthsButton() const { return m_resetWidths; }

protected:
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* AddPage(const char* caption, int height);
    QLabel* AddLabel(QWidget* page, const char* caption, int left, int top, int width = 0);
    QLabel* AddHeading(QWidget* page, const char* caption, int left, int top);
    QCheckBox* AddCheck(QWidget* page, const char* caption, int left, int top, const char* option);
    QLineEdit* AddEdit(
        QWidget* page, int left, int top, int width, const char* option, const char* initial = "");
    void BuildExchangePage();
    void BuildLookPage();
    void BuildFunctionsPage();
    void BuildCaptionsPage();
    void BuildInfoPage();
    void BindControls();

    void ApplyEnabling();
    void StretchExchangePage();
    void ShowInfoRow(int row);
    void OnInfoTapped(int row);
    void ResetWidths();
    void Save();

    TOptionsBinding m_binding;
    std::map<std::string, QWidget*> m_controls; // by option name, upper case
    std::map<std::string, QLabel*> m_editLabels;
    TMenuBar* m_menu = nullptr;
    QTabWidget* m_tabs = nullptr;
    QScrollArea* m_exchangePage = nullptr;
    QLabel* m_connectionHeading = nullptr;
    std::vector<QWidget*> m_stretched; // the exchange tab's controls that reach the right edge
    std::vector<QLineEdit*> m_captionEdits;
    TReportList* m_infoList = nullptr;
    std::unique_ptr<TInfoSource> m_infoRows;
    QLabel* m_infoLabel = nullptr;
    QPushButton* m_resetWidths = nullptr;
    bool m_shown = false; // the resizing rules hold from the first show on
};

/// Opens the settings form modally over `owner` with the modal-child-open flag set, and frees
/// it when it closes. True when the agent chose "[ OK ]" and the settings were saved; false on
/// "[ Отмена ]", or when the settings could not be read (then the form is not shown).
bool RunSettingsForm(QWidget* owner);

} // namespace vendrix
