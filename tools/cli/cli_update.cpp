#include "tools/cli/cli_update.h"

#include <ostream>

#include "platform/settings_store.h"
#include "platform/system.h"
#include "updater/update_download.h"

namespace {

// The log after each step; the running byte figure only as it stood when the step ended.
class ConsoleUpdateView : public UpdateView {
  public:
    ConsoleUpdateView(std::ostream& out, std::ostream& err) : out_(out), err_(err) {}
    ~ConsoleUpdateView() override { Flush(); }

    void SetLog(const std::string& text) override {
        Flush();
        out_ << text << "\n";
        out_.flush();
    }
    void SetProgress(const std::string& text) override { pending_ = text; }
    void EnableDownload(bool) override {}
    void ShowMessage(const std::string& text, UpdateIcon icon) override {
        Flush();
        (icon == UpdateIcon::kError ? err_ : out_) << text << "\n";
    }
    void Flush() {
        if (pending_.empty()) return;
        out_ << pending_ << "\n";
        out_.flush();
        pending_.clear();
    }

  private:
    std::ostream& out_;
    std::ostream& err_;
    std::string pending_;
};

}  // namespace

bool ParseSelfUpdateCommand(const std::vector<std::string>& rest, CliOptions& o,
                            std::string& error) {
    if (rest.size() > 1 || (rest.size() == 1 && rest[0].empty())) {
        error = "usage: self-update [DIR]";
        return false;
    }
    o.words = rest.empty() ? std::vector<std::string>{"."} : rest;
    return true;
}

int RunSelfUpdateCommand(const CliOptions& o, std::ostream& out, std::ostream& err) {
    SettingsStore settings(SettingsStore::DefaultFolder());
    ConsoleUpdateView view(out, err);
    UpdateDownload run(view, settings, o.words[0], UserIsChinese());
    return run.Run() == UpdateDownload::Result::kSuccess ? 0 : 1;
}
