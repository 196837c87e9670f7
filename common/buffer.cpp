/* Message buffer (see buffer.h). */
#include "buffer.h"

#include "fatal.h"

#include <locale.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static char LocalBuffer[BUF_LOCAL_SIZE];
static char *Buffer = NULL;
static bool LocalBufferp = false;
static bool HeapBufferp = false; /* Buffer is heap storage grown out of LocalBuffer */
static unsigned long BufferSize = BUF_LOCAL_SIZE;
static unsigned long Index = 0;

static void release_heap(void) {
    if (HeapBufferp)
        free(Buffer);
    HeapBufferp = false;
}

void BUF_Reset(char *Buf) {
    if (Buf == NULL) {
        release_heap();
        Buffer = LocalBuffer;
        LocalBufferp = true;
        BufferSize = BUF_LOCAL_SIZE;
    } else {
        BUF_ResetArea(Buf, BUF_LOCAL_SIZE);
        return;
    }
    Index = 0;
    Buffer[0] = '\0';
}

void BUF_ResetArea(char *Buf, unsigned long Size) {
    FATAL_ASSERT(Buf != NULL && Size >= 1);
    release_heap();
    Buffer = Buf;
    LocalBufferp = false;
    BufferSize = Size;
    Index = 0;
    Buffer[0] = '\0';
}

/* Makes room for len more characters and a terminator. The built-in storage moves to the heap
 * and doubles from there; a caller's area is never written past. */
static void ensure_room(unsigned long len) {
    FATAL_ASSERT(Buffer != NULL);
    unsigned long need = Index + len + 1;
    if (need <= BufferSize)
        return;
    FATAL_ASSERT(LocalBufferp || HeapBufferp);
    unsigned long size = BufferSize;
    while (size < need)
        size *= 2;
    char *grown;
    if (HeapBufferp) {
        grown = (char *)realloc(Buffer, size);
    } else {
        grown = (char *)malloc(size);
        if (grown != NULL)
            memcpy(grown, Buffer, Index + 1 <= BufferSize ? Index + 1 : BufferSize);
    }
    FATAL_ASSERT(grown != NULL);
    Buffer = grown;
    HeapBufferp = true;
    LocalBufferp = false;
    BufferSize = size;
}

static void append(const char *s, unsigned long len) {
    ensure_room(len);
    memcpy(Buffer + Index, s, len);
    Index += len;
    Buffer[Index] = '\0';
}

void BUF_AddString(const char *s) {
    FATAL_ASSERT(s);
    append(s, strlen(s));
}

void BUF_AddStrings(const char *string1, ...) {
    va_list ap;
    va_start(ap, string1);
    for (const char *s = string1; s != NULL; s = va_arg(ap, const char *))
        BUF_AddString(s);
    va_end(ap);
}

void BUF_AddChar(char c) {
    char work[4];
    snprintf(work, sizeof work, "%c", c);
    append(work, strlen(work)); /* a zero byte appends nothing: the text stays one string */
}

void BUF_AddLong(long l) {
    char work[24];
    int n = snprintf(work, sizeof work, "%ld", l);
    append(work, (unsigned long)n);
}

void BUF_AddBoolean(int b) { append(b ? "1" : "0", 1); }

/* Formats d with fmt under the "C" locale, whatever locale the program chose: the protocol's
 * decimal point is always '.'. The thread's own locale is restored afterwards. */
static int format_double(char *out, size_t size, const char *fmt, double d) {
    static locale_t c_locale = (locale_t)0;
    if (c_locale == (locale_t)0)
        c_locale = newlocale(LC_ALL_MASK, "C", (locale_t)0);
    locale_t old = c_locale ? uselocale(c_locale) : (locale_t)0;
    int n = snprintf(out, size, fmt, d);
    if (old)
        uselocale(old);
    return n;
}

void BUF_AddDouble(double d) {
    char small[20];
    char *work = small;
    char *large = NULL;
    int n = format_double(small, sizeof small, "%.10f", d);
    if (n < 0)
        return;
    if ((size_t)n >= sizeof small) {
        /* Too long for the work area (|d| from about 1e8): format the full text on the heap. */
        large = (char *)malloc((size_t)n + 1);
        FATAL_ASSERT(large != NULL);
        format_double(large, (size_t)n + 1, "%.10f", d);
        work = large;
    }
    if (strchr(work, '.') != NULL) { /* inf and nan have no point and keep their text */
        while (n > 0 && work[n - 1] == '0')
            work[--n] = '\0';
        if (n > 0 && work[n - 1] == '.')
            work[--n] = '\0';
    }
    append(work, (unsigned long)n);
    free(large);
}

void BUF_AddPrecisionDouble(double d) {
    char small[40];
    char *work = small;
    char *large = NULL;
    int n = format_double(small, sizeof small, "%.30e", d);
    if (n < 0)
        return;
    if ((size_t)n >= sizeof small) { /* cannot happen for finite doubles; kept safe anyway */
        large = (char *)malloc((size_t)n + 1);
        FATAL_ASSERT(large != NULL);
        format_double(large, (size_t)n + 1, "%.30e", d);
        work = large;
    }
    append(work, (unsigned long)n);
    free(large);
}

void BUF_AddSpace(void) { append(" ", 1); }

char *BUF_Buffer(void) { return Buffer; }

unsigned long BUF_Index(void) { return Index; }

void BUF_SetIndex(unsigned long Value) {
    FATAL_ASSERT(Value < BufferSize);
    Index = Value;
}

unsigned long BUF_Size(void) { return BufferSize; }
