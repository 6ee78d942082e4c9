// Pelsbus.dll bound by name as a Windows host binds it, over UDP against the
// pcdsim that scripts/windows-dll.sh runs on the host (its port name in
// $PELSBUS_TEST_UDP, its stations from tests/sbus/wine-sim.cfg).
#include "PelsbusApi.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

using pelsbus::test::PelsbusApi;

namespace {

class DllTest : public ::testing::Test {
protected:
    PelsbusApi api;
    void SetUp() override {
        const char* udp = std::getenv("PELSBUS_TEST_UDP");
        if (!udp || !*udp) GTEST_SKIP() << "no simulator: run scripts/windows-dll.sh";
        ASSERT_TRUE(api.Load()) << api.error;
        api.PCDNoMsg();
        ASSERT_EQ(api.PCDSetPortName(1, udp), 0);
        ASSERT_EQ(api.PCDSetParameter(1, 9600, 1), 0);
        api.PCDSetReadTimeoutConstant(200);
        ASSERT_EQ(api.PCDOpen(), 0);
        api.PCDSetStation(5);
    }
    void TearDown() override {
        if (api.handle) api.PCDClose();
        api.Unload();
    }
};

} // namespace

TEST_F(DllTest, ReadsWritesStatusAndClockOverUdp) {
    EXPECT_EQ(api.PCDGetVersion(), 200);
    int32_t r[2] = {};
    ASSERT_EQ(api.PCDReadRegister(0, 2, r), 0);
    EXPECT_EQ(std::vector<int32_t>(r, r + 2), (std::vector<int32_t>{42, -7}));
    const int32_t w = 123456;
    ASSERT_EQ(api.PCDWriteRegister(10, 1, &w), 0);
    ASSERT_EQ(api.PCDReadRegister(10, 1, r), 0);
    EXPECT_EQ(r[0], w);
    int16_t f[2] = {};
    ASSERT_EQ(api.PCDReadFlag(2, 2, f), 0);
    EXPECT_EQ(f[0] * 10 + f[1], 1);
    int32_t status = 0;
    ASSERT_EQ(api.PcdRdStatus(0, &status), 0);
    EXPECT_EQ(status, 2);
    int32_t c[8] = {};
    ASSERT_EQ(api.PCDReadClock(c), 0);
    EXPECT_EQ(std::vector<int32_t>(c, c + 8),
              (std::vector<int32_t>{52, 5, 1999, 12, 31, 23, 59, 58}));
    EXPECT_EQ(api.PCDFloatToLong(1.5f, 0), static_cast<int32_t>(0xC0000041u));
}

TEST_F(DllTest, FaultCodesAndPortsThatCannotOpen) {
    int32_t v = 0;
    EXPECT_EQ(api.PCDReadCounter(0, 1, &v), 1); // the simulator refuses counters
    api.PCDSetStation(6);
    EXPECT_EQ(api.PCDReadRegister(0, 1, &v), 6);
    EXPECT_EQ(api.PCDOpen(), 9); // already open
    api.PCDClose();
    EXPECT_EQ(api.PCDReadRegister(0, 1, &v), 35);
    ASSERT_EQ(api.PCDSetParameter(2, 9600, 1), 0);
    EXPECT_EQ(api.PCDSetPortName(2, "COM200"), 0);
    EXPECT_EQ(api.PCDOpen(), 9);
}
