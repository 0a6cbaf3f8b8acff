// An input device for a test: a FIFO named as the kernel names its devices (eventN), into which
// the test writes the kernel's own event records for a reader of the directory.
#pragma once

#include <fcntl.h>
#include <linux/input.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace testing_support {

class InputDevice {
  public:
    InputDevice(const std::string& dir, const std::string& name) : path_(dir + "/" + name) {
        ::mkfifo(path_.c_str(), 0600);
    }
    ~InputDevice() {
        if (fd_ >= 0) ::close(fd_);
    }
    InputDevice(const InputDevice&) = delete;
    InputDevice& operator=(const InputDevice&) = delete;

    // Writes an event of each of `types` (a key's press for EV_KEY); false while nobody has the
    // device open for reading.
    bool Send(const std::vector<int>& types) {
        if (fd_ < 0) fd_ = ::open(path_.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd_ < 0) return false;
        for (int type : types) {
            input_event e{};
            e.type = static_cast<__u16>(type);
            e.code = type == EV_KEY ? KEY_A : 0;
            e.value = 1;
            if (::write(fd_, &e, sizeof e) != static_cast<ssize_t>(sizeof e)) return false;
        }
        return true;
    }
    bool SendBytes(const std::string& bytes) {
        return fd_ >= 0 && ::write(fd_, bytes.data(), bytes.size()) > 0;
    }

  private:
    std::string path_;
    int fd_ = -1;
};

}  // namespace testing_support
