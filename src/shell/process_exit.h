#pragma once

namespace zorvane::shell {

// Thrown to end the process with a given exit status. Only the process entry
// catches it, so that the process leaves from one place whatever ends it.
class ProcessExit {
 public:
  explicit ProcessExit(int status) : status_(status) {}
  int status() const { return status_; }

 private:
  int status_;
};

// Exit statuses of runs that printed their report but whose result cannot be
// taken as whole: a coverage file could not be opened (the lists are left as
// they were), or a signal or the time limit stopped the search (the needed
// tests may not be the fewest).
inline constexpr int unreadableInputStatus = 2;
inline constexpr int searchStoppedStatus = 3;

}  // namespace zorvane::shell
