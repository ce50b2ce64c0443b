#include "workflow/termination.h"

#include <gtest/gtest.h>

namespace tavren {
namespace {

using Action = TTerminationPolicy::Action;
using namespace std::chrono_literals;

TEST(Termination, ARequestClosesUnlessTheLoopIsBlockedOrTheGraceIsOver) {
  const auto start = TTerminationPolicy::Clock::now();
  TTerminationPolicy idle(3s);
  EXPECT_EQ(idle.OnRequest(start, false), Action::RequestClose);
  EXPECT_EQ(idle.OnRequest(start + 2s, false), Action::RequestClose);  // still waiting
  EXPECT_EQ(idle.OnRequest(start + 3s, false), Action::EndNow);

  TTerminationPolicy busy(3s);
  EXPECT_EQ(busy.OnRequest(start, true), Action::EndNow);
}

}  // namespace
}  // namespace tavren
