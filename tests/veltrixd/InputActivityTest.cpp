// The hands on the machine, read from input devices the test makes.
#include <gtest/gtest.h>
#include <linux/input.h>
#include <sys/stat.h>

#include <string>

#include "tests/support/InputDevice.h"
#include "tests/support/TempEnv.h"
#include "veltrixd/InputActivity.h"

using testing_support::InputDevice;

TEST(InputActivity, KeysAndMotionSinceTheLastLookCountSensorsAndOldEventsDoNot) {
    const testing_support::TempEnv env;
    const std::string dir = env.root;
    InputDevice keyboard(dir, "event0");
    ::mkfifo((dir + "/mouse0").c_str(), 0600);  // not an event device: never opened
    veltrixd::InputActivity input(dir);

    EXPECT_FALSE(input.Touched(1000));  // the first look opens the devices and says nothing
    EXPECT_EQ(input.Devices(), 1);
    ASSERT_TRUE(keyboard.Send({EV_KEY, EV_SYN}));
    EXPECT_TRUE(input.Touched(6000));
    EXPECT_FALSE(input.Touched(11000));  // nothing new
    // A sensor's axes, a lid's switch, a scan code alone: no hands.
    ASSERT_TRUE(keyboard.Send({EV_ABS, EV_SW, EV_MSC, EV_SYN}));
    EXPECT_FALSE(input.Touched(16000));
    ASSERT_TRUE(keyboard.Send({EV_REL, EV_SYN}));
    EXPECT_TRUE(input.Touched(21000));
    // Half an event is none.
    ASSERT_TRUE(keyboard.SendBytes(std::string(sizeof(input_event) / 2, '\1')));
    EXPECT_FALSE(input.Touched(26000));
    // After a long gap, what waited is dropped: it may be from long ago.
    ASSERT_TRUE(keyboard.Send({EV_KEY}));
    EXPECT_FALSE(input.Touched(26000 + veltrixd::kInputFreshMs + 1));

    // A device plugged in later is found at the next rescan.
    InputDevice mouse(dir, "event7");
    EXPECT_FALSE(input.Touched(40000));
    EXPECT_EQ(input.Devices(), 1);
    EXPECT_FALSE(input.Touched(40000 + veltrixd::kInputRescanMs));
    EXPECT_EQ(input.Devices(), 2);
    ASSERT_TRUE(mouse.Send({EV_REL}));
    EXPECT_TRUE(input.Touched(45000 + veltrixd::kInputRescanMs));

    // No devices at all (a machine without, or a directory that is not there): never touched.
    veltrixd::InputActivity none(dir + "/missing");
    EXPECT_FALSE(none.Touched(1000));
    EXPECT_FALSE(none.Touched(2000));
}
