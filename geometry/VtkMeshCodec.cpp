// VTK's side of CMeshCodec (binary STL, binary PLY, VTK XML polydata), built
// into the orvanta-surface module with VtkSurfaceExtractor.cpp.

#include <vtkCellArray.h>
#include <vtkCellData.h>
#include <vtkDataArray.h>
#include <vtkFieldData.h>
#include <vtkFloatArray.h>
#include <vtkIdTypeArray.h>
#include <vtkIntArray.h>
#include <vtkLogger.h>
#include <vtkNew.h>
#include <vtkOutputWindow.h>
#include <vtkPLYReader.h>
#include <vtkPLYWriter.h>
#include <vtkPointData.h>
#include <vtkPoints.h>
#include <vtkPolyData.h>
#include <vtkSTLReader.h>
#include <vtkSTLWriter.h>
#include <vtkStringArray.h>
#include <vtkTriangleFilter.h>
#include <vtkXMLPolyDataReader.h>
#include <vtkXMLPolyDataWriter.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <mutex>
#include <sstream>
#include <stdexcept>

#include "MemoryFile.h"
#include "MeshCodec.h"
#include "MeshFileCheck.h"

namespace {

constexpr char kObjectIdArray[] = "ObjectId";
constexpr char kObjectNameArray[] = "ObjectName";
// The PLY header comment that lists one object: its vertex count, then its name.
constexpr char kPlyObjectComment[] = "orvanta-object ";

// VTK reports errors to its output window. This one shows nothing (the
// program reports failures itself) and keeps the last error of each thread,
// so a failed read or write can say why.
class CQuietOutputWindow : public vtkOutputWindow {
public:
    static CQuietOutputWindow* New() { return new CQuietOutputWindow; }
    void DisplayText(const char*) override {}
    void DisplayErrorText(const char* text) override { LastError() = text != nullptr ? text : ""; }

    static std::string& LastError() {
        thread_local std::string error;
        return error;
    }
    // The message of the last error without the source position and the
    // object's address VTK puts before it; `fallback` when there was none.
    static std::string TakeLastError(const std::string& fallback) {
        std::string text = LastError();
        LastError().clear();
        const size_t object = text.find("): ");
        if (object != std::string::npos) text.erase(0, object + 3);
        while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
        return text.empty() ? fallback : text;
    }
};

// The objects as one polydata: points in object order, each object's valid
// triangles, and the index of each point's and triangle's object.
vtkSmartPointer<vtkPolyData> PolyDataOf(const std::vector<const CMeshObject*>& objects) {
    size_t pointCount = 0;
    for (const CMeshObject* object : objects) pointCount += object->m_vertices.size();
    if (pointCount > static_cast<size_t>(std::numeric_limits<int32_t>::max()))
        throw std::runtime_error("the meshes have too many vertices for one file");

    vtkNew<vtkFloatArray> coordinates;
    coordinates->SetNumberOfComponents(3);
    coordinates->SetNumberOfTuples(static_cast<vtkIdType>(pointCount));
    float* xyz = coordinates->GetPointer(0);
    vtkNew<vtkIntArray> pointObjects;
    pointObjects->SetName(kObjectIdArray);
    pointObjects->SetNumberOfTuples(static_cast<vtkIdType>(pointCount));
    vtkNew<vtkIdTypeArray> offsets;
    vtkNew<vtkIdTypeArray> connectivity;
    vtkNew<vtkIntArray> cellObjects;
    cellObjects->SetName(kObjectIdArray);
    vtkNew<vtkStringArray> names;
    names->SetName(kObjectNameArray);

    offsets->InsertNextValue(0);
    vtkIdType first = 0;
    for (size_t index = 0; index < objects.size(); ++index) {
        const CMeshObject& object = *objects[index];
        const int objectId = static_cast<int>(index);
        names->InsertNextValue(object.m_name);
        for (const Vec3d& v : object.m_vertices) {
            *xyz++ = static_cast<float>(v.x);
            *xyz++ = static_cast<float>(v.y);
            *xyz++ = static_cast<float>(v.z);
        }
        for (size_t i = 0; i < object.m_vertices.size(); ++i)
            pointObjects->SetValue(first + static_cast<vtkIdType>(i), objectId);
        const uint32_t count = static_cast<uint32_t>(object.m_vertices.size());
        for (const Triangle& t : object.m_triangles) {
            // A triangle naming no vertex of its object would name another
            // object's vertex in the file.
            if (static_cast<uint32_t>(t.v[0]) >= count || static_cast<uint32_t>(t.v[1]) >= count ||
                static_cast<uint32_t>(t.v[2]) >= count)
                continue;
            for (int corner = 0; corner < 3; ++corner) connectivity->InsertNextValue(first + t.v[corner]);
            offsets->InsertNextValue(connectivity->GetNumberOfValues());
            cellObjects->InsertNextValue(objectId);
        }
        first += static_cast<vtkIdType>(count);
    }

    vtkNew<vtkPoints> points;
    points->SetData(coordinates);
    vtkNew<vtkCellArray> triangles;
    triangles->SetData(offsets, connectivity);
    auto data = vtkSmartPointer<vtkPolyData>::New();
    data->SetPoints(points);
    data->SetPolys(triangles);
    data->GetPointData()->AddArray(pointObjects);
    data->GetCellData()->AddArray(cellObjects);
    data->GetFieldData()->AddArray(names);
    return data;
}

// PLY header comments cannot span lines: control characters of a name
// become '_'.
std::string OneLine(std::string text) {
    for (char& c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '_';
    return text;
}

// Which object each point belongs to, and the objects' names.
struct ObjectMap {
    std::vector<std::string> names;
    std::vector<int32_t> objectOfPoint;  // empty: every point belongs to object 0
};

// The objects a PLY file's header comments list, when their vertex counts add
// up to the file's; else one object named `name`.
ObjectMap PlyObjects(vtkStringArray* comments, vtkIdType pointCount, const std::string& name) {
    ObjectMap map;
    const vtkIdType commentCount = comments != nullptr ? comments->GetNumberOfValues() : 0;
    for (vtkIdType i = 0; i < commentCount; ++i) {
        const std::string comment = comments->GetValue(i);
        if (comment.rfind(kPlyObjectComment, 0) != 0) continue;
        std::istringstream line(comment.substr(sizeof kPlyObjectComment - 1));
        long long count = -1;
        line >> count;
        if (!line || count < 0 || count > pointCount - static_cast<vtkIdType>(map.objectOfPoint.size())) {
            map = {};
            break;
        }
        std::string objectName;
        std::getline(line >> std::ws, objectName);
        map.objectOfPoint.insert(map.objectOfPoint.end(), static_cast<size_t>(count),
                                 static_cast<int32_t>(map.names.size()));
        map.names.push_back(objectName);
    }
    if (map.names.empty() || static_cast<vtkIdType>(map.objectOfPoint.size()) != pointCount)
        return {{name}, {}};
    return map;
}

// The objects of a polydata that names them (as this codec writes them):
// point data "ObjectId" and field data "ObjectName"; else one object `name`.
// `data` is what the reader made, before its cells became triangles.
ObjectMap PolyDataObjects(vtkPolyData* data, const std::string& name) {
    auto* names = vtkStringArray::SafeDownCast(data->GetFieldData()->GetAbstractArray(kObjectNameArray));
    vtkDataArray* ids = data->GetPointData()->GetArray(kObjectIdArray);
    const vtkIdType pointCount = data->GetNumberOfPoints();
    if (names == nullptr || names->GetNumberOfValues() == 0 || ids == nullptr ||
        ids->GetNumberOfComponents() != 1 || ids->GetNumberOfTuples() != pointCount)
        return {{name}, {}};
    ObjectMap map;
    for (vtkIdType i = 0; i < names->GetNumberOfValues(); ++i) map.names.push_back(names->GetValue(i));
    map.objectOfPoint.resize(static_cast<size_t>(pointCount));
    for (vtkIdType i = 0; i < pointCount; ++i) {
        const double id = ids->GetComponent(i, 0);
        if (!(id >= 0 && id < static_cast<double>(map.names.size())))
            throw std::runtime_error("point " + std::to_string(i) + " belongs to no object the file names");
        map.objectOfPoint[static_cast<size_t>(i)] = static_cast<int32_t>(id);
    }
    return map;
}

// Splits a polydata of triangles into the objects of `map`, keeping the
// order of points and triangles within each object.
std::vector<CMeshObject> SplitObjects(vtkPolyData* data, const ObjectMap& map) {
    const vtkIdType pointCount = data->GetNumberOfPoints();
    if (pointCount > std::numeric_limits<int32_t>::max())
        throw std::runtime_error("it has more vertices than the viewer can hold");
    std::vector<CMeshObject> objects;
    for (const std::string& name : map.names) objects.emplace_back(name);
    const auto objectOf = [&](vtkIdType point) {
        return map.objectOfPoint.empty() ? 0 : map.objectOfPoint[static_cast<size_t>(point)];
    };

    // Each point's index within its object.
    std::vector<int32_t> local(static_cast<size_t>(pointCount));
    for (vtkIdType i = 0; i < pointCount; ++i) {
        double p[3];
        data->GetPoint(i, p);
        if (!std::isfinite(p[0]) || !std::isfinite(p[1]) || !std::isfinite(p[2]))
            throw std::runtime_error("vertex " + std::to_string(i) +
                                     " has a coordinate that is not a number");
        CMeshObject& object = objects[static_cast<size_t>(objectOf(i))];
        local[static_cast<size_t>(i)] = static_cast<int32_t>(object.m_vertices.size());
        object.m_vertices.push_back({p[0], p[1], p[2]});
    }

    vtkCellArray* polys = data->GetPolys();
    vtkIdType count = 0;
    const vtkIdType* ids = nullptr;
    vtkIdType cell = 0;
    for (polys->InitTraversal(); polys->GetNextCell(count, ids); ++cell) {
        if (count != 3) continue;  // the triangle filter leaves only triangles
        for (int corner = 0; corner < 3; ++corner)
            if (ids[corner] < 0 || ids[corner] >= pointCount)
                throw std::runtime_error("triangle " + std::to_string(cell) +
                                         " names a vertex it does not have");
        const int32_t owner = objectOf(ids[0]);
        if (objectOf(ids[1]) != owner || objectOf(ids[2]) != owner)
            throw std::runtime_error("triangle " + std::to_string(cell) + " joins points of two objects");
        objects[static_cast<size_t>(owner)].m_triangles.push_back(
            {{local[static_cast<size_t>(ids[0])], local[static_cast<size_t>(ids[1])],
              local[static_cast<size_t>(ids[2])]}});
    }
    return objects;
}

// Checks that every cell names points the data have: readers take the point
// numbers as the file gives them, and the filters after them do not check.
void CheckCells(vtkPolyData* data) {
    const vtkIdType pointCount = data->GetNumberOfPoints();
    for (vtkCellArray* cells : {data->GetVerts(), data->GetLines(), data->GetPolys(), data->GetStrips()}) {
        if (cells == nullptr) continue;
        vtkIdType count = 0;
        const vtkIdType* ids = nullptr;
        for (cells->InitTraversal(); cells->GetNextCell(count, ids);)
            for (vtkIdType i = 0; i < count; ++i)
                if (ids[i] < 0 || ids[i] >= pointCount)
                    throw std::runtime_error("a cell names point " + std::to_string(ids[i]) + " of " +
                                             std::to_string(pointCount));
    }
}

// Runs a reader and turns its polygons (and strips) into triangles; lines
// and single points are dropped.
vtkSmartPointer<vtkPolyData> ReadTriangles(vtkAlgorithm* reader) {
    CQuietOutputWindow::LastError().clear();
    reader->Update();
    if (reader->GetErrorCode() != 0 || !CQuietOutputWindow::LastError().empty())
        throw std::runtime_error(CQuietOutputWindow::TakeLastError("VTK cannot read it"));
    vtkPolyData* read = vtkPolyData::SafeDownCast(reader->GetOutputDataObject(0));
    if (read == nullptr || read->GetPoints() == nullptr) throw std::runtime_error("it holds no points");
    CheckCells(read);
    vtkNew<vtkTriangleFilter> triangles;
    triangles->SetInputData(read);
    triangles->PassVertsOff();
    triangles->PassLinesOff();
    triangles->Update();
    vtkSmartPointer<vtkPolyData> data = triangles->GetOutput();
    return data;
}

class CVtkMeshCodec final : public CMeshCodec {
public:
    CVtkMeshCodec() {
        vtkNew<CQuietOutputWindow> window;
        vtkOutputWindow::SetInstance(window);
        // VTK's log would repeat every error on standard error.
        vtkLogger::SetStderrVerbosity(vtkLogger::VERBOSITY_OFF);
    }

    std::string Encode(const std::vector<const CMeshObject*>& objects, EMeshFormat format) const override {
        CQuietOutputWindow::LastError().clear();
        const vtkSmartPointer<vtkPolyData> data = PolyDataOf(objects);
        switch (format) {
            case EMeshFormat::kStl: {
                // VTK writes STL only to a named file.
                vtkNew<vtkSTLWriter> writer;
                writer->SetInputData(data);
                writer->SetFileTypeToBinary();
                writer->SetHeader("Orvanta meshes, millimetres");
                return WrittenThroughFile(writer.GetPointer(), nullptr);
            }
            case EMeshFormat::kPly: {
                vtkNew<vtkPLYWriter> writer;
                writer->SetInputData(data);
                writer->SetFileTypeToBinary();
                writer->SetDataByteOrderToLittleEndian();
                writer->SetColorModeToOff();
                for (const CMeshObject* object : objects)
                    writer->AddComment(kPlyObjectComment + std::to_string(object->m_vertices.size()) + " " +
                                       OneLine(object->m_name));
                // This VTK's PLY writer leaves its output string empty, and
                // adds ".ply" to file names without it.
                return WrittenThroughFile(writer.GetPointer(), ".ply");
            }
            case EMeshFormat::kVtp: {
                vtkNew<vtkXMLPolyDataWriter> writer;
                writer->SetInputData(data);
                writer->SetDataModeToAppended();
                writer->EncodeAppendedDataOff();
                writer->SetCompressorTypeToZLib();
                writer->SetCompressionLevel(1);
                writer->WriteToOutputStringOn();
                const int written = writer->Write();
                Check(written == 1 ? writer->GetErrorCode() : -1);
                return writer->GetOutputString();
            }
            default:
                throw std::logic_error("not a VTK mesh format");
        }
    }

    std::vector<CMeshObject> Decode(const std::string& path, EMeshFormat format,
                                    const std::string& name) const override {
        switch (format) {
            case EMeshFormat::kStl: {
                CMeshFileCheck::CheckStl(path);
                vtkNew<vtkSTLReader> reader;
                reader->SetFileName(path.c_str());
                // Corners of neighbouring triangles become shared vertices again.
                reader->MergingOn();
                const vtkSmartPointer<vtkPolyData> data = ReadTriangles(reader);
                return SplitObjects(data, {{name}, {}});
            }
            case EMeshFormat::kPly: {
                CMeshFileCheck::CheckPly(path);
                vtkNew<vtkPLYReader> reader;
                if (!reader->CanReadFile(path.c_str())) throw std::runtime_error("it is not a PLY file");
                reader->SetFileName(path.c_str());
                const vtkSmartPointer<vtkPolyData> data = ReadTriangles(reader);
                return SplitObjects(data, PlyObjects(reader->GetComments(), data->GetNumberOfPoints(), name));
            }
            case EMeshFormat::kVtp: {
                CMeshFileCheck::CheckVtp(path);
                vtkNew<vtkXMLPolyDataReader> reader;
                if (!reader->CanReadFile(path.c_str()))
                    throw std::runtime_error("it is not VTK XML polydata");
                reader->SetFileName(path.c_str());
                const vtkSmartPointer<vtkPolyData> data = ReadTriangles(reader);
                // The triangles keep the reader's points, in their order.
                return SplitObjects(
                    data, PolyDataObjects(vtkPolyData::SafeDownCast(reader->GetOutputDataObject(0)), name));
            }
            default:
                throw std::logic_error("not a VTK mesh format");
        }
    }

private:
    // What `writer` writes to a file in memory, named with `extension` when
    // one is given.
    template <typename Writer>
    static std::string WrittenThroughFile(Writer* writer, const char* extension) {
        CMemoryFile file(extension);
        writer->SetFileName(file.Path().c_str());
        writer->Write();
        Check(writer->GetErrorCode());
        return file.Bytes();
    }

    static void Check(unsigned long errorCode) {
        if (errorCode != 0 || !CQuietOutputWindow::LastError().empty())
            throw std::runtime_error(CQuietOutputWindow::TakeLastError("VTK cannot write it"));
    }
};

}  // namespace

extern "C" __attribute__((visibility("default"))) const CMeshCodec* OrvantaMeshCodec() {
    static const CVtkMeshCodec codec;
    return &codec;
}
