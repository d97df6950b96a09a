// libgiftiio's side of CMeshCodec, built as the orvanta-gifti module: only
// this file includes the GIfTI library (and with it the NIfTI-1 headers,
// which the rest of the program, reading NIfTI-2, must not see).

extern "C" {
#include <gifti_io.h>
}

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <mutex>
#include <new>
#include <stdexcept>

#include "MemoryFile.h"
#include "MeshCodec.h"

namespace {

// A surface file larger than this is refused before its data are read: a
// compressed array can claim any size, and memory is taken for what it claims.
constexpr long long kMaxPoints = 50'000'000;
constexpr long long kMaxTriangles = 100'000'000;

struct ImageFree {
    void operator()(gifti_image* image) const { gifti_free_image(image); }
};
using ImagePtr = std::unique_ptr<gifti_image, ImageFree>;

char* Copy(const char* text) {
    char* copy = gifti_strdup(text);
    if (copy == nullptr) throw std::bad_alloc();
    return copy;
}

// The one array of `intent` the file must hold as a table of n rows of three.
giiDataArray* SurfaceArray(gifti_image* image, int intent, const char* what, long long maximum) {
    giiDataArray* array = gifti_find_DA(image, intent, 0);
    if (array == nullptr)
        throw std::runtime_error(std::string("it holds no ") + what + ": it is not a surface");
    if (array->num_dim != 2 || array->dims[1] != 3 || array->dims[0] < 0)
        throw std::runtime_error(std::string("its ") + what + " are not a table of three columns");
    if (array->dims[0] > maximum) throw std::runtime_error(std::string("it has too many ") + what);
    if (array->encoding == GIFTI_ENCODING_EXTBIN)
        throw std::runtime_error(std::string("its ") + what + " are kept in another file, which is not read");
    if (array->ind_ord != GIFTI_IND_ORD_ROW_MAJOR && array->ind_ord != GIFTI_IND_ORD_COL_MAJOR)
        throw std::runtime_error(std::string("its ") + what + " have no valid index order");
    return array;
}

// Value (row, column) of a three-column table held in either index order.
template <typename T>
T At(const giiDataArray* array, long long row, int column) {
    const long long rows = array->dims[0];
    const long long index =
        array->ind_ord == GIFTI_IND_ORD_ROW_MAJOR ? row * 3 + column : column * rows + row;
    return static_cast<const T*>(array->data)[index];
}

// Checks that the data read match what the array claims, since the library
// fills them as the file says.
void CheckData(const giiDataArray* array, const char* what) {
    if (array->data == nullptr || array->nvals != array->dims[0] * 3)
        throw std::runtime_error(std::string("its ") + what + " could not be read");
}

class CGiftiMeshCodec final : public CMeshCodec {
public:
    CGiftiMeshCodec() {
        gifti_set_verb(0);
        // The fastest compression: the library's default level takes several
        // times as long for files a few percent smaller.
        gifti_set_zlevel(1);
    }

    std::string Encode(const std::vector<const CMeshObject*>& objects, EMeshFormat) const override {
        // The library keeps settings and messages in globals.
        const std::lock_guard<std::mutex> hold(m_lock);
        long long pointCount = 0;
        long long triangleCount = 0;
        for (const CMeshObject* object : objects) {
            pointCount += static_cast<long long>(object->m_vertices.size());
            for (const Triangle& t : object->m_triangles)
                triangleCount += Valid(t, object->m_vertices.size());
        }
        if (pointCount > kMaxPoints || triangleCount > kMaxTriangles)
            throw std::runtime_error("the meshes are too large for a GIfTI file");

        const int pointDims[2] = {static_cast<int>(pointCount), 3};
        ImagePtr image(gifti_create_image(2, NIFTI_INTENT_POINTSET, NIFTI_TYPE_FLOAT32, 2, pointDims, 0));
        if (!image) throw std::runtime_error("the GIfTI library cannot make a surface");
        giiDataArray* points = image->darray[0];
        giiDataArray* triangles = image->darray[1];
        triangles->intent = NIFTI_INTENT_TRIANGLE;
        triangles->datatype = NIFTI_TYPE_INT32;
        triangles->dims[0] = static_cast<int>(triangleCount);
        triangles->nvals = triangleCount * 3;
        for (giiDataArray* array : {points, triangles}) {
            array->encoding = GIFTI_ENCODING_B64GZ;
            array->endian = gifti_get_this_endian();
            array->ind_ord = GIFTI_IND_ORD_ROW_MAJOR;
        }
        if (gifti_update_nbyper(image.get()) != 0 || gifti_alloc_DA_data(image.get(), nullptr, 0) != 0)
            throw std::bad_alloc();
        // Coordinates are the viewer's millimetres, in no standard space.
        if (gifti_add_empty_CS(points) != 0) throw std::bad_alloc();
        giiCoordSystem* space = points->coordsys[0];
        space->dataspace = Copy("NIFTI_XFORM_UNKNOWN");
        space->xformspace = Copy("NIFTI_XFORM_UNKNOWN");
        for (int i = 0; i < 4; ++i)
            for (int j = 0; j < 4; ++j) space->xform[i][j] = i == j ? 1.0 : 0.0;

        float* xyz = static_cast<float*>(points->data);
        int32_t* corners = static_cast<int32_t*>(triangles->data);
        int32_t first = 0;
        for (const CMeshObject* object : objects) {
            for (const Vec3d& v : object->m_vertices) {
                *xyz++ = static_cast<float>(v.x);
                *xyz++ = static_cast<float>(v.y);
                *xyz++ = static_cast<float>(v.z);
            }
            for (const Triangle& t : object->m_triangles)
                if (Valid(t, object->m_vertices.size()))
                    for (int corner = 0; corner < 3; ++corner) *corners++ = first + t.v[corner];
            first += static_cast<int32_t>(object->m_vertices.size());
        }

        // The library writes to a named file and does not check its writes.
        CMemoryFile file;
        if (gifti_write_image(image.get(), file.Path().c_str(), 1) != 0)
            throw std::runtime_error("the GIfTI library cannot write the surface");
        return file.Bytes();
    }

    std::vector<CMeshObject> Decode(const std::string& path, EMeshFormat,
                                    const std::string& name) const override {
        const std::lock_guard<std::mutex> hold(m_lock);
        // The sizes are checked before any data are read, then again on the
        // data, in case the file changed in between.
        ImagePtr header(gifti_read_image(path.c_str(), 0));
        if (!header) throw std::runtime_error("it is not a GIfTI file the GIfTI library can read");
        SurfaceArray(header.get(), NIFTI_INTENT_POINTSET, "vertices", kMaxPoints);
        SurfaceArray(header.get(), NIFTI_INTENT_TRIANGLE, "triangles", kMaxTriangles);
        header.reset();

        ImagePtr image(gifti_read_image(path.c_str(), 1));
        if (!image) throw std::runtime_error("its data cannot be read");
        const giiDataArray* points = SurfaceArray(image.get(), NIFTI_INTENT_POINTSET, "vertices", kMaxPoints);
        const giiDataArray* triangles =
            SurfaceArray(image.get(), NIFTI_INTENT_TRIANGLE, "triangles", kMaxTriangles);
        CheckData(points, "vertices");
        CheckData(triangles, "triangles");

        CMeshObject object(name);
        const long long pointCount = points->dims[0];
        object.m_vertices.reserve(static_cast<size_t>(pointCount));
        for (long long i = 0; i < pointCount; ++i) {
            double p[3];
            for (int c = 0; c < 3; ++c) p[c] = Coordinate(points, i, c);
            if (!std::isfinite(p[0]) || !std::isfinite(p[1]) || !std::isfinite(p[2]))
                throw std::runtime_error("vertex " + std::to_string(i) +
                                         " has a coordinate that is not a number");
            object.m_vertices.push_back({p[0], p[1], p[2]});
        }
        const long long triangleCount = triangles->dims[0];
        object.m_triangles.reserve(static_cast<size_t>(triangleCount));
        for (long long i = 0; i < triangleCount; ++i) {
            Triangle t;
            for (int c = 0; c < 3; ++c) {
                const long long corner = Index(triangles, i, c);
                if (corner < 0 || corner >= pointCount)
                    throw std::runtime_error("triangle " + std::to_string(i) +
                                             " names a vertex it does not have");
                t.v[c] = static_cast<int32_t>(corner);
            }
            object.m_triangles.push_back(t);
        }
        std::vector<CMeshObject> objects;
        objects.push_back(std::move(object));
        return objects;
    }

private:
    static bool Valid(const Triangle& t, size_t count) {
        return static_cast<uint32_t>(t.v[0]) < count && static_cast<uint32_t>(t.v[1]) < count &&
               static_cast<uint32_t>(t.v[2]) < count;
    }

    static double Coordinate(const giiDataArray* array, long long row, int column) {
        switch (array->datatype) {
            case NIFTI_TYPE_FLOAT32:
                return At<float>(array, row, column);
            case NIFTI_TYPE_FLOAT64:
                return At<double>(array, row, column);
            default:
                throw std::runtime_error("its vertices are not floating-point numbers");
        }
    }

    static long long Index(const giiDataArray* array, long long row, int column) {
        switch (array->datatype) {
            case NIFTI_TYPE_INT32:
                return At<int32_t>(array, row, column);
            case NIFTI_TYPE_UINT32:
                return At<uint32_t>(array, row, column);
            case NIFTI_TYPE_INT16:
                return At<int16_t>(array, row, column);
            case NIFTI_TYPE_UINT16:
                return At<uint16_t>(array, row, column);
            case NIFTI_TYPE_INT64: {
                const int64_t value = At<int64_t>(array, row, column);
                return value > std::numeric_limits<int32_t>::max() ? -1 : value;
            }
            default:
                throw std::runtime_error("its triangles are not integer vertex numbers");
        }
    }

    mutable std::mutex m_lock;
};

}  // namespace

extern "C" __attribute__((visibility("default"))) const CMeshCodec* OrvantaGiftiCodec() {
    static const CGiftiMeshCodec codec;
    return &codec;
}
