#include "pages/pwm/servo_pwm.h"

CServoPwm::CServoPwm(Tervion& tervion, BusLock& lock) : tervion_(tervion), lock_(lock) {}
