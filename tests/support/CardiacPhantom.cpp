#include "CardiacPhantom.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "LabelImage.h"
#include "SampleSource.h"
#include "TimeVolume.h"

namespace {

uint32_t Hash(uint32_t a, uint32_t b, uint32_t c, uint32_t d) {
    uint32_t h = a * 0x9E3779B1u ^ (b + 0x7F4A7C15u) * 0x85EBCA77u ^ (c + 0x165667B1u) * 0xC2B2AE3Du ^
                 (d + 0x27D4EB2Fu) * 0x1B873593u;
    h ^= h >> 15;
    h *= 0x2C1B3C6Du;
    h ^= h >> 12;
    h *= 0x297A2D39u;
    return h ^ (h >> 15);
}

// 0 to 1.
double Uniform(uint32_t a, uint32_t b, uint32_t c, uint32_t d) {
    return Hash(a, b, c, d) / 4294967296.0;
}

// Smooth random texture: random values on a unit lattice, bilinearly
// interpolated; -1 to 1.
double Texture(double u, double v, uint32_t seed) {
    const double fu = std::floor(u), fv = std::floor(v);
    const auto iu = static_cast<uint32_t>(static_cast<int64_t>(fu) + 100000);
    const auto iv = static_cast<uint32_t>(static_cast<int64_t>(fv) + 100000);
    const double a = u - fu, b = v - fv;
    const auto at = [&](uint32_t du, uint32_t dv) { return 2.0 * Uniform(iu + du, iv + dv, seed, 7u) - 1.0; };
    return (1 - a) * (1 - b) * at(0, 0) + a * (1 - b) * at(1, 0) + (1 - a) * b * at(0, 1) + a * b * at(1, 1);
}

// The phantom's voxels as a .tvi orders them: x fastest, then y, frames within slices.
class CPhantomSource : public CSampleSource {
public:
    explicit CPhantomSource(const CCardiacPhantom& phantom) : m_phantom(phantom) {
        const CCardiacPhantomShape& shape = phantom.Shape();
        m_sizeX = shape.sizeX;
        m_sizeY = shape.sizeY;
        m_sizeZ = shape.sizeZ;
        m_frames = shape.frames;
        m_calibration.m_pixelSizeX = m_calibration.m_pixelSizeY = 1.5;
        m_calibration.m_pixelSizeZ = 8.0;
        m_calibration.m_frameTime = 40.0;
    }
    void ImagePlace(int64_t image, int32_t& z, int32_t& t) const override {
        z = static_cast<int32_t>(image / m_frames);
        t = static_cast<int32_t>(image % m_frames);
    }
    const uint16_t* Codes(int64_t first, int64_t count, uint16_t* scratch) const override {
        const int64_t plane = int64_t{m_sizeX} * m_sizeY;
        for (int64_t i = 0; i < count; ++i) {
            const int64_t at = first + i, image = at / plane;
            scratch[i] =
                m_phantom.Value(static_cast<int>(at % m_sizeX), static_cast<int>(at / m_sizeX % m_sizeY),
                                static_cast<int>(image / m_frames), static_cast<int>(image % m_frames));
        }
        return scratch;
    }

private:
    const CCardiacPhantom& m_phantom;
};

}  // namespace

CCardiacPhantomShape CCardiacPhantomShape::ScaledInPlane(double factor) const {
    CCardiacPhantomShape scaled = *this;
    scaled.sizeX = static_cast<int>(std::lround(sizeX * factor));
    scaled.sizeY = static_cast<int>(std::lround(sizeY * factor));
    scaled.diastolicRadius *= factor;
    scaled.systolicRadius *= factor;
    scaled.wall *= factor;
    return scaled;
}

double CCardiacPhantom::ScaleOfSlice(int z) const {
    const double apex = m_shape.sizeZ > 1 ? static_cast<double>(z) / (m_shape.sizeZ - 1) : 0.0;
    return 1.0 - 0.25 * apex * apex;
}

double CCardiacPhantom::BloodRadius(int z, double t) const {
    const double frames = m_shape.frames, systole = m_shape.systolicFrame;
    t = std::fmod(std::fmod(t, frames) + frames, frames);
    // Half a cosine down to end systole, half a cosine back up.
    const double rise = t <= systole
                            ? (1.0 + std::cos(std::numbers::pi * t / systole)) / 2.0
                            : (1.0 - std::cos(std::numbers::pi * (t - systole) / (frames - systole))) / 2.0;
    return ScaleOfSlice(z) *
           (m_shape.systolicRadius + (m_shape.diastolicRadius - m_shape.systolicRadius) * rise);
}

namespace {

struct CRing {
    double cx, cy, inner, outer, innerAtRest;
};

CRing RingOf(const CCardiacPhantom& phantom, int z, int t) {
    const CCardiacPhantomShape& shape = phantom.Shape();
    const double innerAtRest = phantom.BloodRadius(z, 0.0);
    const double outerAtRest = innerAtRest + shape.wall * innerAtRest / shape.diastolicRadius;
    const double inner = phantom.BloodRadius(z, t);
    // The muscle keeps its area.
    return {shape.sizeX / 2.0 + 0.3, shape.sizeY / 2.0 - 0.4, inner,
            std::sqrt(inner * inner + outerAtRest * outerAtRest - innerAtRest * innerAtRest), innerAtRest};
}

}  // namespace

int64_t CCardiacPhantom::Label(int x, int y, int z, int t) const {
    const CRing ring = RingOf(*this, z, t);
    const double r = std::hypot(x - ring.cx, y - ring.cy);
    return r < ring.inner ? kBlood : r < ring.outer ? kMuscle : 0;
}

uint16_t CCardiacPhantom::Value(int x, int y, int z, int t) const {
    const CRing ring = RingOf(*this, z, t);
    const double dx = x - ring.cx, dy = y - ring.cy, r = std::hypot(dx, dy);
    const uint32_t seed = m_shape.seed;
    // Texture features about 3 pixels across at 96 pixels, as many at any size.
    const double grain = 3.0 * m_shape.sizeX / 96.0;
    double value;
    if (r < ring.inner) {
        value = 900.0;
    } else if (r < ring.outer) {
        // Where this bit of muscle lies at rest: its texture goes with it.
        const double rest = std::sqrt(r * r - ring.inner * ring.inner + ring.innerAtRest * ring.innerAtRest);
        const double u = dx / r * rest, v = dy / r * rest;
        value = 350.0 + 90.0 * Texture(u / grain, v / grain, seed + static_cast<uint32_t>(z));
    } else {
        value = 580.0 + 160.0 * Texture(x / (1.5 * grain), y / (1.5 * grain),
                                        seed + 1000u + static_cast<uint32_t>(z));
    }
    // The sum of three uniforms has a standard deviation of 1/2.
    const auto ux = static_cast<uint32_t>(x), uy = static_cast<uint32_t>(y);
    const auto uzt = static_cast<uint32_t>(z * 4096 + t);
    const double noise =
        Uniform(ux, uy, uzt, seed) + Uniform(ux, uy, uzt, seed + 1u) + Uniform(ux, uy, uzt, seed + 2u) - 1.5;
    return static_cast<uint16_t>(std::clamp(value + 2.0 * m_shape.noise * noise, 0.0, 65535.0));
}

bool CCardiacPhantom::Load(CTimeVolume& volume, std::string& error) const {
    CPhantomSource source(*this);
    if (volume.Load(source, 1.0)) return true;
    error = volume.LastError();
    return false;
}

CLabelImage CCardiacPhantom::Labels(const std::vector<int>& shown) const {
    const int64_t plane = int64_t{m_shape.sizeX} * m_shape.sizeY, volume = plane * m_shape.sizeZ;
    const auto values = [&](int64_t first, int64_t count, double* out) {
        for (int64_t i = 0; i < count; ++i) {
            const int64_t at = first + i;
            const int t = static_cast<int>(at / volume);
            const bool show = shown.empty() || std::find(shown.begin(), shown.end(), t) != shown.end();
            out[i] = show ? static_cast<double>(Label(static_cast<int>(at % m_shape.sizeX),
                                                      static_cast<int>(at / m_shape.sizeX % m_shape.sizeY),
                                                      static_cast<int>(at % volume / plane), t))
                          : 0.0;
        }
    };
    CLabelImage labels;
    std::string error;
    labels.Assign(values, m_shape.sizeX, m_shape.sizeY, m_shape.sizeZ, m_shape.frames, error);
    return labels;
}
