// Plain message to the user: a modal box captioned with the application title, one OK button,
// centred on the screen. Tests install a hook in its place so no test ever blocks on a box.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace platform {

void ShowMessage(const std::string& text);

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
