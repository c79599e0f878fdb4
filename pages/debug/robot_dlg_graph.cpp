// The Debug page's graph controls: which curves the chart draws, its zoom, shift and the
// limits of its vertical axis.
#include "pages/debug/robot_dlg.h"
#include "pages/debug/robot_dlg_view.h"

namespace {

// The chart channel of a curve's check box; 0 for any other control.
uint32_t ChannelBit(int control) {
    switch (control) {
        case kPositionCheck:
            return chart::kPositionBit;
        case kTorqueGraphCheck:
            return chart::kTorqueBit;
        case kSpeedCheck:
            return chart::kSpeedBit;
        case kGoalCheck:
            return chart::kGoalBit;
        case kFastSlowCheck:
            return chart::kFastSlowBit;
        case kCurrentCheck:
            return chart::kCurrentBit;
        case kVoltageCheck:
            return chart::kVoltageBit;
        case kTemperatureCheck:
            return chart::kTemperatureBit;
        default:
            return 0;
    }
}

}  // namespace

void CRobotDlg::OnGraphCheck(int control) {
    const uint32_t bit = ChannelBit(control);
    if (bit == 0) return;
    graph_.SetChannel(bit, view_->IsChecked(control));
    graph_.Redraw();
}

void CRobotDlg::OnZoomScroll() {
    graph_.SetZoom(view_->SliderPos(kZoomSlider));
    graph_.Redraw();
}

void CRobotDlg::OnShiftScroll() {
    graph_.SetShift(view_->SliderPos(kShiftSlider));
    graph_.Redraw();
}

void CRobotDlg::OnUpChanged() {
    graph_.SetUpper(EditInt(kUpEdit));
    graph_.Redraw();
}

void CRobotDlg::OnLowChanged() {
    graph_.SetLower(EditInt(kLowEdit));
    graph_.Redraw();
}
