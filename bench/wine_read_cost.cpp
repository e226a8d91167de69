// What one ReadProcessMemory of another process costs where this runs (under
// Wine, a round trip to wineserver), for deriving the rate a Windows bridge
// can reach from the reads of its cycles (docs/performance.md). It starts a
// copy of itself that waits, reads 16 bytes of that copy 5000 times one at a
// time (a kept cycle's reads lie apart) and 20000 times in runs of 500 (a
// walk), and prints the wall time a read. Build and run (not part of the
// CMake build):
//   x86_64-w64-mingw32-g++ -std=c++20 -O2 -static -o wine_read_cost.exe bench/wine_read_cost.cpp
//   wine64 wine_read_cost.exe

#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

namespace {

// Lies at the same address in the copy, which runs the same image.
volatile unsigned char g_marker[16] = {'c', 'o', 'r', 'v', 'a', 'n', 'e', 0, 1, 2, 3, 4, 5, 6, 7, 8};

double readCostUs(HANDLE process, int total, int burst) {
    unsigned char out[16];
    const auto pause = std::chrono::microseconds(500);
    std::chrono::steady_clock::duration spent{};
    for (int done = 0; done < total; done += burst) {
        const auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < burst; ++i) {
            SIZE_T got = 0;
            if (!ReadProcessMemory(process, const_cast<unsigned char*>(g_marker), out, sizeof out, &got) ||
                got != sizeof out || std::memcmp(out, const_cast<unsigned char*>(g_marker), sizeof out) != 0) {
                return -1;
            }
        }
        spent += std::chrono::steady_clock::now() - start;
        std::this_thread::sleep_for(pause);  // as between a cycle's reads and the next cycle's
    }
    return std::chrono::duration<double, std::micro>(spent).count() / total;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], "wait") == 0) {
        Sleep(INFINITE);
        return 0;
    }
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    std::string command = std::string("\"") + self + "\" wait";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION child{};
    if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &child)) {
        std::fprintf(stderr, "The copy could not be started.\n");
        return 1;
    }
    Sleep(500);
    const double single = readCostUs(child.hProcess, 5000, 1);
    const double walked = readCostUs(child.hProcess, 20000, 500);
    TerminateProcess(child.hProcess, 0);
    if (single < 0 || walked < 0) {
        std::fprintf(stderr, "A read of the copy failed.\n");
        return 1;
    }
    std::printf("ReadProcessMemory of 16 bytes: %.1f us a read alone, %.1f us in runs of 500\n", single, walked);
    return 0;
}
