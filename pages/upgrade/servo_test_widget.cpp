#include "pages/upgrade/servo_test_widget.h"

#include "pages/upgrade/servo_test.h"

CServoTestWidget::CServoTestWidget(CServoTest& page, QWidget* parent)
    : QWidget(parent), page_(page) {}
