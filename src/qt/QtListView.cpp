#include "qt/QtListView.h"

#include <QApplication>
#include <QHeaderView>
#include <QInputMethodEvent>
#include <QItemSelectionModel>
#include <QMouseEvent>

#include <algorithm>

#include "frmMain/Layout.h"

namespace solne {

// ------------------------------------------------------------------ model

void ListModel::AddColumn(const QString& header) {
    int column = int(headers_.size());
    beginInsertColumns(QModelIndex(), column, column);
    headers_.append(header);
    endInsertColumns();
}

void ListModel::SetRows(std::vector<ListRow> rows) {
    beginResetModel();
    rows_ = std::move(rows);
    endResetModel();
}

int ListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(rows_.size());
}

int ListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(headers_.size());
}

QVariant ListModel::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole || !index.isValid()) return {};
    if (index.row() >= int(rows_.size()) || index.column() >= 3) return {};
    return QString::fromStdString(rows_[size_t(index.row())].texts[index.column()]);
}

QVariant ListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= headers_.size()) return {};
    if (role == Qt::DisplayRole) return headers_[section];
    if (role == Qt::TextAlignmentRole) return int(Qt::AlignLeft | Qt::AlignVCenter);
    return {};
}

Qt::ItemFlags ListModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

// ------------------------------------------------------------------- view

namespace {

// Marks a change made by code, so it raises no ItemClick.
class Quiet {
public:
    explicit Quiet(int& depth) : depth_(depth) { ++depth_; }
    ~Quiet() { --depth_; }
    Quiet(const Quiet&) = delete;
    Quiet& operator=(const Quiet&) = delete;

private:
    int& depth_;
};

}  // namespace

// The pause after which typing starts a new search is the platform's
// (QApplication::keyboardInputInterval).
QtListView::QtListView(bool multiSelect, QWidget* parent)
    : QTreeView(parent), model_(new ListModel(this)), typeAhead_(QApplication::keyboardInputInterval()) {
    clock_.start();
    setAttribute(Qt::WA_InputMethodEnabled);  // composed text searches too
    setModel(model_);
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setSortingEnabled(false);
    setAllColumnsShowFocus(true);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(multiSelect ? QAbstractItemView::ExtendedSelection
                                 : QAbstractItemView::SingleSelection);
    setDragEnabled(false);
    header()->setSectionsClickable(false);
    header()->setSectionsMovable(false);
    header()->setStretchLastSection(false);
    header()->setSectionResizeMode(QHeaderView::Interactive);

    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { OnSelectionChanged(); });
    connect(this, &QAbstractItemView::clicked, this,
            [this](const QModelIndex& index) { OnClicked(index); });
}

void QtListView::AddColumn(const std::string& header, int widthTwips) {
    model_->AddColumn(QString::fromStdString(header));
    setColumnWidth(model_->columnCount() - 1, layout::Pixels(widthTwips));
}

void QtListView::SetRows(std::vector<ListRow> rows) {
    Quiet quiet(quiet_);
    model_->SetRows(std::move(rows));
}

int QtListView::RowCount() const { return int(model_->Rows().size()); }

const ListRow& QtListView::Row(int row) const { return model_->Rows().at(size_t(row)); }

void QtListView::SetSelected(int row, bool selected) {
    if (row < 0 || row >= RowCount()) return;
    Quiet quiet(quiet_);
    auto flags = (selected ? QItemSelectionModel::Select : QItemSelectionModel::Deselect) |
                 QItemSelectionModel::Rows;
    selectionModel()->select(model_->index(row, 0), flags);
}

void QtListView::SetSelectedRows(const std::vector<int>& rows) {
    Quiet quiet(quiet_);
    QItemSelection selection;
    int last = model_->columnCount() - 1;
    for (size_t i = 0; i < rows.size();) {
        size_t j = i;
        while (j + 1 < rows.size() && rows[j + 1] == rows[j] + 1) ++j;  // one run of rows
        selection.append(QItemSelectionRange(model_->index(rows[i], 0), model_->index(rows[j], last)));
        i = j + 1;
    }
    selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
}

std::vector<int> QtListView::SelectedRows() const {
    std::vector<int> rows;
    const QItemSelection selection = selectionModel()->selection();
    for (const QItemSelectionRange& range : selection)
        for (int r = range.top(); r <= range.bottom(); ++r) rows.push_back(r);
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    return rows;
}

std::optional<int> QtListView::CurrentRow() const {
    std::vector<int> rows = SelectedRows();
    if (rows.empty()) return std::nullopt;
    if (rows.size() == 1) return rows.front();
    QModelIndex focused = currentIndex();
    if (focused.isValid() && std::binary_search(rows.begin(), rows.end(), focused.row()))
        return focused.row();
    return std::nullopt;
}

void QtListView::mousePressEvent(QMouseEvent* event) {
    changedSincePress_ = false;
    QTreeView::mousePressEvent(event);
}

void QtListView::keyboardSearch(const QString& search) {
    const QModelIndex focused = currentIndex();
    std::optional<int> row = typeAhead_.Typed(*this, search.toStdString(), clock_.elapsed(),
                                              focused.isValid() ? std::optional<int>(focused.row()) : std::nullopt);
    if (!row) return;
    const QModelIndex index = model_->index(*row, 0);
    if (SelectedRows() == std::vector<int>{*row} && focused.row() == *row) return;  // nothing moves
    // What an arrow key does: the row becomes current and the selection.
    selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    scrollTo(index);
}

void QtListView::inputMethodEvent(QInputMethodEvent* event) {
    if (event->commitString().isEmpty()) {
        event->ignore();
        return;
    }
    keyboardSearch(event->commitString());
    event->accept();
}

void QtListView::OnSelectionChanged() {
    if (quiet_ > 0) return;
    changedSincePress_ = true;
    emit ItemClick();
}

void QtListView::OnClicked(const QModelIndex& index) {
    // A click on a row that changed nothing (the row was already the selection)
    // still counts as a click on that row.
    if (quiet_ == 0 && !changedSincePress_ && index.isValid()) emit ItemClick();
}

}  // namespace solne
