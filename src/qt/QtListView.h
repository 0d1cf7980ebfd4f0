// The window's two lists in Qt: a report view with column headers, rows in
// the order given (never sorted), no icons, no in-place editing. The rows
// keep their UTF-8 texts; only the rows on screen are converted for display.
#pragma once

#include <QAbstractTableModel>
#include <QElapsedTimer>
#include <QStringList>
#include <QTreeView>

#include <optional>
#include <vector>

#include "frmMain/Controls.h"
#include "frmMain/TypeAhead.h"

namespace solne {

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

class QtListView : public QTreeView, public ListView {
    Q_OBJECT
public:
    explicit QtListView(bool multiSelect, QWidget* parent = nullptr);

    // ---- ListView
    void AddColumn(const std::string& header, int widthTwips) override;
    void SetRows(std::vector<ListRow> rows) override;
    int RowCount() const override;
    const ListRow& Row(int row) const override;
    std::vector<int> SelectedRows() const override;
    std::optional<int> CurrentRow() const override;

    // Selection by code (tests, benchmarks): raises no ItemClick.
    void SetSelected(int row, bool selected);
    void SetSelectedRows(const std::vector<int>& rows);  // selects exactly these

    // Type-ahead (letters typed, or text the input method composed, while
    // the list has the focus): the row the window logic's rule picks becomes
    // the current and only selected row, as with an arrow key, and
    // ItemClick follows as for any selection the user makes.
    void keyboardSearch(const QString& search) override;

signals:
    // The user changed the selection (mouse or keyboard), or clicked a row
    // without changing it. Never raised for changes made by code.
    void ItemClick();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;

private:
    void OnSelectionChanged();
    void OnClicked(const QModelIndex& index);

    ListModel* model_;
    int quiet_ = 0;                   // > 0 while code changes rows or selection
    bool changedSincePress_ = false;  // a mouse press already raised ItemClick
    TypeAhead typeAhead_;
    QElapsedTimer clock_;             // the type-ahead's time
};

}  // namespace solne
