/* Fixed-size block pools: large chunks carved into equal blocks, released blocks kept on a free
 * list (last in, first out) and marked with a guard word while free.
 *
 * A free block holds the next free block in its first pointer and MEM_GUARD in the 32-bit word
 * after it. MEM_AllocBlock returns null when no chunk can be had; misuse (too small a block, a
 * block written while free, a double release, a null block) is a fatal assertion. */
#ifndef ROVAK_MEMPOOL_H
#define ROVAK_MEMPOOL_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef uint32_t u32;
typedef uint8_t u08;

#define MEM_GUARD 0xdeadbeef

typedef struct MemPool {
    void *blocklist; /* head of the free list, null when empty */
    const char *id;  /* the pool's name, for identification only */
} MemPool;

/* Initialiser of a module-level pool: static MemPool pool = MEM_POOL_INIT("Dbl"); */
#define MEM_POOL_INIT(name)                                                                        \
    { NULL, name }

/* One chunk obtained by any pool; new records go to the front of mem_pool_list. */
typedef struct PoolTagNode {
    void *pool;
    struct PoolTagNode *next;
} PoolTagNode;

extern PoolTagNode *mem_pool_list;

/* A block of block_size bytes from pool, obtaining a chunk of num_blocks blocks when the free
 * list is empty; null when that chunk cannot be had (the pool stays consistent). The guard word
 * is 0 on return; nothing else is cleared. */
void *MEM_AllocBlock(size_t block_size, MemPool *pool, int num_blocks);
/* Returns block to pool's free list. */
void MEM_FreeBlock(void *block, MemPool *pool);
/* Releases every chunk of every pool. No pool may be used afterwards. */
void MEM_FreeAllPools(void);

/* Test seam: replaces the allocator of chunks and tag records (null restores malloc). */
void MEM_SetAllocator(void *(*alloc)(size_t));

#ifdef __cplusplus
}
#endif

#endif
