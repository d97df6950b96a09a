#pragma once

#include <cstdint>
#include <string>
#include <vector>

class CLabelImage;
class CTimeVolume;

// A beating left ventricle in a cine stack of short-axis slices: a bright
// blood pool (label 1) inside a textured ring of myocardium (label 2) whose
// texture moves with the tissue, in a textured background that stays still,
// with noise added. The ring's inner radius follows a smooth curve from end
// diastole (frame 0) to end systole and back; the ring keeps its area, so it
// thickens as it contracts, and it narrows towards the apex (the last
// slice). The true labels of every frame come with it.
struct CCardiacPhantomShape {
    int sizeX = 96, sizeY = 96, sizeZ = 12, frames = 25;
    double diastolicRadius = 20.0;  // inner radius at frame 0, pixels, in the base slice
    double systolicRadius = 13.0;
    double systolicFrame = 9.5;  // when the radius is smallest
    double wall = 7.0;           // ring thickness at end diastole
    double noise = 20.0;         // standard deviation of the noise, in values
    uint32_t seed = 1;

    // The same phantom on a grid `factor` times as large in-plane.
    CCardiacPhantomShape ScaledInPlane(double factor) const;
};

class CCardiacPhantom {
public:
    static constexpr int64_t kBlood = 1;
    static constexpr int64_t kMuscle = 2;

    explicit CCardiacPhantom(const CCardiacPhantomShape& shape = {}) : m_shape(shape) {}
    const CCardiacPhantomShape& Shape() const { return m_shape; }

    // The blood pool's radius in slice z at frame t (fractional frames allowed).
    double BloodRadius(int z, double t) const;
    // The true label of voxel (x, y, z) in frame t.
    int64_t Label(int x, int y, int z, int t) const;
    // The value of voxel (x, y, z) in frame t, 0 to 65535.
    uint16_t Value(int x, int y, int z, int t) const;

    // Loads the phantom into `volume` (samples are values). False with `error` when it cannot.
    bool Load(CTimeVolume& volume, std::string& error) const;
    // The true labels of the frames `shown`, background in the rest; every
    // frame's when `shown` is empty.
    CLabelImage Labels(const std::vector<int>& shown = {}) const;

private:
    double ScaleOfSlice(int z) const;

    CCardiacPhantomShape m_shape;
};
