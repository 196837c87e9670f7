/* Chained hash table (see hash.h). */
#include "hash.h"

#include "fatal.h"

#include <stdint.h>
#include <stdlib.h>
#include <string.h>

cache_ptr hash_new(unsigned int size, hash_func_type hash_func, compare_func_type compare_func) {
    FATAL_ASSERT(size);
    FATAL_ASSERT(!(size & (size - 1)));
    cache_ptr cache = (cache_ptr)calloc(1, sizeof(struct cache));
    FATAL_ASSERT(cache);
    cache->node_table = (node_ptr *)calloc(size, sizeof(node_ptr));
    FATAL_ASSERT(cache->node_table);
    cache->size = size;
    cache->mask = size - 1;
    cache->hash_func = hash_func;
    cache->compare_func = compare_func;
    return cache;
}

void hash_delete(cache_ptr cache) {
    node_ptr node;
    while ((node = hash_next(cache, NULL)) != NULL)
        hash_remove(cache, node->key);
    free(cache->node_table);
    free(cache);
}

/* Doubles the table: a fresh table receives every node. Equal keys always share a chain, so
 * each old chain is reversed and its nodes, oldest first, are pushed onto the fronts of the new
 * chains: equal keys keep their order and the newest entry of a key still comes first. */
static void hash_grow(cache_ptr *cachep) {
    cache_ptr old = *cachep;
    cache_ptr bigger = hash_new(old->size * 2, old->hash_func, old->compare_func);
    for (unsigned int b = 0; b < old->size; b++) {
        node_ptr oldest_first = NULL, next;
        for (node_ptr node = old->node_table[b]; node != NULL; node = next) {
            next = node->next;
            node->next = oldest_first;
            oldest_first = node;
        }
        for (node_ptr node = oldest_first; node != NULL; node = next) {
            next = node->next;
            unsigned int index = bigger->hash_func(bigger, node->key);
            node->next = bigger->node_table[index];
            bigger->node_table[index] = node;
        }
    }
    bigger->used = old->used;
    free(old->node_table);
    free(old);
    *cachep = bigger;
}

void hash_add(cache_ptr *cachep, const void *key, void *value) {
    cache_ptr cache = *cachep;
    unsigned int index = cache->hash_func(cache, key);
    node_ptr node = (node_ptr)calloc(1, sizeof(cache_node));
    FATAL_ASSERT(node);
    node->key = key;
    node->value = value;
    node->next = cache->node_table[index];
    cache->node_table[index] = node;
    cache->used++;
    if (cache->used >= (cache->size * 75) / 100)
        hash_grow(cachep);
}

void hash_remove(cache_ptr cache, const void *key) {
    unsigned int index = cache->hash_func(cache, key);
    node_ptr node = cache->node_table[index];
    FATAL_ASSERT(node);
    int removed = 0;
    if (cache->compare_func(node->key, key)) {
        cache->node_table[index] = node->next;
        free(node);
        removed = 1;
    } else {
        for (node_ptr prev = node; prev->next != NULL; prev = prev->next) {
            if (cache->compare_func(prev->next->key, key)) {
                node_ptr gone = prev->next;
                prev->next = gone->next;
                free(gone);
                removed = 1;
                break;
            }
        }
    }
    FATAL_ASSERT(removed);
    cache->used--;
}

node_ptr hash_next(cache_ptr cache, node_ptr node) {
    if (node == NULL)
        cache->last_bucket = 0;
    else if (node->next != NULL)
        return node->next;
    else
        cache->last_bucket++;
    for (; cache->last_bucket < cache->size; cache->last_bucket++) {
        if (cache->node_table[cache->last_bucket] != NULL)
            return cache->node_table[cache->last_bucket];
    }
    return NULL;
}

static node_ptr find_node(cache_ptr cache, const void *key) {
    for (node_ptr node = cache->node_table[cache->hash_func(cache, key)]; node; node = node->next)
        if (cache->compare_func(node->key, key))
            return node;
    return NULL;
}

void *hash_value_for_key(cache_ptr cache, const void *key) {
    node_ptr node = find_node(cache, key);
    return node ? node->value : NULL;
}

void *hash_change_key_value(cache_ptr cache, const void *key, void *new_value) {
    FATAL_ASSERT(new_value);
    node_ptr node = find_node(cache, key);
    if (node == NULL)
        return NULL;
    node->value = new_value;
    return new_value;
}

unsigned int hash_string(cache_ptr cache, const void *key) {
    unsigned int ret = 0;
    unsigned int ctr = 0;
    for (const char *s = (const char *)key; *s; s++) {
        ret ^= (unsigned int)(int)*s << ctr; /* characters are sign-extended */
        ctr = (ctr + 1) % 4;
    }
    return ret & cache->mask;
}

unsigned int hash_int(cache_ptr cache, const void *key) {
    return (unsigned int)(intptr_t)key & cache->mask;
}

unsigned int hash_long(cache_ptr cache, const void *key) {
    return (unsigned int)(long)(intptr_t)key & cache->mask;
}

int compare_strings(const void *k1, const void *k2) {
    if (k1 == k2)
        return 1;
    if (k1 == NULL || k2 == NULL)
        return 0;
    return strcmp((const char *)k1, (const char *)k2) == 0;
}

int compare_ints(const void *k1, const void *k2) { return (int)(intptr_t)k1 == (int)(intptr_t)k2; }

int compare_longs(const void *k1, const void *k2) {
    return (long)(intptr_t)k1 == (long)(intptr_t)k2;
}
