#pragma once
// The memory table behind list 1276: five text columns. A refresh replaces only the
// "Value" cells that changed, so the view repaints those and keeps selection and scroll.
#include <QAbstractTableModel>
#include <array>
#include <string>
#include <utility>
#include <vector>

#include "pages/programming/servo_pg_view.h"

class PgTableModel : public QAbstractTableModel {
    Q_OBJECT
  public:
    using QAbstractTableModel::QAbstractTableModel;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    void SetTitles(const std::array<std::string, 5>& titles);
    void SetRows(const std::vector<PgRow>& rows);
    // Changed "Value" cells; each run of neighbouring rows is announced as one change.
    void SetValues(const std::vector<std::pair<int, std::string>>& changed);
    const std::string& Cell(int row, int column) const;

  private:
    std::vector<std::array<QString, 5>> shown_;
    std::vector<PgRow> rows_;
    std::array<QString, 5> titles_;
};
