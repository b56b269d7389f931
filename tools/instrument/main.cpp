// quarl7-instrument: the simulated Norvex Quarl-7 on a pty linked into a Wine prefix as COMn.
#include "instrument/Flood.h"
#include "instrument/Instrument.h"
#include "instrument/Options.h"
#include "instrument/PtyPort.h"
#include "serial/LineCutter.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <poll.h>
#include <stdexcept>
#include <time.h>
#include <unistd.h>

namespace {
volatile sig_atomic_t stopRequested = 0;

void onStopSignal(int) {
    stopRequested = 1;
}

constexpr size_t kChunk = 4096;
constexpr int kChunksPerTurn = 16; // writes per loop turn, so reading is never starved

struct FileCloser {
    void operator()(FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<FILE, FileCloser>;

File openForWriting(const std::string& path) {
    if (path.empty()) {
        return nullptr;
    }
    File file(std::fopen(path.c_str(), "w"));
    if (!file) {
        throw std::runtime_error("cannot write " + path + ": " + std::strerror(errno));
    }
    return file;
}

// CLOCK_MONOTONIC_RAW in microseconds, the time base of both logs: Wine's
// QueryPerformanceCounter reads the same clock, so the logs line up with times taken in Windows
// programs.
long long monotonicMicros() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC_RAW, &now);
    return static_cast<long long>(now.tv_sec) * 1000000 + now.tv_nsec / 1000;
}

// Writes what the pty takes at once; returns the count taken (0 when it would block).
size_t writeSome(int fd, const std::string& bytes) {
    if (bytes.empty()) {
        return 0;
    }
    const ssize_t written = write(fd, bytes.data(), bytes.size());
    if (written >= 0) {
        return static_cast<size_t>(written);
    }
    if (errno == EAGAIN || errno == EINTR || errno == EIO) {
        return 0;
    }
    throw std::runtime_error(std::string("write to pty: ") + std::strerror(errno));
}

class Session {
  public:
    explicit Session(const Options& options)
        : options_(options), instrument_(options.seed),
          receivedLog_(openForWriting(options.logPath)),
          sendLog_(openForWriting(options.sendLogPath)) {
        if (options.flood) {
            const FloodOptions& flood = *options.flood;
            sender_.emplace(flood.count, flood.length, flood.lossless);
            floodStart_ = InstrumentClock::now() + std::chrono::milliseconds(flood.startDelayMs);
        }
    }

    void run(int fd) {
        while (!stopRequested) {
            const TimePoint now = InstrumentClock::now();
            if (sender_) {
                pumpFlood(fd, now);
            } else {
                reply(fd, instrument_.poll(now));
            }
            waitAndRead(fd);
        }
    }

    std::string summary() const {
        FloodTotals flood = sender_ ? sender_->totals() : FloodTotals{};
        char text[512];
        std::snprintf(text, sizeof text,
                      "{\"lines_sent\":%llu,\"lines_damaged\":%llu,\"bytes_sent\":%llu,"
                      "\"bytes_overrun\":%llu,\"lines_received\":%llu,\"bytes_received\":%llu,"
                      "\"flood_done\":%s}",
                      static_cast<unsigned long long>(flood.linesSent + linesSent_),
                      static_cast<unsigned long long>(flood.linesDamaged),
                      static_cast<unsigned long long>(flood.bytesSent + bytesSent_),
                      static_cast<unsigned long long>(flood.bytesOverrun + bytesOverrun_),
                      static_cast<unsigned long long>(linesReceived_),
                      static_cast<unsigned long long>(bytesReceived_),
                      sender_ && sender_->done() ? "true" : "false");
        return text;
    }

  private:
    // Replies go out like flood bytes: what the pty will not take at once is dropped.
    void reply(int fd, const std::string& bytes) {
        const size_t accepted = writeSome(fd, bytes);
        linesSent_ +=
            static_cast<uint64_t>(std::count(bytes.begin(), bytes.begin() + accepted, '\r'));
        bytesSent_ += accepted;
        bytesOverrun_ += bytes.size() - accepted;
    }

    bool waitsForWritable() const { return options_.flood->lossless || options_.flood->maxRate; }

    void pumpFlood(int fd, TimePoint now) {
        const FloodOptions& flood = *options_.flood;
        if (!pacerStarted_) {
            if (now < floodStart_ || (flood.waitForLine && linesReceived_ == 0)) {
                return;
            }
            pacerStarted_ = true;
            if (!flood.maxRate) {
                pacer_.emplace(flood.rate, now);
            }
        }
        for (int turn = 0; turn < kChunksPerTurn && !sender_->done() && !blocked_; ++turn) {
            size_t most = kChunk;
            if (pacer_) {
                const uint64_t allowed = pacer_->allowed(now);
                const uint64_t offset = sender_->offset();
                most = allowed > offset
                           ? static_cast<size_t>(std::min<uint64_t>(most, allowed - offset))
                           : 0;
            }
            if (most == 0) {
                break;
            }
            const std::string bytes = sender_->next(most);
            const size_t accepted = writeSome(fd, bytes);
            const long long sentAt = monotonicMicros();
            for (uint64_t number : sender_->commit(bytes.size(), accepted)) {
                if (sendLog_) {
                    std::fprintf(sendLog_.get(), "%lld %llu\n", sentAt,
                                 static_cast<unsigned long long>(number));
                }
            }
            if (accepted < bytes.size() && waitsForWritable()) {
                blocked_ = true;
            }
        }
        if (sender_->done() && !doneReported_) {
            doneReported_ = true;
            std::printf("flood done\n");
            std::fflush(stdout);
        }
    }

    // The next time the loop has something to do without input, if any.
    std::optional<TimePoint> deadline() const {
        if (!sender_) {
            return instrument_.nextDue();
        }
        if (!pacerStarted_) {
            return floodStart_;
        }
        if (sender_->done() || blocked_) {
            return std::nullopt;
        }
        if (!pacer_) {
            return InstrumentClock::now(); // as fast as the pty takes it
        }
        return pacer_->timeFor(sender_->offset() + 1);
    }

    void waitAndRead(int fd) {
        pollfd watched{fd, static_cast<short>(POLLIN | (blocked_ ? POLLOUT : 0)), 0};
        timespec timeout{};
        timespec* timeoutPointer = nullptr;
        if (const auto due = deadline()) {
            const auto wait = std::max(*due - InstrumentClock::now(), InstrumentClock::duration(0));
            const auto nanos = std::chrono::duration_cast<std::chrono::nanoseconds>(wait).count();
            timeout.tv_sec = static_cast<time_t>(nanos / 1000000000);
            timeout.tv_nsec = static_cast<long>(nanos % 1000000000);
            timeoutPointer = &timeout;
        }
        sigset_t unblocked;
        sigemptyset(&unblocked);
        if (ppoll(&watched, 1, timeoutPointer, &unblocked) <= 0) {
            return; // time-out, or a signal that the loop checks
        }
        if (watched.revents & POLLOUT) {
            blocked_ = false;
        }
        if (watched.revents & POLLIN) {
            readAll(fd);
        }
    }

    void readAll(int fd) {
        char buffer[kChunk];
        for (;;) {
            const ssize_t got = read(fd, buffer, sizeof buffer);
            if (got <= 0) {
                return; // drained (EAGAIN), or EIO while no one holds the slave side
            }
            bytesReceived_ += static_cast<uint64_t>(got);
            const TimePoint now = InstrumentClock::now();
            const long long receivedAt = monotonicMicros();
            for (const std::string& line :
                 cutter_.feed(std::string(buffer, static_cast<size_t>(got)))) {
                ++linesReceived_;
                if (receivedLog_) {
                    std::fprintf(receivedLog_.get(), "%lld ", receivedAt);
                    std::fwrite(line.data(), 1, line.size(), receivedLog_.get());
                    std::fputc('\n', receivedLog_.get());
                }
                // A flood is a pure sender: answers would break its numbering.
                if (!sender_) {
                    reply(fd, instrument_.handle(line, now));
                }
            }
        }
    }

    const Options& options_;
    Instrument instrument_;
    LineCutter cutter_;
    File receivedLog_;
    File sendLog_;
    std::optional<FloodSender> sender_;
    std::optional<RatePacer> pacer_;
    TimePoint floodStart_;
    bool pacerStarted_ = false; // the flood has begun
    bool blocked_ = false;      // waiting for the pty to take bytes again
    bool doneReported_ = false;
    uint64_t linesSent_ = 0;
    uint64_t bytesSent_ = 0;
    uint64_t bytesOverrun_ = 0;
    uint64_t linesReceived_ = 0;
    uint64_t bytesReceived_ = 0;
};

// Stop signals are blocked except inside ppoll, so none is lost between check and wait.
void catchStopSignals() {
    sigset_t stops;
    sigemptyset(&stops);
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
        sigaddset(&stops, signal);
        struct sigaction action {};
        action.sa_handler = onStopSignal;
        sigemptyset(&action.sa_mask);
        sigaction(signal, &action, nullptr);
    }
    sigprocmask(SIG_BLOCK, &stops, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
}

int run(const Options& options) {
    catchStopSignals();
    PtyPort pty;
    std::optional<ComLink> link;
    if (!options.ptyOnly) {
        link.emplace(options.prefix, options.port, pty.slavePath());
    }
    Session session(options);
    std::printf("ready %s %s\n",
                options.ptyOnly ? "none" : ("com" + std::to_string(options.port)).c_str(),
                pty.slavePath().c_str());
    std::fflush(stdout);
    session.run(pty.master());

    const std::string summary = session.summary();
    std::fprintf(stderr, "%s\n", summary.c_str());
    if (!options.summaryPath.empty()) {
        File file = openForWriting(options.summaryPath);
        std::fprintf(file.get(), "%s\n", summary.c_str());
    }
    return 0;
}
} // namespace

int main(int argc, char** argv) {
    const ParsedOptions parsed = parseOptions(std::vector<std::string>(argv + 1, argv + argc),
                                              std::getenv("WINEPREFIX"), std::getenv("HOME"));
    if (!parsed.options) {
        std::fprintf(stderr, "quarl7-instrument: %s\n%s", parsed.error.c_str(), kUsage);
        return 2;
    }
    if (parsed.options->help) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    try {
        return run(*parsed.options);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "quarl7-instrument: %s\n", error.what());
        return 1;
    }
}
