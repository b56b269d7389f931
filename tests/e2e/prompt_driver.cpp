// Shows the port prompt with the given arguments and prints what it returned, for the prompt tests.
//
//   prompt_driver PROMPT CAPTION INITIAL X Y
//
// Prints {"answer": "..."} once the prompt has ended.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "JsonOut.h"
#include "ui/InputPrompt.h"

int main(int argc, char** argv) {
    if (argc != 6) {
        std::fputs("usage: prompt_driver PROMPT CAPTION INITIAL X Y\n", stderr);
        return 2;
    }
    const std::string answer =
        InputPrompt::ask(argv[1], argv[2], argv[3], std::atoi(argv[4]), std::atoi(argv[5]));
    jsonout::line("{\"answer\":" + jsonout::quoteBytes(answer) + "}");
    return 0;
}
