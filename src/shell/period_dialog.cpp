// The period dialog's controls at their handheld positions, wired to the period selection.
#include "shell/period_dialog.h"

#include "toolkit/qt_text.h"

#include "toolkit/keyboard.h"
#include "toolkit/menu_bar.h"
#include "toolkit/modal.h"
#include "toolkit/window_placement.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QDateEdit>
#include <QEvent>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QVBoxLayout>

#include <cmath>

namespace vendrix {

namespace {

const QDate kDayZero(1899, 12, 30);

QDate ToQDate(TDate d)
{
    return kDayZero.addDays(static_cast<qint64>(std::floor(d)));
}

TDate FromQDate(const QDate& d)
{
    return static_cast<TDate>(kDayZero.daysTo(d));
}

QDateEdit* DatePicker(QWidget* parent, int left, int top, int width)
{
    auto* picker = new QDateEdit(parent);
    picker->setGeometry(left, top, width, 24);
    picker->setCalendarPopup(true);
    picker->setDisplayFormat(QStringLiteral("dd.MM.yyyy"));
    picker->setDateRange(QDate(kFirstPeriodYear, 1, 1), QDate(kLastPeriodYear, 12, 31));
    return picker;
}

// One of the six choices, its number in `choices` the choice's.
void AddChoice(QButtonGroup* choices, QWidget* panel, const char* caption, TPeriodChoice choice,
    int top, int width)
{
    auto* button = new QRadioButton(Q(caption), panel);
    button->setGeometry(5, top, width, 23);
    choices->addButton(button, static_cast<int>(choice));
}

// One of the "from the start of" options under the day row.
QCheckBox* FromStartBox(QWidget* panel, const char* caption, int top)
{
    auto* box = new QCheckBox(Q(caption), panel);
    box->setGeometry(66, top, 148, 20);
    return box;
}

} // namespace

TPeriodDialog::TPeriodDialog(QWidget* owner, TDate start, TDate end, TDate today)
    : QDialog(owner)
{
    setWindowTitle(Q("Выбор периода"));
    resize(kHandheldWidth, kHandheldHeight);

    QWidget* panel = BuildPanel();
    BuildMenuBar();
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    // In landscape the rows scroll; the two commands stay on the bar.
    QScrollArea* rows = ScrollWhenShort(panel);
    ScrollWithTab(rows);
    layout->addWidget(rows, 1);
    layout->addWidget(m_menu);
    ConnectPanel();

    m_selection.Load(start, end, today);
    Show();
}

QWidget* TPeriodDialog::BuildPanel()
{
    auto* panel = new QWidget(this);
    QPalette grey = panel->palette();
    grey.setColor(QPalette::Window, QColor(0xF0, 0xF0, 0xF0));
    panel->setPalette(grey);
    panel->setAutoFillBackground(true);
    // As much room as the rows take (the right-hand buttons end at 214), so that a handheld
    // screen less its window frame still shows them without scrolling.
    panel->setMinimumSize(218, 280);

    m_choices = new QButtonGroup(this);
    BuildSteppingRows(panel);
    BuildDayRows(panel);
    BuildIntervalRows(panel);
    AddChoice(m_choices, panel, "Все документы журнала", TPeriodChoice::All, 256, 197);
    return panel;
}

// The three stepping rows: year, quarter, month.
void TPeriodDialog::BuildSteppingRows(QWidget* panel)
{
    const char* rowCaptions[3] = {"Год", "Квартал", "Месяц"};
    const TPeriodChoice rowChoices[3]
        = {TPeriodChoice::Year, TPeriodChoice::Quarter, TPeriodChoice::Month};
    for (int row = 0; row < 3; ++row) {
        const int top = 8 + row * 25;
        AddChoice(m_choices, panel, rowCaptions[row], rowChoices[row], top, 69);
        auto* prev = new QPushButton(QStringLiteral("<"), panel);
        prev->setGeometry(75, top, 24, 23);
        // A read-only box; "Сентябрь 3000 г." must fit its 92 pixels, hence the smaller face
        // and the one-pixel frame.
        auto* display = new QLabel(panel);
        display->setGeometry(98, top, 92, 23);
        display->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        display->setLineWidth(1);
        display->setBackgroundRole(QPalette::Base);
        display->setAutoFillBackground(true);
        QFont small = display->font();
        small.setPixelSize(11);
        display->setFont(small);
        display->setAlignment((row == 0 ? Qt::AlignRight : Qt::AlignHCenter) | Qt::AlignVCenter);
        auto* next = new QPushButton(QStringLiteral(">"), panel);
        next->setGeometry(189, top, 25, 23);
        // A step is taken by Space or Enter on its own button only: none is the dialog's
        // default, which Enter on a choice or a picker would press.
        for (QPushButton* step : {prev, next}) {
            step->setAutoDefault(false);
            PressOnEnter(step);
        }
        m_prev[static_cast<std::size_t>(row)] = prev;
        m_next[static_cast<std::size_t>(row)] = next;
        m_display[static_cast<std::size_t>(row)] = display;
    }
}

// The day with its picker, and the "from the start of" options under it.
void TPeriodDialog::BuildDayRows(QWidget* panel)
{
    AddChoice(m_choices, panel, "День", TPeriodChoice::Day, 82, 69);
    m_day = DatePicker(panel, 75, 82, 139);
    m_fromYear = FromStartBox(panel, "С начала года", 112);
    m_fromQuarter = FromStartBox(panel, "С начала квартала", 132);
    m_fromMonth = FromStartBox(panel, "С начала месяца", 152);
}

// The interval with its two pickers.
void TPeriodDialog::BuildIntervalRows(QWidget* panel)
{
    AddChoice(m_choices, panel, "Интервал", TPeriodChoice::Interval, 173, 88);
    auto* fromLabel = new QLabel(Q("с"), panel);
    fromLabel->setGeometry(25, 197, 15, 24);
    m_from = DatePicker(panel, 45, 197, 169);
    auto* toLabel = new QLabel(Q("по"), panel);
    toLabel->setGeometry(25, 229, 16, 24);
    m_to = DatePicker(panel, 45, 229, 169);
}

void TPeriodDialog::BuildMenuBar()
{
    using namespace period_menu;
    m_menu = new TMenuBar(this);
    for (const char* caption : kCaptions)
        m_menu->AddItem(Q(caption));
    m_menu->onCommand = [this](int item) { CloseDialog(this, item == kOk); };
}

// Every control feeds the selection and shows what it made of it.
void TPeriodDialog::ConnectPanel()
{
    connect(m_choices, &QButtonGroup::idClicked, this, [this](int id) {
        m_selection.Choose(static_cast<TPeriodChoice>(id));
        Show();
    });
    connect(m_fromYear, &QCheckBox::clicked, this, [this](bool on) {
        m_selection.SetFromYearStart(on);
        Show();
    });
    connect(m_fromQuarter, &QCheckBox::clicked, this, [this](bool on) {
        m_selection.SetFromQuarterStart(on);
        Show();
    });
    connect(m_fromMonth, &QCheckBox::clicked, this, [this](bool on) {
        m_selection.SetFromMonthStart(on);
        Show();
    });
    auto step = [this](QPushButton* button, void (TPeriodSelection::*move)()) {
        connect(button, &QPushButton::clicked, this, [this, move] {
            (m_selection.*move)();
            Show();
        });
    };
    step(m_prev[0], &TPeriodSelection::YearPrev);
    step(m_next[0], &TPeriodSelection::YearNext);
    step(m_prev[1], &TPeriodSelection::QuarterPrev);
    step(m_next[1], &TPeriodSelection::QuarterNext);
    step(m_prev[2], &TPeriodSelection::MonthPrev);
    step(m_next[2], &TPeriodSelection::MonthNext);
    for (QDateEdit* picker : {m_day, m_from, m_to})
        connect(picker, &QDateEdit::dateChanged, this, [this, picker] { OnPicker(picker); });
}

QRadioButton* TPeriodDialog::Radio(TPeriodChoice choice) const
{
    return static_cast<QRadioButton*>(m_choices->button(static_cast<int>(choice)));
}

void TPeriodDialog::OnPicker(QDateEdit* picker)
{
    if (m_showing)
        return;
    const TDate day = FromQDate(picker->date());
    if (picker == m_day)
        m_selection.SetDay(day);
    else if (picker == m_from)
        m_selection.SetFrom(day);
    else
        m_selection.SetTo(day);
    Show();
}

void TPeriodDialog::Show()
{
    m_showing = true;
    const TPeriodSelection& s = m_selection;
    Radio(s.Choice())->setChecked(true);
    m_fromYear->setChecked(s.FromYearStart());
    m_fromQuarter->setChecked(s.FromQuarterStart());
    m_fromMonth->setChecked(s.FromMonthStart());
    m_display[0]->setText(QString::fromStdString(s.YearText()));
    m_display[1]->setText(QString::fromStdString(s.QuarterText()));
    m_display[2]->setText(QString::fromStdString(s.MonthText()));
    // The pickers always show the period: the day picker its end, the interval its two ends.
    m_day->setDate(ToQDate(s.End()));
    m_from->setDate(ToQDate(s.Start()));
    m_to->setDate(ToQDate(s.End()));

    const TPeriodUsability u = s.Usability();
    const bool rows[3] = {u.yearRow, u.quarterRow, u.monthRow};
    for (std::size_t row = 0; row < 3; ++row) {
        m_prev[row]->setEnabled(rows[row]);
        m_next[row]->setEnabled(rows[row]);
        m_display[row]->setEnabled(rows[row]);
    }
    m_day->setEnabled(u.dayPicker);
    m_from->setEnabled(u.intervalPickers);
    m_to->setEnabled(u.intervalPickers);
    m_fromYear->setEnabled(u.fromYearStart);
    m_fromQuarter->setEnabled(u.fromQuarterStart);
    m_fromMonth->setEnabled(u.fromMonthStart);
    m_showing = false;
}

void TPeriodDialog::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    // The dialog opens on the choice it recognised, never on a date picker (which would raise
    // the soft input panel).
    ShowFocus(Radio(m_selection.Choice()));
}

void TPeriodDialog::changeEvent(QEvent* event)
{
    QDialog::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        FitToScreen(this);
}

bool ChoosePeriod(QWidget* owner, TDate& start, TDate& end, TDate today)
{
    TPeriodDialog dialog(owner, start, end, today);
    TModalChildScope modalChild;
    if (RunModal(dialog) != kModalOk)
        return false;
    dialog.Selection().Result(start, end);
    return true;
}

} // namespace vendrix
