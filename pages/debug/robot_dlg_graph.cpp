// The Debug page's graph controls: which curves the chart draws, its zoom, shift and the
// limits of its vertical axis.
#include "pages/debug/robot_dlg.h"
#include "pages/debug/robot_dlg_view.h"

void CRobotDlg::OnGraphCheck(int control) {
    uint32_t bit = 0;
    switch (control) {
        case kPositionCheck:
            bit = chart::kPositionBit;
            break;
        case kTorqueGraphCheck:
            bit = chart::kTorqueBit;
            break;
        case kSpeedCheck:
            bit = chart::kSpeedBit;
            break;
        case kGoalCheck:
            bit = chart::kGoalBit;
            break;
        case kFastSlowCheck:
            bit = chart::kFastSlowBit;
            break;
        case kCurrentCheck:
            bit = chart::kCurrentBit;
            break;
        case kVoltageCheck:
            bit = chart::kVoltageBit;
            break;
        case kTemperatureCheck:
            bit = chart::kTemperatureBit;
            break;
        default:
            return;
    }
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
