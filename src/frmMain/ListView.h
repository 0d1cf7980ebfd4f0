// The window's two lists: a report view with column headers, rows in the
// order given (never sorted), no icons, no in-place editing. Each row carries
// the index of the table slot it shows, so a row always leads to its own
// record even when blank slots are left out of the list.
#pragma once

#include <QAbstractTableModel>
#include <QString>
#include <QStringList>
#include <QTreeView>

#include <optional>
#include <vector>

namespace solne {

struct ListRow {
    QString texts[3];  // row text, sub-item 1, sub-item 2
    int slot = -1;     // the table slot the row shows
};

class ListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    using QAbstractTableModel::QAbstractTableModel;

    void AddColumn(const QString& header);
    void SetRows(std::vector<ListRow> rows);
    const std::vector<ListRow>& Rows() const { return rows_; }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    QStringList headers_;
    std::vector<ListRow> rows_;
};

// Rows are numbered from 0 here.
class ListView : public QTreeView {
    Q_OBJECT
public:
    explicit ListView(bool multiSelect, QWidget* parent = nullptr);

    // Adds a column; the width is in twips (15 per pixel).
    void AddColumn(const QString& header, double widthTwips);
    // The list's width in twips.
    double WidthTwips() const;

    // Replaces every row at once (removing all rows and appending these);
    // afterwards no row is selected.
    void SetRows(std::vector<ListRow> rows);
    int RowCount() const;

    QString Text(int row) const;
    QString SubItem(int row, int k) const;  // k = 1 or 2 (0 is the row text)
    int SlotOf(int row) const;

    void SetSelected(int row, bool selected);
    void SetSelectedRows(const std::vector<int>& rows);  // selects exactly these
    // The selected rows, ascending.
    std::vector<int> SelectedRows() const;

    // The current item: with exactly one selected row, that row; with several,
    // the focused row when it is selected; with none, nothing.
    std::optional<int> CurrentRow() const;

signals:
    // The user changed the selection (mouse or keyboard), or clicked a row
    // without changing it. Never raised for changes made by code.
    void ItemClick();

protected:
    void mousePressEvent(QMouseEvent* event) override;

private:
    void OnSelectionChanged();
    void OnClicked(const QModelIndex& index);

    ListModel* model_;
    int quiet_ = 0;                   // > 0 while code changes rows or selection
    bool changedSincePress_ = false;  // a mouse press already raised ItemClick
};

}  // namespace solne
