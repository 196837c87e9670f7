/* Message buffer: one process-wide text area in which an outgoing protocol message is composed
 * word by word with fixed number formats.
 *
 * Every message begins with BUF_Reset. The buffer adds no separators or quoting of its own.
 * Errors: a null text to BUF_AddString, and an append that would overrun a caller-supplied area,
 * are fatal assertions. The built-in storage holds BUF_LOCAL_SIZE bytes (text of up to 799999
 * characters plus its terminator) and never reallocates below that; a longer text moves into heap
 * storage that doubles as needed. */
#ifndef ROVAK_BUFFER_H
#define ROVAK_BUFFER_H

#ifdef __cplusplus
extern "C" {
#endif

#define BUF_LOCAL_SIZE 800000UL

/* Starts a new message at index 0. Buf null selects the built-in storage (or, after a growth,
 * releases the heap storage and returns to it); otherwise Buf is a caller area assumed to hold
 * BUF_LOCAL_SIZE bytes. */
void BUF_Reset(char *Buf);
/* As BUF_Reset with a caller area of Size bytes (Size >= 1); appends past it are fatal. */
void BUF_ResetArea(char *Buf, unsigned long Size);

/* Appends the text s (fatal assertion "s" when null). */
void BUF_AddString(const char *s);
/* Appends string1 and each further text up to a null argument. */
void BUF_AddStrings(const char *string1, ...);
/* Appends one character ("%c"). */
void BUF_AddChar(char c);
/* Appends l in decimal ("%ld"). */
void BUF_AddLong(long l);
/* Appends '1' when b is non-zero, else '0'. */
void BUF_AddBoolean(int b);
/* Appends d as "%.10f" with trailing zeros (and a bare point) removed: 2.0 -> "2", 0.25 -> "0.25".
 * Magnitudes too large for the 20-byte work area are written in full all the same. */
void BUF_AddDouble(double d);
/* Appends d as "%.30e". */
void BUF_AddPrecisionDouble(double d);
/* Appends one blank. */
void BUF_AddSpace(void);

/* The text being composed (terminated at BUF_Index() except right after BUF_SetIndex). */
char *BUF_Buffer(void);
/* The length of the text being composed. */
unsigned long BUF_Index(void);
/* Moves the write position to Value without writing a terminator. */
void BUF_SetIndex(unsigned long Value);
/* The capacity of the current storage in bytes. */
unsigned long BUF_Size(void);

#ifdef __cplusplus
}
#endif

#endif
