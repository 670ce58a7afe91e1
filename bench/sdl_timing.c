// SPDX-License-Identifier: Zlib
/* LD_PRELOAD this to time the SDL calls of a program from inside it.
   Each of the five calls quorvantel makes is passed on to the real SDL and
   timed on CLOCK_MONOTONIC; "loaded" is when the dynamic loader had finished
   and constructors ran. The times go, as one JSON object in milliseconds, to
   the file named by SDL_TIMING_LOG. Only the program's own calls count: not
   those SDL makes to itself, nor those of SDL's threads. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <pthread.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>

#include "SDL.h"

static double loaded;
static pthread_t main_thread;
static __thread int depth;
static double marks[5][2];
static const char* const names[5] = {"SDL_Init", "SDL_SetVideoMode", "SDL_WM_SetCaption", "SDL_Delay", "SDL_Quit"};

static double now(void)
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (double)ts.tv_sec * 1e3 + (double)ts.tv_nsec / 1e6;
}

static void* real(const char* name)
{
    return dlsym(RTLD_NEXT, name);
}

__attribute__((constructor)) static void on_load(void)
{
    loaded = now();
    main_thread = pthread_self();
}

/* The program's call i begins or ends. */
static int own_call(void)
{
    return depth == 0 && pthread_equal(pthread_self(), main_thread);
}
#define TIMED(i, call)                                                                                                 \
    do {                                                                                                               \
        const int own = own_call();                                                                                    \
        if (own) {                                                                                                     \
            marks[i][0] = now();                                                                                       \
        }                                                                                                              \
        ++depth;                                                                                                       \
        call;                                                                                                          \
        --depth;                                                                                                       \
        if (own) {                                                                                                     \
            marks[i][1] = now();                                                                                       \
        }                                                                                                              \
    } while (0)

/* Written when SDL_Quit returns: after it the program only exits. */
static void write_log(void)
{
    const char* path = getenv("SDL_TIMING_LOG");
    FILE* f = path ? fopen(path, "w") : NULL;
    if (f == NULL) {
        return;
    }
    fprintf(f, "{\"loaded\":%.3f", loaded);
    for (int i = 0; i < 5; ++i) {
        fprintf(f, ",\"%s\":[%.3f,%.3f]", names[i], marks[i][0], marks[i][1]);
    }
    fprintf(f, "}\n");
    fclose(f);
}

int SDL_Init(Uint32 flags)
{
    int r = 0;
    TIMED(0, r = ((int (*)(Uint32))real("SDL_Init"))(flags));
    return r;
}

SDL_Surface* SDL_SetVideoMode(int w, int h, int bpp, Uint32 flags)
{
    SDL_Surface* s = NULL;
    TIMED(1, s = ((SDL_Surface * (*)(int, int, int, Uint32)) real("SDL_SetVideoMode"))(w, h, bpp, flags));
    return s;
}

void SDL_WM_SetCaption(const char* title, const char* icon)
{
    TIMED(2, ((void (*)(const char*, const char*))real("SDL_WM_SetCaption"))(title, icon));
}

void SDL_Delay(Uint32 ms)
{
    TIMED(3, ((void (*)(Uint32))real("SDL_Delay"))(ms));
}

void SDL_Quit(void)
{
    const int own = own_call();
    TIMED(4, ((void (*)(void))real("SDL_Quit"))());
    if (own) {
        write_log();
    }
}
