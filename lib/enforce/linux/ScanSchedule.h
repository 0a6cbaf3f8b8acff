// When an enforcing program looks at processes: a tick once a second (clock, hours, warnings), a
// scan while an hour blocks (every kScanMs; the service, told of every new program by the
// kernel, only as a safety net), a look at a new program whose engine is due to be read, a
// recheck of what interpreters and programs of no installed file have loaded since, and a scan
// as soon as the loop is free. The session guard and the service drive the same schedule.
#pragma once

#include <QObject>

#include <cstdint>
#include <memory>

class QTimer;

namespace enforce {

inline constexpr int kScanMs = 500;
inline constexpr int kTickMs = 1000;
inline constexpr int kRecheckMs = 500;

class ScanSchedule final : public QObject {
    Q_OBJECT
  public:
    class Driven {
      public:
        virtual ~Driven() = default;
        virtual void OnTick() = 0;
        virtual void OnScan() = 0;   // while scanning, and at once when scanning starts
        virtual void OnProbe() = 0;  // a program's engine is due a look (ProbeIn)
        virtual void OnRecheck() {}  // while rechecking
        virtual void OnSoon() {}     // once, as soon as the loop is free (Soon)
    };

    explicit ScanSchedule(Driven& driven);
    ~ScanSchedule() override;

    void StartTicking();
    void StopAll();
    // Starts the scans (the first at once) or ends them.
    void Scanning(bool on);
    bool IsScanning() const;
    void SetScanInterval(int ms);
    void Rechecking(bool on);
    // A look in `dueMs` (+5 ms) when that comes before the next scan would; a nearer one already
    // planned stays. False when none was planned.
    bool ProbeIn(std::int64_t dueMs);
    void Soon();

  private:
    Driven& driven_;
    std::unique_ptr<QTimer> tick_, scan_, probe_, recheck_, soon_;
};

}  // namespace enforce
