// Device path rules: the operator's text is used exactly as typed.
#include "serial/DevicePath.h"

#include <gtest/gtest.h>

TEST(DevicePath, AppendsTheTextUnchanged) {
    EXPECT_EQ(devicePath("3"), "\\\\.\\COM3");
    EXPECT_EQ(devicePath(""), "\\\\.\\COM");
    EXPECT_EQ(devicePath(" 03 "), "\\\\.\\COM 03 ");
    EXPECT_EQ(devicePath("300"), "\\\\.\\COM300");
}

TEST(DevicePath, IsCutTo255Characters) {
    const std::string path = devicePath(std::string(300, '9'));
    EXPECT_EQ(path.size(), 255u);
    EXPECT_EQ(path.substr(0, 7), "\\\\.\\COM");
}

TEST(DevicePath, WildcardsAreFoundAnywhere) {
    EXPECT_TRUE(hasWildcard(devicePath("*")));
    EXPECT_TRUE(hasWildcard(devicePath("1?")));
    EXPECT_FALSE(hasWildcard(devicePath("12")));
    // A wildcard beyond the 255-character cut is gone with the cut.
    EXPECT_FALSE(hasWildcard(devicePath(std::string(248, '1') + "*")));
}
