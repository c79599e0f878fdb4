#pragma once
// What the bus monitor's logic needs from its screen.
#include <cstddef>
#include <string>

class BusMonitorView {
  public:
    virtual ~BusMonitorView() = default;
    // The shown rows changed: `removed` left at the front (the oldest), `added` came at the
    // end; reset: the whole list was replaced.
    virtual void RowsChanged(size_t removed, size_t added, bool reset) = 0;
    // The file to save to, or empty when the user cancels.
    virtual std::string AskSaveFile(const std::string& suggested) = 0;
    virtual void ShowError(const std::string& text, const std::string& caption) = 0;
};
