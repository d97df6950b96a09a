#include "DicomWriter.h"

#include <gdcmAttribute.h>
#include <gdcmImageChangeTransferSyntax.h>
#include <gdcmImageHelper.h>
#include <gdcmImageWriter.h>
#include <gdcmMediaStorage.h>
#include <gdcmReader.h>
#include <gdcmSequenceOfItems.h>
#include <gdcmTrace.h>
#include <gdcmUIDGenerator.h>
#include <gdcmWriter.h>

#include <cstring>
#include <sstream>

namespace {

template <typename T>
std::vector<char> Bytes(const std::vector<double>& values, int32_t frames) {
    std::vector<char> bytes(values.size() * sizeof(T) * static_cast<size_t>(frames));
    for (int32_t f = 0; f < frames; ++f)
        for (size_t i = 0; i < values.size(); ++i) {
            const T value = static_cast<T>(values[i]);
            std::memcpy(bytes.data() + (f * values.size() + i) * sizeof(T), &value, sizeof(T));
        }
    return bytes;
}

std::string Decimal(double value) {
    std::ostringstream text;
    text.precision(10);
    text << value;
    return text.str();
}

void SetText(gdcm::DataSet& data, uint16_t group, uint16_t element, const std::string& text, gdcm::VR vr) {
    gdcm::DataElement de(gdcm::Tag(group, element));
    de.SetVR(vr);
    // Values of even length, as the standard asks; padding with a space (UIDs with a NUL).
    std::string padded = text;
    if (padded.size() % 2) padded += vr == gdcm::VR::UI ? '\0' : ' ';
    de.SetByteValue(padded.data(), static_cast<uint32_t>(padded.size()));
    data.Replace(de);
}

gdcm::TransferSyntax::TSType SyntaxType(DicomImageFields::Syntax syntax) {
    switch (syntax) {
        case DicomImageFields::Syntax::kExplicitLittle: return gdcm::TransferSyntax::ExplicitVRLittleEndian;
        case DicomImageFields::Syntax::kImplicitLittle: return gdcm::TransferSyntax::ImplicitVRLittleEndian;
        case DicomImageFields::Syntax::kExplicitBig: return gdcm::TransferSyntax::ExplicitVRBigEndian;
        case DicomImageFields::Syntax::kRle: return gdcm::TransferSyntax::RLELossless;
        case DicomImageFields::Syntax::kJpegBaseline: return gdcm::TransferSyntax::JPEGBaselineProcess1;
        case DicomImageFields::Syntax::kJpegLossless: return gdcm::TransferSyntax::JPEGLosslessProcess14_1;
        case DicomImageFields::Syntax::kJpegLs: return gdcm::TransferSyntax::JPEGLSLossless;
        case DicomImageFields::Syntax::kJpeg2000: return gdcm::TransferSyntax::JPEG2000Lossless;
        case DicomImageFields::Syntax::kDeflated:
            return gdcm::TransferSyntax::DeflatedExplicitVRLittleEndian;
    }
    return gdcm::TransferSyntax::ExplicitVRLittleEndian;
}

gdcm::DataElement Binary(uint16_t group, uint16_t element, gdcm::VR vr, const void* value, uint32_t size) {
    gdcm::DataElement de(gdcm::Tag(group, element));
    de.SetVR(vr);
    de.SetByteValue(static_cast<const char*>(value), size);
    return de;
}

// Puts a functional group (a sequence of one item) holding `fill`'s elements into `data`.
template <typename Fill>
void PutGroup(gdcm::DataSet& data, uint16_t group, uint16_t element, Fill fill) {
    gdcm::Item item;
    item.SetVLToUndefined();
    fill(item.GetNestedDataSet());
    gdcm::SmartPointer<gdcm::SequenceOfItems> items = new gdcm::SequenceOfItems;
    items->SetLengthToUndefined();
    items->AddItem(item);
    gdcm::DataElement de(gdcm::Tag(group, element));
    de.SetVR(gdcm::VR::SQ);
    de.SetValue(*items);
    de.SetVLToUndefined();
    data.Replace(de);
}

std::string Decimals(const double* values, size_t count) {
    std::string text;
    for (size_t i = 0; i < count; ++i) {
        if (i > 0) text += '\\';
        text += Decimal(values[i]);
    }
    return text;
}

// Moves what a classic image says of its plane, spacing and rescale into
// functional groups, as an enhanced MR image holds them.
void MakeEnhanced(gdcm::File& file, const DicomImageFields& fields) {
    gdcm::DataSet& data = file.GetDataSet();
    const char* enhancedMr = gdcm::MediaStorage::GetMSString(gdcm::MediaStorage::EnhancedMRImageStorage);
    SetText(data, 0x0008, 0x0016, enhancedMr, gdcm::VR::UI);
    SetText(file.GetHeader(), 0x0002, 0x0002, enhancedMr, gdcm::VR::UI);
    for (const auto& [group, element] :
         {std::pair{0x0020, 0x0032}, std::pair{0x0020, 0x0037}, std::pair{0x0028, 0x0030},
          std::pair{0x0018, 0x0050}, std::pair{0x0028, 0x1052}, std::pair{0x0028, 0x1053},
          std::pair{0x0018, 0x1060}})
        data.Remove(gdcm::Tag(static_cast<uint16_t>(group), static_cast<uint16_t>(element)));
    gdcm::Item shared;
    shared.SetVLToUndefined();
    gdcm::DataSet& common = shared.GetNestedDataSet();
    if (fields.orientation)
        PutGroup(common, 0x0020, 0x9116, [&](gdcm::DataSet& g) {
            SetText(g, 0x0020, 0x0037, Decimals(fields.orientation->data(), 6), gdcm::VR::DS);
        });
    if (fields.pixelSpacing || fields.sliceThickness)
        PutGroup(common, 0x0028, 0x9110, [&](gdcm::DataSet& g) {
            if (fields.pixelSpacing)
                SetText(g, 0x0028, 0x0030, Decimals(fields.pixelSpacing->data(), 2), gdcm::VR::DS);
            if (fields.sliceThickness)
                SetText(g, 0x0018, 0x0050, Decimal(*fields.sliceThickness), gdcm::VR::DS);
        });
    gdcm::SmartPointer<gdcm::SequenceOfItems> sharedItems = new gdcm::SequenceOfItems;
    sharedItems->SetLengthToUndefined();
    sharedItems->AddItem(shared);
    gdcm::DataElement sharedGroups(gdcm::Tag(0x5200, 0x9229));
    sharedGroups.SetVR(gdcm::VR::SQ);
    sharedGroups.SetValue(*sharedItems);
    sharedGroups.SetVLToUndefined();
    data.Replace(sharedGroups);

    gdcm::SmartPointer<gdcm::SequenceOfItems> perFrame = new gdcm::SequenceOfItems;
    perFrame->SetLengthToUndefined();
    for (const DicomImageFields::Frame& frame : fields.frameList) {
        gdcm::Item item;
        item.SetVLToUndefined();
        gdcm::DataSet& groups = item.GetNestedDataSet();
        PutGroup(groups, 0x0020, 0x9111, [&](gdcm::DataSet& g) {
            if (!frame.stackId.empty()) SetText(g, 0x0020, 0x9056, frame.stackId, gdcm::VR::SH);
            if (frame.temporalIndex) {
                const auto index = static_cast<uint32_t>(*frame.temporalIndex);
                g.Replace(Binary(0x0020, 0x9128, gdcm::VR::UL, &index, 4));
            }
            if (frame.inStackPosition) {
                const auto place = static_cast<uint32_t>(*frame.inStackPosition);
                g.Replace(Binary(0x0020, 0x9057, gdcm::VR::UL, &place, 4));
            }
            if (!frame.dimensionIndex.empty())
                g.Replace(Binary(0x0020, 0x9157, gdcm::VR::UL, frame.dimensionIndex.data(),
                                 static_cast<uint32_t>(frame.dimensionIndex.size() * 4)));
        });
        if (frame.position)
            PutGroup(groups, 0x0020, 0x9113, [&](gdcm::DataSet& g) {
                SetText(g, 0x0020, 0x0032, Decimals(frame.position->data(), 3), gdcm::VR::DS);
            });
        if (frame.orientation)
            PutGroup(groups, 0x0020, 0x9116, [&](gdcm::DataSet& g) {
                SetText(g, 0x0020, 0x0037, Decimals(frame.orientation->data(), 6), gdcm::VR::DS);
            });
        if (frame.triggerDelay)
            PutGroup(groups, 0x0018, 0x9118, [&](gdcm::DataSet& g) {
                g.Replace(Binary(0x0020, 0x9153, gdcm::VR::FD, &*frame.triggerDelay, 8));
            });
        if (frame.rescaleSlope || frame.rescaleIntercept)
            PutGroup(groups, 0x0028, 0x9145, [&](gdcm::DataSet& g) {
                SetText(g, 0x0028, 0x1052, Decimal(frame.rescaleIntercept.value_or(0.0)), gdcm::VR::DS);
                SetText(g, 0x0028, 0x1053, Decimal(frame.rescaleSlope.value_or(1.0)), gdcm::VR::DS);
                SetText(g, 0x0028, 0x1054, "US", gdcm::VR::LO);
            });
        if (!frame.frameType.empty())
            PutGroup(groups, 0x0018, 0x9226,
                     [&](gdcm::DataSet& g) { SetText(g, 0x0008, 0x9007, frame.frameType, gdcm::VR::CS); });
        perFrame->AddItem(item);
    }
    gdcm::DataElement perFrameGroups(gdcm::Tag(0x5200, 0x9230));
    perFrameGroups.SetVR(gdcm::VR::SQ);
    perFrameGroups.SetValue(*perFrame);
    perFrameGroups.SetVLToUndefined();
    data.Replace(perFrameGroups);
}

// The library's writer makes every multi-frame MR image an enhanced one; a
// classic multi-frame run (an XA cine) has no functional groups.
void MakeClassicRun(gdcm::File& file) {
    gdcm::DataSet& data = file.GetDataSet();
    const char* xa = gdcm::MediaStorage::GetMSString(gdcm::MediaStorage::XRayAngiographicImageStorage);
    SetText(data, 0x0008, 0x0016, xa, gdcm::VR::UI);
    SetText(file.GetHeader(), 0x0002, 0x0002, xa, gdcm::VR::UI);
    SetText(data, 0x0008, 0x0060, "XA", gdcm::VR::CS);
    data.Remove(gdcm::Tag(0x5200, 0x9229));
    data.Remove(gdcm::Tag(0x5200, 0x9230));
}

// Rewrites the file without touching its pixel data: a data set deflated, or
// a Pixel Representation that no longer matches the coded stream.
bool Rewrite(const std::string& path, const DicomImageFields& fields) {
    gdcm::Reader reader;
    reader.SetFileName(path.c_str());
    if (!reader.Read()) return false;
    gdcm::File& file = reader.GetFile();
    if (fields.pixelRepresentation) {
        gdcm::Attribute<0x0028, 0x0103> representation;
        representation.SetValue(static_cast<uint16_t>(*fields.pixelRepresentation));
        file.GetDataSet().Replace(representation.GetAsDataElement());
    }
    if (fields.enhanced) MakeEnhanced(file, fields);
    if (!fields.enhanced && (fields.frames > 1 || !fields.frameList.empty())) MakeClassicRun(file);
    if (fields.syntax == DicomImageFields::Syntax::kDeflated)
        file.GetHeader().SetDataSetTransferSyntax(gdcm::TransferSyntax::DeflatedExplicitVRLittleEndian);
    gdcm::Writer writer;
    writer.SetFile(file);
    writer.SetFileName(path.c_str());
    return writer.Write();
}

}  // namespace

bool WriteDicomImage(const std::string& path, const DicomImageFields& fields) {
    gdcm::Trace::SetWarning(false);
    gdcm::Trace::SetError(false);
    // Scanners put a rescale into classic MR images too; the library writes it only when told to.
    gdcm::ImageHelper::SetForceRescaleInterceptSlope(true);
    // Listed frames are written one after the other; otherwise `values` is copied into each frame.
    const bool listed = !fields.frameList.empty();
    const int32_t frames = listed ? static_cast<int32_t>(fields.frameList.size()) : fields.frames;
    std::vector<double> values = fields.values;
    if (listed) {
        values.clear();
        for (const DicomImageFields::Frame& frame : fields.frameList)
            values.insert(values.end(), frame.values.begin(), frame.values.end());
    }
    const int32_t copies = listed ? 1 : fields.frames;
    gdcm::ImageWriter writer;
    gdcm::Image& image = writer.GetImage();
    image.SetNumberOfDimensions(frames > 1 ? 3 : 2);
    image.SetDimension(0, static_cast<unsigned>(fields.columns));
    image.SetDimension(1, static_cast<unsigned>(fields.rows));
    if (frames > 1) image.SetDimension(2, static_cast<unsigned>(frames));

    std::vector<char> bytes;
    const bool colour = fields.photometric == "RGB";
    switch (fields.pixels) {
        case DicomImageFields::Pixels::kUint16:
            image.SetPixelFormat(
                gdcm::PixelFormat(1, 16, static_cast<uint16_t>(fields.bitsStored.value_or(16)),
                                  static_cast<uint16_t>(fields.bitsStored.value_or(16) - 1), 0));
            bytes = Bytes<uint16_t>(values, copies);
            break;
        case DicomImageFields::Pixels::kInt16:
            image.SetPixelFormat(
                gdcm::PixelFormat(1, 16, static_cast<uint16_t>(fields.bitsStored.value_or(16)),
                                  static_cast<uint16_t>(fields.bitsStored.value_or(16) - 1), 1));
            bytes = Bytes<int16_t>(values, copies);
            break;
        case DicomImageFields::Pixels::kUint8:
            image.SetPixelFormat(colour ? gdcm::PixelFormat(3, 8, 8, 7, 0) : gdcm::PixelFormat(gdcm::PixelFormat::UINT8));
            bytes = Bytes<uint8_t>(values, copies * (colour ? 3 : 1));
            break;
        case DicomImageFields::Pixels::kInt32:
            image.SetPixelFormat(gdcm::PixelFormat::INT32);
            bytes = Bytes<int32_t>(values, copies);
            break;
        case DicomImageFields::Pixels::kFloat32:
            image.SetPixelFormat(gdcm::PixelFormat::FLOAT32);
            bytes = Bytes<float>(values, copies);
            break;
    }
    image.SetPhotometricInterpretation(gdcm::PhotometricInterpretation::GetPIType(fields.photometric.c_str()));
    image.SetTransferSyntax(gdcm::TransferSyntax::ExplicitVRLittleEndian);
    gdcm::DataElement pixelData(gdcm::Tag(0x7fe0, 0x0010));
    pixelData.SetByteValue(bytes.data(), static_cast<uint32_t>(bytes.size()));
    image.SetDataElement(pixelData);
    // One coordinate at a time: the array form keeps only as many as the image has dimensions.
    if (fields.position)
        for (unsigned axis = 0; axis < 3; ++axis) image.SetOrigin(axis, (*fields.position)[axis]);
    if (fields.orientation) image.SetDirectionCosines(fields.orientation->data());
    if (fields.pixelSpacing) {
        image.SetSpacing(0, (*fields.pixelSpacing)[1]);
        image.SetSpacing(1, (*fields.pixelSpacing)[0]);
    }

    gdcm::DataSet& data = writer.GetFile().GetDataSet();
    gdcm::UIDGenerator uids;
    // MR Image Storage: the classic one image per file, with its plane in the top-level tags.
    const char* mrStorage = gdcm::MediaStorage::GetMSString(gdcm::MediaStorage::MRImageStorage);
    gdcm::DataElement sopClass(gdcm::Tag(0x0008, 0x0016));
    sopClass.SetByteValue(mrStorage, static_cast<uint32_t>(std::strlen(mrStorage)));
    sopClass.SetVR(gdcm::VR::UI);
    data.Replace(sopClass);
    SetText(data, 0x0008, 0x0018, uids.Generate(), gdcm::VR::UI);
    SetText(data, 0x0008, 0x0060, fields.modality, gdcm::VR::CS);
    SetText(data, 0x0020, 0x000e, fields.seriesUid, gdcm::VR::UI);
    SetText(data, 0x0020, 0x000d, fields.studyUid, gdcm::VR::UI);
    if (!fields.patientName.empty()) SetText(data, 0x0010, 0x0010, fields.patientName, gdcm::VR::PN);
    if (!fields.patientId.empty()) SetText(data, 0x0010, 0x0020, fields.patientId, gdcm::VR::LO);
    if (!fields.studyDate.empty()) SetText(data, 0x0008, 0x0020, fields.studyDate, gdcm::VR::DA);
    if (fields.seriesNumber) SetText(data, 0x0020, 0x0011, std::to_string(*fields.seriesNumber), gdcm::VR::IS);
    SetText(data, 0x0008, 0x103e, fields.seriesDescription, gdcm::VR::LO);
    if (fields.sliceThickness) SetText(data, 0x0018, 0x0050, Decimal(*fields.sliceThickness), gdcm::VR::DS);
    if (fields.triggerTime) SetText(data, 0x0018, 0x1060, Decimal(*fields.triggerTime), gdcm::VR::DS);
    if (fields.instanceNumber) SetText(data, 0x0020, 0x0013, std::to_string(*fields.instanceNumber), gdcm::VR::IS);
    if (fields.temporalPosition)
        SetText(data, 0x0020, 0x0100, std::to_string(*fields.temporalPosition), gdcm::VR::IS);
    if (fields.acquisitionTime) SetText(data, 0x0008, 0x0032, *fields.acquisitionTime, gdcm::VR::TM);
    if (fields.frameTime) SetText(data, 0x0018, 0x1063, Decimal(*fields.frameTime), gdcm::VR::DS);
    if (fields.imageType) SetText(data, 0x0008, 0x0008, *fields.imageType, gdcm::VR::CS);
    if (fields.rescaleSlope) image.SetSlope(*fields.rescaleSlope);
    if (fields.rescaleIntercept) image.SetIntercept(*fields.rescaleIntercept);

    const bool rewrite = fields.pixelRepresentation || fields.enhanced || frames > 1 ||
                         fields.syntax == DicomImageFields::Syntax::kDeflated;
    if (fields.syntax != DicomImageFields::Syntax::kExplicitLittle &&
        fields.syntax != DicomImageFields::Syntax::kDeflated) {
        gdcm::ImageChangeTransferSyntax change;
        change.SetTransferSyntax(SyntaxType(fields.syntax));
        change.SetInput(image);
        if (!change.Change()) return false;
        writer.SetImage(change.GetOutput());
    }
    writer.SetFileName(path.c_str());
    return writer.Write() && (!rewrite || Rewrite(path, fields));
}
