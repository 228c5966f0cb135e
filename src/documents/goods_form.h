// The goods multi-select form: the agent walks the catalogue group by group (the group bar opens
// a drop-down tree), finds goods by name or code, and types a quantity against each on the
// keypad; OK hands every typed line back to the document in catalogue order. What it shows and
// keeps is TGoodsSelection's; the form only wires the widgets to it.
#pragma once

#include "documents/goods_selection.h"
#include "toolkit/modal.h"

#include <QDialog>

#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QFrame;
class QLineEdit;
class QPushButton;
class QToolButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace vendrix {

class TMenuBar;
class TPopupMenu;
class TReportList;

/// The goods form's menu bar: its items' numbers, in the order they are added, and their
/// captions by number, blanks included; the two "|" are disabled dividers. A plain enum, since
/// the bar numbers its items with ints.
namespace goods_menu {
enum TItem : int { kEnter, kEnterBar, kOk, kOkBar, kCancel, kItemCount };
inline constexpr const char* kCaptions[] = {" ВВОД ", "|", " [ Ок ] ", "|", " [X] Отмена"};
static_assert(std::size(kCaptions) == kItemCount, "one caption per item");
} // namespace goods_menu

/// The goods list's pop-up menu, the same way.
namespace goods_popup {
enum TItem : int { kEnter, kItemCount };
inline constexpr const char* kCaptions[] = {"ВВОД"};
static_assert(std::size(kCaptions) == kItemCount, "one caption per item");
} // namespace goods_popup

class TGoodsForm : public QDialog {
public:
    /// Builds the form over `owner`; nothing is read until Prepare.
    explicit TGoodsForm(QWidget* owner);
    ~TGoodsForm() override;

    /// Takes the document's lines in, builds the group tree and shows the first group.
    void Prepare(const std::string& selectionText);
    /// The lines chosen, after OK.
    const std::vector<std::string>& Result() const { return m_result; }
    const TGoodsSelection& Selection() const { return m_selection; }

    TMenuBar& Menu() const { return *m_menu; }
    TPopupMenu& Popup() const { return *m_popup; }
    TReportList* List() const { return m_list; }
    QPushButton* GroupButton() const { return m_groupButton; }
    QFrame* DropDown() const { return m_dropDown; }
    QTreeWidget* Tree() const { return m_tree; }
    QWidget* TreeButtons() const { return m_treeButtons; }
    QToolButton* TreeOk() const { return m_treeOk; }
    QToolButton* TreeClose() const { return m_treeClose; }
    QWidget* SearchRow() const { return m_searchRow; }
    QLineEdit* CodeBox() const { return m_codeBox; }
    QLineEdit* NameBox() const { return m_nameBox; }

    /// Opens the keypad for the selected row's goods.
    void EnterQuantity();
    /// Opens the group drop-down on the current group.
    void OpenGroups();
    /// Shows the group selected in the tree.
    void ChooseSelectedGroup();
    /// Hides the drop-down without a choice.
    void CloseGroups();
    /// OK: hands the chosen lines back.
    void Confirm();
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    class TRows;
    // The construction steps, in the order the constructor takes them: the order in which
    // the widgets are made is their tab order, and the drop-down, made last, lies over the list.
    QWidget* BuildGroupBar();
    void BuildSearchRow();
    void BuildList();
    void BuildPopupMenu();
    void BuildMenuBar();
    void BuildDropDown();

    void BuildTree();
    void SetCaptions();
    void SaveWidths();
    void FindRow(int row);

    TGoodsSelection m_selection;
    std::unique_ptr<TRows> m_source;
    std::vector<QTreeWidgetItem*> m_treeItems; // one per group, as Selection().Groups()
    std::vector<std::string> m_result;
    std::optional<TModalChildScope> m_modalChild;
    bool m_useSums = true;
    bool m_widthsRestored = false;
    TMenuBar* m_menu = nullptr;
    TPopupMenu* m_popup = nullptr;
    TReportList* m_list = nullptr;
    QPushButton* m_groupButton = nullptr;
    QWidget* m_treeButtons = nullptr;
    QToolButton* m_treeOk = nullptr;
    QToolButton* m_treeClose = nullptr;
    QFrame* m_dropDown = nullptr;
    QTreeWidget* m_tree = nullptr;
    QWidget* m_searchRow = nullptr;
    QLineEdit* m_codeBox = nullptr;
    QLineEdit* m_nameBox = nullptr;
};

/// Runs the goods selection modally over `owner` on the document's lines; true after OK, with
/// the chosen lines in `result`.
bool RunGoodsSelection(
    QWidget* owner, const std::string& selectionText, std::vector<std::string>& result);

} // namespace vendrix
