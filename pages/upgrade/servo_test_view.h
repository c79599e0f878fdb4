#pragma once
// What the Upgrade page's logic (CServoTest) needs from the screen. Controls are named by
// the ids of dialog 129; the Qt widget implements this, the command line prints it, tests
// record it. Every call is made on the user-interface thread.
#include <string>

enum UpgradeControl : int {
    kProgressBar = 1121,
    kOpenFirmwareButton = 1122,
    kUpgradeButton = 1123,
    kOnlineFirmwareButton = 1124,
    kTestButton = 1260,
    kResultEdit = 1263,
    kClearButton = 1264,
    kFirmwareLogEdit = 1266,
};

class ServoTestView {
  public:
    virtual ~ServoTestView() = default;

    virtual void SetText(int control, const std::string& text) = 0;
    virtual void Enable(int control, bool enabled) = 0;

    // The progress bar (control 1121).
    virtual void SetProgressRange(int lower, int upper) = 0;
    virtual void SetProgressStep(int step) = 0;
    virtual void SetProgressPos(int position) = 0;

    // The open-file dialog; false when cancelled.
    virtual bool AskOpenFile(const std::string& filter, const std::string& default_extension,
                             std::string& path) = 0;
    // A modal box whose caption names the operation: error icon or exclamation icon.
    virtual void ShowMessage(const std::string& caption, const std::string& text, bool error) = 0;

    // A communication-test worker or an upgrade exchange has ended.
    virtual void TestEnded() {}
    virtual void UpgradeEnded(bool succeeded) {}
};
