#pragma once
// What VexaUpdate's download procedure shows, called on the worker thread that runs it:
// the Qt dialog hands each call to its own thread, the command line prints it.
#include <string>

enum class UpdateIcon { kError, kExclamation };

class UpdateView {
  public:
    virtual ~UpdateView() = default;
    // The log edit 1321 gets this whole text.
    virtual void SetLog(const std::string& text) = 0;
    // The same, for the running byte figure (the log followed by the latest progress line).
    virtual void SetProgress(const std::string& text) { SetLog(text); }
    // Button 1266.
    virtual void EnableDownload(bool enabled) = 0;
    // A message box with the caption "VexaUpdate" and one OK button.
    virtual void ShowMessage(const std::string& text, UpdateIcon icon) = 0;
};
