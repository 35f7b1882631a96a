// Threads and monitors on POSIX threads.
#include <pthread.h>

#include "platform/threads.h"

namespace platform {

struct Monitor::Impl {
  pthread_mutex_t mutex = PTHREAD_MUTEX_INITIALIZER;
  pthread_cond_t condition = PTHREAD_COND_INITIALIZER;
};

Monitor::Monitor() : impl_(std::make_unique<Impl>()) {}

Monitor::~Monitor() {
  pthread_cond_destroy(&impl_->condition);
  pthread_mutex_destroy(&impl_->mutex);
}

void Monitor::Lock() { pthread_mutex_lock(&impl_->mutex); }

void Monitor::Unlock() { pthread_mutex_unlock(&impl_->mutex); }

void Monitor::Wait() { pthread_cond_wait(&impl_->condition, &impl_->mutex); }

void Monitor::NotifyAll() { pthread_cond_broadcast(&impl_->condition); }

struct Thread::Impl {
  std::function<void()> work;
  pthread_t thread{};
  bool running = false;

  static void* Run(void* self) {
    static_cast<Impl*>(self)->work();
    return nullptr;
  }
};

Thread::Thread() : impl_(std::make_unique<Impl>()) {}

Thread::~Thread() { Join(); }

bool Thread::Start(std::function<void()> work) {
  if (impl_->running) return false;
  impl_->work = std::move(work);
  impl_->running = pthread_create(&impl_->thread, nullptr, &Impl::Run, impl_.get()) == 0;
  return impl_->running;
}

void Thread::Join() {
  if (!impl_->running) return;
  pthread_join(impl_->thread, nullptr);
  impl_->running = false;
}

}  // namespace platform
