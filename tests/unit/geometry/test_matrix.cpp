// Matrix operations: size rules and their messages, products with and without aliasing, the
// packed form, comparisons, printing, the scratch buffer and the pose matrix pool.
#include "matrix.h"

#include "mempool.h"

#include <gtest/gtest.h>

#include <functional>
#include <math.h>
#include <stdlib.h>
#include <string>
#include <vector>

namespace {

// A regular expression that matches text literally.
std::string Literal(const std::string &text) {
    std::string out;
    for (char ch : text) {
        if (std::string("\\^$.|?*+()[]{}").find(ch) != std::string::npos)
            out += '\\';
        out += ch;
    }
    return out;
}

std::string Captured(const std::function<long()> &run, long *result) {
    testing::internal::CaptureStdout();
    *result = run();
    return testing::internal::GetCapturedStdout();
}

void *FailAlloc(size_t) { return nullptr; }

TEST(MatrixFill, StoresRowByRowAndDeterminants) {
    double m[9];
    EXPECT_EQ(0, mx_fill(m, 3, 3, 1.0, 2.0, 3.0, 4.0, 5.0, 6.0, 7.0, 8.0, 9.0));
    EXPECT_EQ(6.0, m[1 * 3 + 2]);
    EXPECT_DOUBLE_EQ(0.0, mx_det(m, 3));
    double two[4] = {1, 2, 3, 4};
    EXPECT_DOUBLE_EQ(-2.0, mx_det(two, 2));
    double one[1] = {5};
    EXPECT_DOUBLE_EQ(5.0, mx_det(one, 1));
    double rot[9] = {0, -1, 3, 1, 0, 4, 0, 0, 1};
    EXPECT_DOUBLE_EQ(1.0, mx_det(rot, 3));
    double upper[9] = {2, 7, 1, 0, 3, 5, 0, 0, 4};
    EXPECT_DOUBLE_EQ(24.0, mx_det(upper, 3));
}

TEST(MatrixDeathTest, DeterminantSizeAndNullPoseMatrix) {
    double m[16] = {0};
    EXPECT_DEATH(mx_det(m, 0), Literal("Assertion failed: r>0 && r<4"));
    EXPECT_DEATH(mx_det(m, 4), Literal("Assertion failed: r>0 && r<4"));
    EXPECT_DEATH(GEO_FreeMatrix(nullptr), Literal("Assertion failed: matrix != ((void *)0)"));
}

struct SizeCase {
    const char *name;
    std::function<long(double *)> run; // writes into the result operand it is given
    const char *message;
};

// Every size rule: the exact message on standard output, 1, and an untouched result.
TEST(MatrixSizes, MismatchPrintsMessageAndLeavesResult) {
    static double a[16], b[16];
    const std::vector<SizeCase> cases = {
        {"mx_mult", [](double *m) { return mx_mult(a, b, m, 2, 3, 2, 2); },
         "mx_mult : incompatible sizes\n"},
        {"mx_trmult", [](double *m) { return mx_trmult(a, b, m, 2, 3, 3, 2); },
         "mx_mult : incompatible sizes\n"},
        {"mx_multtr", [](double *m) { return mx_multtr(a, b, m, 2, 3, 2, 2); },
         "mx_multtr : incompatible sizes\n"},
        {"mx_trmult1", [](double *m) { return mx_trmult1(m, m, 2, 3); },
         "mx_trmult1 : non-square matrix \n"},
        {"mx_trmult2", [](double *m) { return mx_trmult2(m, m, 2, 3); },
         "mx_trmult1 : non-square matrix\n"},
        {"mx_plustr", [](double *m) { return mx_plustr(a, m, 2, 3); },
         "mx_plustr : non_square matrix !!!\n"},
        {"mxs_fill", [](double *m) { return mxs_fill(m, 2, 3, 1.0, 2.0, 3.0); },
         "mxs : non-square symmetrical matrix !!!\n"},
        {"mxs_init", [](double *m) { return mxs_init(m, 2, 3, 1.0); },
         "mxs_init : non-square symmetrical matrix\n"},
        {"mxs_copy", [](double *m) { return mxs_copy(a, m, 2, 3); },
         "mxs_copy : non-square symmetrical matrix\n"},
        {"mxs_plus", [](double *m) { return mxs_plus(a, b, m, 2, 3); },
         "mxs_plus : non-square symetrical matrix !!!\n"},
        {"mxs_diff", [](double *m) { return mxs_diff(a, b, m, 2, 3); },
         "mxs_diff : non-square symetrical matrix !!!\n"},
        {"mxs_mulreal", [](double *m) { return mxs_mulreal(a, 2.0, m, 2, 3); },
         "mxs_mulreal : non-square matrix !!!\n"},
        {"mxs_mult", [](double *m) { return mxs_mult(a, b, m, 2, 2, 3, 3); },
         "mxs_mult : incompatible sizes\n"},
        {"mxfs_copy", [](double *m) { return mxfs_copy(a, m, 2, 3); },
         "mxs_copy : non-square matrix\n"},
        {"mxsf_copy", [](double *m) { return mxsf_copy(a, m, 2, 3); },
         "mxsf_copy : non-square matrix\n"},
        {"mxfs_plus", [](double *m) { return mxfs_plus(a, b, m, 2, 3); },
         "mxfs_plus : non-square matrix !!!\n"},
        {"mxfs_diff", [](double *m) { return mxfs_diff(a, b, m, 2, 3); },
         "mxs : non-square matrix !!!\n"},
        {"mxsf_diff", [](double *m) { return mxsf_diff(a, b, m, 2, 3); },
         "mxs : non-square matrix !!!\n"},
        {"mxsf_mult", [](double *m) { return mxsf_mult(a, b, m, 2, 2, 3, 2); },
         "mxsf_mult : incompatible sizes\n"},
        {"mxsf_mult onto symmetric", [](double *m) { return mxsf_mult(m, b, m, 2, 2, 2, 2); },
         "mxsf_mult : incompatible sizes\n"},
        {"mxsf_multtr", [](double *m) { return mxsf_multtr(a, b, m, 2, 2, 2, 3); },
         "mxsf_multtr : incompatible sizes\n"},
        {"mxsf_multtr onto symmetric", [](double *m) { return mxsf_multtr(m, b, m, 2, 2, 2, 2); },
         "mxsf_multtr : incompatible sizes\n"},
        {"mxfs_mult", [](double *m) { return mxfs_mult(a, b, m, 2, 2, 3, 3); },
         "mxfs_mult : incompatible sizes\n"},
        {"mxfs_mult onto symmetric", [](double *m) { return mxfs_mult(a, m, m, 2, 2, 2, 2); },
         "mxfs_mult : incompatible sizes\n"},
        {"mxfs_trmult", [](double *m) { return mxfs_trmult(a, b, m, 3, 2, 2, 2); },
         "mxfs_trmult : incompatible sizes\n"},
        {"mxfs_trmult onto symmetric", [](double *m) { return mxfs_trmult(a, m, m, 2, 2, 2, 2); },
         "mxfs_trmult : incompatible sizes\n"},
        {"mxfs_trmultm", [](double *m) { return mxfs_trmultm(a, b, m, 3, 2, 2, 2); },
         "mxsf_trmultm : incompatible sizes \n"},
        {"mxfs_mmulttr", [](double *m) { return mxfs_mmulttr(a, b, m, 2, 3, 2, 2); },
         "mxsf_mmulttr : incompatible sizes \n"},
    };
    for (const SizeCase &c : cases) {
        SCOPED_TRACE(c.name);
        double m[16];
        for (int k = 0; k < 16; k++)
            m[k] = 100 + k;
        long result = 0;
        EXPECT_EQ(c.message, Captured([&] { return c.run(m); }, &result));
        EXPECT_EQ(1, result);
        for (int k = 0; k < 16; k++)
            EXPECT_EQ(100 + k, m[k]);
    }
}

// A product written over one of its inputs equals the same product into fresh storage.
struct AliasCase {
    const char *name;
    std::function<long(double *, double *, double *)> run; // (a, b, result)
    int inputs;                                            // 1: result over a; 2: over b
    int size;                                              // result doubles compared
};

TEST(MatrixProducts, InPlaceMatchesOutOfPlace) {
    const std::vector<AliasCase> cases = {
        {"mx_mult over first",
         [](double *a, double *b, double *m) { return mx_mult(a, b, m, 3, 3, 3, 3); }, 1, 9},
        {"mx_mult over second",
         [](double *a, double *b, double *m) { return mx_mult(a, b, m, 3, 3, 3, 3); }, 2, 9},
        {"mx_trmult",
         [](double *a, double *b, double *m) { return mx_trmult(a, b, m, 3, 3, 3, 3); }, 1, 9},
        {"mx_multtr",
         [](double *a, double *b, double *m) { return mx_multtr(a, b, m, 3, 3, 3, 3); }, 2, 9},
        {"mx_trans", [](double *a, double *, double *m) { return mx_trans(a, m, 3, 3); }, 1, 9},
        {"mx_trmult1", [](double *a, double *, double *m) { return mx_trmult1(a, m, 3, 3); }, 1, 6},
        {"mx_trmult2", [](double *a, double *, double *m) { return mx_trmult2(a, m, 3, 3); }, 1, 6},
        {"mxs_mult", [](double *a, double *b, double *m) { return mxs_mult(a, b, m, 3, 3, 3, 3); },
         1, 9},
        {"mxsf_mult",
         [](double *a, double *b, double *m) { return mxsf_mult(a, b, m, 3, 3, 3, 3); }, 2, 9},
        {"mxsf_multtr",
         [](double *a, double *b, double *m) { return mxsf_multtr(a, b, m, 3, 3, 3, 3); }, 2, 9},
        {"mxfs_mult",
         [](double *a, double *b, double *m) { return mxfs_mult(a, b, m, 3, 3, 3, 3); }, 1, 9},
        {"mxfs_trmult",
         [](double *a, double *b, double *m) { return mxfs_trmult(a, b, m, 3, 3, 3, 3); }, 1, 9},
        {"mxfs_trmultm",
         [](double *a, double *b, double *m) { return mxfs_trmultm(a, b, m, 3, 3, 3, 3); }, 2, 6},
        {"mxfs_mmulttr",
         [](double *a, double *b, double *m) { return mxfs_mmulttr(a, b, m, 3, 3, 3, 3); }, 1, 6},
    };
    const double A[9] = {1, 2, 0, -1, 3, 4, 2, -2, 5};
    const double B[9] = {2, -1, 3, 0, 4, 1, -3, 2, 6};
    for (const AliasCase &c : cases) {
        SCOPED_TRACE(c.name);
        double a[9], b[9], fresh[9] = {0};
        mxcopy(A, a, 9);
        mxcopy(B, b, 9);
        ASSERT_EQ(0, c.run(a, b, fresh));
        double *over = (c.inputs == 1) ? a : b;
        ASSERT_EQ(0, c.run(a, b, over));
        for (int k = 0; k < c.size; k++)
            EXPECT_DOUBLE_EQ(fresh[k], over[k]) << "element " << k;
    }
}

TEST(MatrixProducts, ValuesOfProductsAndTransposes) {
    double a[6] = {1, 2, 3, 4, 5, 6}; // 2 x 3
    double b[6] = {1, 0, 0, 1, 1, 1}; // 3 x 2
    double m[9];
    ASSERT_EQ(0, mx_mult(a, b, m, 2, 3, 3, 2));
    EXPECT_EQ((std::vector<double>{4, 5, 10, 11}), std::vector<double>(m, m + 4));
    ASSERT_EQ(0, mx_trans(a, a, 2, 3)); // now 3 x 2
    EXPECT_EQ((std::vector<double>{1, 4, 2, 5, 3, 6}), std::vector<double>(a, a + 6));
    ASSERT_EQ(0, mx_trmult(a, b, m, 3, 2, 3, 2)); // (3x2)' (3x2) = 2 x 2
    EXPECT_EQ((std::vector<double>{4, 5, 10, 11}), std::vector<double>(m, m + 4));
    ASSERT_EQ(0, mx_multtr(b, b, m, 3, 2, 3, 2)); // b b' = 3 x 3
    EXPECT_EQ((std::vector<double>{1, 0, 1, 0, 1, 1, 1, 1, 2}), std::vector<double>(m, m + 9));
    // a' a of the 3 x 2 [1 4; 2 5; 3 6] packed: 14, 32, 77.
    ASSERT_EQ(0, mx_trmult1(a, m, 3, 2));
    EXPECT_EQ((std::vector<double>{14, 32, 77}), std::vector<double>(m, m + 3));
    double sq[4] = {1, 2, 3, 4};
    ASSERT_EQ(0, mx_plustr(sq, m, 2, 2));
    EXPECT_EQ((std::vector<double>{2, 5, 8}), std::vector<double>(m, m + 3));
}

// The sandwich products agree with the same product built from full operations.
TEST(MatrixProducts, SandwichesMatchFullForm) {
    const double f[6] = {1, 2, -1, 0, 3, 1}; // 3 x 2 (and, read as 2 x 3, the other operand)
    double s[6];
    mxs_fill(s, 3, 3, 2.0, -1.0, 0.5, 3.0, 1.0, 4.0);
    double sfull[9], t[9], full[9], packed[6], expected[6];
    mxsf_copy(s, sfull, 3, 3);

    ASSERT_EQ(0, mxfs_trmultm(const_cast<double *>(f), s, packed, 3, 2, 3, 3));
    mx_trmult(const_cast<double *>(f), sfull, t, 3, 2, 3, 3); // 2 x 3
    mx_mult(t, const_cast<double *>(f), full, 2, 3, 3, 2);    // 2 x 2
    mxfs_copy(full, expected, 2, 2);
    for (int k = 0; k < 3; k++)
        EXPECT_NEAR(expected[k], packed[k], 1e-12) << k;

    ASSERT_EQ(0, mxfs_mmulttr(const_cast<double *>(f), s, packed, 2, 3, 3, 3));
    mx_mult(const_cast<double *>(f), sfull, t, 2, 3, 3, 3);  // 2 x 3
    mx_multtr(t, const_cast<double *>(f), full, 2, 3, 2, 3); // 2 x 2
    mxfs_copy(full, expected, 2, 2);
    for (int k = 0; k < 3; k++)
        EXPECT_NEAR(expected[k], packed[k], 1e-12) << k;
}

TEST(MatrixPacked, FillCopyAndMixedForms) {
    double s[6];
    ASSERT_EQ(0, mxs_fill(s, 3, 3, 1.0, 2.0, 3.0, 4.0, 5.0, 6.0));
    double full[9];
    ASSERT_EQ(0, mxsf_copy(s, full, 3, 3));
    EXPECT_EQ((std::vector<double>{1, 2, 3, 2, 4, 5, 3, 5, 6}),
              std::vector<double>(full, full + 9));
    // The packed copy of a full matrix keeps its upper triangle.
    double f[9] = {1, 2, 3, 90, 4, 5, 91, 92, 6}, back[6];
    ASSERT_EQ(0, mxfs_copy(f, back, 3, 3));
    EXPECT_EQ(std::vector<double>(s, s + 6), std::vector<double>(back, back + 6));
    double m[9];
    ASSERT_EQ(0, mxfs_plus(full, s, m, 3, 3));
    EXPECT_EQ(10.0, m[1 * 3 + 2]);
    ASSERT_EQ(0, mxfs_diff(full, s, m, 3, 3));
    EXPECT_EQ(0.0, m[2 * 3 + 1]);
    ASSERT_EQ(0, mxsf_diff(s, full, m, 3, 3));
    EXPECT_EQ(0.0, m[0]);
    ASSERT_EQ(0, mxs_mulreal(s, 2.0, m, 3, 3));
    EXPECT_EQ(12.0, m[5]);
}

TEST(MatrixPrint, FullAndPackedRows) {
    double s[6];
    mxs_fill(s, 3, 3, 1.0, 2.0, 3.0, 4.0, 5.0, 6.0);
    long result = 0;
    EXPECT_EQ(" [ 1.0000000000e+00 2.0000000000e+00 3.0000000000e+00 ]\n"
              " [ 2.0000000000e+00 4.0000000000e+00 5.0000000000e+00 ]\n"
              " [ 3.0000000000e+00 5.0000000000e+00 6.0000000000e+00 ]\n",
              Captured([&] { return mxs_print(s, 3, 3); }, &result));
    double m[2] = {-0.5, 12345.678};
    EXPECT_EQ(" [ -5.0000000000e-01 1.2345678000e+04 ]\n",
              Captured([&] { return mx_print(m, 1, 2); }, &result));
}

struct CompareCase {
    const char *name;
    std::vector<double> x, y;
    long inf; // mx_inf(x, y)
};

TEST(MatrixCompare, StrictlyLessEverywhere) {
    const double nan = NAN;
    const std::vector<CompareCase> cases = {
        {"equal", {1, 2, 3, 4}, {1, 2, 3, 4}, 0},
        {"all less", {0, 1, 2, 3}, {1, 2, 3, 4}, 1},
        {"last equal", {0, 1, 2, 4}, {1, 2, 3, 4}, 0},
        {"NaN", {0, nan, 2, 3}, {1, 2, 3, 4}, 0},
    };
    for (const CompareCase &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.inf, mx_inf(c.x.data(), c.y.data(), 2, 2));
    }
    double s1[6], s2[6], tol[6];
    mxs_fill(s1, 3, 3, 1.0, 2.0, 3.0, 4.0, 5.0, 6.0);
    mxs_copy(s1, s2, 3, 3);
    mxs_init(tol, 3, 3, 0.5);
    EXPECT_EQ(1, mxs_diff_abs_inf(s1, s2, tol, 3, 3));
    s2[4] += 0.5;
    EXPECT_EQ(0, mxs_diff_abs_inf(s1, s2, tol, 3, 3));
    EXPECT_EQ(0, mxs_inf(s1, s1, 3, 3));
    double full1[4] = {1, 2, 3, 4}, full2[4] = {1.1, 2.1, 2.9, 4}, ftol[4];
    mx_init(ftol, 2, 2, 0.2);
    EXPECT_EQ(1, mx_diff_abs_inf(full1, full2, ftol, 2, 2));
    ftol[3] = 0;
    EXPECT_EQ(0, mx_diff_abs_inf(full1, full2, ftol, 2, 2));
}

// The scratch buffer's growth is process state, so these run in a fresh process each.
class ScratchDeathTest : public testing::Test {
  protected:
    void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};

TEST_F(ScratchDeathTest, FirstBufferHasSlackAndLaterOnesAreExact) {
    EXPECT_EXIT(
        {
            double *first = F_alloctemp(5);
            bool slack = first != nullptr && F_alloctemp(25) == first;
            double *grown = F_alloctemp(26);
            bool exact = grown != nullptr && F_alloctemp(26) == grown;
            exit(slack && exact ? 0 : 1);
        },
        testing::ExitedWithCode(0), "");
}

// Out of memory in the scratch buffer: the operation fails with 1, writes nothing, and the
// buffer it had is kept.
bool ScratchFailureIsReported() {
    double *small = F_alloctemp(4);
    mx_set_allocator(FailAlloc);
    bool kept = F_alloctemp(1000) == nullptr && F_alloctemp(4) == small;
    std::vector<double> a(2000, 1.0), b(4, 2.0), m(4, 7.0);
    bool failed = mx_trans(a.data(), a.data(), 40, 50) == 1;
    failed = failed && mx_mult(a.data(), a.data(), a.data(), 40, 40, 40, 40) == 1;
    failed = failed && mxfs_trmultm(a.data(), a.data(), a.data(), 40, 40, 40, 40) == 1;
    failed = failed && a == std::vector<double>(2000, 1.0);
    // Without aliasing no buffer is needed, so the product still works.
    bool direct = mx_mult(b.data(), b.data(), m.data(), 2, 2, 2, 2) == 0 && m[0] == 8;
    mx_set_allocator(nullptr);
    return kept && failed && direct;
}

TEST_F(ScratchDeathTest, OutOfMemoryFailsTheOperation) {
    EXPECT_EXIT(exit(ScratchFailureIsReported() ? 0 : 1), testing::ExitedWithCode(0), "");
}

TEST(PoseMatrixPool, ReusesReleasedMatrices) {
    MATRIX *first = GEO_AllocMatrix();
    ASSERT_NE(nullptr, first);
    mx_fill(*first, 3, 3, 1.0, -0.0, 100.0, 0.0, 1.0, 0.0, 0.0, 0.0, 1.0);
    MATRIX *second = GEO_AllocMatrix();
    ASSERT_NE(nullptr, second);
    EXPECT_NE(first, second);
    GEO_FreeMatrix(first);
    EXPECT_EQ(first, GEO_AllocMatrix()); // last in, first out
    GEO_FreeMatrix(first);
    GEO_FreeMatrix(second);
}

TEST_F(ScratchDeathTest, PoseMatrixPoolThatCannotGrowGivesNull) {
    EXPECT_EXIT(
        {
            MEM_SetAllocator(FailAlloc);
            exit(GEO_AllocMatrix() == nullptr ? 0 : 1);
        },
        testing::ExitedWithCode(0), "");
}

} // namespace
