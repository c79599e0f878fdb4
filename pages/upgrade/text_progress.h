#pragma once
// The state of the text progress bar and the text it draws, without any drawing: the Qt
// control paints from it and the command line prints its text.
#include <string>

class TextProgress {
  public:
    void SetRange(int lower, int upper) {
        lower_ = lower;
        upper_ = upper;
    }
    void SetStep(int step) { step_ = step; }
    // Returns the previous position.
    int SetPos(int position) {
        const int old = pos_;
        pos_ = position;
        return old;
    }
    int StepIt() { return SetPos(pos_ + step_); }
    int step() const { return step_; }

    int lower() const { return lower_; }
    int upper() const { return upper_; }
    int pos() const { return pos_; }
    // 0 when the range is empty (nothing is drawn then).
    double Fraction() const {
        return lower_ >= upper_ ? 0.0 : double(pos_ - lower_) / double(upper_ - lower_);
    }
    // Width of the bar in a client area this wide, truncated.
    int BarWidth(int client_width) const { return static_cast<int>(Fraction() * client_width); }
    // The custom text when set, otherwise the percentage ("37%").
    std::string Text() const {
        if (!custom_.empty()) return custom_;
        return std::to_string(static_cast<int>(Fraction() * 100)) + "%";
    }
    void SetCustomText(const std::string& text) { custom_ = text; }
    const std::string& custom_text() const { return custom_; }

  private:
    int pos_ = 0;
    int step_ = 1;
    int upper_ = 100;
    int lower_ = 0;
    std::string custom_;
};
