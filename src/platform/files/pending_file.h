#pragma once

#include <string>

namespace talmora {

// An output file written under a temporary name in its target's folder, which takes the
// target's place only when committed. Until then the file that was there stays whole, and a
// failure or an interruption (see InstallInterruptCleanup) leaves no temporary behind. Where
// the target cannot be replaced by renaming (a device, say), it is written in place instead.
class PendingFile {
 public:
  // Makes the temporary, with the mode and owner the target has or a new file would get.
  // Fails, with errno set, where the target itself could not be opened for writing.
  explicit PendingFile(std::string target);
  ~PendingFile() { Discard(); }
  PendingFile(const PendingFile&) = delete;
  PendingFile& operator=(const PendingFile&) = delete;

  bool IsOpen() const { return !path_.empty(); }
  // Where to write: the temporary (or the target, written in place).
  const std::string& Path() const { return path_; }

  // Renames the temporary over the target; false with errno set after removing it when that
  // fails. Once committed or discarded, both do nothing.
  bool Commit();
  void Discard();

 private:
  std::string target_;
  std::string path_;
  int slot_ = -1;  // in the interrupt cleanup's list; -1 when not listed
  bool in_place_ = false;
  bool done_ = false;
};

// From here on SIGINT and SIGTERM remove every open temporary and end the process with status
// 128 + the signal's number (130, 143). A signal the process was started ignoring stays ignored.
// SIGPIPE is ignored: a write to a pipe nobody reads fails with EPIPE instead.
void InstallInterruptCleanup();

// Ends the process as the signal would after InstallInterruptCleanup: every open temporary
// removed, status 128 + `signal`.
[[noreturn]] void ExitRemovingTemporaries(int signal);

// The line that follows a write failure's message: the file and the system's reason.
std::string WriteFailureDetail(const std::string& path, int error);

}  // namespace talmora
