// A child process for the tests that start programs: "chatty N" writes N
// bytes to standard output, "hang" never ends, "drain" reads standard input
// to its end, "exit N" ends with exit code N.
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <string>

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    if (std::strcmp(argv[1], "chatty") == 0 && argc > 2) {
        long total = std::atol(argv[2]);
        std::string block(4096, 'x');
        HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
        for (long sent = 0; sent < total; sent += static_cast<long>(block.size())) {
            DWORD n = 0;
            if (!::WriteFile(out, block.data(), static_cast<DWORD>(block.size()), &n, nullptr)) return 3;
        }
        return 0;
    }
    if (std::strcmp(argv[1], "hang") == 0) {
        ::Sleep(INFINITE);
        return 0;
    }
    if (std::strcmp(argv[1], "drain") == 0) {
        char buf[256];
        DWORD n = 0;
        HANDLE in = ::GetStdHandle(STD_INPUT_HANDLE);
        while (in && in != INVALID_HANDLE_VALUE && ::ReadFile(in, buf, sizeof(buf), &n, nullptr) && n > 0) {
        }
        return 0;
    }
    if (std::strcmp(argv[1], "exit") == 0 && argc > 2) return std::atoi(argv[2]);
    return 2;
}
