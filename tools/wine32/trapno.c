/* Preloaded into 32-bit Wine running under qemu-user: restores the x86 trap number of faults.
 *
 * qemu-user hands a guest's signal handler a trap number of -1 in the signal context. Wine's
 * 32-bit handlers choose the Windows exception by that number, so every access violation would
 * turn into an illegal instruction: guard pages, structured exception handling and
 * IsBadReadPtr break, and a crash starts the debugger. This library wraps sigaction for the
 * fault signals and, before Wine's handler runs, puts in the number the kernel would have set.
 */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <signal.h>
#include <stddef.h>
#include <ucontext.h>

typedef void (*InfoHandler)(int, siginfo_t*, void*);
typedef int (*SigactionFn)(int, const struct sigaction*, struct sigaction*);

/* Wine's handler per signal, replaced by forwardWithTrapNumber in the real table. Written only
 * while Wine installs its handlers, before any fault can arrive. */
static InfoHandler wrappedHandlers[NSIG];

static int isFaultSignal(int sig) {
    return sig == SIGSEGV || sig == SIGBUS || sig == SIGILL || sig == SIGFPE || sig == SIGTRAP;
}

/* The trap number of the x86 exception that the kernel reports as this signal. */
static int trapNumber(int sig, const siginfo_t* info) {
    switch (sig) {
    case SIGSEGV:
        return (info->si_code == SEGV_MAPERR || info->si_code == SEGV_ACCERR) ? 14 : 13;
    case SIGBUS:
        return 13;
    case SIGILL:
        return 6;
    case SIGFPE:
        return info->si_code == FPE_INTDIV ? 0 : info->si_code == FPE_INTOVF ? 4 : 16;
    case SIGTRAP:
        return info->si_code == TRAP_TRACE ? 1 : 3;
    default:
        return -1;
    }
}

static void forwardWithTrapNumber(int sig, siginfo_t* info, void* context) {
    ucontext_t* ucontext = (ucontext_t*)context;
    /* Only faults raised by the CPU; a signal another process or thread sent keeps its context. */
    if (info->si_code > 0 && ucontext->uc_mcontext.gregs[REG_TRAPNO] == -1) {
        ucontext->uc_mcontext.gregs[REG_TRAPNO] = trapNumber(sig, info);
    }
    wrappedHandlers[sig](sig, info, context);
}

int sigaction(int sig, const struct sigaction* action, struct sigaction* old) {
    static SigactionFn realSigaction;
    if (!realSigaction) {
        realSigaction = (SigactionFn)dlsym(RTLD_NEXT, "sigaction");
    }
    const int fault = sig > 0 && sig < NSIG && isFaultSignal(sig);
    const InfoHandler previous = fault ? wrappedHandlers[sig] : NULL;
    int result;
    if (fault && action && (action->sa_flags & SA_SIGINFO) && action->sa_sigaction) {
        struct sigaction wrapped = *action;
        wrapped.sa_sigaction = forwardWithTrapNumber;
        wrappedHandlers[sig] = action->sa_sigaction;
        result = realSigaction(sig, &wrapped, old);
    } else {
        result = realSigaction(sig, action, old);
    }
    /* The caller sees its own handler, never the wrapper. */
    if (result == 0 && old && (old->sa_flags & SA_SIGINFO) &&
        old->sa_sigaction == forwardWithTrapNumber) {
        old->sa_sigaction = previous;
    }
    return result;
}
