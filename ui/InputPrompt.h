// Modal prompt that asks the operator for one line of text (the COM port number).
#pragma once

#include <string>

namespace InputPrompt {
// Shows the prompt with no owner window and returns the text typed when the operator chose OK
// (at most 255 characters), or the empty text on Cancel, Esc, the close box or a failure.
// x and y are screen pixels; a negative x or y leaves the dialog centred.
std::string ask(const std::string& prompt, const std::string& caption,
                const std::string& initialText, int x, int y);
} // namespace InputPrompt
