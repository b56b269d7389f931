// Opens a COM port as the program does, for tests that look at the line from the Linux side.
//
//   open_port N                  opens COM<N>, prints the result and closes it again
//   open_port N --read-through M opens COM<N>, then reads until the text M has arrived and
//                                prints everything that came before it
//
// Exit code 0 when the port opened (and the marker came), 1 otherwise.
#include <windows.h>

#include <chrono>
#include <cstring>
#include <string>

#include "JsonOut.h"
#include "serial/SerialPort.h"
#include "support/WaitScale.h"

int main(int argc, char** argv) {
    if (argc != 2 && !(argc == 4 && std::strcmp(argv[2], "--read-through") == 0)) {
        std::fputs("usage: open_port N [--read-through MARKER]\n", stderr);
        return 2;
    }
    SerialPort port;
    const auto opened = port.open(argv[1]);
    jsonout::line("{\"opened\":" + std::string(opened.value ? "true" : "false") +
                  ",\"error\":" + std::to_string(opened.error) + "}");
    if (!opened.value) {
        return 1;
    }
    if (argc == 4) {
        const std::string marker = argv[3];
        std::string received;
        // Bounds only a marker that never comes; it normally arrives within milliseconds.
        const auto end =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(testwait::kDeadlineMs);
        while (received.find(marker) == std::string::npos) {
            if (std::chrono::steady_clock::now() >= end) {
                jsonout::line("{\"marker\":false,\"before\":" + jsonout::quoteBytes(received) +
                              "}");
                return 1;
            }
            const auto waiting = port.bytesWaiting();
            if (waiting.value > 0) {
                received += port.read(waiting.value).value;
            } else {
                Sleep(5);
            }
        }
        received.erase(received.find(marker));
        jsonout::line("{\"marker\":true,\"before\":" + jsonout::quoteBytes(received) + "}");
    }
    port.close();
    return 0;
}
