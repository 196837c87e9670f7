/* Points, vectors, boxes and transforms of the kernel. */
#include "kernel_types.h"

#include <algorithm>
#include <cmath>

double vector::len() const { return std::sqrt(c_[0] * c_[0] + c_[1] * c_[1] + c_[2] * c_[2]); }

unit_vector::unit_vector(double x, double y, double z) : vector(x, y, z) {
    double l = len();
    if (l > 0)
        *static_cast<vector *>(this) = vector(x / l, y / l, z / l);
}

vector operator-(const position &a, const position &b) {
    return vector(a.x() - b.x(), a.y() - b.y(), a.z() - b.z());
}
position operator+(const position &p, const vector &v) {
    return position(p.x() + v.x(), p.y() + v.y(), p.z() + v.z());
}
position operator-(const position &p, const vector &v) {
    return position(p.x() - v.x(), p.y() - v.y(), p.z() - v.z());
}
position operator*(const position &p, double s) {
    return position(p.x() * s, p.y() * s, p.z() * s);
}
vector operator+(const vector &a, const vector &b) {
    return vector(a.x() + b.x(), a.y() + b.y(), a.z() + b.z());
}
vector operator-(const vector &a, const vector &b) {
    return vector(a.x() - b.x(), a.y() - b.y(), a.z() - b.z());
}
vector operator-(const vector &a) { return vector(-a.x(), -a.y(), -a.z()); }
vector operator*(const vector &v, double s) { return vector(v.x() * s, v.y() * s, v.z() * s); }
vector operator*(double s, const vector &v) { return v * s; }
vector operator/(const vector &v, double s) { return vector(v.x() / s, v.y() / s, v.z() / s); }
double operator%(const vector &a, const vector &b) {
    return a.x() * b.x() + a.y() * b.y() + a.z() * b.z();
}
vector operator*(const vector &a, const vector &b) {
    return vector(a.y() * b.z() - a.z() * b.y(), a.z() * b.x() - a.x() * b.z(),
                  a.x() * b.y() - a.y() * b.x());
}
unit_vector normalise(const vector &v) { return unit_vector(v.x(), v.y(), v.z()); }

box::box() : empty_(true) {}

box::box(const position &low, const position &high) : empty_(false) {
    for (int i = 0; i < 3; ++i) {
        low_.set_coordinate(i, std::min(low.coordinate(i), high.coordinate(i)));
        high_.set_coordinate(i, std::max(low.coordinate(i), high.coordinate(i)));
    }
}

position box::mid() const {
    if (empty_)
        return position();
    return position((low_.x() + high_.x()) / 2, (low_.y() + high_.y()) / 2,
                    (low_.z() + high_.z()) / 2);
}

box &box::operator|=(const box &other) {
    if (other.empty_)
        return *this;
    if (empty_)
        return *this = other;
    for (int i = 0; i < 3; ++i) {
        low_.set_coordinate(i, std::min(low_.coordinate(i), other.low_.coordinate(i)));
        high_.set_coordinate(i, std::max(high_.coordinate(i), other.high_.coordinate(i)));
    }
    return *this;
}

box operator|(const box &a, const box &b) {
    box r = a;
    r |= b;
    return r;
}

SPAtransf::SPAtransf() : m_{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}, t_{0, 0, 0} {}

position SPAtransf::transform(const position &p) const {
    double out[3];
    for (int r = 0; r < 3; ++r)
        out[r] = m_[r][0] * p.x() + m_[r][1] * p.y() + m_[r][2] * p.z() + t_[r];
    return position(out[0], out[1], out[2]);
}

vector SPAtransf::transform(const vector &v) const {
    double out[3];
    for (int r = 0; r < 3; ++r)
        out[r] = m_[r][0] * v.x() + m_[r][1] * v.y() + m_[r][2] * v.z();
    return vector(out[0], out[1], out[2]);
}

bool SPAtransf::identity() const {
    for (int r = 0; r < 3; ++r) {
        if (t_[r] != 0)
            return false;
        for (int c = 0; c < 3; ++c)
            if (m_[r][c] != (r == c ? 1.0 : 0.0))
                return false;
    }
    return true;
}

SPAtransf operator*(const SPAtransf &first, const SPAtransf &then) {
    SPAtransf out;
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c) {
            double s = 0;
            for (int k = 0; k < 3; ++k)
                s += then.m_[r][k] * first.m_[k][c];
            out.m_[r][c] = s;
        }
        double s = then.t_[r];
        for (int k = 0; k < 3; ++k)
            s += then.m_[r][k] * first.t_[k];
        out.t_[r] = s;
    }
    return out;
}

SPAtransf rotate_transf(double angle, const vector &axis) {
    SPAtransf out;
    unit_vector u = normalise(axis);
    if (u.len() == 0)
        return out;
    double c = std::cos(angle), s = std::sin(angle), k = 1 - c;
    double x = u.x(), y = u.y(), z = u.z();
    double m[3][3] = {{c + x * x * k, x * y * k - z * s, x * z * k + y * s},
                      {y * x * k + z * s, c + y * y * k, y * z * k - x * s},
                      {z * x * k - y * s, z * y * k + x * s, c + z * z * k}};
    for (int r = 0; r < 3; ++r)
        for (int col = 0; col < 3; ++col)
            out.m_[r][col] = m[r][col];
    return out;
}

SPAtransf scale_transf(double factor) {
    SPAtransf out;
    for (int i = 0; i < 3; ++i)
        out.m_[i][i] = factor;
    return out;
}

SPAtransf translate_transf(const vector &offset) {
    SPAtransf out;
    for (int i = 0; i < 3; ++i)
        out.t_[i] = offset.coordinate(i);
    return out;
}
