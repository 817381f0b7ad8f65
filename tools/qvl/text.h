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

// Where qvl's words go. Standard output has everything a verb says as it goes, its refusals and
// failures included, in order with the steps they belong to; standard error has only the line
// that says why a verb could make no report at all (a usage error, a folder the report cannot
// read), so that what a script captures of the report stays the report.
inline void SayTo(FILE* stream, const char* format, va_list args) {
    char line[2048];
    os::FormatV(line, sizeof line, format, args);
    fputs(line, stream);
    fflush(stream);
}

// printf to stdout, flushed at once: a long wait shows as it goes.
inline void Say(const char* format, ...) __attribute__((format(printf, 1, 2)));

inline void Say(const char* format, ...) {
    va_list args;
    va_start(args, format);
    SayTo(stdout, format, args);
    va_end(args);
}

// printf to stderr: why no report could be made.
inline void Complain(const char* format, ...) __attribute__((format(printf, 1, 2)));

inline void Complain(const char* format, ...) {
    va_list args;
    va_start(args, format);
    SayTo(stderr, format, args);
    va_end(args);
}

// The first word of each line that the verbs which act (install, uninstall, start, stop, audit)
// say, by which scripts and operators read what became of each step.
enum Mark {
    MARK_OK, MARK_FAIL, MARK_WARN, MARK_STEP, MARK_NOTE, MARK_FOUND, MARK_FINDING, MARK_OPEN, MARK_INTERRUPTED, MARK_TIMEOUT,
};

inline const char* MarkWord(Mark mark) {
    static const char* const WORDS[] = {"ok", "fail", "warn", "step", "note", "found", "finding", "open", "interrupted", "timeout"};
    return WORDS[mark];
}

// Say, the line begun with its mark: "fail: ...".
inline void Tell(Mark mark, const char* format, ...) __attribute__((format(printf, 2, 3)));

inline void Tell(Mark mark, const char* format, ...) {
    Say("%s: ", MarkWord(mark));
    va_list args;
    va_start(args, format);
    SayTo(stdout, format, args);
    va_end(args);
}
