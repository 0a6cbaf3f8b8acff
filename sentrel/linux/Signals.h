// Signals turned into events of the Qt loop: a handler writes the signal and its sender's pid to
// a pipe, and Received() is emitted from the loop. SIGTERM, SIGINT and SIGHUP end the guard;
// SIGUSR1 is a second start asking for the settings to be read again.
#pragma once

#include <QObject>

#include <memory>

class QSocketNotifier;

namespace sentrel {

class Signals final : public QObject {
    Q_OBJECT
  public:
    Signals();
    ~Signals() override;

  Q_SIGNALS:
    void Received(int signal, int senderPid);

  private:
    void Drain();
    std::unique_ptr<QSocketNotifier> notifier_;
};

// "SIGTERM", "SIGHUP", ...
const char* SignalName(int signal);

}  // namespace sentrel
