#include "pages/programming/pg_table_model_widget.h"

namespace {
const std::string kEmpty;
}

int PgTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int PgTableModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : 5; }

QVariant PgTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || role != Qt::DisplayRole) return {};
    return shown_[index.row()][index.column()];
}

QVariant PgTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole) return {};
    if (orientation == Qt::Horizontal && section >= 0 && section < 5) return titles_[section];
    return {};
}

void PgTableModel::SetTitles(const std::array<std::string, 5>& titles) {
    for (int c = 0; c < 5; ++c) titles_[c] = QString::fromStdString(titles[c]);
    emit headerDataChanged(Qt::Horizontal, 0, 4);
}

void PgTableModel::SetRows(const std::vector<PgRow>& rows) {
    beginResetModel();
    rows_ = rows;
    shown_.assign(rows.size(), {});
    for (size_t r = 0; r < rows.size(); ++r)
        for (int c = 0; c < 5; ++c) shown_[r][c] = QString::fromStdString(rows[r][c]);
    endResetModel();
}

void PgTableModel::SetValues(const std::vector<std::pair<int, std::string>>& changed) {
    const int n = static_cast<int>(rows_.size());
    int first = -1, last = -2;
    auto flush = [&] {
        if (first >= 0) emit dataChanged(index(first, 2), index(last, 2), {Qt::DisplayRole});
    };
    for (const auto& [row, text] : changed) {
        if (row < 0 || row >= n) continue;
        rows_[row][2] = text;
        shown_[row][2] = QString::fromStdString(text);
        if (row != last + 1) {
            flush();
            first = row;
        }
        last = row;
    }
    flush();
}

const std::string& PgTableModel::Cell(int row, int column) const {
    if (row < 0 || row >= static_cast<int>(rows_.size()) || column < 0 || column >= 5)
        return kEmpty;
    return rows_[row][column];
}
