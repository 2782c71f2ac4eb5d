#pragma once

#include "ports/SerialLineIo.h"

#include <cerrno>
#include <string>
#include <vector>

namespace quav::test {

// A tty's modem lines in memory. Counts every call; from call `failFrom` on (1-based)
// every call fails with `error`, as when a USB adapter is pulled out.
class FakeModemLines final : public ModemLineCalls
{
public:
    int Get(int, int& bits) override
    {
        if (Fails()) {
            return error;
        }
        bits = lines;
        log.push_back("get");
        return 0;
    }
    int Raise(int, int bits) override
    {
        if (Fails()) {
            return error;
        }
        lines |= bits;
        log.push_back("raise " + std::to_string(bits));
        return 0;
    }
    int Lower(int, int bits) override
    {
        if (Fails()) {
            return error;
        }
        lines &= ~bits;
        log.push_back("lower " + std::to_string(bits));
        return 0;
    }

    int lines = 0;
    int calls = 0;
    int failFrom = 0; // 0: never
    int error = EIO;
    std::vector<std::string> log;

private:
    bool Fails() { return ++calls >= failFrom && failFrom != 0; }
};

} // namespace quav::test
