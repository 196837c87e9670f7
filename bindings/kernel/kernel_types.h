/* Value types of the modelling kernel: call outcomes, points, vectors, boxes and transforms.
 *
 * Error convention of the whole kernel layer: every api_ operation returns an outcome. ok() is
 * true on success; on failure error_number() names the cause (kernel_error) and message() says
 * more. A failed operation leaves its inputs as they were and sets its output pointers to null.
 * No exception ever leaves the kernel. */
#ifndef ROVAK_KERNEL_TYPES_H
#define ROVAK_KERNEL_TYPES_H

#include <string>

typedef int logical;

enum kernel_error {
    KERN_OK = 0,
    KERN_NOT_STARTED,      // api_start_modeller has not been called
    KERN_BAD_ARGUMENT,     // NaN, out-of-range size, count or mode
    KERN_NULL_ENTITY,      // a required entity is null or already deleted
    KERN_WRONG_TYPE,       // the entity is not of the kind the operation needs
    KERN_NOT_FOUND,        // nothing at the given position
    KERN_OPERATION_FAILED, // the geometric operation did not succeed
    KERN_INVALID_RESULT,   // the operation produced an invalid solid; the body is unchanged
    KERN_EXCEPTION,        // the underlying modeller raised an exception
    KERN_FILE_ERROR,       // reading or writing the stream failed
    KERN_BAD_FORMAT,       // the SAT text is not in our format
    KERN_NO_MESH_MANAGER,  // faceting without an installed mesh manager
    KERN_OUT_OF_MEMORY     // an allocation failed; see kernel_ran_out_of_memory()
};

// Whether any kernel call has failed for want of memory since the outermost api_start_modeller
// (a nested start, or a stop, keeps the answer). Such a failure can strike any call, so a caller
// that does not test every outcome asks this once before it trusts the bodies it holds.
logical kernel_ran_out_of_memory();

class outcome {
  public:
    outcome() : code_(KERN_OK) {}
    outcome(int code, std::string message) : code_(code), message_(std::move(message)) {}
    // True when the operation succeeded.
    bool ok() const { return code_ == KERN_OK; }
    // The kernel_error of a failure, KERN_OK on success.
    int error_number() const { return code_; }
    // Human-readable cause of a failure; empty on success.
    const char *message() const { return message_.c_str(); }

  private:
    int code_;
    std::string message_;
};

class vector;

// A point in model space.
class position {
  public:
    position() : c_{0, 0, 0} {}
    position(double x, double y, double z) : c_{x, y, z} {}
    double x() const { return c_[0]; }
    double y() const { return c_[1]; }
    double z() const { return c_[2]; }
    // Coordinate i (0 x, 1 y, 2 z).
    double coordinate(int i) const { return c_[i]; }
    void set_coordinate(int i, double v) { c_[i] = v; }

  private:
    double c_[3];
};

// A displacement or direction.
class vector {
  public:
    vector() : c_{0, 0, 0} {}
    vector(double x, double y, double z) : c_{x, y, z} {}
    double x() const { return c_[0]; }
    double y() const { return c_[1]; }
    double z() const { return c_[2]; }
    double coordinate(int i) const { return c_[i]; }
    void set_coordinate(int i, double v) { c_[i] = v; }
    // Euclidean length.
    double len() const;

  private:
    double c_[3];
};

// A vector of length 1 (the zero vector stays zero).
class unit_vector : public vector {
  public:
    unit_vector() : vector(0, 0, 1) {}
    unit_vector(double x, double y, double z);
};

// Surface parameters of a point on a face.
struct par_pos {
    double u;
    double v;
};

vector operator-(const position &a, const position &b);
position operator+(const position &p, const vector &v);
position operator-(const position &p, const vector &v);
// Scales the coordinates of p (a point taken as a vector from the origin).
position operator*(const position &p, double s);
vector operator+(const vector &a, const vector &b);
vector operator-(const vector &a, const vector &b);
vector operator-(const vector &a);
vector operator*(const vector &v, double s);
vector operator*(double s, const vector &v);
vector operator/(const vector &v, double s);
// Dot product.
double operator%(const vector &a, const vector &b);
// Cross product.
vector operator*(const vector &a, const vector &b);
// v scaled to length 1; the zero vector is returned unchanged.
unit_vector normalise(const vector &v);

// An axis-aligned box; a default-constructed box is empty.
class box {
  public:
    box();
    box(const position &low, const position &high);
    const position &low() const { return low_; }
    const position &high() const { return high_; }
    // Centre of the box; the origin for an empty box.
    position mid() const;
    bool empty() const { return empty_; }
    // Grows this box to hold other as well (union).
    box &operator|=(const box &other);

  private:
    position low_;
    position high_;
    bool empty_;
};

box operator|(const box &a, const box &b);

// An affine transform: rotation and uniform scale, then translation.
class SPAtransf {
  public:
    SPAtransf(); // identity
    // Image of a point / a vector (vectors ignore the translation).
    position transform(const position &p) const;
    vector transform(const vector &v) const;
    // Row r, column c of the linear part (0..2), and component i of the translation.
    double linear(int r, int c) const { return m_[r][c]; }
    double translation(int i) const { return t_[i]; }
    bool identity() const;

  private:
    friend SPAtransf operator*(const SPAtransf &first, const SPAtransf &then);
    friend SPAtransf rotate_transf(double angle, const vector &axis);
    friend SPAtransf scale_transf(double factor);
    friend SPAtransf translate_transf(const vector &offset);
    double m_[3][3];
    double t_[3];
};

// The transform that applies first and then then.
SPAtransf operator*(const SPAtransf &first, const SPAtransf &then);
// Rotation by angle (radians, right-handed) about axis through the origin.
SPAtransf rotate_transf(double angle, const vector &axis);
// Uniform scaling about the origin.
SPAtransf scale_transf(double factor);
// Translation by offset.
SPAtransf translate_transf(const vector &offset);

#endif
