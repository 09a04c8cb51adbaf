// Threads of the layer over POSIX threads: CreateThread, SetThreadPriority,
// WaitForSingleObject, the thread kind of CloseHandle, Sleep and ExitProcess.
//
// A thread object lives as long as its handle is open or its thread runs,
// whichever is longer: it counts two references, one for the handle and one
// for the running thread, and the last one released frees it. The POSIX
// thread itself is detached, so nothing ever has to join it; a wait watches
// the object's `ended` flag instead. A thread may therefore close its own
// handle and carry on, and a handle may be waited on and closed after its
// thread has gone, as with Win32 thread handles.
#include <errno.h>
#include <limits.h>
#include <pthread.h>
#include <sched.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <atomic>

#include "platform/layer/kernel.h"
#include "platform/posix/handle.h"

namespace {

struct ThreadObject {
    LayerHandle head;                 // kind LAYER_HANDLE_THREAD; close = close_thread
    LPTHREAD_START_ROUTINE start;     // the thread's procedure and its parameter
    LPVOID parameter;
    pthread_t thread;                 // valid while `ended` is false (detached thread)
    pthread_mutex_t lock;             // guards ended, exit_code, system_id, pending_nice
    pthread_cond_t ended_signal;      // broadcast once when ended becomes true
    bool ended;                       // the procedure has returned
    DWORD exit_code;                  // its result
    pid_t system_id;                  // the kernel's id of the thread once it runs, else 0
    int pending_nice;                 // nice value to apply when it starts; INT_MIN = none
    std::atomic<int> references;      // the open handle + the running thread
};

std::atomic<DWORD> last_thread_id{0};

void release_reference(ThreadObject* object) {
    if (object->references.fetch_sub(1, std::memory_order_acq_rel) != 1) return;
    pthread_cond_destroy(&object->ended_signal);
    pthread_mutex_destroy(&object->lock);
    object->head.kind = 0;
    free(object);
}

ThreadObject* thread_object(HANDLE handle) {
    return reinterpret_cast<ThreadObject*>(layer_handle_of(handle, LAYER_HANDLE_THREAD));
}

// CloseHandle of a thread handle: gives up the handle's reference; the
// thread itself runs on.
void close_thread(LayerHandle* object) {
    release_reference(reinterpret_cast<ThreadObject*>(object));
}

void* thread_main(void* argument) {
    ThreadObject* object = static_cast<ThreadObject*>(argument);
    pthread_mutex_lock(&object->lock);
    object->system_id = static_cast<pid_t>(syscall(SYS_gettid));
    if (object->pending_nice != INT_MIN) setpriority(PRIO_PROCESS, object->system_id, object->pending_nice);
    pthread_mutex_unlock(&object->lock);

    const DWORD code = object->start(object->parameter);

    pthread_mutex_lock(&object->lock);
    object->ended = true;
    object->exit_code = code;
    pthread_cond_broadcast(&object->ended_signal);
    pthread_mutex_unlock(&object->lock);
    release_reference(object);
    return nullptr;
}

}  // namespace

HANDLE WINAPI CreateThread(LPSECURITY_ATTRIBUTES, SIZE_T dwStackSize, LPTHREAD_START_ROUTINE lpStartAddress,
                           LPVOID lpParameter, DWORD, LPDWORD lpThreadId) {
    if (lpStartAddress == nullptr) return nullptr;
    ThreadObject* object = static_cast<ThreadObject*>(calloc(1, sizeof(ThreadObject)));
    if (object == nullptr) return nullptr;
    object->head.kind = LAYER_HANDLE_THREAD;
    object->head.close = close_thread;
    object->start = lpStartAddress;
    object->parameter = lpParameter;
    object->pending_nice = INT_MIN;
    object->references.store(2, std::memory_order_relaxed);
    pthread_mutex_init(&object->lock, nullptr);
    pthread_condattr_t condition_attributes;
    pthread_condattr_init(&condition_attributes);
    pthread_condattr_setclock(&condition_attributes, CLOCK_MONOTONIC);
    pthread_cond_init(&object->ended_signal, &condition_attributes);
    pthread_condattr_destroy(&condition_attributes);

    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
    if (dwStackSize != 0) {
        pthread_attr_setstacksize(&attributes, dwStackSize < SIZE_T(PTHREAD_STACK_MIN) ? SIZE_T(PTHREAD_STACK_MIN) : dwStackSize);
    }
    // The creator holds the lock until the handle's fields are complete.
    pthread_mutex_lock(&object->lock);
    const int failed = pthread_create(&object->thread, &attributes, thread_main, object);
    pthread_mutex_unlock(&object->lock);
    pthread_attr_destroy(&attributes);
    if (failed) {
        object->references.store(1, std::memory_order_relaxed);
        release_reference(object);
        return nullptr;
    }
    const DWORD id = last_thread_id.fetch_add(1, std::memory_order_relaxed) + 1;
    if (lpThreadId) *lpThreadId = id;
    return object;
}

// Time-critical asks for real-time round-robin scheduling; lower levels, or a
// refused real-time request, fall back to a nice value (negative values need
// privileges too). When both are refused the thread runs on at normal
// priority and the result is FALSE.
BOOL WINAPI SetThreadPriority(HANDLE hThread, int nPriority) {
    ThreadObject* object = thread_object(hThread);
    if (object == nullptr) return FALSE;
    BOOL applied = FALSE;
    pthread_mutex_lock(&object->lock);
    if (!object->ended) {  // the detached thread is alive while `ended` is false
        if (nPriority >= THREAD_PRIORITY_TIME_CRITICAL) {
            sched_param parameters{};
            parameters.sched_priority = sched_get_priority_min(SCHED_RR) + 10;
            applied = pthread_setschedparam(object->thread, SCHED_RR, &parameters) == 0;
        }
        if (!applied) {
            const int nice_value = nPriority >= THREAD_PRIORITY_TIME_CRITICAL ? -15 : -5 * nPriority;
            if (object->system_id != 0) {
                applied = setpriority(PRIO_PROCESS, object->system_id, nice_value) == 0;
            } else {
                object->pending_nice = nice_value;  // applied by the thread when it starts
                applied = TRUE;
            }
        }
    }
    pthread_mutex_unlock(&object->lock);
    return applied;
}

DWORD WINAPI WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) {
    ThreadObject* object = thread_object(hHandle);
    if (object == nullptr) return WAIT_FAILED;
    timespec deadline{};
    if (dwMilliseconds != INFINITE) {
        clock_gettime(CLOCK_MONOTONIC, &deadline);
        deadline.tv_sec += dwMilliseconds / 1000;
        deadline.tv_nsec += static_cast<long>(dwMilliseconds % 1000) * 1000000L;
        if (deadline.tv_nsec >= 1000000000L) {
            deadline.tv_sec += 1;
            deadline.tv_nsec -= 1000000000L;
        }
    }
    DWORD result = WAIT_OBJECT_0;
    pthread_mutex_lock(&object->lock);
    while (!object->ended) {
        if (dwMilliseconds == INFINITE) {
            pthread_cond_wait(&object->ended_signal, &object->lock);
        } else if (pthread_cond_timedwait(&object->ended_signal, &object->lock, &deadline) == ETIMEDOUT) {
            if (!object->ended) result = WAIT_TIMEOUT;
            break;
        }
    }
    pthread_mutex_unlock(&object->lock);
    return result;
}

void WINAPI Sleep(DWORD dwMilliseconds) {
    if (dwMilliseconds == 0) {
        sched_yield();
        return;
    }
    timespec left{static_cast<time_t>(dwMilliseconds / 1000), static_cast<long>(dwMilliseconds % 1000) * 1000000L};
    while (nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
}

void WINAPI ExitProcess(UINT uExitCode) {
    fflush(nullptr);
    _exit(static_cast<int>(uExitCode));
}
