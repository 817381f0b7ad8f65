// Text as qvl makes it: built up in a fixed buffer, each piece formatted onto the end and what
// does not fit cut, the buffer always terminated; and said on the console.
#pragma once

#include <stdio.h>

#include "platform/platform.h"

struct Text {
    char* Out;   // Size bytes, terminated
    int Size;
    int Length;
};

inline Text StartText(char* out, int size) {
    out[0] = '\0';
    return {out, size, 0};
}

inline void Add(Text* t, const char* format, ...) __attribute__((format(printf, 2, 3)));

inline void Add(Text* t, const char* format, ...) {
    va_list args;
    va_start(args, format);
    t->Length += os::FormatV(t->Out + t->Length, t->Size - t->Length, format, args);
    va_end(args);
}

// printf-style into out (size bytes); false when the text had to be cut (or filled it exactly).
inline bool Format(char* out, int size, const char* format, ...) __attribute__((format(printf, 3, 4)));

inline bool Format(char* out, int size, const char* format, ...) {
    va_list args;
    va_start(args, format);
    int n = os::FormatV(out, size, format, args);
    va_end(args);
    return n < size - 1;
}

// printf to stdout, flushed at once: a long wait shows as it goes.
inline void Say(const char* format, ...) __attribute__((format(printf, 1, 2)));

inline void Say(const char* format, ...) {
    char line[2048];
    va_list args;
    va_start(args, format);
    os::FormatV(line, sizeof line, format, args);
    va_end(args);
    fputs(line, stdout);
    fflush(stdout);
}
