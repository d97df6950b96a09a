#include "Affine.h"

#include <cmath>

namespace {

// The letters of +x, +y, +z and of -x, -y, -z.
constexpr char kPositive[3] = {'R', 'A', 'S'};
constexpr char kNegative[3] = {'L', 'P', 'I'};

double Length(const CAffine::Vector& v) {
    return std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
}

char Letter(int axis, double component) {
    return component >= 0 ? kPositive[axis] : kNegative[axis];
}

}  // namespace

CAffine::CAffine() : CAffine(Diagonal(1.0, 1.0, 1.0)) {}

CAffine::CAffine(const Matrix& matrix) : m_rows(matrix) {
    m_rows[3] = {0.0, 0.0, 0.0, 1.0};
}

CAffine CAffine::Diagonal(double x, double y, double z) {
    Matrix m{};
    m[0][0] = x;
    m[1][1] = y;
    m[2][2] = z;
    m[3][3] = 1.0;
    return CAffine(m);
}

CAffine::Vector CAffine::Apply(const Vector& voxel) const {
    Vector p{};
    for (int r = 0; r < 3; ++r)
        p[r] = m_rows[r][0] * voxel[0] + m_rows[r][1] * voxel[1] + m_rows[r][2] * voxel[2] + m_rows[r][3];
    return p;
}

CAffine::Vector CAffine::Step(int axis) const {
    return {m_rows[0][axis], m_rows[1][axis], m_rows[2][axis]};
}

CAffine::Vector CAffine::Origin() const {
    return {m_rows[0][3], m_rows[1][3], m_rows[2][3]};
}

CAffine CAffine::Then(const CAffine& first) const {
    Matrix m{};
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            for (int k = 0; k < 4; ++k) m[r][c] += m_rows[r][k] * first.m_rows[k][c];
    return CAffine(m);
}

std::optional<CAffine> CAffine::Inverse() const {
    const Matrix& a = m_rows;
    // The adjugate of the 3 x 3 part over its determinant.
    const double c00 = a[1][1] * a[2][2] - a[1][2] * a[2][1];
    const double c01 = a[1][2] * a[2][0] - a[1][0] * a[2][2];
    const double c02 = a[1][0] * a[2][1] - a[1][1] * a[2][0];
    const double det = a[0][0] * c00 + a[0][1] * c01 + a[0][2] * c02;
    if (!std::isfinite(det) || det == 0.0) return std::nullopt;
    Matrix inv{};
    inv[0][0] = c00 / det;
    inv[0][1] = (a[0][2] * a[2][1] - a[0][1] * a[2][2]) / det;
    inv[0][2] = (a[0][1] * a[1][2] - a[0][2] * a[1][1]) / det;
    inv[1][0] = c01 / det;
    inv[1][1] = (a[0][0] * a[2][2] - a[0][2] * a[2][0]) / det;
    inv[1][2] = (a[0][2] * a[1][0] - a[0][0] * a[1][2]) / det;
    inv[2][0] = c02 / det;
    inv[2][1] = (a[0][1] * a[2][0] - a[0][0] * a[2][1]) / det;
    inv[2][2] = (a[0][0] * a[1][1] - a[0][1] * a[1][0]) / det;
    for (int r = 0; r < 3; ++r)
        inv[r][3] = -(inv[r][0] * a[0][3] + inv[r][1] * a[1][3] + inv[r][2] * a[2][3]);
    inv[3][3] = 1.0;
    return CAffine(inv);
}

CAffine CAffine::WithStepLengths(double x, double y, double z) const {
    const double lengths[3] = {x, y, z};
    Matrix m = m_rows;
    for (int c = 0; c < 3; ++c) {
        const double now = Length(Step(c));
        if (now == 0.0) continue;
        for (int r = 0; r < 3; ++r) m[r][c] *= lengths[c] / now;
    }
    return CAffine(m);
}

std::string CAffine::AxisCodes() const {
    // |cosine| between each voxel axis and each patient axis.
    double lean[3][3] = {};
    for (int c = 0; c < 3; ++c) {
        const Vector step = Step(c);
        const double length = Length(step);
        for (int r = 0; r < 3; ++r) lean[c][r] = length > 0 ? std::fabs(step[r]) / length : 0.0;
    }
    std::string codes = "???";
    bool axisTaken[3] = {}, patientTaken[3] = {};
    for (int pass = 0; pass < 3; ++pass) {
        int bestAxis = -1, bestPatient = -1;
        double best = -1.0;
        for (int c = 0; c < 3; ++c)
            for (int r = 0; r < 3; ++r)
                if (!axisTaken[c] && !patientTaken[r] && lean[c][r] > best) {
                    best = lean[c][r];
                    bestAxis = c;
                    bestPatient = r;
                }
        axisTaken[bestAxis] = patientTaken[bestPatient] = true;
        codes[static_cast<size_t>(bestAxis)] = Letter(bestPatient, m_rows[bestPatient][bestAxis]);
    }
    return codes;
}

std::string CAffine::DirectionLetters(const Vector& direction) {
    const double length = Length(direction);
    if (!(length > 0) || !std::isfinite(length)) return "";
    int order[3] = {0, 1, 2};
    // The patient axes by how much the direction leans on them.
    for (int i = 0; i < 3; ++i)
        for (int j = i + 1; j < 3; ++j)
            if (std::fabs(direction[order[j]]) > std::fabs(direction[order[i]])) std::swap(order[i], order[j]);
    std::string letters(1, Letter(order[0], direction[order[0]]));
    const double cos30 = std::sqrt(3.0) / 2.0;
    if (std::fabs(direction[order[0]]) / length < cos30) letters += Letter(order[1], direction[order[1]]);
    return letters;
}
