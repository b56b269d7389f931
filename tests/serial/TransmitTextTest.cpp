// The text that the transmit path sends and lists.
#include "serial/TransmitText.h"

#include <gtest/gtest.h>

TEST(SendableText, KeepsAtMost1023BytesAndEverythingAsTyped) {
    const std::string typed(1500, 'k');
    EXPECT_EQ(sendableText(typed), std::string(1023, 'k'));
    EXPECT_EQ(sendableText(std::string(1023, 'a')).size(), 1023u);
    EXPECT_EQ(sendableText("  lead and trail  "), "  lead and trail  ");
    EXPECT_EQ(sendableText(""), "");
}

TEST(SendableText, EndsAtTheFirstNul) {
    EXPECT_EQ(sendableText(std::string("AB\0CD", 5)), "AB");
}
