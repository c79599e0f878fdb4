#pragma once
// The page's tab in the main window. Empty until the page's controls are built.
#include <QWidget>

class CServoTest;

class CServoTestWidget : public QWidget {
    Q_OBJECT
  public:
    explicit CServoTestWidget(CServoTest& page, QWidget* parent = nullptr);

  private:
    CServoTest& page_;
};
