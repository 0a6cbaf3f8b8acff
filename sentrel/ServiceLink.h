// The session guard's line to the system service. Where the service enforces this account (it
// is a member and its settings are sealed), the service stops and logs, and the session guard
// only shows what the service tells it: a "watch" connection whose notifications become desktop
// notifications. When the connection ends (the service restarts or goes), the guard works
// alone again until the link opens anew.
#pragma once

#include <QObject>

#include <memory>
#include <string>

#include "lib/platform/files/UniqueFd.h"

class QSocketNotifier;

namespace sentrel {

inline constexpr int kServiceAskMs = 2000;

class ServiceLink final : public QObject {
    Q_OBJECT
  public:
    ServiceLink();
    ~ServiceLink() override;

    // Opens the link when the service enforces this account; true while it is open.
    bool Open();
    bool IsOpen() const { return fd_.valid(); }

  Q_SIGNALS:
    void Notified(const std::string& text);
    void Lost(const std::string& why);

  private:
    void Readable();
    void Close(const std::string& why);

    platform::UniqueFd fd_;
    std::unique_ptr<QSocketNotifier> readable_;
    std::string buffer_;
};

}  // namespace sentrel
