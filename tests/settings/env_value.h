#pragma once
// Sets (or, with nullptr, unsets) an environment variable for one scope and puts the old
// value back afterwards, so a test leaves the environment as it found it.
#include <cstdlib>
#include <optional>
#include <string>

class EnvValue {
  public:
    EnvValue(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        if (value) {
            setenv(name, value, 1);
        } else {
            unsetenv(name);
        }
    }
    ~EnvValue() {
        if (old_) {
            setenv(name_, old_->c_str(), 1);
        } else {
            unsetenv(name_);
        }
    }

  private:
    const char* name_;
    std::optional<std::string> old_;
};
