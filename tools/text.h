// Text built up in a fixed buffer by the tools: each piece is formatted onto the end, and what
// does not fit is cut, the buffer always terminated.
#pragma once

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
