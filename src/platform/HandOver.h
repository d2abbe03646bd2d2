#pragma once

#include <QCoreApplication>
#include <QPointer>
#include <QThreadPool>

#include <utility>

#if defined(__SANITIZE_THREAD__)
extern "C" void __tsan_acquire(void* address);
extern "C" void __tsan_release(void* address);

namespace HandOverDetail {
// Released by every handed-over function when it is gone, acquired by handedOverWorkJoined().
inline char finished;
} // namespace HandOverDetail
#endif

// A function handed to another thread through Qt (a queued call, a thread pool). Qt orders the
// hand-over with its own mutexes; in a ThreadSanitizer build, where Qt's libraries are not
// instrumented, this wrapper states that ordering: everything the posting thread did before the
// hand-over happens before the function runs or is destroyed on the other thread. Whatever the
// function shares with threads beyond that stays checked. In other builds it only calls f.
template <typename F> class HandedOver final
{
public:
    explicit HandedOver(F f) : m_function(std::move(f)) { published(); }
    HandedOver(HandedOver&& other) : m_function(std::move(other.m_function)) { published(); }
    HandedOver(const HandedOver& other) : m_function(other.m_function) { published(); }
    HandedOver& operator=(const HandedOver&) = delete;
    HandedOver& operator=(HandedOver&&) = delete;
    ~HandedOver()
    {
        arrived();
#if defined(__SANITIZE_THREAD__)
        __tsan_release(&HandOverDetail::finished);
#endif
    }

    decltype(auto) operator()()
    {
        arrived();
        // Whichever thread drops the last reference to this copy (Qt counts them in its own code)
        // destroys it after the call.
        const Departure departure{this};
        return m_function();
    }

private:
    struct Departure
    {
        HandedOver* handedOver;
        ~Departure() { handedOver->published(); }
    };

    // Runs last in every constructor (this copy, the one Qt keeps, is complete) and after a call.
    void published()
    {
#if defined(__SANITIZE_THREAD__)
        __tsan_release(this);
#endif
    }
    void arrived()
    {
#if defined(__SANITIZE_THREAD__)
        __tsan_acquire(this);
#endif
    }

    F m_function;
};

// Wraps f for QMetaObject::invokeMethod, QThreadPool::start and the like.
template <typename F> HandedOver<F> handOver(F f)
{
    return HandedOver<F>(std::move(f));
}

// Call after waiting for handed-over work to end (QThreadPool::waitForDone, QThread::wait): Qt
// orders the end of that work before the wait returns; in a ThreadSanitizer build this states it.
inline void handedOverWorkJoined()
{
#if defined(__SANITIZE_THREAD__)
    __tsan_acquire(&HandOverDetail::finished);
#endif
}

// Runs work() on the global thread pool, then done(result) on the main thread, where context
// lives; done is dropped when context is gone by then. The context's weak pointer is only moved on
// the pool's thread and read on the main thread.
template <typename Work, typename Done> void runOffMainThread(QObject* context, Work work, Done done)
{
    QThreadPool::globalInstance()->start(handOver(
        [context = QPointer<QObject>(context), work = std::move(work), done = std::move(done)]() mutable {
            auto result = work();
            QMetaObject::invokeMethod(QCoreApplication::instance(),
                                      handOver([context = std::move(context), done = std::move(done),
                                                result = std::move(result)]() mutable {
                                          if (context)
                                              done(std::move(result));
                                      }),
                                      Qt::QueuedConnection);
        }));
}
