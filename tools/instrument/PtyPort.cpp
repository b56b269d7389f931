// The instrument's end of a pseudo-terminal and its link into a Wine prefix as a COM port.
#include "instrument/PtyPort.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace {
[[noreturn]] void fail(const std::string& what) {
    throw std::runtime_error(what + ": " + std::strerror(errno));
}

// The target of a symbolic link, or "" when the path is none.
std::string linkTarget(const std::string& path) {
    char buffer[4096];
    const ssize_t size = readlink(path.c_str(), buffer, sizeof buffer);
    return size < 0 ? std::string() : std::string(buffer, static_cast<size_t>(size));
}
} // namespace

FileDescriptor& FileDescriptor::operator=(FileDescriptor&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) {
            close(fd_);
        }
        fd_ = other.release();
    }
    return *this;
}

FileDescriptor::~FileDescriptor() {
    if (fd_ >= 0) {
        close(fd_);
    }
}

int FileDescriptor::release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
}

PtyPort::PtyPort() {
    master_ = FileDescriptor(posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK));
    if (master_.get() < 0) {
        fail("posix_openpt");
    }
    if (grantpt(master_.get()) != 0 || unlockpt(master_.get()) != 0) {
        fail("grantpt/unlockpt");
    }
    char name[256];
    if (ptsname_r(master_.get(), name, sizeof name) != 0) {
        fail("ptsname_r");
    }
    slavePath_ = name;
    slave_ = FileDescriptor(open(name, O_RDWR | O_NOCTTY | O_NONBLOCK));
    if (slave_.get() < 0) {
        fail("open " + slavePath_);
    }
    termios settings{};
    if (tcgetattr(slave_.get(), &settings) != 0) {
        fail("tcgetattr");
    }
    cfmakeraw(&settings);
    settings.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    settings.c_cflag |= CLOCAL | CREAD;
    settings.c_cc[VMIN] = 1;
    settings.c_cc[VTIME] = 0;
    cfsetispeed(&settings, B9600);
    cfsetospeed(&settings, B9600);
    if (tcsetattr(slave_.get(), TCSANOW, &settings) != 0) {
        fail("tcsetattr");
    }
    tcflush(slave_.get(), TCIOFLUSH);
}

ComLink::ComLink(const std::string& prefix, int port, const std::string& target)
    : path_(prefix + "/dosdevices/com" + std::to_string(port)), target_(target) {
    struct stat info {};
    if (lstat(path_.c_str(), &info) == 0) {
        if (!S_ISLNK(info.st_mode)) {
            errno = EEXIST;
            fail(path_ + " is not a link; not replacing it");
        }
        if (unlink(path_.c_str()) != 0) {
            fail("unlink " + path_);
        }
    }
    if (symlink(target_.c_str(), path_.c_str()) != 0) {
        fail("symlink " + path_);
    }
}

ComLink::~ComLink() {
    // Leave a link that someone else has put there since.
    if (linkTarget(path_) == target_) {
        unlink(path_.c_str());
    }
}
