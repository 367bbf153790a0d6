/*
 * wineqemufix.so -- LD_PRELOAD helper for running 32-bit Wine (i386) under
 * qemu-i386 user-mode emulation (Debian bookworm, qemu 7.2), needed on x86_64
 * kernels that cannot execute 32-bit code natively.
 *
 * It works around three qemu-user limitations:
 *
 * 1. qemu 7.2 treats MAP_FIXED_NOREPLACE as a plain hint: when the range is
 *    busy it returns another address instead of failing with EEXIST.  Wine's
 *    address-space reservation then degrades to 64 KiB steps over 2 GiB,
 *    costing about a minute of CPU per process start.  We restore the kernel
 *    semantics (unmap the wrong mapping and fail with EEXIST).
 *
 * 2. qemu-user keeps a single emulated GDT for all threads of a process, so
 *    the per-thread TLS slots set with set_thread_area() are shared.  Any
 *    reload of %fs/%gs (Wine does this on every syscall/signal) then picks
 *    up the descriptor of the most recently created thread -> random crashes
 *    ("stack smashing detected", unwind assertions) as soon as two threads
 *    run.  The LDT is shared too, but there every thread gets its own index:
 *      - Wine's %fs (TEB): refuse set_thread_area() when Wine calls it through
 *        syscall(), so Wine falls back to its own per-thread LDT entries.
 *      - glibc's %gs (TCB): move every thread's %gs to a private LDT entry
 *        (taken from the top of the LDT, away from Wine's allocations).
 *
 * 3. qemu-user puts trapno = -1 into the signal context.  Wine decides the
 *    Windows exception code from trapno, so every access violation became
 *    EXCEPTION_ILLEGAL_INSTRUCTION (and guard-page/stack handling broke).  We
 *    wrap Wine's fault handlers and fill in the trap number from si_code.
 *
 * Build (no 32-bit libc headers needed):
 *   gcc -m32 -O2 -fPIC -shared -nostdlib -ffreestanding -fno-stack-protector \
 *       -o wineqemufix.so wineqemufix.c /lib/i386-linux-gnu/libc.so.6
 */
typedef unsigned int size_t;
typedef long long off64_t;
typedef long off_t;
typedef unsigned long pthread_t;
typedef unsigned int pthread_key_t;
typedef __builtin_va_list va_list;
#define va_start(v, l) __builtin_va_start(v, l)
#define va_arg(v, t) __builtin_va_arg(v, t)
#define va_end(v) __builtin_va_end(v)

extern int *__errno_location(void);
extern void *dlsym(void *handle, const char *name);
extern int pthread_key_create(pthread_key_t *key, void (*destr)(void *));
extern int pthread_setspecific(pthread_key_t key, const void *value);
#define RTLD_NEXT ((void *)-1l)

#define MAP_FIXED_NOREPLACE 0x100000
#define MAP_FAILED ((void *)-1)
#define NR_modify_ldt 123
#define NR_munmap 91
#define NR_mmap2 192
#define NR_set_thread_area 243
#define EEXIST 17
#define EINVAL 22
#define ENOSYS 38

#define EXPORT __attribute__((visibility("default")))
#define HIDDEN __attribute__((visibility("hidden")))

/* raw int $0x80 with up to 6 arguments; returns -errno on failure */
HIDDEN long raw_syscall(long nr, long a1, long a2, long a3, long a4, long a5, long a6);
__asm__(".text\n"
        ".type raw_syscall,@function\n"
        "raw_syscall:\n"
        "  push %ebp\n  push %edi\n  push %esi\n  push %ebx\n"
        "  mov 20(%esp),%eax\n  mov 24(%esp),%ebx\n  mov 28(%esp),%ecx\n"
        "  mov 32(%esp),%edx\n  mov 36(%esp),%esi\n  mov 40(%esp),%edi\n"
        "  mov 44(%esp),%ebp\n"
        "  int $0x80\n"
        "  pop %ebx\n  pop %esi\n  pop %edi\n  pop %ebp\n"
        "  ret\n"
        ".size raw_syscall,.-raw_syscall\n");

static long set_errno(long r)
{
    if ((unsigned long)r > -4096ul) { *__errno_location() = (int)-r; return -1; }
    return r;
}

/* ---- 1. MAP_FIXED_NOREPLACE -------------------------------------------- */

static void *do_mmap(void *addr, size_t len, int prot, int flags, int fd, off64_t off)
{
    long r;
    if (off & 0xfff) { *__errno_location() = EINVAL; return MAP_FAILED; }
    r = raw_syscall(NR_mmap2, (long)addr, (long)len, prot, flags, fd, (long)(unsigned long)(off >> 12));
    if ((unsigned long)r > -4096ul) { *__errno_location() = (int)-r; return MAP_FAILED; }
    if ((flags & MAP_FIXED_NOREPLACE) && (void *)r != addr)
    {
        raw_syscall(NR_munmap, r, (long)len, 0, 0, 0, 0);
        *__errno_location() = EEXIST;
        return MAP_FAILED;
    }
    return (void *)r;
}
EXPORT void *mmap64(void *a, size_t l, int p, int f, int fd, off64_t o) { return do_mmap(a, l, p, f, fd, o); }
EXPORT void *mmap(void *a, size_t l, int p, int f, int fd, off_t o) { return do_mmap(a, l, p, f, fd, (off64_t)(unsigned long)o); }

/* ---- 2a. keep Wine's %fs out of the (shared) GDT ------------------------ */

EXPORT long syscall(long nr, ...)
{
    long a[6];
    int i;
    va_list ap;
    va_start(ap, nr);
    for (i = 0; i < 6; i++) a[i] = va_arg(ap, long);
    va_end(ap);
    if (nr == NR_set_thread_area) return set_errno(-ENOSYS);
    return set_errno(raw_syscall(nr, a[0], a[1], a[2], a[3], a[4], a[5]));
}

/* ---- 2b. give each thread's %gs its own LDT entry ----------------------- */

struct user_desc_s {
    unsigned int entry_number;
    unsigned int base_addr;
    unsigned int limit;
    unsigned int flags; /* seg_32bit:1 contents:2 read_exec_only:1 limit_in_pages:1 seg_not_present:1 useable:1 */
};

#define LDT_FIRST 7680 /* Wine allocates its LDT entries from the bottom */
#define LDT_LAST 8191
#define LDT_COUNT (LDT_LAST - LDT_FIRST + 1)

static volatile unsigned char slot_used[LDT_COUNT];
static volatile int slot_next;
static volatile int big_lock; /* serialises slot allocation and pthread_create */
static unsigned short gdt_gs_sel; /* glibc's original GDT TLS selector */
static pthread_key_t slot_key;
static int (*real_pthread_create)(pthread_t *, const void *, void *(*)(void *), void *);

static void lock(void) { while (__sync_lock_test_and_set(&big_lock, 1)) raw_syscall(158 /* sched_yield */, 0, 0, 0, 0, 0, 0); }
static void unlock(void) { __sync_lock_release(&big_lock); }

static unsigned short get_gs(void) { unsigned short s; __asm__ volatile("movw %%gs,%0" : "=r"(s)); return s; }
static void set_gs(unsigned short s) { __asm__ volatile("movw %0,%%gs" : : "r"(s) : "memory"); }
static unsigned int tcb_self(void) { unsigned int p; __asm__ volatile("movl %%gs:0,%0" : "=r"(p)); return p; }

static int write_desc(unsigned int entry, unsigned int base)
{
    struct user_desc_s d;
    d.entry_number = entry;
    d.base_addr = base;
    d.limit = 0xfffff;
    /* seg_32bit=1, contents=0 (data), read_exec_only=0, limit_in_pages=1, present, useable=1 */
    d.flags = 1 | (1 << 4) | (1 << 6);
    return (int)raw_syscall(NR_modify_ldt, 0x11, (long)&d, sizeof(d), 0, 0, 0);
}

/* caller holds the lock; returns LDT index or -1 */
static int alloc_slot(void)
{
    int i;
    for (i = 0; i < LDT_COUNT; i++)
    {
        int s = (slot_next + i) % LDT_COUNT;
        if (!slot_used[s]) { slot_used[s] = 1; slot_next = (s + 1) % LDT_COUNT; return s; }
    }
    return -1;
}

static void slot_release(void *v)
{
    int s = (int)(long)v - 1;
    if (s < 0 || s >= LDT_COUNT) return;
    lock();
    slot_used[s] = 0; /* round-robin allocation delays reuse as long as possible */
    unlock();
}

/* move the calling thread's %gs to a private LDT entry */
static void move_gs_to_ldt(int set_key)
{
    unsigned int base = tcb_self();
    int s;
    lock();
    s = alloc_slot();
    unlock();
    if (s < 0) return; /* out of slots: keep the shared GDT selector */
    if (write_desc(LDT_FIRST + s, base) < 0) { slot_release((void *)(long)(s + 1)); return; }
    set_gs((unsigned short)(((LDT_FIRST + s) << 3) | 7));
    if (set_key) pthread_setspecific(slot_key, (void *)(long)(s + 1));
}

struct start_info { void *(*fn)(void *); void *arg; };

static void *thread_trampoline(void *p)
{
    struct start_info si = *(struct start_info *)p;
    move_gs_to_ldt(1);
    return si.fn(si.arg);
}

static struct start_info *alloc_info(void)
{
    /* one page per 256 start_info structs, never freed (threads are few) */
    static struct start_info *pool;
    static int pool_left;
    struct start_info *r;
    if (!pool_left)
    {
        long p = raw_syscall(NR_mmap2, 0, 4096, 3 /* RW */, 0x22 /* PRIVATE|ANON */, -1, 0);
        if ((unsigned long)p > -4096ul) return 0;
        pool = (struct start_info *)p;
        pool_left = 4096 / sizeof(struct start_info);
    }
    r = pool++;
    pool_left--;
    return r;
}

EXPORT int pthread_create(pthread_t *th, const void *attr, void *(*fn)(void *), void *arg)
{
    struct start_info *si;
    unsigned short my_sel;
    struct user_desc_s d;
    int ret;

    if (!real_pthread_create) real_pthread_create = dlsym(RTLD_NEXT, "pthread_create");
    if (!real_pthread_create) return 11; /* EAGAIN */
    if (!gdt_gs_sel || !(get_gs() & 4)) return real_pthread_create(th, attr, fn, arg);

    lock();
    si = alloc_info();
    if (!si) { unlock(); return real_pthread_create(th, attr, fn, arg); }
    si->fn = fn;
    si->arg = arg;
    /* glibc derives the child's TLS slot from the caller's %gs, so run the
       real pthread_create with the GDT selector pointing at our own TCB */
    my_sel = get_gs();
    d.entry_number = gdt_gs_sel >> 3;
    d.base_addr = tcb_self();
    d.limit = 0xfffff;
    d.flags = 1 | (1 << 4) | (1 << 6);
    raw_syscall(NR_set_thread_area, (long)&d, 0, 0, 0, 0, 0);
    set_gs(gdt_gs_sel);
    ret = real_pthread_create(th, attr, thread_trampoline, si);
    set_gs(my_sel);
    unlock();
    return ret;
}

/* ---- 3. trap numbers in signal contexts -------------------------------- */

#define SIGILL 4
#define SIGTRAP 5
#define SIGBUS 7
#define SIGFPE 8
#define SIGSEGV 11
#define SA_SIGINFO 4
#define NSIG_FIX 12
#define UC_TRAPNO_OFF (20 + 12 * 4) /* ucontext_t.uc_mcontext.gregs[REG_TRAPNO] on i386 */

struct ksigaction { void *handler; unsigned long mask[32]; int flags; void *restorer; }; /* glibc i386 layout */
struct siginfo_head { int si_signo, si_errno, si_code; };
typedef void (*sa_action_t)(int, void *, void *);
static volatile sa_action_t saved_action[NSIG_FIX];
static int (*real_sigaction)(int, const struct ksigaction *, struct ksigaction *);

static int trap_from_siginfo(int sig, int code)
{
    switch (sig)
    {
    case SIGSEGV: return code == 0x80 /* SI_KERNEL: #GP */ ? 13 : 14; /* page fault */
    case SIGBUS: return 17; /* alignment check */
    case SIGILL: return 6; /* invalid opcode */
    case SIGTRAP: return code == 2 /* TRAP_TRACE */ ? 1 : 3; /* single step / int3 */
    case SIGFPE:
        if (code == 1) return 0; /* FPE_INTDIV */
        if (code == 2) return 4; /* FPE_INTOVF */
        return 16; /* x87 error */
    }
    return -1;
}

static void fault_trampoline(int sig, void *info, void *uc)
{
    int *trapno = (int *)((char *)uc + UC_TRAPNO_OFF);
    sa_action_t fn = (sig > 0 && sig < NSIG_FIX) ? saved_action[sig] : 0;
    if (uc && *trapno == -1 && info) *trapno = trap_from_siginfo(sig, ((struct siginfo_head *)info)->si_code);
    if (fn) fn(sig, info, uc);
}

EXPORT int sigaction(int sig, const struct ksigaction *act, struct ksigaction *old)
{
    struct ksigaction copy;
    sa_action_t prev;
    int ret;

    if (!real_sigaction) real_sigaction = dlsym(RTLD_NEXT, "sigaction");
    if (!real_sigaction) { *__errno_location() = ENOSYS; return -1; }
    if (sig != SIGSEGV && sig != SIGILL && sig != SIGFPE && sig != SIGBUS && sig != SIGTRAP)
        return real_sigaction(sig, act, old);

    prev = saved_action[sig];
    if (act && (act->flags & SA_SIGINFO) && (unsigned long)act->handler > 1ul)
    {
        copy = *act;
        saved_action[sig] = (sa_action_t)act->handler;
        copy.handler = (void *)fault_trampoline;
        ret = real_sigaction(sig, &copy, old);
        if (ret) saved_action[sig] = prev;
    }
    else
    {
        ret = real_sigaction(sig, act, old);
        if (!ret && act) saved_action[sig] = 0;
    }
    if (!ret && old && old->handler == (void *)fault_trampoline) old->handler = (void *)prev;
    return ret;
}

__attribute__((constructor)) static void wineqemufix_init(void)
{
    unsigned short gs = get_gs();
    if (!gs || (gs & 4)) return; /* unexpected layout: do nothing */
    gdt_gs_sel = gs;
    real_pthread_create = dlsym(RTLD_NEXT, "pthread_create");
    if (pthread_key_create(&slot_key, slot_release)) return;
    move_gs_to_ldt(0); /* main thread keeps its slot for the life of the process */
}
