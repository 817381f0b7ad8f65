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

// printf-style into out (size bytes); false when the text had to be cut (or filled it exactly).
inline bool Format(char* out, int size, const char* format, ...) __attribute__((format(printf, 3, 4)));

inline bool Format(char* out, int size, const char* format, ...) {
    va_list args;
    va_start(args, format);
    int n = os::FormatV(out, size, format, args);
    va_end(args);
    return n < size - 1;
}
