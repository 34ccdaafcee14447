// A camera stays alive while a call uses it, whatever other threads do to
// it meanwhile: delete it, close the library, add it again.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <thread>
#include <vector>

#include "camera_fixture.h"
#include "test_support.h"

namespace {

using namespace std::chrono_literals;

class CameraLifetime : public vkttest::CameraTest {
 protected:
  // Runs commands on `handle` until told to stop; counts outcomes that are
  // neither a success nor an expected refusal.
  void Hammer(std::atomic<int>& handle, std::atomic<bool>& stop, std::atomic<int>& unexpected,
              std::atomic<int>& succeeded) {
    while (!stop) {
      int result = vkt::RunCameraCall(handle.load(), 500, [](vkt::CameraContext& camera, uint32_t ms) {
        return camera.Exchange(vkt::Request{704}, ms);
      });
      int error = VKT_GetLastError();
      if (result == 0) {
        ++succeeded;
      } else if (error != VKT_ERR_INVALID_HANDLE && error != VKT_ERR_NOT_STARTED && error != VKT_ERR_NETWORK &&
                 error != VKT_ERR_TIMEOUT) {
        ++unexpected;
      }
    }
  }
  // Four threads run commands on the camera while `rounds` times, once one
  // more call has succeeded, `disturb` is done to it and the handle re-added.
  void CallWhile(int rounds, const std::function<void(int handle)>& disturb) {
    std::atomic<int> handle{AddCamera()};
    std::atomic<bool> stop{false};
    std::atomic<int> unexpected{0}, succeeded{0};
    std::vector<std::thread> callers;
    for (int i = 0; i < 4; ++i) callers.emplace_back([&] { Hammer(handle, stop, unexpected, succeeded); });
    for (int round = 0; round < rounds; ++round) {
      if (!vkttest::WaitFor([&] { return succeeded.load() > round; }, 5s)) {
        ADD_FAILURE() << "no call succeeded in round " << round;
        break;
      }
      disturb(handle.load());
      if (HasFatalFailure()) break;
      handle = AddCamera();
    }
    stop = true;
    for (auto& t : callers) t.join();
    EXPECT_EQ(unexpected.load(), 0);
  }
};

TEST_F(CameraLifetime, DeletingWhileCallsRunIsSafe) {
  vktemu::CommandFaults slow;
  slow.delayMs = 2;  // keeps calls inside the exchange when the delete comes
  emulator.setCommandFaults(id, 0, slow);
  CallWhile(30, [](int handle) { EXPECT_EQ(VKT_DelCamera(handle), 0); });
}

TEST_F(CameraLifetime, ClosingWhileCallsRunIsSafe) {
  CallWhile(10, [](int) {
    ASSERT_EQ(VKT_Close(), 0);
    ASSERT_EQ(VKT_Init(VKT_SDK_VERSION, nullptr), 0);
  });
}

TEST_F(CameraLifetime, ACallHoldsItsCameraUntilItReturns) {
  int handle = AddCamera();
  std::weak_ptr<vkt::CameraContext> watch = Context(handle);
  std::atomic<bool> inside{false}, release{false};
  std::thread call([&] {
    vkt::RunCameraCall(handle, 5000, [&](vkt::CameraContext& camera, uint32_t) {
      inside = true;
      while (!release) std::this_thread::yield();
      // Deleted meanwhile, the context is still whole.
      return camera.Exchange(vkt::Request{704}, 1000);
    });
  });
  ASSERT_TRUE(vkttest::WaitFor([&] { return inside.load(); }, 5s));
  ASSERT_EQ(VKT_DelCamera(handle), 0);
  EXPECT_FALSE(watch.expired()) << "still in use";
  release = true;
  call.join();
  EXPECT_TRUE(watch.expired()) << "freed once the call returned";
}

}  // namespace
