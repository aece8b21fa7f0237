#pragma once

namespace talmora {

// How far a run got, for its exit status: each step notes its own failures as it goes, so the
// run ends with the worst of them whatever else happened after.
class RunOutcome {
 public:
  // Something the script asked for failed, though the outputs may still be whole.
  void NoteFailed() { failed_ = true; }
  // An output is missing or cut short, or there was nothing to write.
  void NoteIncomplete() { incomplete_ = true; }

  // 0 all written and nothing failed, 1 an output missing or cut short, 2 whole outputs that
  // lack something the script asked for.
  int ExitStatus() const { return incomplete_ ? 1 : failed_ ? 2 : 0; }
  // What another part of the run noted, as if noted here.
  void Add(const RunOutcome& other) {
    failed_ = failed_ || other.failed_;
    incomplete_ = incomplete_ || other.incomplete_;
  }

 private:
  bool failed_ = false;
  bool incomplete_ = false;
};

}  // namespace talmora
