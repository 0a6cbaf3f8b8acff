// Tells when the settings store's directory changes (a commit writes the database or its
// journal), so the guard reads the settings again at once instead of at its next full re-read.
// Changes of SQLite's shared-memory index (which readers touch too) are not changes of the
// settings and are ignored. Watch() may be called again when the directory did not exist yet.
#pragma once

#include <QObject>

#include <memory>
#include <string>

#include "lib/platform/files/UniqueFd.h"

class QSocketNotifier;

namespace sentrel {

class StoreWatcher final : public QObject {
    Q_OBJECT
  public:
    StoreWatcher();
    ~StoreWatcher() override;

    // Starts watching `dir`; false when it cannot (yet) be watched.
    bool Watch(const std::string& dir);
    bool Watching() const { return watch_ >= 0; }

  Q_SIGNALS:
    void Changed();

  private:
    void Drain();
    platform::UniqueFd fd_;  // closed after the notifier on it
    int watch_ = -1;
    std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace sentrel
