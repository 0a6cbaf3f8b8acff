// The application object: title, the one application-wide exception handler, the main form and
// the program directory. Every event handler of a form runs through Guarded(), so an exception
// ends that handler and reaches the handler installed here instead of unwinding through Qt.
#pragma once

#include <exception>
#include <functional>
#include <stdexcept>
#include <string>

namespace platform {

class TForm;

class Application {
  public:
    using ExceptionHandler = std::function<void(const std::exception&)>;

    static void SetTitle(const std::string& title);
    static const std::string& Title();

    static void SetExceptionHandler(ExceptionHandler handler);
    static void HandleException(const std::exception& e);

    // The first form shown becomes the main form unless one is set; closing it ends the program.
    static void SetMainForm(TForm* form);
    static TForm* MainForm();
    static void Terminate();  // leaves every event loop once control returns to one
    // Test seam: what Terminate does instead (an empty function restores the default).
    static void SetTerminateHandler(std::function<void()> handler);

    // Directory of the running executable, with its trailing separator. Tests may move it.
    static std::string ProgramDirectory();
    static void SetProgramDirectoryForTesting(const std::string& dir);
};

// Runs `body`, passing any exception to the application-wide handler. True when it completed.
template <class Body>
bool Guarded(Body&& body) {
    try {
        body();
        return true;
    } catch (const std::exception& e) {
        Application::HandleException(e);
    } catch (...) {
        Application::HandleException(std::runtime_error("Unknown exception"));
    }
    return false;
}

}  // namespace platform
