#pragma once

#include <array>
#include <optional>
#include <string>

// A map from voxel indices (i = column, j = row, k = slice, each at the
// voxel's centre) to patient millimetres in RAS+, as NIfTI has it: +x points
// to the patient's right, +y to anterior, +z to superior. p = M (i, j, k, 1),
// the last row of M being (0, 0, 0, 1).
class CAffine {
public:
    using Vector = std::array<double, 3>;
    using Matrix = std::array<std::array<double, 4>, 4>;

    CAffine();  // the identity
    explicit CAffine(const Matrix& matrix);
    // Steps of the given lengths along +x, +y and +z, the origin at 0.
    static CAffine Diagonal(double x, double y, double z);

    const Matrix& Rows() const { return m_rows; }
    Vector Apply(const Vector& voxel) const;
    // Where one step along voxel axis `axis` (0 i, 1 j, 2 k) goes: M's column.
    Vector Step(int axis) const;
    Vector Origin() const;
    // M B: B first, then this.
    CAffine Then(const CAffine& first) const;
    // The inverse; nothing when the 3 x 3 part is singular or not finite.
    std::optional<CAffine> Inverse() const;
    // The same origin and directions, each step of the given length.
    CAffine WithStepLengths(double x, double y, double z) const;

    // The patient direction +i, +j and +k point to most, as three letters of
    // RLAPSI ("LPS"): each axis takes the patient axis its step leans on most,
    // the steepest pairs chosen first so that no patient axis is taken twice.
    std::string AxisCodes() const;
    // The letter of the patient direction `direction` points to most, and a
    // second one for the next patient axis when the direction lies more than
    // 30 degrees off its main one ("A", "SR"); "" for no direction.
    static std::string DirectionLetters(const Vector& direction);

private:
    Matrix m_rows;
};
