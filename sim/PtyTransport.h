#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <thread>

namespace brimvolt::sim {

class CSimModule;

/**
 * Serves a CSimModule on a pseudo-terminal, so a real serial backend can open the device path
 * and talk to it. Requests are read in 4-byte units on a thread of its own (bytes of a request
 * split across reads are kept); the replies are written back at once, or after the module's
 * reply delay. A partial request that waits more than half a second is dropped, as a module
 * resynchronises on a quiet line.
 *
 * The module must outlive the transport. POSIX only.
 */
class CPtyTransport {
public:
    explicit CPtyTransport(CSimModule& module);
    ~CPtyTransport();
    CPtyTransport(const CPtyTransport&) = delete;
    CPtyTransport& operator=(const CPtyTransport&) = delete;

    /**
     * Creates the pseudo-terminal in raw mode and, when linkPath is not empty, a symbolic link
     * to its device there (an existing link is replaced; any other file is left alone and the
     * call fails). False on failure, with ErrorText() saying why.
     */
    bool Open(const std::string& linkPath = {});

    /** Starts serving; Open() must have succeeded. */
    void Start();
    /** Stops serving; the device stays open until destruction. */
    void Stop();

    const std::string& DevicePath() const { return devicePath; }
    const std::string& LinkPath() const { return linkPath; }
    const std::string& ErrorText() const { return errorText; }

private:
    void Serve();
    void WriteAll(const std::uint8_t* data, std::size_t n);
    bool WaitForStop(int milliseconds);
    bool Fail(const std::string& what);

    CSimModule& module;
    int masterFd = -1;
    int wakeFds[2] = {-1, -1};
    std::string devicePath;
    std::string linkPath;
    std::string errorText;
    std::atomic<bool> stopping{false};
    std::thread worker;
};

}  // namespace brimvolt::sim
