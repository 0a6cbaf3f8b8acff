#include "lib/platform/core/Application.h"

#include <QCoreApplication>
#include <QMetaObject>

#include "lib/platform/registry/Registry.h"

namespace platform {
namespace {
struct State {
    std::string title;
    Application::ExceptionHandler handler;
    TForm* mainForm = nullptr;
    std::string programDirectory;
    std::function<void()> terminate;
};
State& S() {
    static State s;
    return s;
}
}  // namespace

void Application::SetTitle(const std::string& title) {
    S().title = title;
    QCoreApplication::setApplicationName(QString::fromStdString(title));
}
const std::string& Application::Title() {
    return S().title;
}

void Application::SetExceptionHandler(ExceptionHandler handler) {
    S().handler = std::move(handler);
}

void Application::HandleException(const std::exception& e) {
    if (S().handler) {
        try {
            S().handler(e);
            return;
        } catch (...) {
            // The handler itself must not take the program down; fall through to stderr.
        }
    }
    Diagnostic(std::string("unhandled: ") + e.what());
}

void Application::SetMainForm(TForm* form) {
    S().mainForm = form;
}
TForm* Application::MainForm() {
    return S().mainForm;
}

void Application::SetTerminateHandler(std::function<void()> handler) {
    S().terminate = std::move(handler);
}

void Application::Terminate() {
    if (S().terminate) {
        S().terminate();
        return;
    }
    if (auto* app = QCoreApplication::instance())
        QMetaObject::invokeMethod(app, &QCoreApplication::quit, Qt::QueuedConnection);
}

void Application::SetProgramDirectoryForTesting(const std::string& dir) {
    S().programDirectory = dir.empty() || dir.back() == '/' ? dir : dir + '/';
}

std::string Application::ProgramDirectory() {
    if (!S().programDirectory.empty()) return S().programDirectory;
    std::string dir = QCoreApplication::applicationDirPath().toStdString();
    if (dir.empty() || dir.back() != '/') dir += '/';
    return dir;
}

}  // namespace platform
