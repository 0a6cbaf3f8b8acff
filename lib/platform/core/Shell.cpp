#include "lib/platform/core/Shell.h"

#include <QDir>
#include <QProcess>

#include <cstdlib>

#include "lib/platform/registry/Registry.h"

namespace platform {

void ShellExecute(const std::string& file) {
    const QString target = QString::fromStdString(file);
    bool started = false;
    if (target.contains(QStringLiteral("://"))) {
        const char* browser = std::getenv("VELTRIX_BROWSER");
        const QString program =
            browser && *browser ? QString::fromLocal8Bit(browser) : QStringLiteral("xdg-open");
        started = QProcess::startDetached(program, {target}, QDir::currentPath());
    } else {
        started = QProcess::startDetached(target, {}, QDir::currentPath());
    }
    if (!started) Diagnostic("shell: cannot start " + file);
}

}  // namespace platform
