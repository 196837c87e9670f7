// Whole-record comparison of a robot state block: every field of the state record and of the
// description record by name, a fill that gives every field a value of its own, and a readable
// difference of two records.
#ifndef ROVAK_TESTS_RECORD_FIELDS_H
#define ROVAK_TESTS_RECORD_FIELDS_H

#include "robot_state.h"

#include <string>
#include <utility>
#include <vector>

namespace records {

// One field of a record: its path ("AxisSet.Axis[1].TrajectoryPosition"; description record
// fields start with "ext.") and its value as text (integers in decimal, doubles in the shortest
// text that reads back exactly, strings quoted, "null" for a missing string or pose matrix).
struct Field {
    std::string name;
    std::string value;
};
using Fields = std::vector<Field>;

// Every field of the block's two records, in declaration order. A pose matrix counts as its
// nine elements, each "null" when the matrix is missing, so every block has the same fields.
Fields fields_of(const HCLNT_UserData &block);

// Gives every field of both records a value of its own, distinct from the others and from 0 and
// 1 (so that a flag written, even with 0 or 1, always shows); strings and pose matrices are
// allocated as the block owns them. Counts hold such values too: set them afterwards.
void fill_distinct(HCLNT_UserData &block);

// The text a field of each kind holds, for writing expected values.
std::string text(long long v);
std::string text_double(double v);
std::string text_string(const char *s);

// Applies changes (path, value) to fields; a path that names no field is reported in *unknown.
Fields with_changes(Fields fields, const std::vector<std::pair<std::string, std::string>> &changes,
                    std::string *unknown);

// "" when the two lists agree; otherwise one line per differing field: its path, the expected
// value, the value found and the value it had before (fields of equal length and order).
std::string diff(const Fields &before, const Fields &expected, const Fields &found);

} // namespace records

#endif
