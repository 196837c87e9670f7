/* Command table and message dispatch (see command.h). */
#include "command.h"

#include "argcv.h"
#include "fatal.h"
#include "hash.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static cache_ptr cmd_table = NULL;
static CMD_Entry *wildcard = NULL;

/* Entries whose handlers are running now, innermost first: registration into one of them
 * would move the block under the running dispatch. */
struct running_frame {
    CMD_Entry *entry;
    running_frame *outer;
};
static running_frame *running = NULL;

static uint32_t entry_count(CMD_Entry *value) { return (uint32_t)(uintptr_t)value[0]; }
static CMD_callback entry_handler(CMD_Entry *value, uint32_t i) {
    return reinterpret_cast<CMD_callback>(value[2 + i]);
}

void CMD_Initialize(void) {
    if (cmd_table != NULL)
        return;
    cmd_table = hash_new(4, hash_string, compare_strings);
    FATAL_ASSERT(cmd_table);
    wildcard = NULL;
}

/* Takes name's entry out of the table, releasing the key copy it was stored under. */
static CMD_Entry *take_entry(const char *name) {
    for (node_ptr node = cmd_table->node_table[hash_string(cmd_table, name)]; node;
         node = node->next) {
        if (compare_strings(node->key, name)) {
            CMD_Entry *value = (CMD_Entry *)node->value;
            char *key = (char *)node->key;
            hash_remove(cmd_table, name);
            free(key);
            return value;
        }
    }
    return NULL;
}

static bool is_running(CMD_Entry *entry) {
    for (running_frame *f = running; f != NULL; f = f->outer)
        if (f->entry == entry)
            return true;
    return false;
}

void CMD_Register(const char *command_name, CMD_callback func) {
    FATAL_ASSERT(cmd_table);
    bool is_wild = strcmp(command_name, "*") == 0;
    CMD_Entry *existing =
        is_wild ? wildcard : (CMD_Entry *)hash_value_for_key(cmd_table, command_name);
    /* The block may move below; a dispatch of this name holds a pointer into it. */
    FATAL_ASSERT(existing == NULL || !is_running(existing));

    CMD_Entry *value;
    uint32_t count;
    if (existing != NULL) {
        if (!is_wild)
            take_entry(command_name);
        count = entry_count(existing) + 1;
        value = (CMD_Entry *)realloc(existing, (2 + (size_t)count) * sizeof(CMD_Entry));
        FATAL_ASSERT(value);
    } else {
        count = 1;
        value = (CMD_Entry *)malloc(3 * sizeof(CMD_Entry));
        FATAL_ASSERT(value);
        value[1] = strdup(command_name);
        FATAL_ASSERT(value[1]);
    }
    value[0] = (void *)(uintptr_t)count;
    value[2 + count - 1] = reinterpret_cast<void *>(func);

    if (is_wild) {
        wildcard = value;
    } else {
        char *key = strdup(command_name);
        FATAL_ASSERT(key);
        hash_add(&cmd_table, key, value);
    }
}

static void *(*reply_realloc)(void *, size_t) = realloc;

void CMD_SetReplyReallocator(void *(*realloc_fn)(void *, size_t)) {
    reply_realloc = realloc_fn ? realloc_fn : realloc;
}

/* The reply text under construction. Its length is tracked, so an append costs only the bytes
 * it adds; the allocation at least doubles when it grows, so a reply of n bytes moves O(n)
 * bytes in all. The text is always terminated at its length, inside the allocation. */
struct reply {
    char *bigstring;
    size_t bigstringlen; /* allocated size */
    size_t length;       /* text length, terminator excluded */
};

/* Makes room for more bytes of text and the terminator. */
static void reply_reserve(reply *r, size_t more) {
    size_t need = r->length + more + 1;
    if (r->bigstring != NULL) {
        FATAL_ASSERT(r->length < r->bigstringlen && r->bigstring[r->length] == '\0');
        if (need <= r->bigstringlen)
            return;
    }
    size_t size = r->bigstringlen * 2 > need ? r->bigstringlen * 2 : need;
    char *bigstring = (char *)reply_realloc(r->bigstring, size);
    FATAL_ASSERT(bigstring);
    if (r->bigstring == NULL)
        bigstring[0] = '\0';
    r->bigstring = bigstring;
    r->bigstringlen = size;
}

/* Appends len bytes of text. */
static void reply_add(reply *r, const char *text, size_t len) {
    reply_reserve(r, len);
    memcpy(r->bigstring + r->length, text, len);
    r->length += len;
    r->bigstring[r->length] = '\0';
}

/* Appends a handler's text and its line feed. */
static void reply_append(reply *r, const char *text) {
    reply_add(r, text, strlen(text));
    reply_add(r, "\n", 1);
}

static bool is_control(unsigned char c) { return (c >= 1 && c <= 31) || c == 127; }

/* Appends a command name to an acknowledgement line. A name that holds a control byte (a line
 * feed above all, which would end the line early) goes between double quotes with backslash
 * escapes: a control byte as a backslash and its value in octal, a quote or a backslash behind a
 * backslash. The peer then reads exactly one line and one word. Other names go as they are. */
static void reply_add_name(reply *r, const char *name) {
    size_t len = strlen(name);
    const char *p = name;
    while (*p != '\0' && !is_control((unsigned char)*p))
        p++;
    if (*p == '\0') {
        reply_add(r, name, len);
        return;
    }
    reply_reserve(r, 4 * len + 2);
    char *out = r->bigstring + r->length;
    *out++ = '"';
    for (p = name; *p != '\0'; p++) {
        unsigned char c = (unsigned char)*p;
        if (is_control(c))
            out += snprintf(out, 5, "\\%o", c);
        else if (c == '"' || c == '\\')
            *out++ = '\\', *out++ = (char)c;
        else
            *out++ = (char)c;
    }
    *out++ = '"';
    *out = '\0';
    r->length = (size_t)(out - r->bigstring);
}

static void run_handlers(CMD_Entry *entry, reply *r, int sender, long id, int argc, char **argv) {
    running_frame frame = {entry, running};
    running = &frame;
    uint32_t count = entry_count(entry);
    for (uint32_t i = 0; i < count; i++) {
        char *text = entry_handler(entry, i)(sender, id, argc, argv);
        if (text != NULL)
            reply_append(r, text);
    }
    running = frame.outer;
}

/* Runs one command of argc words (argc may be 0: an empty command). */
static void dispatch_one(reply *r, int sender, int argc, char **argv, char *empty) {
    char *word = argc > 0 ? argv[0] : empty;
    long id = 0;
    char *colon = strrchr(word, ':');
    if (colon != NULL) {
        *colon = '\0';
        id = strtol(word, NULL, 10);
        *colon = ':';
        word = colon + 1;
    }
    char *saved = argc > 0 ? argv[0] : NULL;
    if (argc > 0)
        argv[0] = word;
    /* The name is copied: a handler may overwrite its words. */
    char *name = strdup(word);
    FATAL_ASSERT(name);

    CMD_Entry *entry = (CMD_Entry *)hash_value_for_key(cmd_table, name);
    if (entry != NULL)
        run_handlers(entry, r, sender, id, argc, argv);
    if (wildcard != NULL)
        run_handlers(wildcard, r, sender, id, argc, argv);
    if (argc > 0)
        argv[0] = saved;

    if (entry == NULL) {
        reply_add(r, "Error ", 6);
        reply_add_name(r, name);
        reply_add(r, " -4\n", 4);
    }
    if (strcmp(name, "Done") != 0) {
        reply_add(r, "Done ", 5);
        reply_add_name(r, name);
        reply_add(r, "\n", 1);
    }
    free(name);
}

char *CMD_ExecuteRaw(int sender_id, const char *command) {
    int argc;
    char **argv;
    ARGCV_Create(command, &argc, &argv);
    if (argc == 0)
        return NULL;

    reply r = {NULL, 0, 0};
    int start = 0;
    while (start < argc) {
        int end = start;
        while (end < argc && argv[end][0] != '\0')
            end++;
        /* argv[end] (if any) is the empty word that ends this command; it is consumed. */
        dispatch_one(&r, sender_id, end - start, argv + start, argv[end < argc ? end : start]);
        start = end + 1;
    }
    ARGCV_Free(argc, argv);
    return r.bigstring;
}

void CMD_Execute(int sender_id, const char *command, int *argc_ret, char ***argv_ret) {
    char *text = CMD_ExecuteRaw(sender_id, command);
    *argc_ret = 0;
    *argv_ret = NULL;
    if (text == NULL)
        return;
    ARGCV_Create(text, argc_ret, argv_ret);
    free(text);
}
