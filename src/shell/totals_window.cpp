// The totals window: the whole with its chart, the lists by day and by client, the bottom bar.
#include "shell/totals_window.h"

#include "toolkit/qt_text.h"

#include "documents/document.h"
#include "storage/options.h"
#include "toolkit/glyphs.h"
#include "toolkit/menu_bar.h"
#include "toolkit/modal.h"
#include "toolkit/report_list.h"
#include "toolkit/window_placement.h"

#include <QBoxLayout>
#include <QEvent>
#include <QGridLayout>
#include <QHelpEvent>
#include <QLabel>
#include <QPainter>
#include <QTabBar>
#include <QTabWidget>
#include <QToolTip>

#include <algorithm>
#include <limits>

namespace vendrix {

// The lines of one list as the list paints them: the day or the client, the orders, the sum.
class TTotalsRows : public TReportSource {
public:
    TTotalsRows(const std::vector<TTotalsLine>& lines, bool days)
        : m_lines(lines)
        , m_days(days)
    {
    }
    int RowCount() const override { return static_cast<int>(m_lines.size()); }
    QString Cell(int row, int column) const override
    {
        const TTotalsLine& l = m_lines[static_cast<std::size_t>(row)];
        switch (column) {
        case 0:
            return Q(m_days ? DayText(l.key) : l.key);
        case 1:
            return QString::number(l.orders);
        case 2:
            return Q(AmountText(l.sum, 2, false));
        default:
            return {};
        }
    }
    int Image(int) const override { return -1; }

private:
    const std::vector<TTotalsLine>& m_lines;
    bool m_days;
};

namespace {

constexpr int kBarPitch = 4; // the narrowest room a bar takes, its gap included
constexpr int kWidestBar = 28; // so that a period of two days does not draw two walls
const QColor kGain(0x2E, 0x8B, 0x57);
const QColor kLoss(0xC0, 0x39, 0x2B);

QString ChartCaption(TChartStep step, bool sums)
{
    const char* per = step == TChartStep::Day ? "по дням"
        : step == TChartStep::Month           ? "по месяцам"
                                              : "по годам";
    return Q(std::string(sums ? "Сумма " : "Заказов ") + per);
}

QLabel* FigureLabel(QWidget* parent, const QString& text, bool bold)
{
    auto* label = new QLabel(text, parent);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    if (bold) {
        QFont font = label->font();
        font.setBold(true);
        label->setFont(font);
    }
    return label;
}

} // namespace

TTotalsChart::TTotalsChart(QWidget* parent, std::vector<TTotalsLine> days, bool sums)
    : QWidget(parent)
    , m_days(std::move(days))
    , m_sums(sums)
{
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

QSize TTotalsChart::sizeHint() const
{
    return {200, 120};
}

QSize TTotalsChart::minimumSizeHint() const
{
    // The caption over the largest value, a few pixels of bars and the labels under them.
    return {120, 4 * fontMetrics().height() + 24};
}

void TTotalsChart::paintEvent(QPaintEvent*)
{
    ++m_paints;
    m_bars.clear();
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing, false);
    const QColor ink = palette().color(QPalette::WindowText);
    QFont small = font();
    small.setPixelSize(std::max(8, QFontInfo(font()).pixelSize() - 2));
    const QFontMetrics fm(font()), sm(small);

    const QRect area = rect().adjusted(2, 0, -2, 0);
    m_painted = ChartOf(m_days, std::max(1, area.width() / kBarPitch), m_sums);
    std::int64_t top = 0, bottom = 0; // the scale, zero always on it
    for (const TChartBar& bar : m_painted.bars) {
        top = std::max(top, bar.value);
        bottom = std::min(bottom, bar.value);
    }

    // The caption, and the largest value as the scale's only figure: at the right on the same
    // line, or under the caption where a narrow chart has no room for both.
    const QString caption = ChartCaption(m_painted.step, m_sums);
    const QString topText
        = m_painted.bars.empty() ? QString() : Q(ChartValueText(top != 0 ? top : bottom, m_sums));
    const bool oneLine
        = fm.horizontalAdvance(caption) + fm.horizontalAdvance(topText) + 8 <= area.width();
    const int header = fm.height() * (oneLine ? 1 : 2);
    p.setPen(ink);
    p.drawText(
        area.left(), area.top(), area.width(), fm.height(), Qt::AlignLeft | Qt::AlignTop, caption);
    p.drawText(area.left(), area.top() + header - fm.height(), area.width(), fm.height(),
        Qt::AlignRight | Qt::AlignTop, topText);
    const QRect plot(area.left(), area.top() + header + 2, area.width(),
        area.height() - header - sm.height() - 6);
    if (m_painted.bars.empty()) {
        p.drawText(plot, Qt::AlignCenter | Qt::TextWordWrap, Q("Нет заказов за период"));
        return;
    }
    if (plot.height() < 4)
        return;

    const double span = static_cast<double>(top - bottom);
    const auto yOf = [&](std::int64_t value) {
        if (span <= 0)
            return plot.bottom();
        return plot.top()
            + static_cast<int>(static_cast<double>(top - value) / span * (plot.height() - 1));
    };
    const int zero = yOf(0);
    const int n = static_cast<int>(m_painted.bars.size());
    const int pitch = std::max(1, std::min(plot.width() / n, kWidestBar + kWidestBar / 3));
    const int width = std::max(1, pitch * 3 / 4);
    const int left = plot.left() + (plot.width() - pitch * n) / 2;

    p.setPen(ink);
    p.drawLine(plot.left(), zero, plot.right(), zero);
    int labelEnd = std::numeric_limits<int>::min(); // where the last label drawn ends
    p.setFont(small);
    for (int i = 0; i < n; ++i) {
        const TChartBar& bar = m_painted.bars[static_cast<std::size_t>(i)];
        const int x = left + i * pitch + (pitch - width) / 2;
        const int y = yOf(bar.value);
        const QRect r = bar.value >= 0 ? QRect(x, y, width, std::max(1, zero - y + 1))
                                       : QRect(x, zero, width, std::max(1, y - zero + 1));
        p.fillRect(r, bar.value >= 0 ? kGain : kLoss);
        m_bars.push_back(r);
        // A label under its bar where it does not run into the one before.
        const QString label = Q(bar.label);
        const int labelWidth = sm.horizontalAdvance(label);
        const int labelLeft = std::max(
            area.left(), std::min(x + width / 2 - labelWidth / 2, area.right() - labelWidth));
        if (labelLeft > labelEnd + 4) {
            p.setPen(ink);
            p.drawText(labelLeft, plot.bottom() + 3, labelWidth, sm.height(), Qt::AlignLeft, label);
            labelEnd = labelLeft + labelWidth;
        }
    }
}

// A pointer resting on a bar tells its day (or month, or year) and its value.
bool TTotalsChart::event(QEvent* event)
{
    if (event->type() != QEvent::ToolTip)
        return QWidget::event(event);
    const auto* help = static_cast<QHelpEvent*>(event);
    for (std::size_t i = 0; i < m_bars.size() && i < m_painted.bars.size(); ++i) {
        const QRect& r = m_bars[i];
        if (help->pos().x() >= r.left() - 1 && help->pos().x() <= r.right() + 1) {
            const TChartBar& bar = m_painted.bars[i];
            QToolTip::showText(
                help->globalPos(), Q(bar.label + ": " + ChartValueText(bar.value, m_sums)), this);
            return true;
        }
    }
    QToolTip::hideText();
    event->ignore();
    return true;
}

TTotalsWindow::TTotalsWindow(QWidget* owner, TTotals totals, TDate start, TDate end)
    : QDialog(owner)
    , m_totals(std::move(totals))
    , m_sums(GetOption(nullptr, "UseSUMS", "1") != "0")
{
    setWindowTitle(Q("Итоги"));
    setWindowIcon(ProgramIcon());
    resize(kHandheldWidth, kHandheldHeight);
    if (!m_sums) {
        // Sums the journal does not show are not shown here either.
        SortByOrders(m_totals.days);
        SortByOrders(m_totals.clients);
    }

    m_pages = new QTabWidget(this);
    m_pages->addTab(BuildWholePage(start, end), Q("Всего"));
    m_daysList = BuildList("Дата", m_dayRows, m_totals.days, true);
    m_pages->addTab(m_daysList, Q("По дням"));
    m_clientsList = BuildList("Клиент", m_clientRows, m_totals.clients, false);
    m_pages->addTab(m_clientsList, Q("По клиентам"));
    BuildMenuBar();

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_pages, 1);
    layout->addWidget(m_menu);
    // The pages' tabs take the keyboard first: arrows and Ctrl+Tab go from page to page.
    m_pages->tabBar()->setFocus();
}

TTotalsWindow::~TTotalsWindow()
{
    // The lists go with the QWidget part, after the rows they show.
    m_daysList->SetSource(nullptr);
    m_clientsList->SetSource(nullptr);
}

QWidget* TTotalsWindow::Page(TTotalsPage page) const
{
    return m_pages->widget(static_cast<int>(page));
}

// The figures and the states counted, with the chart under them (beside them in landscape).
QWidget* TTotalsWindow::BuildWholePage(TDate start, TDate end)
{
    auto* page = new QWidget;
    m_figures = new QWidget(page);
    auto* column = new QVBoxLayout(m_figures);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(4);
    column->addLayout(BuildFigures(m_figures, start, end));
    column->addLayout(BuildStates(m_figures));
    column->addStretch(1);
    m_chart = new TTotalsChart(page, m_totals.days, m_sums);
    m_wholeLayout = new QBoxLayout(QBoxLayout::TopToBottom, page);
    m_wholeLayout->setContentsMargins(4, 4, 4, 4);
    m_wholeLayout->setSpacing(6);
    m_wholeLayout->addWidget(m_figures);
    m_wholeLayout->addWidget(m_chart, 1);
    return ScrollWhenShort(page);
}

QLayout* TTotalsWindow::BuildFigures(QWidget* page, TDate start, TDate end)
{
    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(6);
    grid->setVerticalSpacing(2);
    grid->setColumnStretch(1, 1);
    int row = 0;
    const auto add = [&](const char* caption, const std::string& value) {
        grid->addWidget(FigureLabel(page, Q(caption), false), row, 0);
        QLabel* label = FigureLabel(page, Q(value), true);
        label->setWordWrap(true);
        grid->addWidget(label, row++, 1);
        return label;
    };
    m_period = add("Период:", JournalPeriodText(start, end));
    m_orders = add("Заказов:", std::to_string(m_totals.whole.orders));
    if (m_sums)
        m_sum = add("Сумма:", AmountText(m_totals.whole.sum, 2, false));
    m_weight = add("Вес:", AmountText(m_totals.whole.weight, 3, false));
    return grid;
}

// Which states the figures count: every one the journal lists, each with its image from the
// journal and its number of orders, in rows as many as the width needs.
QLayout* TTotalsWindow::BuildStates(QWidget* page)
{
    auto* box = new QVBoxLayout;
    box->setSpacing(2);
    m_statesNote = new QLabel(
        Q("Учтены все заказы, как в журнале: в любом состоянии, с удалёнными и переданными в БД."),
        page);
    m_statesNote->setWordWrap(true);
    box->addWidget(m_statesNote);
    const std::vector<QPixmap> images = ImageList(QStringLiteral("FMAIN_IL_STATES"), 16, 12);
    for (const TStateCount& s : m_totals.states) {
        auto* cell = new QWidget(page);
        cell->setToolTip(Q(StatusText(s.state)));
        auto* row = new QHBoxLayout(cell);
        row->setContentsMargins(0, 0, 6, 0);
        row->setSpacing(2);
        const bool pictured = s.state >= 0 && s.state < static_cast<int>(images.size());
        if (pictured) {
            auto* image = new QLabel(cell);
            image->setPixmap(images[static_cast<std::size_t>(s.state)]);
            row->addWidget(image);
        }
        // A state with no picture in the journal is named by its number.
        row->addWidget(new QLabel(
            Q((pictured ? "" : "[" + std::to_string(s.state) + "] ") + std::to_string(s.orders)),
            cell));
        m_stateCells.push_back(cell);
    }
    m_states = new QGridLayout;
    m_states->setSpacing(0);
    box->addLayout(m_states);
    FlowStates(static_cast<int>(m_stateCells.size()));
    return box;
}

void TTotalsWindow::FlowStates(int perRow)
{
    perRow = std::max(1, perRow);
    for (QWidget* cell : m_stateCells)
        m_states->removeWidget(cell);
    for (int c = 0; c < m_states->columnCount(); ++c)
        m_states->setColumnStretch(c, 0);
    for (int i = 0; i < static_cast<int>(m_stateCells.size()); ++i)
        m_states->addWidget(m_stateCells[static_cast<std::size_t>(i)], i / perRow, i % perRow);
    m_states->setColumnStretch(perRow, 1);
}

TReportList* TTotalsWindow::BuildList(const char* keyCaption, std::unique_ptr<TTotalsRows>& rows,
    const std::vector<TTotalsLine>& lines, bool days)
{
    auto* list = new TReportList(this);
    std::vector<TReportColumn> columns {
        {Q(keyCaption), days ? 84 : 80, Qt::AlignLeft},
        {Q("Заказов"), 52, Qt::AlignRight},
    };
    if (m_sums)
        columns.push_back({Q("Сумма"), 72, Qt::AlignRight});
    list->SetColumns(std::move(columns));
    // A client's name takes what the row has left; a date needs no more than its width.
    list->SetFitColumn(days ? list->ColumnCount() - 1 : 0);
    rows = std::make_unique<TTotalsRows>(lines, days);
    list->SetSource(rows.get());
    return list;
}

void TTotalsWindow::BuildMenuBar()
{
    using namespace totals_menu;
    m_menu = new TMenuBar(this);
    for (const char* caption : kCaptions)
        m_menu->AddItem(Q(caption));
    m_menu->onCommand = [this](int item) {
        if (item == kClose)
            CloseDialog(this, false);
    };
}

void TTotalsWindow::changeEvent(QEvent* event)
{
    QDialog::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        FitToScreen(this);
}

void TTotalsWindow::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    if (!m_wholeLayout)
        return;
    // In a landscape window the chart stands beside the figures and keeps its height; the
    // figures wrap into under half the width, so that the chart keeps the larger part.
    const bool landscape = width() > height();
    constexpr int kWidestFigures = 260;
    const int room = landscape ? std::min(width() * 9 / 20, kWidestFigures) : width() - 8;
    m_wholeLayout->setDirection(landscape ? QBoxLayout::LeftToRight : QBoxLayout::TopToBottom);
    m_figures->setMinimumWidth(landscape ? room : 0);
    m_figures->setMaximumWidth(landscape ? room : QWIDGETSIZE_MAX);
    int widest = 1;
    for (const QWidget* cell : m_stateCells)
        widest = std::max(widest, cell->sizeHint().width());
    FlowStates(room / widest);
    // Wrapped into that width the figures are taller than their hint: the page scrolls rather
    // than lay them over each other.
    m_figures->setMinimumHeight(landscape ? m_figures->layout()->totalHeightForWidth(room) : 0);
}

void RunTotalsWindow(QWidget* owner, TDate start, TDate end)
{
    std::optional<TTotals> totals = JournalTotals(start, end);
    if (!totals)
        return;
    TTotalsWindow window(owner, std::move(*totals), start, end);
    RunModal(window);
}

} // namespace vendrix
