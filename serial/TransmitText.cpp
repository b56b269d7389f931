// Text rules of the transmit path: what goes on the wire and what is listed.
#include "serial/TransmitText.h"

std::string sendableText(const std::string& text) {
    std::string sendable = text.substr(0, text.find('\0'));
    if (sendable.size() > kMaxSendText) {
        sendable.resize(kMaxSendText);
    }
    return sendable;
}
