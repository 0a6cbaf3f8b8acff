#include "lib/rtl/Classes.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "lib/rtl/Exception.h"

namespace rtl {

std::size_t TMemoryStream::Read(void* buffer, std::size_t count) {
    if (position_ >= data_.size()) return 0;
    const std::size_t n = std::min(count, data_.size() - position_);
    std::memcpy(buffer, data_.data() + position_, n);
    position_ += n;
    return n;
}

void TMemoryStream::Write(const void* buffer, std::size_t count) {
    const char* bytes = static_cast<const char*>(buffer);
    if (position_ == data_.size()) {
        data_.append(bytes, count);
    } else {
        if (position_ + count > data_.size()) data_.resize(position_ + count);
        std::memcpy(data_.data() + position_, bytes, count);
    }
    position_ += count;
}

void TMemoryStream::SetPosition(std::int64_t position) {
    position_ = position < 0 ? 0 : static_cast<std::size_t>(position);
}

TFileStream::TFileStream(const std::string& path, Mode mode) {
    fd_ = mode == OpenRead ? ::open(path.c_str(), O_RDONLY | O_CLOEXEC)
                           : ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd_ < 0) throw EInOutError::FromErrno(errno);
}

TFileStream::~TFileStream() {
    if (fd_ >= 0) ::close(fd_);
}

std::size_t TFileStream::Read(void* buffer, std::size_t count) {
    for (;;) {
        ssize_t n = ::pread(fd_, buffer, count, position_);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) throw EInOutError::FromErrno(errno);
        position_ += n;
        return static_cast<std::size_t>(n);
    }
}

void TFileStream::Write(const void* buffer, std::size_t count) {
    const char* bytes = static_cast<const char*>(buffer);
    while (count > 0) {
        ssize_t n = ::pwrite(fd_, bytes, count, position_);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) throw EInOutError::FromErrno(n < 0 ? errno : ENOSPC);
        bytes += n;
        count -= static_cast<std::size_t>(n);
        position_ += n;
    }
}

std::int64_t TFileStream::Size() const {
    struct stat st {};
    return ::fstat(fd_, &st) == 0 ? st.st_size : 0;
}

std::string TStringList::Text() const {
    std::string out;
    for (const auto& s : Strings) {
        out += s;
        out += "\r\n";
    }
    return out;
}

}  // namespace rtl
