#pragma once

#include <functional>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "ChoiceTable.h"
#include "SampleSource.h"

// The formats a volume loads from. Everything the program says or decides
// about a format (which paths it opens, dialog filters, file types, help
// text, messages, --info) reads the table below, so that a new format is one
// sample source, one row and one line in volume/CMakeLists.txt.
enum class EVolumeFormat { kNone, kTvi, kNifti, kDicom, kMovieFolder };

// One entry of a list in --info (a DICOM folder's series): its keys, each
// with null, a text, a number or a yes or no.
struct CInfoRecord {
    std::vector<std::pair<std::string, std::variant<std::monostate, std::string, double, bool>>> values;
};

// One field a format adds to --info: null, a text, a number, numbers, texts,
// a yes or no, or entries.
struct CInfoField {
    std::string key;
    std::variant<std::monostate, std::string, double, std::vector<double>, std::vector<std::string>, bool,
                 std::vector<CInfoRecord>>
        value;
};

// What the shown volume was loaded from.
struct CVolumeFileInfo {
    EVolumeFormat m_format = EVolumeFormat::kNone;  // kNone without a file
    std::string m_title;                            // what the window title calls it
    // How to open the same data again without asking (a DICOM series' UID).
    std::string m_reopenChoice;
    // "phase" or "velocity" for images whose values are signed about 0 (a
    // DICOM series of such images); "" otherwise.
    std::string m_imageKind;
    // The calibration values the file itself set, and where its voxels lie in the patient.
    CVolumeCalibration m_calibration;
    std::optional<CAffine> m_transform;
    // The time of each frame in ms where the file gives them (a DICOM
    // series' trigger times); empty otherwise.
    std::vector<double> m_frameTimes;
    // The format's own --info fields.
    std::vector<CInfoField> m_fields;
    // What the user should hear after a load that succeeded: notes (images
    // left out), and warnings (files that could not be read).
    std::vector<std::string> m_notes;
    std::vector<std::string> m_warnings;
};

// How a load may ask the user, and what the user chose beforehand.
struct COpenRequest {
    // Which part of a path holding several volumes: for DICOM folders
    // "stack", a 1-based position in the series list or a Series Instance
    // UID; "" asks, or without `ask` takes the default.
    std::string choice;
    // Asks to pick one row of a table (a folder's series): the row picked,
    // or -1 when the user declined.
    std::function<int(const CChoiceTable& table)> ask;
    // Hears how far opening has come, 0 to 1.
    CSampleSource::Progress progress;
};

// What opening a path gave: a source to load, or why there is none.
struct COpenResult {
    std::unique_ptr<CSampleSource> source;
    // Without a source: what could not be loaded ("the time volume a.tvi"; ""
    // when `reason` says it all) and why.
    std::string subject;
    std::string reason;
    // The path holds nothing of this format; a later row may open it.
    bool tryNext = false;
    // The format that opened the path, or refused it last.
    EVolumeFormat format = EVolumeFormat::kNone;

    // The message for the user: "Cannot load <subject>:\n<reason>".
    std::string Message() const;
};

// A file type the desktop learns from the program's MIME package.
struct CMimeType {
    const char* type;     // "application/x-orvanta-tvi"
    const char* comment;  // "Time volume (4-D image)"
    std::vector<const char*> globs;
    const char* subClassOf = nullptr;
    // <magic> matches: offset and the text found there.
    std::vector<std::pair<int, const char*>> magic = {};
    // Types the desktop already knows (DICOM) are named, not defined.
    bool defined = true;
};

// One row of the table.
struct CVolumeFormat {
    EVolumeFormat id;
    const char* name;                     // --info's "format": "tvi", "nifti", "dicom", "movies"
    const char* noun;                     // in messages: "the time volume", "the DICOM series"
    const char* helpText;                 // what --help says FILE may be: what to name, a tab, what it is
    const char* kindsText;                // how messages list it among what opens; nullptr: its extensions do
    std::vector<const char*> extensions;  // ".nii.gz", compared ignoring case
    const char* dialogFilter;             // "NIfTI images (*.nii *.nii.gz)"; nullptr: no file dialog opens it
    std::vector<CMimeType> mimeTypes;
    bool companionMeshes;  // an .obj of the same name comes with it
    bool startsEarly;      // may start loading before the window exists (no questions, no folder scan)
    bool windowed;         // the saturation applies: a new one loads it again
    // Besides its extensions, whether the path is of this format (a folder, a
    // file's own marks); nullptr: the extensions decide alone.
    bool (*recognises)(const std::string& path);
    COpenResult (*open)(const std::string& path, const COpenRequest& request);
    // The share of a load's progress the opening takes.
    double openShare;
};

// Every format, in the order a path is tried.
const std::vector<CVolumeFormat>& VolumeFormats();
const CVolumeFormat& VolumeFormatRow(EVolumeFormat format);

// The first format that recognises `path` (its extension compared ignoring
// case, or what the format looks for), or nullptr.
const CVolumeFormat* VolumeFormatOfPath(const std::string& path);

// Opens `path` with the first format that recognises it and takes it, or
// with `format` alone when given.
COpenResult OpenVolume(const std::string& path, const COpenRequest& request,
                       EVolumeFormat format = EVolumeFormat::kNone);

// The path without its format's extension ("heart.nii.gz" -> "heart"; a
// folder without its closing slash), so that files beside a volume (its
// meshes, saved pictures) take its plain name.
std::string PathWithoutVolumeExtension(const std::string& path);

// A format's extensions: ".nii and .nii.gz", and as globs: "*.nii *.nii.gz".
std::string ExtensionsText(EVolumeFormat format);
std::string ExtensionGlobs(EVolumeFormat format);

// A file dialog's filter: every openable extension first, then each format's own.
std::string VolumeDialogFilter();
// What opens, for messages: ".tvi, .nii and .nii.gz volumes, DICOM images and folders".
std::string OpenableKindsText();
// What --help says FILE may be: what to name, and what it is.
std::vector<std::pair<std::string, std::string>> VolumeFormatsHelp();

// What the title calls a path: its last name, a folder's too when it ends in a slash.
std::string ShortNameOfPath(const std::string& path);

// The subject and reason of a failed file load: "the time volume PATH".
COpenResult FailedToOpen(EVolumeFormat format, const std::string& path, std::string reason);

// The opener of a format whose path is one file that `Source::Open(path,
// error)` reads.
template <typename Source, EVolumeFormat kFormat>
COpenResult OpenFileSource(const std::string& path, const COpenRequest&) {
    auto source = std::make_unique<Source>();
    std::string error;
    if (!source->Open(path, error)) return FailedToOpen(kFormat, path, std::move(error));
    COpenResult result;
    result.source = std::move(source);
    return result;
}
