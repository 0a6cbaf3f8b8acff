// The kernel's process-event connector (netlink, NETLINK_CONNECTOR / CN_IDX_PROC): tells of every
// exec and every change of a process's user as it happens, so a browser is seen at its start
// rather than at the next scan. Needs CAP_NET_ADMIN; where the kernel or the sandbox refuses it,
// Open() says why and the service relies on its scans alone.
#pragma once

#include <QObject>

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "lib/platform/files/UniqueFd.h"

class QSocketNotifier;

namespace veltrixd {

class ProcEvents final : public QObject {
    Q_OBJECT
  public:
    class Listener {
      public:
        virtual ~Listener() = default;
        // The pid of each process that ran a new program or changed its user: once per batch of
        // events, with every pid of the batch.
        virtual void ProgramsStarted(const std::vector<int>& pids) = 0;
    };
    explicit ProcEvents(Listener& listener);
    ~ProcEvents() override;

    bool Open(std::string* why);
    // Events were lost (the socket's buffer overflowed): the caller should scan.
    bool TakeOverrun() { return std::exchange(overrun_, false); }

  private:
    void Read();

    Listener& listener_;
    bool overrun_ = false;
    platform::UniqueFd fd_;  // closed after the notifier on it
    std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace veltrixd
