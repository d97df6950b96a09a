#include "MeshSet.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <optional>

#include "MeshCodec.h"
#include "MeshExport.h"
#include "MeshReadProcess.h"
#include "ObjLineReader.h"
#include "ObjText.h"
#include "PathUtils.h"

namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

// The state of one pass over an .obj file. Every group line starts a new
// object; its vertices follow it, and faces name them by their 1-based place
// among all vertex lines of the file, so the vertex count at the group line
// (the group base) turns a file index into an index within the object.
class CObjParser {
public:
    // Interprets one line of at least 3 characters, line `lineNumber` of the file.
    void Parse(const char* line, int64_t lineNumber);
    // Closes the last object and hands over all of them.
    std::vector<CMeshObject> Finish();

private:
    void ReadVertex(const char* text);
    void ReadGroup(const char* text);
    void ReadFace(const char* text);

    std::vector<CMeshObject> m_objects;
    std::optional<CMeshObject> m_current;
    int64_t m_vertexCounter = 1;
    int64_t m_groupBase = 1;
    int64_t m_lineNumber = 0;
};

void CObjParser::Parse(const char* line, int64_t lineNumber) {
    m_lineNumber = lineNumber;
    switch (line[0]) {
        case 'v':
            ReadVertex(line + 1);
            break;
        case 'g':
            ReadGroup(line + 1);
            break;
        case 'f':
            ReadFace(line + 1);
            break;
        default:
            std::printf("Error: Unknown line type '%c'\n", line[0]);
    }
}

void CObjParser::ReadVertex(const char* text) {
    // Coordinates the line lacks are 0; the vertex still counts, so the
    // vertex numbers of the lines after it stay right.
    float xyz[3] = {0.0f, 0.0f, 0.0f};
    ScanFloats(text, xyz, 3);
    if (!m_current) m_current.emplace("noname");
    m_current->m_vertices.push_back({xyz[0], xyz[1], xyz[2]});
    ++m_vertexCounter;
}

void CObjParser::ReadGroup(const char* text) {
    char name[CObjLineReader::kMaxLength + 1];
    if (!ScanWord(text, name, sizeof name)) std::snprintf(name, sizeof name, "noname");
    if (m_current) m_objects.push_back(std::move(*m_current));
    m_current.emplace(name);
    m_groupBase = m_vertexCounter;
}

void CObjParser::ReadFace(const char* text) {
    // A face before any vertex or group has no object to belong to.
    if (!m_current) return;
    float numbers[3];
    if (ScanFloats(text, numbers, 3) < 3) return;
    const double vertexCount = static_cast<double>(std::min<size_t>(m_current->m_vertices.size(), INT32_MAX));
    Triangle triangle;
    for (int i = 0; i < 3; ++i) {
        // The numbers were read as floats; the index is their distance from
        // the group base, truncated. Checked before the conversion, since
        // neither NaN nor a huge value has an int to become.
        const double index = std::trunc(static_cast<double>(numbers[i]) - static_cast<double>(m_groupBase));
        if (!(index >= 0.0 && index < vertexCount)) {
            std::printf("Error: Face in line %lld refers to vertex %g, outside group '%s'; skipped\n",
                        static_cast<long long>(m_lineNumber), static_cast<double>(numbers[i]),
                        m_current->m_name.c_str());
            return;
        }
        triangle.v[i] = static_cast<int32_t>(index);
    }
    m_current->m_triangles.push_back(triangle);
}

std::vector<CMeshObject> CObjParser::Finish() {
    if (m_current) m_objects.push_back(std::move(*m_current));
    m_current.reset();
    return std::move(m_objects);
}

}  // namespace

CMeshSet::CMeshSet() = default;
CMeshSet::~CMeshSet() = default;
CMeshSet::CMeshSet(const CMeshSet& other) = default;
CMeshSet& CMeshSet::operator=(const CMeshSet& other) = default;
CMeshSet::CMeshSet(CMeshSet&& other) noexcept = default;
CMeshSet& CMeshSet::operator=(CMeshSet&& other) noexcept = default;

bool CMeshSet::LoadObj(const std::string& path) {
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    if (!file) return false;
    struct stat info {};
    if (fstat(fileno(file.get()), &info) != 0 || S_ISDIR(info.st_mode)) return false;

    std::vector<CMeshObject> objects;
    try {
        auto reader = std::make_unique<CObjLineReader>(file.get());
        CObjParser parser;
        // A last line without a line feed is incomplete and not read.
        while (reader->ReadLine())
            if (reader->Length() >= 3) parser.Parse(reader->Line(), reader->LineNumber());
        if (reader->Failed()) {
            std::printf("Error: Reading %s failed\n", path.c_str());
            return false;
        }
        objects = parser.Finish();
        for (CMeshObject& object : objects) object.ComputeNormals();
    } catch (const std::bad_alloc&) {
        std::printf("Error: Not enough memory to read %s\n", path.c_str());
        return false;
    }
    m_objects = std::move(objects);
    UpdateFrames();
    return true;
}

void CMeshSet::AddObject(const CMeshObject& object) {
    m_objects.push_back(object);
    UpdateFrames();
}

void CMeshSet::AddObjects(std::vector<CMeshObject>&& objects) {
    m_objects.reserve(m_objects.size() + objects.size());
    for (CMeshObject& object : objects) m_objects.push_back(std::move(object));
    UpdateFrames();
}

void CMeshSet::Truncate(int count) {
    if (count >= 0 && static_cast<size_t>(count) < m_objects.size()) m_objects.resize(static_cast<size_t>(count));
    UpdateFrames();
}

std::vector<CMeshObject> CMeshSet::TakeFrom(int first) {
    std::vector<CMeshObject> taken;
    if (first >= 0 && static_cast<size_t>(first) < m_objects.size()) {
        taken.assign(std::make_move_iterator(m_objects.begin() + first), std::make_move_iterator(m_objects.end()));
        m_objects.resize(static_cast<size_t>(first));
        UpdateFrames();
    }
    return taken;
}

bool CMeshSet::SaveObj(const std::string& path, std::string& error) const {
    std::vector<const CMeshObject*> objects;
    for (const CMeshObject& object : m_objects) objects.push_back(&object);
    return CMeshExport::WriteFile(objects, EMeshFormat::kObj, path, error);
}

bool CMeshSet::Load(const std::string& path, std::string& error) {
    const EMeshFormat format = MeshFormatOfPath(path);
    if (format == EMeshFormat::kObj || format == EMeshFormat::kNone) {
        if (LoadObj(path)) return true;
        error = FileExists(path) ? "it cannot be read" : "it cannot be opened";
        return false;
    }
    if (!FileExists(path)) {
        error = "it cannot be opened";
        return false;
    }
    std::vector<CMeshObject> objects;
    try {
        const CMeshCodec& codec = CMeshCodec::Get(format);
        // Files without names of their own give their one object the file's name.
        const std::string name = FileNameOfPath(PathWithoutExtension(path));
        // Ten seconds, and one more for every megabyte: far more than the
        // libraries need for a file that is whole.
        struct stat info {};
        const int seconds = 10 + static_cast<int>(stat(path.c_str(), &info) == 0 ? info.st_size >> 20 : 0);
        objects = CMeshReadProcess::Run([&] { return codec.Decode(path, format, name); }, seconds);
        for (CMeshObject& object : objects) object.ComputeNormals();
    } catch (const std::bad_alloc&) {
        error = "it does not fit in memory";
        return false;
    } catch (const std::exception& e) {
        error = e.what();
        return false;
    }
    m_objects = std::move(objects);
    UpdateFrames();
    return true;
}

Vec3d CMeshSet::Centroid() const {
    Vec3d sum;
    size_t count = 0;
    for (const CMeshObject& object : m_objects) {
        for (const Vec3d& v : object.m_vertices) sum += v;
        count += object.m_vertices.size();
    }
    return count == 0 ? sum : sum / static_cast<double>(count);
}

std::vector<int> CMeshSet::ObjectsOfFrame(int frame) const {
    std::vector<int> indices;
    for (size_t i = 0; i < m_frameNumbers.size(); ++i)
        if (m_frameNumbers[i] == frame) indices.push_back(static_cast<int>(i));
    return indices;
}

void CMeshSet::ZCapAll() {
    for (CMeshObject& object : m_objects) object.ZCap();
}

void CMeshSet::UpdateFrames() {
    m_frameNumbers.clear();
    m_lastFrame = -1;
    for (const CMeshObject& object : m_objects) {
        m_frameNumbers.push_back(object.FrameNumber());
        m_lastFrame = std::max(m_lastFrame, m_frameNumbers.back());
    }
}
