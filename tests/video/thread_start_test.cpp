// A thread the system cannot make is a failed start, reported through the
// start's result, never the end of the process.
#include <gtest/gtest.h>

#include <system_error>
#include <thread>

#include "dvrsim/simulator.h"
#include "platform/core/sync.h"
#include "session/dvr_session.h"
#include "session/session_messages.h"
#include "support/pump.h"
#include "video/render_thread.h"

namespace {

// Throws as std::thread does when the system has no thread to give.
struct RefusedThread {
  RefusedThread() = default;
  explicit RefusedThread(void (*)()) {
    throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
  }
};

TEST(ThreadStart, ARefusedThreadFailsTheStartThatNeededIt) {
  RefusedThread refused;
  EXPECT_FALSE(lv::StartThread(refused, +[] {})) << "the system's refusal is caught";

  dvrsim::Simulator sim(dvrsim::Config{});
  ASSERT_TRUE(sim.Start(0));
  lvtest::MessageRecorder view;
  lv::CDvrSession session(view.Handle());
  session.m_strAddress = u"127.0.0.1";
  session.m_nPort = sim.Port();
  ASSERT_EQ(session.TryConnect_DVR(), 1);
  ASSERT_TRUE(lvtest::PumpUntil([&] { return view.Count(lv::WM_DVR_CONNECT_SOCKET) > 0; }));
  lv::FailNextThreadStarts(1);
  EXPECT_EQ(session.Start(), 0);
  EXPECT_FALSE(session.SendThreadRunning());
  EXPECT_FALSE(session.ParseThreadRunning());
  EXPECT_EQ(session.Start(), 1) << "a later start, with threads to be had, works";
  EXPECT_TRUE(session.SendThreadRunning() && session.ParseThreadRunning());
  session.Disconnect();

  lv::CDvrSession named(view.Handle());
  named.m_strAddress = u"dvr.example.test";
  named.m_nPort = 8000;
  lv::FailNextThreadStarts(1);
  EXPECT_EQ(named.TryConnect_DVR(), 0) << "no thread for the name look-up";

  lv::RenderShared shared;
  lv::CRenderThread render(shared);
  lv::FailNextThreadStarts(1);
  EXPECT_EQ(render.Start(), 0);
  EXPECT_FALSE(render.Running());
  EXPECT_EQ(render.Start(), 1);
  render.Stop();
}

}  // namespace
