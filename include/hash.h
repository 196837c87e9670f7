/* Chained hash table with caller-supplied hash and equality functions.
 *
 * The bucket count is a power of two and doubles when the table is 75% full; doubling builds a
 * new table, so hash_add takes the address of the caller's table variable. Entries of equal keys
 * keep their order through every doubling: the newest one is found first, and removing it
 * uncovers the next older one. The table owns neither
 * keys nor values; values are never null. Misuse and out of memory are fatal assertions
 * ("size", "!(size & (size - 1))", "cache", "cache->node_table", "node", "removed"). One iteration
 * (hash_next) at a time per table. */
#ifndef ROVAK_HASH_H
#define ROVAK_HASH_H

#ifdef __cplusplus
extern "C" {
#endif

typedef struct cache_node *node_ptr;
typedef struct cache *cache_ptr;

typedef unsigned int (*hash_func_type)(cache_ptr, const void *);
typedef int (*compare_func_type)(const void *, const void *);

typedef struct cache_node {
    struct cache_node *next; /* next node of the chain or null */
    const void *key;         /* integer keys are stored in the pointer itself */
    void *value;             /* never null */
} cache_node;

typedef struct cache {
    node_ptr *node_table; /* size bucket heads */
    unsigned int size;    /* power of two */
    unsigned int used;    /* number of entries */
    unsigned int mask;    /* size - 1 */
    unsigned int last_bucket;
    hash_func_type hash_func;
    compare_func_type compare_func;
} cache;

/* A new empty table of size buckets (non-zero power of two). */
cache_ptr hash_new(unsigned int size, hash_func_type hash_func, compare_func_type compare_func);
/* Removes every entry and releases the table; keys and values are not released. */
void hash_delete(cache_ptr cache);
/* Adds key -> value (a second add of a key shadows the first); may replace *cachep. */
void hash_add(cache_ptr *cachep, const void *key, void *value);
/* Removes the newest entry of key, which must be present. */
void hash_remove(cache_ptr cache, const void *key);
/* Iteration: null starts, the last returned node continues; null at the end. */
node_ptr hash_next(cache_ptr cache, node_ptr node);
/* The value of the newest entry of key, or null. */
void *hash_value_for_key(cache_ptr cache, const void *key);
/* Replaces the value of the newest entry of key; returns new_value, or null when absent. */
void *hash_change_key_value(cache_ptr cache, const void *key, void *new_value);

unsigned int hash_string(cache_ptr cache, const void *key);
unsigned int hash_int(cache_ptr cache, const void *key);
unsigned int hash_long(cache_ptr cache, const void *key);
int compare_strings(const void *k1, const void *k2);
int compare_ints(const void *k1, const void *k2);
int compare_longs(const void *k1, const void *k2);

#ifdef __cplusplus
}
#endif

#endif
