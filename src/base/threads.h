// Worker threads and the hand-over of calls from workers to the GUI thread.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <thread>

namespace kestrova {

/// What a window toolkit lends the hand-over. Both hooks are optional: without them
/// the GUI thread serves handed-over calls only while it waits for a worker.
struct GuiLoopHooks {
  /// Called from any thread when a call is waiting: make the GUI thread's message
  /// loop call GuiThread::CheckSynchronize soon.
  std::function<void()> wake;
  /// Called on the GUI thread while it waits for a worker: run timers and repaint
  /// windows, but take no user input.
  std::function<void()> process_non_input;
};

/// The GUI thread's mailbox. Workers hand it calls and block until the calls have run
/// on the GUI thread; the GUI thread runs them from its message loop and while it
/// waits for a worker. Calls run in the order they were handed over, each once.
class GuiThread {
 public:
  /// Makes the calling thread the GUI thread. Until a thread is attached, handed-over
  /// calls run directly on the thread that hands them over.
  static void Attach();
  static bool IsCurrent();
  static void SetHooks(GuiLoopHooks hooks);

  /// Runs `call` on the GUI thread and returns when it has run there. On the GUI
  /// thread itself it runs at once. An exception from `call` reaches the caller.
  static void Synchronize(const std::function<void()>& call);

  /// GUI thread: runs every call handed over so far. Returns whether any ran.
  static bool CheckSynchronize();

  /// GUI thread: serves handed-over calls (and, through the hooks, timers and
  /// painting) until `done` returns true. Any thread may call Notify to have `done`
  /// looked at again at once.
  static void WaitUntil(const std::function<bool()>& done);
  static void Notify();
};

/// A worker thread. The body is Execute; when it returns, the end action OnTerminate
/// runs on the GUI thread and the worker waits for it. A derived class whose body
/// uses its own members must call WaitFor in its destructor.
class TThread {
 public:
  TThread() = default;
  TThread(const TThread&) = delete;
  TThread& operator=(const TThread&) = delete;
  virtual ~TThread();

  void Start();
  /// Sets the terminate mark; the body decides when to look at it.
  void Terminate() { terminated_ = true; }
  bool Terminated() const { return terminated_; }
  bool Finished() const { return finished_; }

  /// Returns when the thread has ended. On the GUI thread the wait serves
  /// handed-over calls, so a worker that hands over calls cannot dead-lock it.
  void WaitFor();

  /// End action, run on the GUI thread after the body.
  std::function<void()> OnTerminate;

  /// Starts a worker that owns itself: it is destroyed right after its end action.
  static void StartSelfFreeing(std::unique_ptr<TThread> worker);

 protected:
  virtual void Execute() = 0;

 private:
  void Run();

  std::thread thread_;
  std::atomic<bool> terminated_{false};
  std::atomic<bool> finished_{false};
  bool self_freeing_ = false;
};

}  // namespace kestrova
