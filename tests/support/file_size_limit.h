// Makes writes to regular files fail beyond a size, as a full disk would, while the object lives.
#pragma once

#include <signal.h>
#include <sys/resource.h>

namespace quorvane {

// Beyond the limit write(2) fails with EFBIG (SIGXFSZ is ignored meanwhile, so the process goes
// on). Pipes and terminals are not limited, so the test's own output is not affected.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    ::getrlimit(RLIMIT_FSIZE, &saved_);
    previousHandler_ = ::signal(SIGXFSZ, SIG_IGN);
    rlimit limit = saved_;
    limit.rlim_cur = bytes;
    ::setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~FileSizeLimit() {
    ::setrlimit(RLIMIT_FSIZE, &saved_);
    ::signal(SIGXFSZ, previousHandler_);
  }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

 private:
  rlimit saved_{};
  sighandler_t previousHandler_ = SIG_DFL;
};

}  // namespace quorvane
