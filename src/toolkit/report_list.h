// The handheld's report-style list view over a Qt model/view pair: columns with captions,
// widths and alignments, a small state image per row, optional grid lines, whole-row selection
// and suspended redrawing while the rows are replaced. The rows are not copied into the view:
// the list asks a source for the cells it paints, so a journal of fifty thousand documents
// shows as quickly as one of ten.
#pragma once

#include <QColor>
#include <QPixmap>
#include <QString>
#include <QTreeView>

#include <functional>
#include <vector>

namespace vendrix {

struct TReportColumn {
    QString caption;
    int width;
    Qt::Alignment alignment;
};

/// What a report list shows: the window's own rows, read when painted.
class TReportSource {
public:
    virtual ~TReportSource() = default;
    virtual int RowCount() const = 0;
    virtual QString Cell(int row, int column) const = 0;
    /// Index into the list's images; outside them shows no image.
    virtual int Image(int row) const = 0;
    /// The row's text colour; an invalid colour keeps the list's own.
    virtual QColor TextColour(int) const { return {}; }
};

class TReportModel;

class TReportList : public QTreeView {
public:
    /// The row's image index, beside the picture itself in Qt::DecorationRole.
    static constexpr int kImageRole = Qt::UserRole + 1;

    explicit TReportList(QWidget* parent);
    ~TReportList() override;

    void SetColumns(std::vector<TReportColumn> columns);
    /// The small images (all of one size); column `imageColumn` shows the row's image only,
    /// never its text.
    void SetImages(std::vector<QPixmap> images, int imageColumn = 0);
    void SetSource(const TReportSource* source);
    void SetGridLines(bool on);
    bool GridLines() const { return m_grid; }
    /// Stretches `column` over the rest of the row on every resize, never below its width.
    void SetFitColumn(int column);

    /// Suspends redrawing while the source's rows are replaced; EndUpdate shows the new rows.
    void BeginUpdate();
    void EndUpdate();

    int ColumnCount() const;
    QString ColumnCaption(int column) const;
    Qt::Alignment ColumnAlignment(int column) const;
    const std::vector<QPixmap>& Images() const { return m_images; }
    int ImageColumn() const { return m_imageColumn; }

    /// The selected row, -1 when none.
    int SelectedRow() const;
    void SelectRow(int row);

    /// Runs when the stylus (the left button) is released over the list.
    std::function<void()> onStylusUp;
    /// Runs when the agent asks for the pop-up menu, with its global position.
    std::function<void(const QPoint&)> onContextMenu;

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    friend class TReportModel;
    TReportModel* m_model;
    std::vector<TReportColumn> m_columns;
    std::vector<QPixmap> m_images;
    int m_imageColumn = -1; // none until images are set
    int m_fitColumn = -1;
    bool m_grid = false;
};

/// Sets `column` to the list's width less the other columns and a vertical scroll bar (and 2
/// pixels), but never below `minimumWidth`; so that column, the last or any other, takes all the
/// room the row has beyond the others' widths.
void FitLastColumn(QTreeView* list, int column, int minimumWidth);

} // namespace vendrix
