#include "panel/app/SessionEnd.h"

#include <QGuiApplication>
#include <QSessionManager>

#include <csignal>

#include "lib/platform/core/SignalEvents.h"
#include "lib/platform/widgets/Forms.h"

namespace app {

void CloseOnSessionEnd(platform::TForm* mainForm) {
    auto* signals = new platform::SignalEvents({SIGTERM, SIGHUP, SIGINT}, qApp);
    QObject::connect(signals, &platform::SignalEvents::Received, mainForm,
                     [mainForm] { mainForm->Close(); });
    QObject::connect(qApp, &QGuiApplication::commitDataRequest, mainForm,
                     [mainForm](QSessionManager&) { mainForm->Close(); });
}

}  // namespace app
