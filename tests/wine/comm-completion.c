/* Loaded by scripts/test-windows into the programs under Wine, never shipped: lets Qt Serial Port
 * hear of received bytes under Wine 8, on a pseudo-terminal as on any port.
 *
 * Qt Serial Port waits for received bytes with an overlapped WaitCommEvent whose OVERLAPPED has no
 * event, and learns of its end only from the I/O completion port that the port's handle is bound
 * to; only then does it start its ReadFile. Wine 8 serves WaitCommEvent in its own serial code,
 * outside its usual asynchronous I/O: it posts nothing to the completion port, and without an event
 * it blocks the calling thread until a byte arrives. Its wait is a thread that polls the device
 * every millisecond for the bytes waiting and for the modem lines, and a pseudo-terminal has no
 * modem lines, so there the wait ends at once as cancelled (error 995). Reads and writes do reach
 * the completion port.
 *
 * So WaitCommEvent is replaced here for that one case (an OVERLAPPED without an event), and Wine's
 * wait is never started: a thread of our own polls the bytes waiting every millisecond
 * (ClearCommError, which a pseudo-terminal answers) and, once there are some, issues a zero-length
 * ReadFile with the caller's OVERLAPPED. That read ends at once without taking a byte, and Wine
 * posts its end, with the caller's OVERLAPPED, to the completion port: Qt sees its wait end and
 * reads. A wait whose port is closed, or that a newer wait with the same OVERLAPPED replaced,
 * posts nothing.
 *
 * It is loaded as the programs' version.dll (WINEDLLOVERRIDES=version=n,b, the file beside the
 * programs): Qt Core imports version.dll, so both programs load it before their first port is
 * opened. Its functions are Wine's own (version.def forwards them to where Wine keeps them). */
#include <windows.h>

#define IOCTL_SERIAL_WAIT_ON_MASK \
    CTL_CODE(FILE_DEVICE_SERIAL_PORT, 18, METHOD_BUFFERED, FILE_ANY_ACCESS)

/* --- WaitCommEvent ------------------------------------------------------------------------- */

/* A port closed and opened again at once gets the same handle, and Qt waits with the same
 * OVERLAPPED: so each wait has a number, and only the newest wait of an OVERLAPPED may end it. */
struct pending_wait {
    HANDLE port;
    DWORD* events;
    OVERLAPPED* overlapped;
    LONG number;
};
enum { kSlots = 64 };
static struct {
    OVERLAPPED* overlapped;
    LONG number;
} newest[kSlots];
static CRITICAL_SECTION newest_lock;
static LONG numbers;

static void make_newest(OVERLAPPED* overlapped, LONG number) {
    EnterCriticalSection(&newest_lock);
    int slot = 0;
    while (slot < kSlots - 1 && newest[slot].overlapped && newest[slot].overlapped != overlapped)
        ++slot;
    newest[slot].overlapped = overlapped;
    newest[slot].number = number;
    LeaveCriticalSection(&newest_lock);
}

static BOOL is_newest(const struct pending_wait* wait) {
    EnterCriticalSection(&newest_lock);
    BOOL found = FALSE;
    for (int slot = 0; slot < kSlots; ++slot)
        if (newest[slot].overlapped == wait->overlapped)
            found = newest[slot].number == wait->number;
    LeaveCriticalSection(&newest_lock);
    return found;
}

/* Polls the bytes waiting every millisecond, as Wine's own wait does, until there are some. */
static DWORD WINAPI finish_wait(void* argument) {
    struct pending_wait wait = *(struct pending_wait*)argument;
    HeapFree(GetProcessHeap(), 0, argument);

    for (;;) {
        DWORD errors;
        COMSTAT status;
        if (!is_newest(&wait) || !ClearCommError(wait.port, &errors, &status))
            return 0;  // a newer wait took over, or the port is closed: nothing is posted
        if (status.cbInQue > 0)
            break;
        Sleep(1);
    }
    static char nothing;
    *wait.events = EV_RXCHAR;
    ReadFile(wait.port, &nothing, 0, NULL, wait.overlapped);
    return 0;
}

static BOOL WINAPI wait_comm_event(HANDLE port, DWORD* events, OVERLAPPED* overlapped) {
    DWORD size;
    if (!overlapped || overlapped->hEvent)
        return DeviceIoControl(port, IOCTL_SERIAL_WAIT_ON_MASK, NULL, 0, events, sizeof *events,
                               &size, overlapped);
    struct pending_wait* wait = HeapAlloc(GetProcessHeap(), 0, sizeof *wait);
    if (!wait) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    wait->port = port;
    wait->events = events;
    wait->overlapped = overlapped;
    wait->number = InterlockedIncrement(&numbers);
    make_newest(overlapped, wait->number);
    overlapped->Internal = STATUS_PENDING;
    HANDLE thread = CreateThread(NULL, 0, finish_wait, wait, 0, NULL);
    if (!thread) {
        HeapFree(GetProcessHeap(), 0, wait);
        return FALSE;
    }
    CloseHandle(thread);
    SetLastError(ERROR_IO_PENDING);
    return FALSE;
}

/* Overwrites the start of a function with a jump to another: mov rax, address; jmp rax. */
static void redirect(void* function, void* replacement) {
    unsigned char jump[12] = {0x48, 0xB8, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xE0};
    DWORD protection;
    if (!function || !VirtualProtect(function, sizeof jump, PAGE_EXECUTE_READWRITE, &protection))
        return;
    memcpy(jump + 2, &replacement, sizeof replacement);
    memcpy(function, jump, sizeof jump);
    VirtualProtect(function, sizeof jump, protection, &protection);
    FlushInstructionCache(GetCurrentProcess(), function, sizeof jump);
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, void* reserved) {
    (void)instance;
    (void)reserved;
    if (reason == DLL_PROCESS_ATTACH) {
        InitializeCriticalSection(&newest_lock);
        HMODULE kernelbase = GetModuleHandleW(L"kernelbase.dll");
        HMODULE kernel32 = GetModuleHandleW(L"kernel32.dll");
        void* base = kernelbase ? (void*)GetProcAddress(kernelbase, "WaitCommEvent") : NULL;
        void* own = kernel32 ? (void*)GetProcAddress(kernel32, "WaitCommEvent") : NULL;
        redirect(base, (void*)wait_comm_event);
        if (own != base)
            redirect(own, (void*)wait_comm_event);
    }
    return TRUE;
}
