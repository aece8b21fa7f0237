#include "platform/files/pending_file.h"

#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <random>
#include <system_error>

namespace talmora {
namespace {

// The temporaries a signal must remove. Only lock-free atomics and fixed buffers, so that the
// handler may read them at any moment: a slot's path is complete before it is marked listed.
enum SlotState { kFree, kFilling, kListed };
struct Slot {
  std::atomic<int> state{kFree};
  char path[PATH_MAX];
};
static_assert(std::atomic<int>::is_always_lock_free);
constexpr int kSlots = 8;
Slot slots[kSlots];

int List(const std::string& path) {
  if (path.size() >= PATH_MAX) return -1;
  for (int i = 0; i < kSlots; ++i) {
    int expected = kFree;
    if (!slots[i].state.compare_exchange_strong(expected, kFilling)) continue;
    std::memcpy(slots[i].path, path.c_str(), path.size() + 1);
    slots[i].state.store(kListed);
    return i;
  }
  return -1;
}

void Unlist(int slot) {
  if (slot >= 0) slots[slot].state.store(kFree);
}

// Temporaries being made and listed: their threads hold the signals off, but a signal may land on
// another thread meanwhile, which then waits for them to be listed (a second at most).
std::atomic<int> making{0};

extern "C" [[noreturn]] void RemoveTemporariesAndExit(int signal) {
  for (int waited = 0; making.load() > 0 && waited < 1000; ++waited) {
    struct timespec pause {0, 1000000};
    ::nanosleep(&pause, nullptr);
  }
  for (Slot& slot : slots) {
    if (slot.state.load() == kListed) ::unlink(slot.path);
  }
  ::_exit(128 + signal);
}

// Keeps SIGINT and SIGTERM off this thread, and the handler on any other waiting, while a
// temporary exists but is not listed yet.
class SignalsHeld {
 public:
  SignalsHeld() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &set, &old_);
    ++making;
  }
  ~SignalsHeld() {
    --making;
    pthread_sigmask(SIG_SETMASK, &old_, nullptr);
  }

 private:
  sigset_t old_;
};

std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string RandomSuffix() {
  static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  static thread_local std::mt19937_64 random{std::random_device{}()};
  std::string suffix(6, ' ');
  for (char& c : suffix) c = kLetters[random() % (sizeof kLetters - 1)];
  return suffix;
}

}  // namespace

PendingFile::PendingFile(std::string target) : target_(std::move(target)) {
  // Writing through a link changes the file it names, as writing in place would.
  if (char resolved[PATH_MAX]; ::realpath(target_.c_str(), resolved)) target_ = resolved;
  struct stat old {};
  const bool exists = ::stat(target_.c_str(), &old) == 0;
  if (exists) {
    // Only a regular file is replaced by renaming; whatever else is there is written as before.
    in_place_ = !S_ISREG(old.st_mode);
    const int fd = ::open(target_.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return;
    // The old file's cached pages serve nothing once it is being replaced, and a movie rewritten
    // beside them needs memory for both: on a 2 GB uncompressed movie that made writing several
    // times slower than the truncation it replaces.
    if (!in_place_) ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
    ::close(fd);
    if (in_place_) {
      path_ = target_;
      return;
    }
  }
  const size_t slash = target_.rfind('/');
  const std::string name = target_.substr(slash == std::string::npos ? 0 : slash + 1);
  // Hidden, and short enough for the file system whatever the target's name.
  const std::string stem = FolderOf(target_) + "." + name.substr(0, 200) + ".";
  const SignalsHeld held;
  // Made like the target would be, so that a new file gets its mode from the umask.
  std::string pattern;
  int fd = -1;
  for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
    pattern = stem + RandomSuffix();
    fd = ::open(pattern.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) break;
  }
  if (fd < 0) {
    // A folder that takes no new names still lets its existing files be rewritten. A full
    // disk does not: the old file would be lost.
    if (exists && (errno == EACCES || errno == EPERM)) {
      in_place_ = true;
      path_ = target_;
    }
    return;
  }
  if (exists) {
    if (::fchown(fd, old.st_uid, old.st_gid) != 0) {
      // Only the owner or root may give a file away; it then belongs to whoever wrote it.
    }
    ::fchmod(fd, old.st_mode & 07777);
  }
  ::close(fd);
  path_ = pattern;
  slot_ = List(path_);
}

bool PendingFile::Commit() {
  if (done_ || !IsOpen()) return done_;
  done_ = true;
  if (in_place_) return true;
  const bool renamed = ::rename(path_.c_str(), target_.c_str()) == 0;
  const int error = errno;
  if (!renamed) ::unlink(path_.c_str());
  Unlist(slot_);
  errno = error;
  return renamed;
}

void PendingFile::Discard() {
  if (done_ || !IsOpen()) return;
  done_ = true;
  if (in_place_) return;
  ::unlink(path_.c_str());
  Unlist(slot_);
}

void ExitRemovingTemporaries(int signal) { RemoveTemporariesAndExit(signal); }

void InstallInterruptCleanup() {
  // A reader that goes away is told apart by the writer: it ends the run for standard output,
  // not for a progress reader.
  ::signal(SIGPIPE, SIG_IGN);
  for (const int signal : {SIGINT, SIGTERM}) {
    struct sigaction action {}, old {};
    action.sa_handler = RemoveTemporariesAndExit;
    sigfillset(&action.sa_mask);
    if (::sigaction(signal, nullptr, &old) == 0 && old.sa_handler != SIG_IGN) {
      ::sigaction(signal, &action, nullptr);
    }
  }
}

std::string WriteFailureDetail(const std::string& path, int error) {
  return "書き込みエラー : " + path + " : " + std::system_category().message(error);
}

}  // namespace talmora
