#pragma once

// For POSIX tests of refused writes: makes a file or a folder really refuse them, also when the
// tests run as root (as they do in CI), where permission bits refuse nothing. Header only,
// included by tests, never built into the library.
//
// The write bits are taken away first. When that alone does not refuse a write (root), the
// calling thread gives up, while the guard lives, the capabilities that override permissions
// (CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH, CAP_FOWNER; it keeps them in its permitted set and
// takes them back at the end). When that is not possible either, the file or folder is made
// immutable (FS_IOC_SETFLAGS, as chattr +i does). Each way is checked by a real write attempt;
// how() names the one that worked, and an empty how() means none did: the test must then say
// so (GTEST_SKIP) and cover the fault through the fault hook instead.

#include <fcntl.h>
#include <linux/capability.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <string>

#include "platform/files.h"

namespace epd::testing_support {

class ReadOnly {
 public:
  // `path` in the program's form (code page 1251, "\" separators).
  explicit ReadOnly(const std::string& path) : native_(platform::SystemPath(path)) {
    struct stat st;
    if (::stat(native_.c_str(), &st) != 0) return;
    mode_ = st.st_mode & 07777;
    directory_ = S_ISDIR(st.st_mode);
    ::chmod(native_.c_str(), mode_ & ~0222);
    if (Refuses()) {
      how_ = "permissions";
      return;
    }
    if (DropOverrides()) {
      if (Refuses()) {
        how_ = "permissions, with the overriding capabilities given up";
        return;
      }
      RestoreOverrides();
    }
    if (SetImmutable(true)) {
      if (Refuses()) {
        how_ = "immutable flag";
        return;
      }
      SetImmutable(false);
    }
    ::chmod(native_.c_str(), mode_);
  }
  ~ReadOnly() { Release(); }
  ReadOnly(const ReadOnly&) = delete;
  ReadOnly& operator=(const ReadOnly&) = delete;

  // Writable again (also done at the end of the guard's life).
  void Release() {
    if (immutable_) SetImmutable(false);
    if (dropped_) RestoreOverrides();
    if (mode_ != 0) ::chmod(native_.c_str(), mode_);
    mode_ = 0;
  }

  // How the refusal was made; empty when it could not be.
  const std::string& how() const { return how_; }

 private:
  bool Refuses() const {
    if (directory_) {
      const std::string probe = native_ + "/.write-probe";
      int fd = ::open(probe.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0666);
      if (fd < 0) return true;
      ::close(fd);
      ::unlink(probe.c_str());
      return false;
    }
    int fd = ::open(native_.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0) return true;
    ::close(fd);
    return false;
  }

  bool DropOverrides() {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    if (::syscall(SYS_capget, &header, saved_) != 0) return false;
    constexpr unsigned kOverrides = (1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH) | (1u << CAP_FOWNER);
    if ((saved_[0].effective & kOverrides) == 0) return false;
    __user_cap_data_struct reduced[2] = {saved_[0], saved_[1]};
    reduced[0].effective &= ~kOverrides;
    if (::syscall(SYS_capset, &header, reduced) != 0) return false;
    dropped_ = true;
    return true;
  }

  void RestoreOverrides() {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    ::syscall(SYS_capset, &header, saved_);
    dropped_ = false;
  }

  bool SetImmutable(bool on) {
    int fd = ::open(native_.c_str(), O_RDONLY | O_CLOEXEC | (directory_ ? O_DIRECTORY : 0));
    if (fd < 0) return false;
    int flags = 0;
    bool ok = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    if (ok) {
      flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
      ok = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    }
    ::close(fd);
    immutable_ = on && ok;
    return ok;
  }

  std::string native_;
  mode_t mode_ = 0;
  bool directory_ = false;
  bool dropped_ = false;
  bool immutable_ = false;
  __user_cap_data_struct saved_[2] = {};
  std::string how_;
};

}  // namespace epd::testing_support
