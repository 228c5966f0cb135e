// The period dialog "Выбор периода": six radio choices (year, quarter, month, day, interval,
// every document) with stepping buttons, date pickers and the "from the start of" options, laid
// out at the handheld's positions. It shows a TPeriodSelection and feeds it the agent's taps.
#pragma once

#include "shell/period.h"

#include <QDialog>

#include <array>
#include <iterator>

class QAbstractButton;
class QButtonGroup;
class QCheckBox;
class QDateEdit;
class QLabel;
class QPushButton;
class QRadioButton;

namespace vendrix {

class TMenuBar;

/// The period dialog's menu bar: its items' numbers, in the order they are added, and their
/// captions by number. A plain enum, since the bar numbers its items with ints.
namespace period_menu {
enum TItem : int { kOk, kCancel, kItemCount };
inline constexpr const char* kCaptions[] = {"[ OK ]", "[ Отмена ]"};
static_assert(std::size(kCaptions) == kItemCount, "one caption per item");
} // namespace period_menu

class TPeriodDialog : public QDialog {
public:
    /// Builds the dialog over `owner` and loads it from the period (start 0: every document).
    TPeriodDialog(QWidget* owner, TDate start, TDate end, TDate today);

    const TPeriodSelection& Selection() const { return m_selection; }
    TMenuBar& Menu() const { return *m_menu; }
    QRadioButton* Radio(TPeriodChoice choice) const;
    QCheckBox* FromYearStart() const { return m_fromYear; }
    QCheckBox* FromQuarterStart() const { return m_fromQuarter; }
    QCheckBox* FromMonthStart() const { return m_fromMonth; }
    /// The stepping buttons of the year (0), quarter (1) and month (2) rows.
    QPushButton* PrevButton(int row) const { return m_prev[static_cast<std::size_t>(row)]; }
    QPushButton* NextButton(int row) const { return m_next[static_cast<std::size_t>(row)]; }
    QLabel* Display(int row) const { return m_display[static_cast<std::size_t>(row)]; }
    QDateEdit* DayPicker() const { return m_day; }
    QDateEdit* FromPicker() const { return m_from; }
    QDateEdit* ToPicker() const { return m_to; }

protected:
    void showEvent(QShowEvent* event) override;
    /// On a handheld-sized screen the dialog fills it, as the program's other windows do.
    void changeEvent(QEvent* event) override;

private:
    // The construction steps, in the order the constructor takes them: the order in which
    // the controls are made is their tab order.
    QWidget* BuildPanel();
    void BuildSteppingRows(QWidget* panel);
    void BuildDayRows(QWidget* panel);
    void BuildIntervalRows(QWidget* panel);
    void BuildMenuBar();
    void ConnectPanel();

    void Show();
    void OnPicker(QDateEdit* picker);

    TPeriodSelection m_selection;
    TMenuBar* m_menu = nullptr;
    QButtonGroup* m_choices = nullptr;
    std::array<QPushButton*, 3> m_prev {};
    std::array<QPushButton*, 3> m_next {};
    std::array<QLabel*, 3> m_display {};
    QDateEdit* m_day = nullptr;
    QDateEdit* m_from = nullptr;
    QDateEdit* m_to = nullptr;
    QCheckBox* m_fromYear = nullptr;
    QCheckBox* m_fromQuarter = nullptr;
    QCheckBox* m_fromMonth = nullptr;
    bool m_showing = false; // the controls are being set from the selection
};

/// Runs the dialog modally over `owner` on the period (both in and out) while the
/// modal-child-open flag is set. True when the agent chose OK: the period is then the chosen
/// one (both 0 for every document); otherwise it is unchanged.
bool ChoosePeriod(QWidget* owner, TDate& start, TDate& end, TDate today);

} // namespace vendrix
