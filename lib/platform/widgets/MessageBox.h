// Plain message to the user: a modal box captioned with the application title, one OK button,
// centred on the screen. Tests install a hook in its place so no test ever blocks on a box.
#pragma once

#include <functional>

class QFont;
class QString;
#include <string>
#include <vector>

namespace platform {

void ShowMessage(const std::string& text);

// The least width of a box, so that a window manager can show its caption whole.
int MessageBoxMinimumWidth(const QString& caption, const QFont& font);

using MessageHook = std::function<void(const std::string& text)>;
// Installs `hook` in place of the box (an empty hook restores the box); returns the previous one.
MessageHook SetMessageHook(MessageHook hook);

// Records every message while it lives.
class MessageRecorder {
  public:
    MessageRecorder();
    ~MessageRecorder();
    MessageRecorder(const MessageRecorder&) = delete;
    MessageRecorder& operator=(const MessageRecorder&) = delete;
    std::vector<std::string> texts;

  private:
    MessageHook previous_;
};

}  // namespace platform
