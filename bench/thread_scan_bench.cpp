// The full scan in one process on its main thread, as quillmend-scan.exe
// runs it, with or without a second thread that only waits (as the window
// has its own thread beside the scan's). Under an emulated Wine a process
// with more than one thread may run slower as a whole; comparing the two
// separates that from what the window itself costs. bench/gui_bench.sh
// alternates both.
//
// usage: thread_scan_bench.exe [--idle-thread]
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "bench/bench_support.h"
#include "platform/win32/win32_file_probe.h"
#include "platform/win32/win32_registry.h"
#include "scan/scan_driver.h"

namespace {

DWORD WINAPI Idle(void* event) {
    WaitForSingleObject(static_cast<HANDLE>(event), INFINITE);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const bool idleThread = argc > 1 && std::strcmp(argv[1], "--idle-thread") == 0;
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE thread = idleThread ? CreateThread(nullptr, 0, &Idle, event, 0, nullptr) : nullptr;

    qm::Win32Registry registry;
    qm::Win32FileProbe files;
    qm::bench::NullView view;
    qm::ScanDriver driver(registry, files, view, qm::DefaultScanners());
    const auto start = qm::bench::Clock::now();
    driver.ScanWorker();
    std::printf("scan %s a second thread: %.2f s, %d items\n", idleThread ? "with" : "without",
                qm::bench::Seconds(start), driver.counters().totalCount);

    SetEvent(event);
    if (thread) {
        WaitForSingleObject(thread, INFINITE);
        CloseHandle(thread);
    }
    CloseHandle(event);
    return 0;
}
