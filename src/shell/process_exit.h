#pragma once

// Thrown to end the process with a given exit status. Only the process entry
// catches it, so that the process leaves from one place whatever ends it.
class ProcessExit {
 public:
  explicit ProcessExit(int status) : status_(status) {}
  int status() const { return status_; }

 private:
  int status_;
};
