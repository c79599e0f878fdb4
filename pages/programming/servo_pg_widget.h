#pragma once
// The page's tab in the main window. Empty until the page's controls are built.
#include <QWidget>

class CServoPG;

class CServoPGWidget : public QWidget {
    Q_OBJECT
  public:
    explicit CServoPGWidget(CServoPG& page, QWidget* parent = nullptr);

  private:
    CServoPG& page_;
};
