#include "MeshExport.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <new>
#include <stdexcept>
#include <system_error>

#include "MeshCodec.h"
#include "MeshSet.h"
#include "PathUtils.h"
#include "TextFormat.h"

namespace {

// Files written under temporary names beside their targets; Commit gives
// them their names, and whatever was not committed is removed.
class CFileBatch {
public:
    CFileBatch() = default;
    CFileBatch(const CFileBatch&) = delete;
    CFileBatch& operator=(const CFileBatch&) = delete;
    ~CFileBatch() {
        for (const Pending& file : m_files) std::remove(file.temporary.c_str());
    }

    bool Add(const std::string& target, const std::string& bytes, std::string& error) {
        Pending file{target, target + ".part-" + std::to_string(getpid())};
        std::FILE* stream = std::fopen(file.temporary.c_str(), "wb");
        if (stream == nullptr) {
            error = "cannot write " + target + ": " + std::strerror(errno);
            return false;
        }
        m_files.push_back(file);
        const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), stream) == bytes.size();
        const int writeErrno = errno;
        const bool closed = std::fclose(stream) == 0;
        if (!ok || !closed) {
            error = "cannot write " + target + ": " + std::strerror(ok ? errno : writeErrno);
            return false;
        }
        return true;
    }

    bool Commit(std::string& error) {
        // What rename cannot replace is found before any file is replaced.
        for (const Pending& file : m_files) {
            std::error_code ignored;
            if (std::filesystem::is_directory(file.target, ignored)) {
                error = "cannot replace " + file.target + ": it is a folder";
                return false;
            }
        }
        while (!m_files.empty()) {
            const Pending& file = m_files.front();
            if (std::rename(file.temporary.c_str(), file.target.c_str()) != 0) {
                error = "cannot replace " + file.target + ": " + std::strerror(errno);
                return false;
            }
            m_files.erase(m_files.begin());
        }
        return true;
    }

private:
    struct Pending {
        std::string target, temporary;
    };
    std::vector<Pending> m_files;
};

// Runs `encode`, turning what it throws into `error`.
template <typename Encode>
bool Encoded(const std::string& path, std::string& bytes, std::string& error, Encode encode) {
    try {
        bytes = encode();
        return true;
    } catch (const std::bad_alloc&) {
        error = "cannot write " + path + ": not enough memory";
    } catch (const std::exception& e) {
        error = "cannot write " + path + ": " + e.what();
    }
    return false;
}

std::vector<const CMeshObject*> ObjectsOfFrame(const CMeshSet& meshes, int frame) {
    std::vector<const CMeshObject*> objects;
    for (int index : meshes.ObjectsOfFrame(frame)) objects.push_back(&meshes.Object(index));
    return objects;
}

std::string XmlAttribute(const std::string& text) {
    std::string escaped;
    for (char c : text) {
        switch (c) {
            case '&':
                escaped += "&amp;";
                break;
            case '<':
                escaped += "&lt;";
                break;
            case '>':
                escaped += "&gt;";
                break;
            case '"':
                escaped += "&quot;";
                break;
            default:
                escaped += c;
        }
    }
    return escaped;
}

// ParaView's collection of the frame files: each file (named relative to
// the collection, which lies beside them) with its time.
std::string CollectionText(const std::vector<std::pair<int, std::string>>& frameFiles, int frameTimeMs) {
    std::string text =
        "<?xml version=\"1.0\"?>\n"
        "<VTKFile type=\"Collection\" version=\"0.1\" byte_order=\"LittleEndian\">\n"
        "  <Collection>\n";
    for (const auto& [frame, path] : frameFiles)
        text += FormatText("    <DataSet timestep=\"%lld\" group=\"\" part=\"0\" file=\"%s\"/>\n",
                           static_cast<long long>(frame) * frameTimeMs,
                           XmlAttribute(FileNameOfPath(path)).c_str());
    return text + "  </Collection>\n</VTKFile>\n";
}

std::string ObjText(const std::vector<const CMeshObject*>& objects) {
    std::string text;
    char line[128];
    const auto append = [&](int length) {
        if (length > 0) text.append(line, std::min(static_cast<size_t>(length), sizeof line - 1));
    };
    // Nine significant digits give back the very float the reader stores,
    // and the reader keeps every coordinate as a float.
    long long firstVertex = 1;
    for (const CMeshObject* object : objects) {
        text += "g " + (object->m_name.empty() ? std::string("noname") : object->m_name) + "\n";
        for (const Vec3d& v : object->m_vertices)
            append(std::snprintf(
                line, sizeof line, "v %.9g %.9g %.9g\n", static_cast<double>(static_cast<float>(v.x)),
                static_cast<double>(static_cast<float>(v.y)), static_cast<double>(static_cast<float>(v.z))));
        const size_t count = object->m_vertices.size();
        for (const Triangle& t : object->m_triangles) {
            // Triangles that name no vertex of the object would name another
            // object's vertex in the file.
            if (static_cast<uint32_t>(t.v[0]) >= count || static_cast<uint32_t>(t.v[1]) >= count ||
                static_cast<uint32_t>(t.v[2]) >= count)
                continue;
            append(std::snprintf(line, sizeof line, "f %lld %lld %lld\n", firstVertex + t.v[0],
                                 firstVertex + t.v[1], firstVertex + t.v[2]));
        }
        firstVertex += static_cast<long long>(count);
    }
    return text;
}

}  // namespace

std::string CMeshExport::Encode(const std::vector<const CMeshObject*>& objects, EMeshFormat format) {
    if (format == EMeshFormat::kObj) return ObjText(objects);
    return CMeshCodec::Get(format).Encode(objects, format);
}

std::string CMeshExport::FramePath(const std::string& path, int frame) {
    return FormatText("%s-%02d%s", PathWithoutExtension(path).c_str(), frame,
                      MeshFormatExtension(MeshFormatOfPath(path)));
}

bool CMeshExport::WriteFile(const std::vector<const CMeshObject*>& objects, EMeshFormat format,
                            const std::string& path, std::string& error) {
    std::string bytes;
    if (!Encoded(path, bytes, error, [&] { return Encode(objects, format); })) return false;
    CFileBatch batch;
    return batch.Add(path, bytes, error) && batch.Commit(error);
}

bool CMeshExport::WriteFrame(const CMeshSet& meshes, int frame, const std::string& path, std::string& error) {
    const EMeshFormat format = MeshFormatOfPath(path);
    if (format == EMeshFormat::kNone) {
        error = "cannot write " + path + ": the name does not end in " + MeshExtensionsText();
        return false;
    }
    const std::vector<const CMeshObject*> objects = ObjectsOfFrame(meshes, frame);
    if (objects.empty()) {
        error = FormatText("there are no meshes in frame %d to write", frame);
        return false;
    }
    return WriteFile(objects, format, path, error);
}

bool CMeshExport::WriteAllFrames(const CMeshSet& meshes, const std::string& path, int frameTimeMs,
                                 std::vector<std::string>& written, std::string& error) {
    written.clear();
    const EMeshFormat format = MeshFormatOfPath(path);
    if (format == EMeshFormat::kNone) {
        error = "cannot write " + path + ": the name does not end in " + MeshExtensionsText();
        return false;
    }
    CFileBatch batch;
    std::vector<std::pair<int, std::string>> frameFiles;
    for (int frame = 0; frame <= meshes.LastFrame(); ++frame) {
        const std::vector<const CMeshObject*> objects = ObjectsOfFrame(meshes, frame);
        if (objects.empty()) continue;
        const std::string framePath = FramePath(path, frame);
        std::string bytes;
        if (!Encoded(framePath, bytes, error, [&] { return Encode(objects, format); }) ||
            !batch.Add(framePath, bytes, error))
            return false;
        frameFiles.emplace_back(frame, framePath);
    }
    if (frameFiles.empty()) {
        error = "there are no meshes with a frame number to write";
        return false;
    }
    std::string collection;
    if (format == EMeshFormat::kVtp) {
        collection = PathWithoutExtension(path) + ".pvd";
        if (!batch.Add(collection, CollectionText(frameFiles, frameTimeMs), error)) return false;
    }
    if (!batch.Commit(error)) return false;
    for (const auto& [frame, framePath] : frameFiles) written.push_back(framePath);
    if (!collection.empty()) written.push_back(collection);
    return true;
}
