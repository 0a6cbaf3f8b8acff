// Signals as events of the Qt loop: the handler only writes the signal and its sender's pid to a
// pipe (keeping errno as it was), and Received() is emitted from the loop, where any code may run.
// One object a process; its destruction gives the signals their default actions back.
#pragma once

#include <QObject>

#include <initializer_list>
#include <memory>
#include <vector>

class QSocketNotifier;

namespace platform {

class SignalEvents final : public QObject {
    Q_OBJECT
  public:
    explicit SignalEvents(std::initializer_list<int> signals, QObject* parent = nullptr);
    ~SignalEvents() override;
    SignalEvents(const SignalEvents&) = delete;
    SignalEvents& operator=(const SignalEvents&) = delete;

  Q_SIGNALS:
    void Received(int signal, int senderPid);

  private:
    void Drain();
    std::vector<int> signals_;
    std::unique_ptr<QSocketNotifier> notifier_;
};

// "SIGTERM", "SIGHUP", "SIGINT", "SIGUSR1"; "a signal" for any other.
const char* SignalName(int signal);

}  // namespace platform
