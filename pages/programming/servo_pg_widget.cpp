#include "pages/programming/servo_pg_widget.h"

#include "pages/programming/servo_pg.h"

CServoPGWidget::CServoPGWidget(CServoPG& page, QWidget* parent) : QWidget(parent), page_(page) {}
