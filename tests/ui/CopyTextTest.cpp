// The clipboard text of the traffic list's Copy and Copy All.
#include "ui/CopyText.h"

#include <gtest/gtest.h>

TEST(CopyText, EntriesAreCopiedAsListedEachEndingInCrLf) {
    EXPECT_EQ(copiedEntries({}), "");
    EXPECT_EQ(copiedEntries({"Data I/O window..."}), "Data I/O window...\r\n");
    const std::string withNul("==> AB\0CD", 9);
    const std::string high = "==> \xb0\x43 \xe9\xff";
    EXPECT_EQ(copiedEntries({"Data I/O window...", withNul, "<== ", high}),
              "Data I/O window...\r\n==> AB\r\n<== \r\n" + high + "\r\n");
}

TEST(CopyText, OneEntryHasNoLineEnd) {
    EXPECT_EQ(copiedEntry("<== READ"), "<== READ");
    EXPECT_EQ(copiedEntry(std::string("==> 1\0002", 7)), "==> 1");
    EXPECT_EQ(copiedEntry("==> \t\xfe"), "==> \t\xfe");
}
