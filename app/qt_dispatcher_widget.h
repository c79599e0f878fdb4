#pragma once
// Posts work from bus threads to the Qt event loop (queued call on a context object that
// lives on the user-interface thread). Never waits for the call to run.
#include <QObject>

#include "platform/ui_dispatcher.h"

class QtUiDispatcher : public UiDispatcher {
  public:
    QtUiDispatcher() = default;
    void Post(std::function<void()> fn) override {
        QMetaObject::invokeMethod(&context_, std::move(fn), Qt::QueuedConnection);
    }

  private:
    QObject context_;
};
