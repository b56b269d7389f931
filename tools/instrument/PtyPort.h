// The instrument's end of a pseudo-terminal and its link into a Wine prefix as a COM port.
#pragma once

#include <string>

// An open file descriptor, closed when dropped.
class FileDescriptor {
  public:
    FileDescriptor() = default;
    explicit FileDescriptor(int fd) : fd_(fd) {}
    FileDescriptor(FileDescriptor&& other) noexcept : fd_(other.release()) {}
    FileDescriptor& operator=(FileDescriptor&& other) noexcept;
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor();

    int get() const { return fd_; }
    int release();

  private:
    int fd_ = -1;
};

// A raw pty (no echo, no flow control, 9600 baud) whose slave side this process also holds
// open, so the master never sees a hang-up between the Windows program's opens. Throws
// std::runtime_error when the pty cannot be made.
class PtyPort {
  public:
    PtyPort();

    int master() const { return master_.get(); }
    const std::string& slavePath() const { return slavePath_; }

  private:
    FileDescriptor master_;
    FileDescriptor slave_;
    std::string slavePath_;
};

// The symbolic link PREFIX/dosdevices/comN to the pty, made at once (replacing an earlier
// link, never a real file) and removed when dropped if it still points at the pty. Throws
// std::runtime_error when it cannot be made.
class ComLink {
  public:
    ComLink(const std::string& prefix, int port, const std::string& target);
    ComLink(const ComLink&) = delete;
    ComLink& operator=(const ComLink&) = delete;
    ~ComLink();

    const std::string& path() const { return path_; }

  private:
    std::string path_;
    std::string target_;
};
