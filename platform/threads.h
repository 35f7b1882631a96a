// A second thread, and a monitor (a lock with a condition to wait on) for
// two threads to hand work to each other: what lentok-read needs to decode
// a compressed recording while the tape decoder works on what came before.
// One backend per system (threads_posix.cpp, threads_win32.cpp); the
// compilers used for Windows do not give std::thread, so these stand in.
#pragma once

#include <functional>
#include <memory>

namespace platform {

class Monitor {
 public:
  Monitor();
  ~Monitor();
  Monitor(const Monitor&) = delete;
  Monitor& operator=(const Monitor&) = delete;

  void Lock();
  void Unlock();
  // With the lock held: releases it, waits for a Notify, takes it again.
  // May also return without one, so callers wait in a loop on their state.
  void Wait();
  // Wakes every thread waiting.
  void NotifyAll();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// Holds a monitor's lock for a scope.
class MonitorLock {
 public:
  explicit MonitorLock(Monitor& monitor) : monitor_(monitor) { monitor_.Lock(); }
  ~MonitorLock() { monitor_.Unlock(); }
  MonitorLock(const MonitorLock&) = delete;
  MonitorLock& operator=(const MonitorLock&) = delete;

 private:
  Monitor& monitor_;
};

class Thread {
 public:
  Thread();
  // Waits for the thread, if one was started and not yet joined.
  ~Thread();
  Thread(const Thread&) = delete;
  Thread& operator=(const Thread&) = delete;

  // Runs `work` on a new thread. False when the system would not start one;
  // then nothing runs, and the caller does the work itself.
  bool Start(std::function<void()> work);
  // Waits until the work has returned.
  void Join();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace platform
