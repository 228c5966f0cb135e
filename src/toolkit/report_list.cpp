// The report list: a flat table model over the window's source, a delegate for the image-only
// column and the grid lines, and the view's handheld habits (whole rows, stylus up, pop-up).
#include "toolkit/report_list.h"

#include <QAbstractTableModel>
#include <QFocusEvent>
#include <QHeaderView>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyle>
#include <QStyledItemDelegate>

namespace vendrix {

class TReportModel : public QAbstractTableModel {
public:
    explicit TReportModel(TReportList* list)
        : QAbstractTableModel(list)
        , m_list(list)
    {
    }

    void SetSource(const TReportSource* source)
    {
        beginResetModel();
        m_source = source;
        endResetModel();
    }
    void Begin() { beginResetModel(); }
    void End() { endResetModel(); }
    void ColumnsChanged()
    {
        beginResetModel();
        endResetModel();
    }

    int rowCount(const QModelIndex& parent) const override
    {
        return parent.isValid() || !m_source ? 0 : m_source->RowCount();
    }
    int columnCount(const QModelIndex& parent) const override
    {
        return parent.isValid() ? 0 : static_cast<int>(m_list->m_columns.size());
    }

    QVariant data(const QModelIndex& index, int role) const override
    {
        if (!m_source || !index.isValid())
            return {};
        const int row = index.row(), column = index.column();
        switch (role) {
        case Qt::DisplayRole:
            return m_source->Cell(row, column);
        case Qt::TextAlignmentRole:
            return QVariant::fromValue(Alignment(column) | Qt::AlignVCenter);
        case Qt::DecorationRole: {
            if (column != m_list->m_imageColumn)
                return {};
            const int image = m_source->Image(row);
            const auto& images = m_list->m_images;
            if (image < 0 || image >= static_cast<int>(images.size()))
                return {};
            return images[static_cast<std::size_t>(image)];
        }
        case TReportList::kImageRole:
            return m_source->Image(row);
        case Qt::ForegroundRole: {
            const QColor colour = m_source->TextColour(row);
            return colour.isValid() ? QVariant(colour) : QVariant();
        }
        default:
            return {};
        }
    }

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        if (orientation != Qt::Horizontal || section < 0
            || section >= static_cast<int>(m_list->m_columns.size()))
            return {};
        if (role == Qt::DisplayRole)
            return m_list->m_columns[static_cast<std::size_t>(section)].caption;
        if (role == Qt::TextAlignmentRole) {
            // A caption wider than its column (a category name over a 40-pixel count column)
            // starts at the left, so its beginning shows rather than its end.
            const QString& caption = m_list->m_columns[static_cast<std::size_t>(section)].caption;
            const int margin
                = m_list->style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, m_list) * 2;
            const bool fits = m_list->header()->fontMetrics().horizontalAdvance(caption) + margin
                <= m_list->columnWidth(section);
            return QVariant::fromValue(
                (fits ? Alignment(section) : Qt::AlignLeft) | Qt::AlignVCenter);
        }
        return {};
    }

private:
    Qt::Alignment Alignment(int column) const
    {
        return m_list->m_columns[static_cast<std::size_t>(column)].alignment
            & Qt::AlignHorizontal_Mask;
    }

    TReportList* m_list;
    const TReportSource* m_source = nullptr;
};

namespace {

// Draws the image-only column (the picture centred, the text hidden, as the handheld's narrow
// first column does) and the grid lines when the list has them.
class TReportDelegate : public QStyledItemDelegate {
public:
    explicit TReportDelegate(TReportList* list)
        : QStyledItemDelegate(list)
        , m_list(list)
    {
    }

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
        const QModelIndex& index) const override
    {
        if (index.column() == m_list->ImageColumn()) {
            QStyleOptionViewItem opt = option;
            initStyleOption(&opt, index);
            opt.text.clear();
            opt.icon = QIcon();
            opt.features &= ~QStyleOptionViewItem::HasDecoration;
            const QWidget* widget = option.widget;
            QStyle* style = widget ? widget->style() : nullptr;
            if (style)
                style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, widget);
            const QVariant picture = index.data(Qt::DecorationRole);
            if (picture.canConvert<QPixmap>()) {
                const QPixmap pixmap = picture.value<QPixmap>();
                const QSize size = pixmap.deviceIndependentSize().toSize();
                const QRect r = option.rect;
                const QPoint at(r.left() + (r.width() - size.width()) / 2,
                    r.top() + (r.height() - size.height()) / 2);
                painter->save();
                painter->setClipRect(r);
                painter->drawPixmap(at, pixmap);
                painter->restore();
            }
        } else {
            QStyledItemDelegate::paint(painter, option, index);
        }
        if (m_list->GridLines()) {
            painter->save();
            painter->setPen(option.palette.color(QPalette::Mid));
            const QRect r = option.rect;
            painter->drawLine(r.bottomLeft(), r.bottomRight());
            painter->drawLine(r.topRight(), r.bottomRight());
            painter->restore();
        }
    }

private:
    const TReportList* m_list;
};

// Tab into a list where no row is chosen yet chooses the row the focus stands on (the first):
// Enter then acts on a row the agent sees, and the arrows move from it. A tap chooses its own.
class TKeyboardEntry : public QObject {
public:
    explicit TKeyboardEntry(TReportList* list)
        : QObject(list)
        , m_list(list)
    {
        list->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == m_list && event->type() == QEvent::FocusIn) {
            const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
            const bool byTab = reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason;
            if (byTab && m_list->SelectedRow() < 0 && m_list->model()->rowCount() > 0) {
                const QModelIndex current = m_list->currentIndex();
                m_list->SelectRow(current.isValid() ? current.row() : 0);
            }
        }
        return QObject::eventFilter(watched, event);
    }

private:
    TReportList* m_list;
};

} // namespace

TReportList::TReportList(QWidget* parent)
    : QTreeView(parent)
    , m_model(new TReportModel(this))
{
    setModel(m_model);
    setItemDelegate(new TReportDelegate(this));
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    header()->setStretchLastSection(false);
    // The state column is 18 pixels wide: narrower than the style's default minimum.
    // Hidden key columns are 0 or 1 pixel wide, as the handheld draws them.
    header()->setMinimumSectionSize(0);
    header()->setSectionsMovable(false);
    header()->setSectionResizeMode(QHeaderView::Interactive);
    new TKeyboardEntry(this);
    setContextMenuPolicy(Qt::CustomContextMenu);
    connect(this, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        if (onContextMenu)
            onContextMenu(viewport()->mapToGlobal(pos));
    });
}

TReportList::~TReportList() = default;

void TReportList::SetColumns(std::vector<TReportColumn> columns)
{
    m_columns = std::move(columns);
    m_model->ColumnsChanged();
    for (int c = 0; c < ColumnCount(); ++c)
        setColumnWidth(c, m_columns[static_cast<std::size_t>(c)].width);
    if (m_fitColumn >= 0 && m_fitColumn < ColumnCount())
        FitLastColumn(this, m_fitColumn, m_columns[static_cast<std::size_t>(m_fitColumn)].width);
}

void TReportList::SetImages(std::vector<QPixmap> images, int imageColumn)
{
    m_images = std::move(images);
    m_imageColumn = imageColumn;
    if (!m_images.empty())
        setIconSize(m_images.front().deviceIndependentSize().toSize());
    viewport()->update();
}

void TReportList::SetSource(const TReportSource* source)
{
    m_model->SetSource(source);
}

void TReportList::SetGridLines(bool on)
{
    m_grid = on;
    viewport()->update();
}

void TReportList::SetFitColumn(int column)
{
    m_fitColumn = column;
    if (column >= 0 && column < ColumnCount())
        FitLastColumn(this, column, m_columns[static_cast<std::size_t>(column)].width);
}

void TReportList::BeginUpdate()
{
    setUpdatesEnabled(false);
    m_model->Begin();
}

void TReportList::EndUpdate()
{
    m_model->End();
    setUpdatesEnabled(true);
}

int TReportList::ColumnCount() const
{
    return static_cast<int>(m_columns.size());
}

QString TReportList::ColumnCaption(int column) const
{
    return m_model->headerData(column, Qt::Horizontal, Qt::DisplayRole).toString();
}

Qt::Alignment TReportList::ColumnAlignment(int column) const
{
    return m_columns.at(static_cast<std::size_t>(column)).alignment;
}

int TReportList::SelectedRow() const
{
    const QModelIndexList rows = selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.front().row();
}

void TReportList::SelectRow(int row)
{
    if (row < 0 || row >= m_model->rowCount({})) {
        selectionModel()->clearSelection();
        return;
    }
    selectionModel()->setCurrentIndex(
        m_model->index(row, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

void TReportList::mouseReleaseEvent(QMouseEvent* event)
{
    QTreeView::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && onStylusUp)
        onStylusUp();
}

void TReportList::resizeEvent(QResizeEvent* event)
{
    QTreeView::resizeEvent(event);
    if (m_fitColumn >= 0 && m_fitColumn < ColumnCount())
        FitLastColumn(this, m_fitColumn, m_columns[static_cast<std::size_t>(m_fitColumn)].width);
}

void FitLastColumn(QTreeView* list, int column, int minimumWidth)
{
    const int columns = list->model() ? list->model()->columnCount({}) : 0;
    if (column < 0 || column >= columns)
        return;
    int others = 0;
    for (int c = 0; c < columns; ++c)
        if (c != column)
            others += list->columnWidth(c);
    // The scroll bar is counted whether shown or not, so a growing list never has to scroll
    // sideways when its vertical bar appears.
    const int scrollBar = list->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, list);
    const int width = list->contentsRect().width() - others - scrollBar - 2;
    list->setColumnWidth(column, std::max(width, minimumWidth));
}

} // namespace vendrix
