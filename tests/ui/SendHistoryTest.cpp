// The walk through sent lines with Up and Down.
#include "ui/SendHistory.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {
enum class Step { Send, Edit, Up, Down };

// One step and what the box shows after it: the recalled text, or "-" when the key changes
// nothing. Sends and edits show what they were given.
struct Row {
    Step step;
    std::string text;     // for Send and Edit
    std::string expected; // for Up and Down
};

void run(SendHistory& history, const std::vector<Row>& rows) {
    int number = 0;
    for (const Row& row : rows) {
        ++number;
        std::optional<std::string> shown;
        switch (row.step) {
        case Step::Send:
            history.sent(row.text);
            continue;
        case Step::Edit:
            history.edited(row.text);
            continue;
        case Step::Up:
            shown = history.older();
            break;
        case Step::Down:
            shown = history.newer();
            break;
        }
        EXPECT_EQ(shown.value_or("-"), row.expected) << "step " << number;
    }
}
} // namespace

TEST(SendHistory, WalksSentLinesAndTheDraft) {
    SendHistory history;
    run(history, {
                     // Nothing sent yet: neither key does anything.
                     {Step::Up, "", "-"},
                     {Step::Down, "", "-"},
                     // A repeated line is kept once; the box shows THREE after its send.
                     {Step::Send, "ONE", ""},
                     {Step::Send, "TWO", ""},
                     {Step::Send, "TWO", ""},
                     {Step::Send, "THREE", ""},
                     {Step::Up, "", "TWO"},
                     {Step::Up, "", "ONE"},
                     {Step::Up, "", "-"},
                     {Step::Down, "", "TWO"},
                     {Step::Down, "", "THREE"},
                     // Past the newest: the draft, which after a send is the line sent.
                     {Step::Down, "", "THREE"},
                     {Step::Down, "", "-"},
                     // Typing makes a new draft and starts the walk after the newest line.
                     {Step::Up, "", "THREE"},
                     {Step::Up, "", "TWO"},
                     {Step::Edit, "X", ""},
                     {Step::Up, "", "THREE"},
                     {Step::Down, "", "X"},
                     {Step::Down, "", "-"},
                     // An empty send keeps nothing: Up shows the newest line.
                     {Step::Send, "", ""},
                     {Step::Up, "", "THREE"},
                     {Step::Down, "", ""},
                     // A recalled older line sent again becomes the newest.
                     {Step::Up, "", "THREE"},
                     {Step::Up, "", "TWO"},
                     {Step::Send, "TWO", ""},
                     {Step::Up, "", "THREE"},
                     {Step::Up, "", "TWO"},
                     {Step::Up, "", "ONE"},
                     // Blanks and case count: these are other lines.
                     {Step::Send, "two", ""},
                     {Step::Send, " two", ""},
                     {Step::Up, "", "two"},
                     {Step::Up, "", "TWO"},
                 });
}

TEST(SendHistory, KeepsTheNewestHundredLines) {
    SendHistory history;
    for (int n = 1; n <= 150; ++n) {
        history.sent("L" + std::to_string(n));
    }
    std::vector<std::string> walked;
    while (std::optional<std::string> shown = history.older()) {
        walked.push_back(*shown);
    }
    ASSERT_EQ(walked.size(), SendHistory::kCapacity - 1);
    EXPECT_EQ(walked.front(), "L149");
    EXPECT_EQ(walked.back(), "L51");
    for (size_t n = 0; n < SendHistory::kCapacity - 1; ++n) {
        ASSERT_EQ(history.newer().value_or("-"), "L" + std::to_string(52 + n));
    }
    EXPECT_EQ(history.newer().value_or("-"), "L150"); // the draft
}
