#include "pages/pwm/servo_pwm_widget.h"

#include "pages/pwm/servo_pwm.h"

CServoPwmWidget::CServoPwmWidget(CServoPwm& page, QWidget* parent) : QWidget(parent), page_(page) {}
