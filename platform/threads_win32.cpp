// Threads and monitors on the Windows calls: a slim reader/writer lock held
// exclusively, with a condition variable.
#include <windows.h>

#include "platform/threads.h"

namespace platform {

struct Monitor::Impl {
  SRWLOCK lock = SRWLOCK_INIT;
  CONDITION_VARIABLE condition = CONDITION_VARIABLE_INIT;
};

Monitor::Monitor() : impl_(std::make_unique<Impl>()) {}

Monitor::~Monitor() = default;

void Monitor::Lock() { AcquireSRWLockExclusive(&impl_->lock); }

void Monitor::Unlock() { ReleaseSRWLockExclusive(&impl_->lock); }

void Monitor::Wait() { SleepConditionVariableSRW(&impl_->condition, &impl_->lock, INFINITE, 0); }

void Monitor::NotifyAll() { WakeAllConditionVariable(&impl_->condition); }

struct Thread::Impl {
  std::function<void()> work;
  HANDLE thread = nullptr;

  static DWORD WINAPI Run(LPVOID self) {
    static_cast<Impl*>(self)->work();
    return 0;
  }
};

Thread::Thread() : impl_(std::make_unique<Impl>()) {}

Thread::~Thread() { Join(); }

bool Thread::Start(std::function<void()> work) {
  if (impl_->thread != nullptr) return false;
  impl_->work = std::move(work);
  impl_->thread = CreateThread(nullptr, 0, &Impl::Run, impl_.get(), 0, nullptr);
  return impl_->thread != nullptr;
}

void Thread::Join() {
  if (impl_->thread == nullptr) return;
  WaitForSingleObject(impl_->thread, INFINITE);
  CloseHandle(impl_->thread);
  impl_->thread = nullptr;
}

}  // namespace platform
