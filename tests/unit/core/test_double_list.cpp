// Double lists: insertion order, removal, rings, reversal, printing and pool exhaustion.
#include "double_list.h"

#include "mempool.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

void *E(intptr_t v) { return reinterpret_cast<void *>(v); }
intptr_t I(void *e) { return reinterpret_cast<intptr_t>(e); }

int same(void *a, void *b) { return a == b; }

std::vector<intptr_t> forward(DBL *l) {
    std::vector<intptr_t> out;
    for (DBL *n = l; n != nullptr; n = n->next) {
        out.push_back(I(n->element));
        if (n->next == l)
            break;
    }
    return out;
}

DBL *make(std::initializer_list<intptr_t> values) {
    DBL *l = nullptr;
    for (intptr_t v : values)
        l = l ? (DBL_AddToTail(l, E(v)), l) : DBL_AddAfter(nullptr, E(v));
    return l;
}

using Seq = std::vector<intptr_t>;

TEST(DoubleList, AddBeforeKeepsNewestFirst) {
    DBL *l = nullptr;
    for (intptr_t v : {1, 2, 3})
        l = DBL_AddBefore(l, E(v));
    EXPECT_EQ(forward(l), (Seq{3, 2, 1}));
    EXPECT_EQ(l->previous, nullptr);
    EXPECT_EQ(I(DBL_Tail(l)->element), 1);
    EXPECT_EQ(DBL_Head(DBL_Tail(l)), l);
    DBL_Free(l, nullptr);
}

TEST(DoubleList, AddAfterAndAddBeforeInTheMiddle) {
    DBL *l = make({1, 3});
    DBL_AddAfter(l, E(2));
    EXPECT_EQ(forward(l), (Seq{1, 2, 3}));
    DBL_AddBefore(DBL_Tail(l), E(9));
    EXPECT_EQ(forward(l), (Seq{1, 2, 9, 3}));
    // Backward links agree with forward ones.
    Seq back;
    for (DBL *n = DBL_Tail(l); n; n = n->previous)
        back.push_back(I(n->element));
    EXPECT_EQ(back, (Seq{3, 9, 2, 1}));
    DBL_Free(l, nullptr);
}

TEST(DoubleList, MemberAndDestroy) {
    DBL *l = make({1, 2, 3});
    EXPECT_EQ(I(DBL_Member(l, E(2), same)->element), 2);
    EXPECT_EQ(DBL_Member(l, E(7), same), nullptr);
    EXPECT_EQ(DBL_Member(nullptr, E(1), same), nullptr);

    EXPECT_EQ(DBL_Destroy(l, E(7), same, nullptr), l); // absent: unchanged
    DBL *second = l->next;
    EXPECT_EQ(DBL_Destroy(l, E(1), same, nullptr), second); // head removed
    l = second;
    EXPECT_EQ(forward(l), (Seq{2, 3}));
    EXPECT_EQ(DBL_Destroy(l, E(3), same, nullptr), l);
    EXPECT_EQ(forward(l), (Seq{2}));
    EXPECT_EQ(DBL_Destroy(l, E(2), same, nullptr), nullptr); // the only node
}

std::vector<intptr_t> freed;
void note_free(void *e) { freed.push_back(I(e)); }

TEST(DoubleList, DestroyAndFreeCallTheReleaseFunction) {
    freed.clear();
    DBL *l = make({1, 2, 3, 4});
    l = DBL_Destroy(l, E(3), same, note_free);
    EXPECT_EQ(freed, (Seq{3}));
    EXPECT_EQ(DBL_Free(l, note_free), 0);
    EXPECT_EQ(freed, (Seq{3, 1, 2, 4}));
}

TEST(DoubleList, FreeCutsBeforeTheGivenNode) {
    DBL *l = make({1, 2, 3});
    DBL_Free(l->next, nullptr);
    EXPECT_EQ(forward(l), (Seq{1}));
    DBL_Free(l, nullptr);
}

TEST(DoubleList, RevertReturnsNewHead) {
    DBL *l = make({1, 2, 3});
    DBL *r = DBL_Revert(l);
    EXPECT_EQ(I(r->element), 3);
    EXPECT_EQ(forward(r), (Seq{3, 2, 1}));
    EXPECT_EQ(r->previous, nullptr);
    DBL_Free(r, nullptr);
}

TEST(DoubleList, RingWalksStopAtTheStart) {
    DBL *l = make({1, 2, 3});
    DBL *tail = DBL_Tail(l);
    DBL_Close(l);
    EXPECT_EQ(tail->next, l);
    EXPECT_EQ(l->previous, tail);
    EXPECT_EQ(DBL_Tail(l), tail);
    EXPECT_EQ(DBL_Head(l), l->next); // walking back from l, the last node before l again
    EXPECT_EQ(DBL_Member(l, E(9), same), nullptr);
    EXPECT_EQ(I(DBL_Member(l, E(3), same)->element), 3);

    testing::internal::CaptureStdout();
    DBL *words = DBL_AddAfter(nullptr, const_cast<char *>("a"));
    DBL_AddToTail(words, const_cast<char *>("b"));
    DBL_Close(words);
    DBL_StringPrint(words);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "a b \n");

    DBL *r = DBL_Revert(l);
    EXPECT_EQ(forward(r).size(), 3u);
    DBL_Free(l, nullptr);
    DBL_Free(words, nullptr);
}

std::string printed;
void print_int(void *e) { printed += std::to_string(I(e)) + ","; }

TEST(DoubleList, PrintListInOrder) {
    printed.clear();
    DBL *l = make({4, 5, 6});
    DBL_PrintList(l, print_int);
    EXPECT_EQ(printed, "4,5,6,");
    DBL_Close(l);
    printed.clear();
    DBL_PrintList(l, print_int);
    EXPECT_EQ(printed, "4,5,6,");
    DBL_Free(l, nullptr);
    testing::internal::CaptureStdout();
    DBL_StringPrint(nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "\n");
}

TEST(DoubleList, AppendAndRemoveLinkNodes) {
    DBL *l = make({1, 3});
    DBL *node = DBL_AllocDbl();
    node->element = E(2);
    DBL_Append(l, node);
    EXPECT_EQ(forward(l), (Seq{1, 2, 3}));
    DBL_Remove(node);
    EXPECT_EQ(forward(l), (Seq{1, 3}));
    EXPECT_EQ(I(node->next->element), 3); // the removed node keeps its links
    DBL_FreeDbl(node);
    DBL_Free(l, nullptr);
}

TEST(DoubleListDeath, Misuse) {
    EXPECT_DEATH(DBL_AddBefore(nullptr, nullptr), "Assertion failed: e,");
    EXPECT_DEATH(DBL_AddAfter(nullptr, nullptr), "Assertion failed: e,");
    EXPECT_DEATH(DBL_AddToTail(nullptr, E(1)), "Assertion failed: l,");
    EXPECT_DEATH(DBL_Close(nullptr), "Assertion failed: Head,");
    EXPECT_DEATH(DBL_PrintList(nullptr, nullptr), "Assertion failed: Print,");
}

void *no_memory(size_t) { return nullptr; }

TEST(DoubleListDeath, PoolThatCannotGrowStops) {
    EXPECT_DEATH(
        {
            // Drain whatever the pool holds, then forbid new chunks.
            MEM_SetAllocator(no_memory);
            for (int i = 0; i < 2 * DBL_NODES_PER_CHUNK + 1; i++)
                DBL_AddBefore(nullptr, E(1));
        },
        "Assertion failed: node != NULL");
}

TEST(DoubleList, ManyNodesSpanChunks) {
    DBL *l = nullptr;
    for (intptr_t i = 1; i <= DBL_NODES_PER_CHUNK + 1; i++)
        l = DBL_AddBefore(l, E(i));
    EXPECT_EQ(forward(l).size(), size_t(DBL_NODES_PER_CHUNK + 1));
    DBL_Free(l, nullptr);
}

} // namespace
