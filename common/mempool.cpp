/* Fixed-size block pools (see mempool.h). */
#include "mempool.h"

#include "fatal.h"

#include <stdlib.h>

PoolTagNode *mem_pool_list = NULL;

static void *(*chunk_alloc)(size_t) = malloc;

void MEM_SetAllocator(void *(*alloc)(size_t)) { chunk_alloc = alloc ? alloc : malloc; }

static u32 *guard_of(void *block) { return (u32 *)((u08 *)block + sizeof(void *)); }

/* Obtains one chunk and threads its blocks into the free list in address order. */
static int grow_pool(size_t block_size, MemPool *pool, int num_blocks) {
    if (num_blocks < 1)
        return 0;
    u08 *chunk = (u08 *)chunk_alloc((size_t)num_blocks * block_size);
    if (chunk == NULL)
        return 0;
    PoolTagNode *tag = (PoolTagNode *)chunk_alloc(sizeof(PoolTagNode));
    if (tag == NULL) {
        free(chunk);
        return 0;
    }
    tag->pool = chunk;
    tag->next = mem_pool_list;
    mem_pool_list = tag;
    for (int i = 0; i < num_blocks; i++) {
        u08 *block = chunk + (size_t)i * block_size;
        *(void **)block = (i + 1 < num_blocks) ? (void *)(block + block_size) : NULL;
        *guard_of(block) = MEM_GUARD;
    }
    pool->blocklist = chunk;
    return 1;
}

void *MEM_AllocBlock(size_t block_size, MemPool *pool, int num_blocks) {
    FATAL_ASSERT(block_size >= sizeof(void *) + sizeof(u32));
    if (pool->blocklist == NULL && !grow_pool(block_size, pool, num_blocks))
        return NULL;
    void *new_block = pool->blocklist;
    FATAL_ASSERT(*(u32 *)((u08 *)new_block + sizeof(void *)) == 0xdeadbeef);
    pool->blocklist = *(void **)new_block;
    *guard_of(new_block) = 0;
    return new_block;
}

void MEM_FreeBlock(void *block, MemPool *pool) {
    FATAL_ASSERT(block != ((void *)0));
    FATAL_ASSERT(*(u32 *)((u08 *)block + sizeof(void *)) != 0xdeadbeef);
    *(void **)block = pool->blocklist;
    *guard_of(block) = MEM_GUARD;
    pool->blocklist = block;
}

void MEM_FreeAllPools(void) {
    while (mem_pool_list != NULL) {
        PoolTagNode *tag = mem_pool_list;
        mem_pool_list = tag->next;
        free(tag->pool);
        free(tag);
    }
}
