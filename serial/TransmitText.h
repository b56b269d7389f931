// Text rules of the transmit path: what goes on the wire and what is listed.
#pragma once

#include <cstddef>
#include <string>

// The send buffer holds 1,024 bytes with its NUL, so at most 1,023 bytes of text go out.
constexpr size_t kMaxSendText = 1023;

// The text as sent: ends at its first NUL and after kMaxSendText bytes.
std::string sendableText(const std::string& text);

constexpr const char* kSentPrefix = "<== ";
constexpr const char* kReceivedPrefix = "==> ";
constexpr const char* kTransmissionError = "Transmission Error!";
