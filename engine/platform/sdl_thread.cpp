// Worker threads, over SDL: started detached in effect, never joined.
#include "tamu.h"

#include <SDL2/SDL.h>

#include <new>

namespace {
// Handed to the new thread, which frees it: the caller's cthread may be
// destroyed before the thread first runs.
struct thread_start {
    tamu_thread_function function;
};
}  // namespace

static int run_thread(void *data) {
    thread_start *start = static_cast<thread_start *>(data);
    tamu_thread_function function = start->function;
    delete start;
    function();
    return 0;
}

cthread *tamu_create_thread(tamu_thread_function function) {
    if (!function) return nullptr;
    thread_start *start = new (std::nothrow) thread_start{function};
    if (!start) return nullptr;
    SDL_Thread *thread = SDL_CreateThread(run_thread, "", start);
    if (!thread) {
        delete start;
        return nullptr;
    }
    cthread *handle = static_cast<cthread *>(tamu_malloc(sizeof(cthread)));
    handle->reserved = 0;
    handle->platform = thread;
    return handle;
}

void tamu_destroy_thread(cthread *thread) {
    if (!thread) return;
    if (thread->platform) SDL_DetachThread(static_cast<SDL_Thread *>(thread->platform));
    thread->platform = nullptr;
    tamu_free(thread);
}
