#include "sentrel/StoreWatcher.h"

#include <sys/inotify.h>
#include <unistd.h>

#include <QSocketNotifier>

#include <cstring>
#include <string_view>

namespace sentrel {

StoreWatcher::StoreWatcher() {
    fd_.reset(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
    if (fd_.valid()) {
        notifier_ = std::make_unique<QSocketNotifier>(fd_.get(), QSocketNotifier::Read);
        connect(notifier_.get(), &QSocketNotifier::activated, this, [this] { Drain(); });
    }
}

StoreWatcher::~StoreWatcher() {
    notifier_.reset();
}

bool StoreWatcher::Watch(const std::string& dir) {
    if (!fd_.valid()) return false;
    if (watch_ >= 0) ::inotify_rm_watch(fd_.get(), watch_);
    watch_ = ::inotify_add_watch(fd_.get(), dir.c_str(),
                                 IN_MODIFY | IN_CLOSE_WRITE | IN_CREATE | IN_DELETE | IN_MOVED_TO |
                                     IN_MOVED_FROM | IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF);
    return watch_ >= 0;
}

void StoreWatcher::Drain() {
    alignas(inotify_event) char buf[8192];
    bool changed = false;
    for (;;) {
        const ssize_t n = ::read(fd_.get(), buf, sizeof buf);
        if (n <= 0) break;
        for (ssize_t at = 0; at < n;) {
            const auto* e = reinterpret_cast<const inotify_event*>(buf + at);
            at += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
            if (e->mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED)) {
                watch_ = -1;  // the directory itself went: a later Watch() starts again
                changed = true;
                continue;
            }
            const std::string_view name = e->len ? std::string_view(e->name) : std::string_view();
            if (name.size() >= 4 && name.substr(name.size() - 4) == "-shm") continue;
            changed = true;
        }
    }
    if (changed) Q_EMIT Changed();
}

}  // namespace sentrel
