#include "notifier/ParentNotifier.h"

#include <QProcess>
#include <QTimer>

#include "lib/control/Client.h"

namespace notifier {

ParentNotifier::ParentNotifier(QString panel) : panel_(std::move(panel)) {
    timer_ = new QTimer(this);
    timer_->setInterval(kAskEveryMs);
    connect(timer_, &QTimer::timeout, this, [this] { Look(); });
    connect(&desktop_, &platform::DesktopNotifications::ActionChosen, this,
            [this](const QString& key) {
                if (key == QStringLiteral("default")) QProcess::startDetached(panel_, {});
            });
}

void ParentNotifier::Start() {
    markup_ = platform::DesktopNotifications::RendersMarkup();
    Look();
    timer_->start();
}

void ParentNotifier::Look() {
    const control::Reply reply = control::Ask({"asks"}, 3000);
    if (!reply.ok()) return;  // asked again at the next look
    for (const Asked& a : requests_.Take(reply.fields))
        desktop_.Send(QString::fromStdString(BodyText(a.Text(), markup_)),
                      {QStringLiteral("default"), QStringLiteral("Open Veltrix")});
}

}  // namespace notifier
