// The harness's guards (see fuzz.h). The handlers that run while the
// process dies only copy a file and write one line through the kernel: the
// C library's locks may be held by the thread that crashed.
#include "fuzz/fuzz.h"

#include <windows.h>

#include <csignal>
#include <cstdio>

static GuardedInput s_input;
static char s_failure_dir[MAX_PATH];
static unsigned s_hang_ms;
static volatile LONG s_active;        // an input is running
static volatile DWORD s_started;      // GetTickCount when it began
static volatile LONGLONG s_cpu_started;  // the process's CPU time then, 100 ns
static volatile LONG s_dying;         // a guard is ending the process

static void write_line(const char* text)
{
    DWORD written;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text, lstrlenA(text), &written, NULL);
}

void save_failure(const char* kind)
{
    char name[MAX_PATH + 128];
    if (!s_input.kept.empty())
        wsprintfA(name, "%s\\%s-%s-%s", s_failure_dir, kind, s_input.reader.c_str(), s_input.kept.c_str());
    else
        wsprintfA(name, "%s\\%s-%08lx%08lx-%lu-%s%s", s_failure_dir, s_input.reader.c_str(),
                  (unsigned long)(s_input.key >> 32), (unsigned long)s_input.key, (unsigned long)s_input.index,
                  kind, s_input.extension.c_str());
    CreateDirectoryA(s_failure_dir, NULL);
    CopyFileA(s_input.path.c_str(), name, FALSE);
    char line[2 * MAX_PATH + 300];
    if (!s_input.kept.empty())
        wsprintfA(line, "FAIL %s %s kept %s -> %s\n", kind, s_input.reader.c_str(), s_input.kept.c_str(), name);
    else
        wsprintfA(line, "FAIL %s %s key %08lx%08lx index %lu -> %s\n", kind, s_input.reader.c_str(),
                  (unsigned long)(s_input.key >> 32), (unsigned long)s_input.key, (unsigned long)s_input.index,
                  name);
    write_line(line);
}

static void die(const char* kind, UINT code)
{
    if (InterlockedExchange(&s_dying, 1))
        return;
    if (s_active)
        save_failure(kind);
    else
        write_line("FAIL crash outside an input\n");
    TerminateProcess(GetCurrentProcess(), code);
}

static LONG WINAPI on_unhandled_exception(EXCEPTION_POINTERS* info)
{
    // Where it happened, as module and offset, for the one who fixes it.
    void* address = info->ExceptionRecord->ExceptionAddress;
    MEMORY_BASIC_INFORMATION region;
    char module[MAX_PATH] = "?";
    DWORD_PTR base = 0;
    if (VirtualQuery(address, &region, sizeof region)) {
        base = (DWORD_PTR)region.AllocationBase;
        GetModuleFileNameA((HMODULE)region.AllocationBase, module, sizeof module);
    }
    char line[MAX_PATH + 80];
    wsprintfA(line, "exception %08lx at %s+%lx\n", (unsigned long)info->ExceptionRecord->ExceptionCode, module,
              (unsigned long)((DWORD_PTR)address - base));
    write_line(line);
    die("crash", EXIT_CRASH);
    return EXCEPTION_EXECUTE_HANDLER;
}

// A stack overflow or a heap the system found damaged may never reach the
// unhandled-exception filter; every other exception may still be handled.
static LONG WINAPI on_first_chance_exception(EXCEPTION_POINTERS* info)
{
    DWORD code = info->ExceptionRecord->ExceptionCode;
    if (code == EXCEPTION_STACK_OVERFLOW)
        die("crash", EXIT_CRASH);
    if (code == 0xC0000374)  // STATUS_HEAP_CORRUPTION
        die("heap", EXIT_HEAP);
    return EXCEPTION_CONTINUE_SEARCH;
}

static void on_abort(int)
{
    die("crash", EXIT_CRASH);
}

static ULONGLONG process_cpu_time(void)
{
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user))
        return 0;
    return ((ULONGLONG)kernel.dwHighDateTime << 32 | kernel.dwLowDateTime) +
           ((ULONGLONG)user.dwHighDateTime << 32 | user.dwLowDateTime);
}

// Work is judged by the CPU time an input takes, which a busy machine does
// not stretch; an input that waits instead of working is a hang once the
// clock passes several times that.
static const unsigned WAIT_FACTOR = 6;

static DWORD WINAPI watchdog(void*)
{
    for (;;) {
        Sleep(100);
        if (!s_active)
            continue;
        // Read whole: the next input may be storing it (two words here).
        ULONGLONG began = (ULONGLONG)InterlockedCompareExchange64(&s_cpu_started, 0, 0);
        ULONGLONG now = process_cpu_time();
        DWORD cpu_ms = now > began ? (DWORD)((now - began) / 10000) : 0;
        DWORD clock_ms = GetTickCount() - s_started;
        if (cpu_ms > s_hang_ms || clock_ms > s_hang_ms * WAIT_FACTOR) {
            char line[80];
            wsprintfA(line, "  processor %lu ms, clock %lu ms\n", (unsigned long)cpu_ms, (unsigned long)clock_ms);
            write_line(line);
            die("hang", EXIT_HANG);
        }
    }
}

void install_guards(const std::string& failure_dir, unsigned hang_ms)
{
    lstrcpynA(s_failure_dir, failure_dir.c_str(), sizeof s_failure_dir);
    s_hang_ms = hang_ms;
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    SetUnhandledExceptionFilter(on_unhandled_exception);
    AddVectoredExceptionHandler(1, on_first_chance_exception);
    std::signal(SIGABRT, on_abort);
    CloseHandle(CreateThread(NULL, 0, watchdog, NULL, 0, NULL));
}

void begin_guarded_input(const GuardedInput& input)
{
    s_input = input;
    s_started = GetTickCount();
    InterlockedExchange64(&s_cpu_started, (LONGLONG)process_cpu_time());
    InterlockedExchange(&s_active, 1);
}

void end_guarded_input(void)
{
    InterlockedExchange(&s_active, 0);
}

bool heaps_are_sound(void)
{
    HANDLE heaps[64];
    DWORD count = GetProcessHeaps(64, heaps);
    for (DWORD i = 0; i < count && i < 64; i++)
        if (!HeapValidate(heaps[i], 0, NULL))
            return false;
    return true;
}

HeldMemory measure_held_memory(void)
{
    HeldMemory held = {0, 0, 0, 0};
    HANDLE heaps[64];
    DWORD count = GetProcessHeaps(64, heaps);
    for (DWORD i = 0; i < count && i < 64; i++) {
        if (!HeapLock(heaps[i]))
            continue;
        PROCESS_HEAP_ENTRY entry;
        entry.lpData = NULL;
        while (HeapWalk(heaps[i], &entry)) {
            if (!(entry.wFlags & PROCESS_HEAP_ENTRY_BUSY))
                continue;
            held.blocks++;
            held.bytes += entry.cbData;
            if (entry.wFlags & PROCESS_HEAP_ENTRY_MOVEABLE)
                held.movable_blocks++;
        }
        HeapUnlock(heaps[i]);
    }
    DWORD handles = 0;
    if (GetProcessHandleCount(GetCurrentProcess(), &handles))
        held.handles = handles;
    return held;
}
