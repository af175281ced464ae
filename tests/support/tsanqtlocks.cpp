// Built into the tests of a ThreadSanitizer build only. Qt on Debian is not built with
// ThreadSanitizer: QReadWriteLock and QWaitCondition do their locking inside Qt, where the
// sanitizer sees none of it, so every value guarded by a read-write lock or handed over
// through a semaphore would look raced and every condition wait would look like a double lock. These definitions stand in front
// of Qt's own (the program's symbols win over a shared library's), tell the sanitizer what
// the lock did, and call through to Qt. The same for the end of a thread: Qt's threads are
// detached and their end is waited for inside Qt, so a successful wait acquires what the
// thread's end mark (core/threadend.h) released. A signal is never stood in for: connect()
// finds a signal by its address, which must stay Qt's. Calls from inside Qt itself (the library does not bind
// its own calls) are passed through untold: the sanitizer never saw those locks taken.
#include <QDeadlineTimer>
#include <QMutex>
#include <QReadWriteLock>
#include <QSemaphore>
#include <QThread>
#include <QWaitCondition>

#include <dlfcn.h>
#include <sanitizer/tsan_interface.h>

namespace {

template <typename Function>
Function realQt(const char *mangledName)
{
    static_assert(sizeof(Function) == sizeof(void *));
    void *symbol = dlsym(RTLD_NEXT, mangledName);
    if (!symbol)
        abort(); // a Qt without the function: the build and the library do not match
    Function f;
    memcpy(&f, &symbol, sizeof f);
    return f;
}

using LockFn = void (*)(QReadWriteLock *);
using TryLockFn = bool (*)(QReadWriteLock *);
using TryLockTimeoutFn = bool (*)(QReadWriteLock *, int);
using WaitMutexFn = bool (*)(QWaitCondition *, QMutex *, QDeadlineTimer);
using WaitMutexMsFn = bool (*)(QWaitCondition *, QMutex *, unsigned long);
using WaitRwFn = bool (*)(QWaitCondition *, QReadWriteLock *, QDeadlineTimer);
using ThreadWaitFn = bool (*)(QThread *, QDeadlineTimer);
using ThreadIsFinishedFn = bool (*)(const QThread *);
using WaitRwMsFn = bool (*)(QWaitCondition *, QReadWriteLock *, unsigned long);
using SemaphoreFn = void (*)(QSemaphore *, int);
using SemaphoreTryFn = bool (*)(QSemaphore *, int);
using SemaphoreTryTimeoutFn = bool (*)(QSemaphore *, int, int);

// Whether the code at address belongs to the test program, not to a shared library.
bool inProgram(const void *address)
{
    static const void *programBase = [] {
        Dl_info info{};
        return dladdr(reinterpret_cast<void *>(&inProgram), &info) ? info.dli_fbase : nullptr;
    }();
    Dl_info info{};
    return dladdr(address, &info) && info.dli_fbase == programBase;
}

#define FROM_PROGRAM inProgram(__builtin_return_address(0))

void acquired(void *lock, bool told)
{
    if (told)
        __tsan_acquire(lock);
}

// The wait releases the mutex inside Qt and takes it again before it returns.
void mutexLeft(QMutex *mutex, bool told)
{
    if (!told)
        return;
    __tsan_mutex_pre_unlock(mutex, 0);
    __tsan_mutex_post_unlock(mutex, 0);
}
void mutexRetaken(QMutex *mutex, bool told)
{
    if (!told)
        return;
    __tsan_mutex_pre_lock(mutex, 0);
    __tsan_mutex_post_lock(mutex, 0, 0);
}
void released(void *lock, bool told)
{
    if (told)
        __tsan_release(lock);
}

} // namespace

void QReadWriteLock::lockForRead()
{
    const bool told = FROM_PROGRAM;
    static const auto real = realQt<LockFn>("_ZN14QReadWriteLock11lockForReadEv");
    real(this);
    acquired(this, told);
}

void QReadWriteLock::lockForWrite()
{
    const bool told = FROM_PROGRAM;
    static const auto real = realQt<LockFn>("_ZN14QReadWriteLock12lockForWriteEv");
    real(this);
    acquired(this, told);
}

bool QReadWriteLock::tryLockForRead()
{
    const bool told = FROM_PROGRAM;
    static const auto real = realQt<TryLockFn>("_ZN14QReadWriteLock14tryLockForReadEv");
    const bool locked = real(this);
    if (locked)
        acquired(this, told);
    return locked;
}

bool QReadWriteLock::tryLockForRead(int timeout)
{
    const bool told = FROM_PROGRAM;
    static const auto real = realQt<TryLockTimeoutFn>("_ZN14QReadWriteLock14tryLockForReadEi");
    const bool locked = real(this, timeout);
    if (locked)
        acquired(this, told);
    return locked;
}

bool QReadWriteLock::tryLockForWrite()
{
    const bool told = FROM_PROGRAM;
    static const auto real = realQt<TryLockFn>("_ZN14QReadWriteLock15tryLockForWriteEv");
    const bool locked = real(this);
    if (locked)
        acquired(this, told);
    return locked;
}

bool QReadWriteLock::tryLockForWrite(int timeout)
{
    const bool told = FROM_PROGRAM;
    static const auto real = realQt<TryLockTimeoutFn>("_ZN14QReadWriteLock15tryLockForWriteEi");
    const bool locked = real(this, timeout);
    if (locked)
        acquired(this, told);
    return locked;
}

void QReadWriteLock::unlock()
{
    const bool told = FROM_PROGRAM;
    static const auto real = realQt<LockFn>("_ZN14QReadWriteLock6unlockEv");
    released(this, told);
    real(this);
}

// What one thread did before a release() is seen by the thread whose acquire it lets through.
void QSemaphore::acquire(int n)
{
    const bool told = FROM_PROGRAM;
    static const auto real = realQt<SemaphoreFn>("_ZN10QSemaphore7acquireEi");
    real(this, n);
    acquired(this, told);
}

bool QSemaphore::tryAcquire(int n)
{
    const bool told = FROM_PROGRAM;
    static const auto real = realQt<SemaphoreTryFn>("_ZN10QSemaphore10tryAcquireEi");
    const bool taken = real(this, n);
    if (taken)
        acquired(this, told);
    return taken;
}

bool QSemaphore::tryAcquire(int n, int timeout)
{
    const bool told = FROM_PROGRAM;
    static const auto real = realQt<SemaphoreTryTimeoutFn>("_ZN10QSemaphore10tryAcquireEii");
    const bool taken = real(this, n, timeout);
    if (taken)
        acquired(this, told);
    return taken;
}

void QSemaphore::release(int n)
{
    const bool told = FROM_PROGRAM;
    static const auto real = realQt<SemaphoreFn>("_ZN10QSemaphore7releaseEi");
    released(this, told);
    real(this, n);
}

bool QWaitCondition::wait(QMutex *mutex, QDeadlineTimer deadline)
{
    const bool told = FROM_PROGRAM;
    static const auto real = realQt<WaitMutexFn>("_ZN14QWaitCondition4waitEP6QMutex14QDeadlineTimer");
    mutexLeft(mutex, told);
    const bool woken = real(this, mutex, deadline);
    mutexRetaken(mutex, told);
    return woken;
}

bool QWaitCondition::wait(QMutex *mutex, unsigned long time)
{
    const bool told = FROM_PROGRAM;
    static const auto real = realQt<WaitMutexMsFn>("_ZN14QWaitCondition4waitEP6QMutexm");
    mutexLeft(mutex, told);
    const bool woken = real(this, mutex, time);
    mutexRetaken(mutex, told);
    return woken;
}

bool QWaitCondition::wait(QReadWriteLock *lock, QDeadlineTimer deadline)
{
    const bool told = FROM_PROGRAM;
    static const auto real = realQt<WaitRwFn>("_ZN14QWaitCondition4waitEP14QReadWriteLock14QDeadlineTimer");
    released(lock, told);
    const bool woken = real(this, lock, deadline);
    acquired(lock, told);
    return woken;
}

bool QWaitCondition::wait(QReadWriteLock *lock, unsigned long time)
{
    const bool told = FROM_PROGRAM;
    static const auto real = realQt<WaitRwMsFn>("_ZN14QWaitCondition4waitEP14QReadWriteLockm");
    released(lock, told);
    const bool woken = real(this, lock, time);
    acquired(lock, told);
    return woken;
}

bool QThread::wait(QDeadlineTimer deadline)
{
    static const auto real = realQt<ThreadWaitFn>("_ZN7QThread4waitE14QDeadlineTimer");
    const bool ended = real(this, deadline);
    if (ended)
        __tsan_acquire(this);
    return ended;
}

bool QThread::isFinished() const
{
    static const auto real = realQt<ThreadIsFinishedFn>("_ZNK7QThread10isFinishedEv");
    const bool ended = real(this);
    if (ended)
        __tsan_acquire(const_cast<QThread *>(this));
    return ended;
}
