// "Справочник": the modal list the agent picks a document's client from, or the trade point of
// that client, with the code and name search row, red codes and the refusal of blocked
// clients. The decisions are TReferenceRows' and the reference selection's; this shows them.
#pragma once

#include "documents/reference_selection.h"

#include <QDialog>

#include <iterator>
#include <memory>
#include <string>
#include <vector>

class QLineEdit;
class QSplitter;
class QToolButton;

namespace vendrix {

class TMenuBar;
class TReportList;

/// The reference form's menu bar: its items' numbers, in the order they are added, and their
/// captions by number. A plain enum, since the bar numbers its items with ints.
namespace reference_menu {
enum TItem : int { kPick, kCancel, kItemCount };
inline constexpr const char* kCaptions[] = {"[ Выбрать ]", "[ Отмена ]"};
static_assert(std::size(kCaptions) == kItemCount, "one caption per item");
} // namespace reference_menu

class TReferenceForm : public QDialog {
public:
    /// Builds and fills the form over `owner`: every client, or the trade points of
    /// `clientGuid`, with the item of `currentGuid` selected.
    TReferenceForm(QWidget* owner, TReferenceMode mode, const std::string& currentGuid,
        const std::string& clientGuid = {});
    ~TReferenceForm() override;

    /// The pick after the form closed with a pick; on cancel not chosen, with the GUID given.
    const TPickedItem& Picked() const { return m_picked; }
    const std::vector<const TSprListItem*>& Rows() const { return m_rows; }

    TMenuBar& Menu() const { return *m_menu; }
    TReportList* List() const { return m_list; }
    QWidget* SearchRow() const { return m_searchRow; }
    QLineEdit* CodeBox() const { return m_codeBox; }
    QLineEdit* NameBox() const { return m_nameBox; }
    QSplitter* Splitter() const { return m_splitter; }

    /// Picks the selected row ("[ Выбрать ]", a tap on the list).
    void Pick();
    /// Cancels ("[ Отмена ]").
    void Cancel();
    void reject() override;
    /// The code box's width as the splitter gives it.
    int CodeBoxWidth() const;

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    class TRows;
    // The construction steps, in the order the constructor takes them: the order in which
    // the widgets are made is their tab order.
    void BuildSearchRow();
    void BuildList();
    void BuildMenuBar();
    void ConnectSearchRow();
    void Fill(TReferenceMode mode, const std::string& currentGuid, const std::string& clientGuid);

    void SizeColumns();
    void KeepCodeWidth();

    std::vector<const TSprListItem*> m_rows;
    std::unique_ptr<TRows> m_source;
    TPickedItem m_picked;
    bool m_codes = true;
    TMenuBar* m_menu = nullptr;
    QWidget* m_searchRow = nullptr;
    QSplitter* m_splitter = nullptr;
    QLineEdit* m_codeBox = nullptr;
    QLineEdit* m_nameBox = nullptr;
    TReportList* m_list = nullptr;
};

/// Lets the agent pick a client; the client of `currentGuid` is preselected.
TPickedItem PickClient(QWidget* owner, const std::string& currentGuid);
/// Lets the agent pick a trade point of the client `clientGuid`; refused with "Не выбран
/// клиент!" when the document has no client yet.
TPickedItem PickTradePoint(
    QWidget* owner, const std::string& currentGuid, const std::string& clientGuid);

} // namespace vendrix
