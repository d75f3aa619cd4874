/*
 * Preloaded into the 32-bit Wine when it runs under qemu-i386 because the
 * kernel cannot run 32-bit code itself. Two things the emulator does not do
 * as the kernel does, and that Wine relies on:
 *
 *  - mmap with MAP_FIXED_NOREPLACE: the emulator drops the flag and maps
 *    elsewhere, so Wine's address-space reservations scatter over the whole
 *    space. Here the flag keeps its meaning: the mapping lands at the address
 *    asked for or fails with EEXIST. Offsets that are not page multiples are
 *    refused with EINVAL as the kernel does, so Wine reads such sections.
 *  - the trap number of a fault's signal frame, which the emulator leaves at
 *    -1; Wine's fault handler takes that for an unknown trap. It is reported
 *    as the page fault it is.
 *
 * Built without the C library (gcc -m32 -shared -nostdlib), so that no 32-bit
 * development files are needed; the few libc symbols it uses resolve against
 * the 32-bit libc that Wine itself loads.
 */
typedef unsigned int u32;

extern int *__errno_location(void);
extern void *dlsym(void *handle, const char *name);
extern int unsetenv(const char *name);

#define MAP_FIXED 0x10
#define MAP_FIXED_NOREPLACE 0x100000
#define EEXIST 17
#define EINVAL 22
#define SYS_munmap 91
#define SYS_mmap2 192
#define PAGE_MASK 0xfffull
#define RTLD_NEXT ((void *)-1l)
#define SIGSEGV 11
#define SA_SIGINFO 4
#define REG_TRAPNO 12
#define REG_ERR 13
#define TRAP_PAGE_FAULT 14
#define UCONTEXT_GREGS_OFFSET 20 /* uc_flags, uc_link, uc_stack (12 bytes) */

static long raw_syscall6(long number, long a, long b, long c, long d, long e, long f) {
    long args[7] = {a, b, c, d, e, f, number};
    long result;
    __asm__ volatile("push %%ebp\n\tpush %%ebx\n\t"
                     "mov 0(%%eax), %%ebx\n\tmov 4(%%eax), %%ecx\n\tmov 8(%%eax), %%edx\n\t"
                     "mov 12(%%eax), %%esi\n\tmov 16(%%eax), %%edi\n\tmov 20(%%eax), %%ebp\n\t"
                     "mov 24(%%eax), %%eax\n\tint $0x80\n\tpop %%ebx\n\tpop %%ebp"
                     : "=a"(result)
                     : "a"(args)
                     : "ecx", "edx", "esi", "edi", "memory");
    return result;
}

static void *fail_with(int error) {
    *__errno_location() = error;
    return (void *)-1;
}

static void *map_pages(void *address, u32 length, int protection, int flags, int fd,
                       unsigned long long offset) {
    int no_replace = (flags & MAP_FIXED_NOREPLACE) && !(flags & MAP_FIXED);
    long result;
    flags &= ~MAP_FIXED_NOREPLACE;
    if (offset & PAGE_MASK) return fail_with(EINVAL);
    result = raw_syscall6(SYS_mmap2, (long)address, (long)length, protection, flags, fd,
                          (long)(offset >> 12));
    if ((unsigned long)result > 0xfffff000ul) return fail_with((int)-result);
    if (no_replace && (void *)result != address) {
        raw_syscall6(SYS_munmap, result, (long)length, 0, 0, 0, 0);
        return fail_with(EEXIST);
    }
    return (void *)result;
}

void *mmap(void *address, u32 length, int protection, int flags, int fd, long offset) {
    return map_pages(address, length, protection, flags, fd, (unsigned long long)(unsigned long)offset);
}

void *mmap64(void *address, u32 length, int protection, int flags, int fd, long long offset) {
    return map_pages(address, length, protection, flags, fd, (unsigned long long)offset);
}

typedef void (*info_handler)(int, void *, void *);
struct glibc_sigaction {
    info_handler handler;
    unsigned long mask[32];
    int flags;
    void (*restorer)(void);
};

static info_handler wine_fault_handler;

static void fault_with_trap_number(int signal, void *info, void *context) {
    int *registers = (int *)((char *)context + UCONTEXT_GREGS_OFFSET);
    if (registers[REG_TRAPNO] == -1) {
        registers[REG_TRAPNO] = TRAP_PAGE_FAULT;
        /* user mode, write: Wine then tries every way to resolve the fault */
        registers[REG_ERR] |= 6;
    }
    wine_fault_handler(signal, info, context);
}

int sigaction(int signal, const struct glibc_sigaction *action, struct glibc_sigaction *old) {
    static int (*next)(int, const struct glibc_sigaction *, struct glibc_sigaction *);
    if (!next) next = (int (*)(int, const struct glibc_sigaction *, struct glibc_sigaction *))dlsym(RTLD_NEXT, "sigaction");
    if (signal == SIGSEGV && action && (action->flags & SA_SIGINFO) &&
        action->handler != fault_with_trap_number) {
        struct glibc_sigaction wrapped = *action;
        wine_fault_handler = action->handler;
        wrapped.handler = fault_with_trap_number;
        return next(signal, &wrapped, old);
    }
    return next(signal, action, old);
}

/* The 64-bit processes this one starts (wineserver, 64-bit helpers) must not
   try to preload a 32-bit library. */
__attribute__((constructor)) static void forget_preload(void) { unsetenv("LD_PRELOAD"); }
