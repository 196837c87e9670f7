// Block pools: chunking, free-list order, guard word checks, allocation failure.
#include "mempool.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <set>

namespace {

struct Block {
    void *link;
    u32 guard;
    u32 payload;
};

int chunks() {
    int n = 0;
    for (PoolTagNode *t = mem_pool_list; t; t = t->next)
        n++;
    return n;
}

TEST(MemPool, ChunkIsCarvedInAddressOrder) {
    MemPool pool = MEM_POOL_INIT("Test");
    int before = chunks();
    Block *a = static_cast<Block *>(MEM_AllocBlock(sizeof(Block), &pool, 4));
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(chunks(), before + 1);
    EXPECT_EQ(mem_pool_list->pool, a); // newest chunk at the front, first block at its start
    EXPECT_EQ(a->guard, 0u);
    Block *b = static_cast<Block *>(MEM_AllocBlock(sizeof(Block), &pool, 4));
    EXPECT_EQ(b, a + 1);
    MEM_FreeBlock(b, &pool);
    MEM_FreeBlock(a, &pool);
    // Last in, first out.
    EXPECT_EQ(MEM_AllocBlock(sizeof(Block), &pool, 4), a);
    EXPECT_EQ(MEM_AllocBlock(sizeof(Block), &pool, 4), b);
    EXPECT_STREQ(pool.id, "Test");
}

TEST(MemPool, SecondChunkOnlyWhenFreeListIsEmpty) {
    MemPool pool = MEM_POOL_INIT("Grow");
    int before = chunks();
    std::set<void *> blocks;
    for (int i = 0; i < 2001; i++)
        blocks.insert(MEM_AllocBlock(sizeof(Block), &pool, 2000));
    EXPECT_EQ(blocks.size(), 2001u);
    EXPECT_EQ(chunks(), before + 2);
}

void *no_memory(size_t) { return nullptr; }
int calls = 0;
void *second_fails(size_t n) { return ++calls == 2 ? nullptr : malloc(n); }

TEST(MemPool, FailedChunkLeavesPoolConsistent) {
    MemPool pool = MEM_POOL_INIT("Fail");
    int before = chunks();
    MEM_SetAllocator(no_memory);
    EXPECT_EQ(MEM_AllocBlock(sizeof(Block), &pool, 10), nullptr);
    calls = 0;
    MEM_SetAllocator(second_fails); // chunk succeeds, its tag record fails
    EXPECT_EQ(MEM_AllocBlock(sizeof(Block), &pool, 10), nullptr);
    EXPECT_EQ(pool.blocklist, nullptr);
    EXPECT_EQ(chunks(), before);
    MEM_SetAllocator(nullptr);
    EXPECT_NE(MEM_AllocBlock(sizeof(Block), &pool, 10), nullptr);
}

TEST(MemPoolDeath, Misuse) {
    MemPool pool = MEM_POOL_INIT("Misuse");
    EXPECT_DEATH(MEM_AllocBlock(sizeof(void *), &pool, 10),
                 "Assertion failed: block_size >= sizeof\\(void \\*\\) \\+ sizeof\\(u32\\)");
    EXPECT_DEATH(MEM_FreeBlock(nullptr, &pool), "Assertion failed: block != \\(\\(void \\*\\)0\\)");
    Block *b = static_cast<Block *>(MEM_AllocBlock(sizeof(Block), &pool, 10));
    MEM_FreeBlock(b, &pool);
    EXPECT_DEATH(
        MEM_FreeBlock(b, &pool),
        "Assertion failed: \\*\\(u32 \\*\\)\\(\\(u08 \\*\\)block \\+ sizeof\\(void \\*\\)\\) != "
        "0xdeadbeef");
    b->guard = 0; // written while free
    EXPECT_DEATH(MEM_AllocBlock(sizeof(Block), &pool, 10),
                 "Assertion failed: \\*\\(u32 \\*\\)\\(\\(u08 \\*\\)new_block \\+ sizeof\\(void "
                 "\\*\\)\\) == "
                 "0xdeadbeef");
}

TEST(MemPool, FreeAllPoolsReleasesEveryChunk) {
    MemPool pool = MEM_POOL_INIT("All");
    MEM_AllocBlock(sizeof(Block), &pool, 10);
    EXPECT_GT(chunks(), 0);
    MEM_FreeAllPools();
    EXPECT_EQ(chunks(), 0);
}

} // namespace
