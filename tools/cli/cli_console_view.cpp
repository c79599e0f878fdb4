#include "tools/cli/cli_console_view.h"

#include <ostream>

std::string ConsolePgView::Text(int control) const {
    const auto it = text_.find(control);
    return it == text_.end() ? std::string() : it->second;
}

void ConsolePgView::SetValues(const std::vector<std::pair<int, std::string>>& changed) {
    for (const auto& [row, text] : changed)
        if (row >= 0 && row < RowCount()) rows_[row][2] = text;
}

std::string ConsolePgView::CellText(int row, int column) const {
    if (row < 0 || row >= RowCount() || column < 0 || column >= 5) return {};
    return rows_[row][column];
}

void ConsolePgView::ShowMessage(const std::string&, const std::string& text, PgIcon icon) {
    std::ostream& s = icon == PgIcon::kError ? err_ : out_;
    s << text << "\n";
    s.flush();
}

bool ConsolePgView::IsEnabled(int control) const {
    const auto it = enabled_.find(control);
    return it != enabled_.end() && it->second;
}
