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

/* The reply text under construction; allocated size is always its length plus one. */
struct reply {
    char *bigstring;
    size_t bigstringlen;
};

static void reply_append(reply *r, const char *text) {
    size_t len = strlen(text);
    char *bigstring = r->bigstring;
    if (bigstring == NULL) {
        bigstring = (char *)malloc(len + 2);
        FATAL_ASSERT(bigstring);
        bigstring[0] = '\0';
        r->bigstringlen = len + 2;
    } else {
        size_t bigstringlen = r->bigstringlen;
        // The assertion keeps its text exactly as written.
        // clang-format off
        FATAL_ASSERT(strlen(bigstring)+1 == bigstringlen);
        // clang-format on
        bigstring = (char *)realloc(bigstring, bigstringlen + len + 1);
        FATAL_ASSERT(bigstring);
        r->bigstringlen = bigstringlen + len + 1;
    }
    size_t used = strlen(bigstring);
    memcpy(bigstring + used, text, len);
    bigstring[used + len] = '\n';
    bigstring[used + len + 1] = '\0';
    r->bigstring = bigstring;
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

    char line[64];
    char *ack = line;
    size_t need = strlen(name) + 32;
    if (need > sizeof line) {
        ack = (char *)malloc(need);
        FATAL_ASSERT(ack);
    }
    if (entry == NULL) {
        snprintf(ack, need, "%s %s %d", "Error", name, -4);
        reply_append(r, ack);
    }
    if (strcmp(name, "Done") != 0) {
        snprintf(ack, need, "%s %s", "Done", name);
        reply_append(r, ack);
    }
    if (ack != line)
        free(ack);
    free(name);
}

char *CMD_ExecuteRaw(int sender_id, const char *command) {
    int argc;
    char **argv;
    ARGCV_Create(command, &argc, &argv);
    if (argc == 0)
        return NULL;

    reply r = {NULL, 0};
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
