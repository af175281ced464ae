#pragma once
// The end of a worker thread's run(), told to ThreadSanitizer. Qt's threads are detached and
// their end is waited for inside Qt, where the sanitizer sees nothing, so without this mark
// whatever follows a QThread::wait() (a destructor, a test's check) looks raced with the
// thread's last writes. In other builds the mark is nothing.
#include <QThread>

#if defined(__SANITIZE_THREAD__)
#include <sanitizer/tsan_interface.h>
#endif

class ThreadEndMark
{
public:
    explicit ThreadEndMark(QThread *thread) : m_thread(thread) {}
    ~ThreadEndMark()
    {
#if defined(__SANITIZE_THREAD__)
        // Paired with the acquire after a successful wait() in the tests' lock annotations.
        __tsan_release(m_thread);
#endif
    }
    ThreadEndMark(const ThreadEndMark &) = delete;
    ThreadEndMark &operator=(const ThreadEndMark &) = delete;

private:
    [[maybe_unused]] QThread *m_thread; // read only by ThreadSanitizer builds
};
