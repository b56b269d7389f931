/* Checks 32-bit Wine under emulation: a bad pointer must reach the program as an access
 * violation, as on Windows (exit code 0), not as an illegal instruction (exit code 1). */
#include <windows.h>

#include <stdio.h>

static LONG CALLBACK reportFault(EXCEPTION_POINTERS* pointers) {
    const DWORD code = pointers->ExceptionRecord->ExceptionCode;
    printf("the fault arrived as exception 0x%08lx\n", (unsigned long)code);
    fflush(stdout);
    ExitProcess(code == EXCEPTION_ACCESS_VIOLATION ? 0 : 1);
    return EXCEPTION_CONTINUE_SEARCH;
}

int main(void) {
    AddVectoredExceptionHandler(1, reportFault);
    volatile int* const bad = (volatile int*)16;
    return *bad + 2;
}
