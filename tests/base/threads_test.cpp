#include "base/threads.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <vector>

namespace kestrova {
namespace {

using namespace std::chrono_literals;

// A worker whose body is a lambda, so each test states what the worker does.
class LambdaThread : public TThread {
 public:
  LambdaThread(Key key, std::function<void(LambdaThread&)> body)
      : TThread(key), body_(std::move(body)) {}
  using TThread::Terminated;

 protected:
  void Execute() override { body_(*this); }

 private:
  std::function<void(LambdaThread&)> body_;
};

class ThreadsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    GuiThread::Attach();
    GuiThread::SetHooks({});
  }
  void TearDown() override { GuiThread::SetHooks({}); }
};

TEST_F(ThreadsTest, HandedOverCallsRunOnTheGuiThreadInOrderExactlyOnce) {
  const auto gui = std::this_thread::get_id();
  std::vector<int> order;
  std::atomic<int> off_thread{0};
  auto worker = TThread::Create<LambdaThread>([&](LambdaThread&) {
    for (int i = 0; i < 1000; ++i) {
      GuiThread::Synchronize([&, i] {
        if (std::this_thread::get_id() != gui) ++off_thread;
        order.push_back(i);
      });
    }
  });
  bool end_action_ran_on_gui = false;
  worker->OnTerminate = [&] { end_action_ran_on_gui = std::this_thread::get_id() == gui; };
  worker->Start();
  worker->WaitFor();
  ASSERT_EQ(order.size(), 1000u);
  for (int i = 0; i < 1000; ++i) ASSERT_EQ(order[size_t(i)], i);
  EXPECT_EQ(off_thread, 0);
  EXPECT_TRUE(end_action_ran_on_gui) << "the end action has run when the wait returns";
}

TEST_F(ThreadsTest, ManyWorkersEndingDuringTheWaitDoNotDeadlock) {
  std::atomic<int> calls{0};
  std::vector<TThread::Ptr<LambdaThread>> workers;
  for (int w = 0; w < 8; ++w) {
    workers.push_back(TThread::Create<LambdaThread>([&](LambdaThread&) {
      for (int i = 0; i < 100; ++i) GuiThread::Synchronize([&] { ++calls; });
    }));
    workers.back()->OnTerminate = [&] { ++calls; };
  }
  for (auto& w : workers) w->Start();
  for (auto& w : workers) w->WaitFor();
  EXPECT_EQ(calls, 8 * 101);
}

TEST_F(ThreadsTest, AnExceptionOfAHandedOverCallReachesTheWorker) {
  std::string caught;
  auto worker = TThread::Create<LambdaThread>([&](LambdaThread&) {
    try {
      GuiThread::Synchronize([] { throw std::runtime_error("refused"); });
    } catch (const std::runtime_error& e) {
      caught = e.what();
    }
  });
  worker->Start();
  worker->WaitFor();
  EXPECT_EQ(caught, "refused");
}

TEST_F(ThreadsTest, TheWaitKeepsTheToolkitRunningButTheMessageLoopServesCallsToo) {
  std::atomic<int> toolkit_slices{0};
  std::atomic<bool> woken{false};
  GuiThread::SetHooks({[&] { woken = true; }, [&] { ++toolkit_slices; }});
  auto worker = TThread::Create<LambdaThread>([&](LambdaThread& self) {
    while (!self.Terminated()) std::this_thread::sleep_for(1ms);
  });
  worker->Start();
  const auto start = std::chrono::steady_clock::now();
  GuiThread::WaitUntil([&] { return std::chrono::steady_clock::now() - start > 300ms; });
  worker->Terminate();
  worker->WaitFor();
  EXPECT_GT(toolkit_slices, 10) << "timers and painting must go on while the GUI thread waits";

  // Outside a wait, a handed-over call wakes the message loop, which serves it.
  auto caller = TThread::Create<LambdaThread>([&](LambdaThread&) { GuiThread::Synchronize([] {}); });
  caller->Start();
  while (!woken) std::this_thread::sleep_for(1ms);
  EXPECT_TRUE(GuiThread::CheckSynchronize());
  caller->WaitFor();
}

TEST_F(ThreadsTest, ASelfFreeingWorkerIsDestroyedAfterItsEndAction) {
  struct Flags {
    std::atomic<bool> destroyed{false};
    std::atomic<bool> ended{false};
  } flags;
  class Counted : public TThread {
   public:
    Counted(Key key, Flags& f) : TThread(key), flags_(f) {}
    ~Counted() override { flags_.destroyed = true; }

   protected:
    void Execute() override {}

   private:
    Flags& flags_;
  };
  auto worker = TThread::Create<Counted>(flags);
  worker->OnTerminate = [&] { flags.ended = true; };
  TThread::StartSelfFreeing(std::move(worker));
  GuiThread::WaitUntil([&] { return flags.destroyed.load(); });
  EXPECT_TRUE(flags.ended);
}

TEST_F(ThreadsTest, ARunningWorkerIsDestroyedOnlyAfterItsBodyHasEnded) {
  // The body keeps writing to the worker's own members; nothing in the class waits.
  class Busy : public TThread {
   public:
    explicit Busy(Key key) : TThread(key) {}

   protected:
    void Execute() override {
      for (int i = 0; i < 200; ++i) {
        samples_.push_back(i);
        std::this_thread::sleep_for(100us);
      }
    }

   private:
    std::vector<int> samples_;
  };
  for (int round = 0; round < 5; ++round) {
    auto worker = TThread::Create<Busy>();
    worker->Start();
  }
}

TEST_F(ThreadsTest, ACallFromTheGuiThreadRunsAtOnce) {
  bool ran = false;
  GuiThread::Synchronize([&] { ran = true; });
  EXPECT_TRUE(ran);
  EXPECT_FALSE(GuiThread::CheckSynchronize());
}

}  // namespace
}  // namespace kestrova
