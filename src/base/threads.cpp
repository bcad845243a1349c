#include "base/threads.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>

namespace kestrova {
namespace {

struct PendingCall {
  const std::function<void()>* call;
  bool done = false;
  std::exception_ptr error;
};

// The GUI thread's mailbox is process-wide by nature: any worker must reach the one
// GUI thread without being handed a reference through every layer.
struct Mailbox {
  std::mutex mutex;
  std::condition_variable arrived;   // a call was handed over, or Notify
  std::condition_variable finished;  // a call has run
  std::deque<PendingCall*> queue;
  std::thread::id gui_thread;
  bool attached = false;
  GuiLoopHooks hooks;
  unsigned long notifications = 0;
};

Mailbox& TheMailbox() {
  // Never destroyed: a self-freeing worker may still hand over its last notice while
  // the process exits, and must not find the mailbox gone.
  static Mailbox* const mailbox = new Mailbox;
  return *mailbox;
}

// How long a waiting GUI thread leaves the toolkit's timers and painting alone.
constexpr auto kToolkitSlice = std::chrono::milliseconds(10);

}  // namespace

void GuiThread::Attach() {
  Mailbox& m = TheMailbox();
  std::lock_guard lock(m.mutex);
  m.gui_thread = std::this_thread::get_id();
  m.attached = true;
}

bool GuiThread::IsCurrent() {
  Mailbox& m = TheMailbox();
  std::lock_guard lock(m.mutex);
  return m.attached && m.gui_thread == std::this_thread::get_id();
}

void GuiThread::SetHooks(GuiLoopHooks hooks) {
  Mailbox& m = TheMailbox();
  std::lock_guard lock(m.mutex);
  m.hooks = std::move(hooks);
}

void GuiThread::Synchronize(const std::function<void()>& call) {
  Mailbox& m = TheMailbox();
  PendingCall pending{&call, false, nullptr};
  std::function<void()> wake;
  {
    std::lock_guard lock(m.mutex);
    if (!m.attached || m.gui_thread == std::this_thread::get_id()) {
      pending.call = nullptr;
    } else {
      m.queue.push_back(&pending);
      wake = m.hooks.wake;
    }
  }
  if (!pending.call) {
    call();
    return;
  }
  m.arrived.notify_all();
  if (wake) wake();
  std::unique_lock lock(m.mutex);
  m.finished.wait(lock, [&] { return pending.done; });
  if (pending.error) std::rethrow_exception(pending.error);
}

bool GuiThread::CheckSynchronize() {
  Mailbox& m = TheMailbox();
  std::deque<PendingCall*> batch;
  {
    std::lock_guard lock(m.mutex);
    batch.swap(m.queue);
  }
  if (batch.empty()) return false;
  for (PendingCall* pending : batch) {
    std::exception_ptr error;
    try {
      (*pending->call)();
    } catch (...) {
      error = std::current_exception();
    }
    {
      std::lock_guard lock(m.mutex);
      pending->error = std::move(error);  // the worker alone owns it from here
      pending->done = true;
    }
    m.finished.notify_all();
  }
  return true;
}

void GuiThread::Notify() {
  Mailbox& m = TheMailbox();
  {
    std::lock_guard lock(m.mutex);
    ++m.notifications;
  }
  m.arrived.notify_all();
}

void GuiThread::WaitUntil(const std::function<bool()>& done) {
  WaitUntil(done, std::chrono::steady_clock::time_point::max());
}

bool GuiThread::WaitUntil(const std::function<bool()>& done,
                          std::chrono::steady_clock::time_point deadline) {
  Mailbox& m = TheMailbox();
  const bool on_gui_thread = IsCurrent();
  std::function<void()> process_non_input;
  {
    std::lock_guard lock(m.mutex);
    if (on_gui_thread) process_non_input = m.hooks.process_non_input;
  }
  for (;;) {
    // Taken before `done` is asked, so a Notify in between is not missed.
    unsigned long seen;
    {
      std::lock_guard lock(m.mutex);
      seen = m.notifications;
    }
    if (on_gui_thread) CheckSynchronize();
    if (done()) return true;
    const auto now = std::chrono::steady_clock::now();
    if (now >= deadline) return false;
    if (process_non_input) process_non_input();
    std::unique_lock lock(m.mutex);
    auto ready = [&] { return (on_gui_thread && !m.queue.empty()) || m.notifications != seen; };
    // `done` may turn true without a notification (a plain flag); look again now and then.
    const auto slice = process_non_input ? std::chrono::steady_clock::duration(kToolkitSlice)
                                         : std::chrono::steady_clock::duration(std::chrono::milliseconds(50));
    m.arrived.wait_until(lock, std::min(deadline, now + slice), ready);
  }
}

void TThread::Joiner::operator()(TThread* worker) const {
  worker->WaitFor();
  if (worker->thread_.joinable()) worker->thread_.join();
  delete worker;
}

TThread::~TThread() = default;

void TThread::Start() {
  if (thread_.joinable()) return;  // a worker runs its body once
  thread_ = std::thread([this] { Run(); });
}

void TThread::StartOwningItself(TThread* worker) {
  worker->self_freeing_ = true;
  std::thread([worker] { worker->Run(); }).detach();
}

void TThread::Run() {
  try {
    Execute();
  } catch (...) {
    // A worker's failure must not take the process down; its owner sees the
    // outcome through its own fields.
  }
  if (OnTerminate) {
    try {
      GuiThread::Synchronize(OnTerminate);
    } catch (...) {
    }
  }
  if (self_freeing_) {
    delete this;
    GuiThread::Notify();
    return;
  }
  finished_ = true;
  GuiThread::Notify();
}

void TThread::WaitFor() {
  if (!thread_.joinable()) return;
  if (thread_.get_id() == std::this_thread::get_id()) return;
  GuiThread::WaitUntil([this] { return finished_.load(); });
}

}  // namespace kestrova
