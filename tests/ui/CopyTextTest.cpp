// The clipboard text of the traffic list's Copy and Copy All.
#include "ui/CopyText.h"

#include <gtest/gtest.h>

#include <vector>

namespace {
// Copy All's text for these entries, appended one by one as the list is read.
std::string copiedLines(const std::vector<std::string>& entries) {
    std::string text;
    for (const std::string& entry : entries) {
        appendCopiedLine(text, entry.data(), entry.size());
    }
    return text;
}
} // namespace

TEST(CopyText, EntriesAreCopiedAsListedEachEndingInCrLf) {
    EXPECT_EQ(copiedLines({}), "");
    EXPECT_EQ(copiedLines({"Data I/O window..."}), "Data I/O window...\r\n");
    const std::string withNul("==> AB\0CD", 9);
    const std::string high = "==> \xb0\x43 \xe9\xff";
    EXPECT_EQ(copiedLines({"Data I/O window...", withNul, "<== ", high, ""}),
              "Data I/O window...\r\n==> AB\r\n<== \r\n" + high + "\r\n\r\n");
}

TEST(CopyText, OneEntryHasNoLineEnd) {
    EXPECT_EQ(copiedEntry("<== READ"), "<== READ");
    EXPECT_EQ(copiedEntry(std::string("==> 1\0002", 7)), "==> 1");
    EXPECT_EQ(copiedEntry("==> \t\xfe"), "==> \t\xfe");
}
