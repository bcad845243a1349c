// Worker threads and the hand-over of calls from workers to the GUI thread.
#pragma once

#include <atomic>
#include <chrono>
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
  /// As WaitUntil, but gives up at `deadline`; returns whether `done` turned true.
  static bool WaitUntil(const std::function<bool()>& done,
                        std::chrono::steady_clock::time_point deadline);
  static void Notify();
};

/// A worker thread. The body is Execute; when it returns, the end action OnTerminate
/// runs on the GUI thread and the worker waits for it.
///
/// Workers are made only by Create, whose owner waits for the body to end before the
/// worker is destroyed. A body may therefore use its class's members freely: no
/// member can go while the body still runs, and no derived class has to remember to
/// wait in its destructor.
class TThread {
  struct Joiner {
    void operator()(TThread* worker) const;
  };

 public:
  /// Proof that a worker is being made by Create; derived constructors take it first
  /// and hand it on.
  class Key {
    Key() = default;
    friend class TThread;
  };
  /// The owner of a worker: waits for its body to end, then destroys it.
  template <class T>
  using Ptr = std::unique_ptr<T, Joiner>;

  template <class T, class... Args>
  static Ptr<T> Create(Args&&... args) {
    return Ptr<T>(new T(Key{}, std::forward<Args>(args)...));
  }

  explicit TThread(Key) {}
  TThread(const TThread&) = delete;
  TThread& operator=(const TThread&) = delete;

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
  template <class T>
  static void StartSelfFreeing(Ptr<T> worker) {
    StartOwningItself(worker.release());
  }

 protected:
  /// Only the owner destroys a worker, after its body has ended.
  virtual ~TThread();
  virtual void Execute() = 0;

 private:
  static void StartOwningItself(TThread* worker);
  void Run();

  std::thread thread_;
  std::atomic<bool> terminated_{false};
  std::atomic<bool> finished_{false};
  bool self_freeing_ = false;
};

}  // namespace kestrova
