#pragma once
// The page's tab in the main window. Empty until the page's controls are built.
#include <QWidget>

class CServoPwm;

class CServoPwmWidget : public QWidget {
    Q_OBJECT
  public:
    explicit CServoPwmWidget(CServoPwm& page, QWidget* parent = nullptr);

  private:
    CServoPwm& page_;
};
