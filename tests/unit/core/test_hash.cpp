// Hash table: sizes, growth at 75%, shadowed keys, iteration, hash functions.
#include "hash.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace {

void *V(intptr_t v) { return reinterpret_cast<void *>(v); }
const void *K(intptr_t k) { return reinterpret_cast<const void *>(k); }

TEST(HashDeath, SizeMustBeNonZeroPowerOfTwo) {
    EXPECT_DEATH(hash_new(0, hash_int, compare_ints), "Assertion failed: size,");
    EXPECT_DEATH(hash_new(3, hash_int, compare_ints),
                 "Assertion failed: !\\(size & \\(size - 1\\)\\)");
    EXPECT_DEATH(hash_new(6, hash_int, compare_ints),
                 "Assertion failed: !\\(size & \\(size - 1\\)\\)");
}

TEST(Hash, PowerOfTwoSizes) {
    for (unsigned size : {1u, 2u, 4u, 64u}) {
        cache_ptr t = hash_new(size, hash_int, compare_ints);
        EXPECT_EQ(t->size, size);
        EXPECT_EQ(t->mask, size - 1);
        EXPECT_EQ(t->used, 0u);
        hash_delete(t);
    }
}

TEST(Hash, GrowsWhenThreeQuartersFull) {
    cache_ptr t = hash_new(4, hash_string, compare_strings);
    cache_ptr original = t;
    hash_add(&t, "a", V(1));
    hash_add(&t, "b", V(2));
    EXPECT_EQ(t, original);
    EXPECT_EQ(t->size, 4u);
    hash_add(&t, "c", V(3));
    EXPECT_EQ(t->size, 8u); // the caller's variable now names the new table
    EXPECT_EQ(t->used, 3u);
    EXPECT_EQ(hash_value_for_key(t, "a"), V(1));
    EXPECT_EQ(hash_value_for_key(t, "b"), V(2));
    EXPECT_EQ(hash_value_for_key(t, "c"), V(3));
    hash_delete(t);
}

TEST(Hash, SixtyFourBucketsGrowAtTheFortyEighth) {
    cache_ptr t = hash_new(64, hash_long, compare_longs);
    for (intptr_t i = 1; i <= 47; i++)
        hash_add(&t, K(i), V(i));
    EXPECT_EQ(t->size, 64u);
    hash_add(&t, K(48), V(48));
    EXPECT_EQ(t->size, 128u);
    for (intptr_t i = 1; i <= 48; i++)
        EXPECT_EQ(hash_value_for_key(t, K(i)), V(i));
    hash_delete(t);
}

TEST(Hash, ShadowedKeys) {
    cache_ptr t = hash_new(64, hash_string, compare_strings);
    std::string k1 = "key", k2 = "key"; // equal texts, distinct storage
    hash_add(&t, k1.c_str(), V(0xA));
    hash_add(&t, k2.c_str(), V(0xB));
    EXPECT_EQ(hash_value_for_key(t, "key"), V(0xB));
    EXPECT_EQ(hash_change_key_value(t, "key", V(0xC)), V(0xC));
    EXPECT_EQ(hash_value_for_key(t, "key"), V(0xC));
    hash_remove(t, "key");
    EXPECT_EQ(hash_value_for_key(t, "key"), V(0xA));
    hash_remove(t, "key");
    EXPECT_EQ(hash_value_for_key(t, "key"), nullptr);
    EXPECT_EQ(hash_change_key_value(t, "key", V(1)), nullptr);
    EXPECT_EQ(t->used, 0u);
    hash_delete(t);
}

TEST(Hash, ShadowedKeysKeepTheirOrderThroughSeveralGrowths) {
    cache_ptr t = hash_new(2, hash_long, compare_longs);
    // Three records under each of the ids 1, 5 and 9 (one bucket while the table is small),
    // added between fillers so that the table doubles between them again and again.
    intptr_t filler = 1000;
    std::vector<unsigned> sizes;
    for (intptr_t version = 1; version <= 3; version++) {
        for (intptr_t id : {1, 5, 9}) {
            hash_add(&t, K(id), V(id * 10 + version));
            for (int i = 0; i < 5; i++)
                hash_add(&t, K(filler++), V(1));
            EXPECT_EQ(hash_value_for_key(t, K(id)), V(id * 10 + version));
        }
        sizes.push_back(t->size);
    }
    EXPECT_LT(sizes[0], sizes[1]); // the table grew between the versions
    EXPECT_LT(sizes[1], sizes[2]);
    for (intptr_t id : {1, 5, 9}) {
        for (intptr_t version = 3; version >= 1; version--) {
            EXPECT_EQ(hash_value_for_key(t, K(id)), V(id * 10 + version)) << id;
            hash_remove(t, K(id));
        }
        EXPECT_EQ(hash_value_for_key(t, K(id)), nullptr);
    }
    hash_delete(t);
}

// Random adds and removes over a few string keys, checked after every step against a model:
// per key a stack of values, the newest on top.
TEST(Hash, AgreesWithAStackPerKeyUnderRandomGrowth) {
    std::mt19937 rng(7);
    std::vector<std::string> keys;
    for (int i = 0; i < 12; i++)
        keys.push_back("key" + std::to_string(i));
    cache_ptr t = hash_new(1, hash_string, compare_strings);
    std::map<std::string, std::vector<intptr_t>> model;
    intptr_t next_value = 1;
    for (int step = 0; step < 3000; step++) {
        const std::string &k = keys[rng() % keys.size()];
        std::vector<intptr_t> &stack = model[k];
        if (!stack.empty() && rng() % 3 == 0) {
            hash_remove(t, k.c_str());
            stack.pop_back();
        } else {
            hash_add(&t, k.c_str(), V(next_value));
            stack.push_back(next_value++);
        }
        for (const auto &[key, values] : model)
            ASSERT_EQ(hash_value_for_key(t, key.c_str()),
                      values.empty() ? nullptr : V(values.back()))
                << "step " << step << " key " << key;
    }
    unsigned total = 0;
    for (const auto &entry : model)
        total += (unsigned)entry.second.size();
    EXPECT_EQ(t->used, total);
    hash_delete(t);
}

TEST(HashDeath, RemovingAbsentKey) {
    cache_ptr t = hash_new(4, hash_int, compare_ints);
    EXPECT_DEATH(hash_remove(t, K(1)), "Assertion failed: node,");
    hash_add(&t, K(1), V(1));
    EXPECT_DEATH(hash_remove(t, K(5)), "Assertion failed: removed,"); // same bucket, other key
    hash_delete(t);
}

TEST(Hash, IterationVisitsEveryEntryOnce) {
    cache_ptr t = hash_new(8, hash_int, compare_ints);
    for (intptr_t i = 0; i < 40; i++)
        hash_add(&t, K(i), V(i + 100));
    std::set<intptr_t> seen;
    for (node_ptr n = hash_next(t, nullptr); n != nullptr; n = hash_next(t, n))
        EXPECT_TRUE(seen.insert(reinterpret_cast<intptr_t>(n->key)).second);
    EXPECT_EQ(seen.size(), 40u);
    hash_delete(t);
    cache_ptr empty = hash_new(4, hash_int, compare_ints);
    EXPECT_EQ(hash_next(empty, nullptr), nullptr);
    hash_delete(empty);
}

TEST(Hash, HashFunctions) {
    cache_ptr t = hash_new(1024, hash_string, compare_strings);
    EXPECT_EQ(hash_string(t, "AB"), (65u ^ (66u << 1)) & t->mask);
    EXPECT_EQ(hash_string(t, "AB"), 197u);
    EXPECT_EQ(hash_string(t, ""), 0u);
    // The shift cycles through 0..3: the fifth character is not shifted.
    EXPECT_EQ(hash_string(t, "AAAAA"), (65u ^ 130u ^ 260u ^ 520u ^ 65u) & t->mask);
    // Characters above 127 are sign-extended before the shift.
    EXPECT_EQ(hash_string(t, "\xff"), 0xffffffffu & t->mask);
    hash_delete(t);

    cache_ptr t64 = hash_new(64, hash_int, compare_ints);
    EXPECT_EQ(hash_int(t64, K(-1)), 63u);
    EXPECT_EQ(hash_long(t64, K(-1)), 63u);
    EXPECT_EQ(hash_int(t64, K(65)), 1u);
    hash_delete(t64);
}

TEST(Hash, Comparisons) {
    std::string a = "x", b = "x";
    EXPECT_TRUE(compare_strings(a.c_str(), a.c_str()));
    EXPECT_TRUE(compare_strings(a.c_str(), b.c_str()));
    EXPECT_TRUE(compare_strings(nullptr, nullptr));
    EXPECT_FALSE(compare_strings(nullptr, "x"));
    EXPECT_FALSE(compare_strings("x", nullptr));
    EXPECT_FALSE(compare_strings("x", "X"));
    EXPECT_TRUE(compare_ints(K(-5), K(-5)));
    EXPECT_FALSE(compare_longs(K(1), K(2)));
}

} // namespace
