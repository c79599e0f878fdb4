#pragma once
// A progress bar that draws its percentage (or a custom text) inside the bar, in the window
// colour over the bar and the highlight colour over the rest, so the text changes colour
// exactly where the bar ends. Painted off screen and copied in one step, so it never flickers.
#include <QProgressBar>

#include "pages/upgrade/text_progress.h"

class CTextProgressCtrl : public QProgressBar {
    Q_OBJECT
  public:
    explicit CTextProgressCtrl(QWidget* parent = nullptr);

    void SetRange(int lower, int upper);
    void SetStep(int step) { state_.SetStep(step); }
    // Returns the previous position.
    int SetPos(int position);
    int StepIt() { return SetPos(state_.pos() + state_.step()); }
    // The window text is the custom text; an empty one shows the percentage.
    void SetWindowText(const std::string& text);
    std::string ShownText() const { return state_.Text(); }
    const TextProgress& state() const { return state_; }

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    TextProgress state_;
    bool show_text_ = true;
    int drawn_width_ = -1;  // bar width last drawn, -1 for none
};
