#include "run/wait.h"

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "test_support/test_run.h"

namespace upstest::run {
namespace {

using testing::TestRun;

// An event source whose events are pending from the moment they are
// posted; it records the virtual time of each delivery.
class Source final : public platform::EventSource {
 public:
  Source(testing::FakeEnv& env, std::string name, std::vector<std::string>& log)
      : env_(env), name_(std::move(name)), log_(log) {}
  void Post(std::function<void()> handler = {}) { queue_.push_back(std::move(handler)); }
  void AddWakeups(platform::Wakeups& wakeups) const override {
    if (!queue_.empty()) wakeups.due_ms = platform::Wakeups::kPendingNow;
  }
  void DeliverPending() override {
    while (!queue_.empty()) {
      std::function<void()> handler = std::move(queue_.front());
      queue_.pop_front();
      log_.push_back(name_ + "@" + std::to_string(env_.now_ms()));
      if (handler) handler();
    }
  }

 private:
  testing::FakeEnv& env_;
  std::string name_;
  std::vector<std::string>& log_;
  std::deque<std::function<void()>> queue_;
};

TEST(WaitTest, StepCounts) {
  for (const auto& [ms, steps] : std::initializer_list<std::pair<int16_t, size_t>>{{0, 0},
                                                                                   {5, 0},
                                                                                   {9, 0},
                                                                                   {10, 1},
                                                                                   {19, 1},
                                                                                   {20, 2},
                                                                                   {25, 2},
                                                                                   {200, 20},
                                                                                   {500, 50},
                                                                                   {-1, 0},
                                                                                   {-500, 0},
                                                                                   {32767, 3276}}) {
    TestRun run;
    Wait(run.ctx, ms);
    // With nothing to deliver, the steps are slept through in one call.
    EXPECT_EQ(run.env.sleeps(),
              steps == 0 ? std::vector<int>{} : std::vector<int>{static_cast<int>(steps * 10)})
        << ms;
  }
}

TEST(WaitTest, ShortWaitDeliversNothing) {
  TestRun run;
  std::vector<std::string> log;
  Source source(run.env, "a", log);
  run.pump.Register(&source);
  source.Post();
  Wait(run.ctx, 9);
  Wait(run.ctx, -20);
  EXPECT_TRUE(log.empty());
  Wait(run.ctx, 10);
  EXPECT_EQ(log, (std::vector<std::string>{"a@10"}));
  run.pump.Unregister(&source);
}

TEST(WaitTest, PendingEventIsDeliveredAfterTheFirstSleep) {
  TestRun run;
  std::vector<std::string> log;
  Source a(run.env, "a", log), b(run.env, "b", log);
  run.pump.Register(&a);
  run.pump.Register(&b);
  b.Post();
  a.Post();
  a.Post([&] { b.Post(); });  // posted during step 1, delivered in it (b comes after a)
  Wait(run.ctx, 20);
  EXPECT_EQ(log, (std::vector<std::string>{"a@10", "a@10", "b@10", "b@10"}));
  run.pump.Unregister(&a);
  run.pump.Unregister(&b);
}

TEST(WaitTest, HandlerMayWaitItself) {
  TestRun run;
  std::vector<std::string> log;
  Source a(run.env, "a", log);
  run.pump.Register(&a);
  a.Post([&] {
    a.Post();  // delivered inside the nested wait
    Wait(run.ctx, 30);
    log.push_back("nested done@" + std::to_string(run.env.now_ms()));
  });
  Wait(run.ctx, 20);
  EXPECT_EQ(log, (std::vector<std::string>{"a@10", "a@20", "nested done@40"}));
  EXPECT_EQ(run.env.now_ms(), 50) << "the outer wait still runs its second step";
  run.pump.Unregister(&a);
}

TEST(WaitTest, ScriptedAnswerArrivesAtTheFirstStepAfterItIsDue) {
  TestRun run;
  run.manager.SetActive(true);
  run.manager.ResponseAt(15, {});
  run.manager.BadPacketAt(0, {3, "bad"});
  Wait(run.ctx, 10);
  Wait(run.ctx, 20);
  ASSERT_EQ(run.manager.delivered.size(), 2u);
  EXPECT_EQ(run.manager.delivered[0], (std::pair<int64_t, std::string>{10, "BadPacket 3"}));
  EXPECT_EQ(run.manager.delivered[1], (std::pair<int64_t, std::string>{20, "Response 1000001"}));
}

// A wait sleeps through the steps in which nothing arrives, wakes when a
// datagram does, delivers it at the end of that step and sleeps on to its
// full length. WaitUntil delivers at once and ends with the answer; after a
// delivery the next one waits a step, so a flood cannot hold the run.
TEST(WaitTest, SleepsUntilADatagramOrItsEnd) {
  TestRun run;
  run.manager.SetActive(true);
  run.manager.BadPacketAt(123, {3, "stray"});
  Wait(run.ctx, 500);
  EXPECT_EQ(run.manager.delivered,
            (std::vector<std::pair<int64_t, std::string>>{{130, "BadPacket 3"}}));
  EXPECT_EQ(run.env.now_ms(), 500);
  EXPECT_EQ(run.env.sleeps(), (std::vector<int>{123, 7, 370}));

  const bool& done = run.ctx.state.ResponseReceived;  // set by an answer
  run.manager.BadPacketAt(600, {1, "junk"});
  run.manager.BadPacketAt(601, {2, "junk"});
  run.manager.ResponseAt(602, {});
  run.manager.ResponseAt(700, {});
  WaitUntil(run.ctx, 3000, done);
  EXPECT_EQ(run.manager.delivered,
            (std::vector<std::pair<int64_t, std::string>>{{130, "BadPacket 3"},
                                                          {600, "BadPacket 1"},
                                                          {610, "BadPacket 2"},
                                                          {610, "Response 1000001"}}));
  EXPECT_EQ(run.env.now_ms(), 610) << "ended by the answer, not by a step";
  run.ctx.state.ResponseReceived = false;
  WaitUntil(run.ctx, 650, done);
  EXPECT_EQ(run.env.now_ms(), 650) << "nothing came: ended at its deadline";
  EXPECT_EQ(run.manager.delivered.size(), 4u);
}

}  // namespace
}  // namespace upstest::run
