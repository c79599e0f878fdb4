#pragma once
// The enabled, shown or checked state of a control in a fake view. A control starts as
// never set, which is neither true nor false: a test that reads it fails, so an assertion
// that a control is disabled or hidden holds only when the code really said so.
#include <gtest/gtest.h>

#include <optional>

class ControlFlag {
  public:
    ControlFlag& operator=(bool on) {
        value_ = on;
        return *this;
    }
    operator bool() const {
        if (!value_) ADD_FAILURE() << "the control's state was read but never set";
        return value_.value_or(false);
    }
    bool was_set() const { return value_.has_value(); }

  private:
    std::optional<bool> value_;
};
