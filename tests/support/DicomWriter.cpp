#include "DicomWriter.h"

#include <gdcmAttribute.h>
#include <gdcmImageChangeTransferSyntax.h>
#include <gdcmImageHelper.h>
#include <gdcmImageWriter.h>
#include <gdcmMediaStorage.h>
#include <gdcmReader.h>
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
        case DicomImageFields::Syntax::kDeflated: return gdcm::TransferSyntax::DeflatedExplicitVRLittleEndian;
    }
    return gdcm::TransferSyntax::ExplicitVRLittleEndian;
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
    gdcm::ImageWriter writer;
    gdcm::Image& image = writer.GetImage();
    image.SetNumberOfDimensions(fields.frames > 1 ? 3 : 2);
    image.SetDimension(0, static_cast<unsigned>(fields.columns));
    image.SetDimension(1, static_cast<unsigned>(fields.rows));
    if (fields.frames > 1) image.SetDimension(2, static_cast<unsigned>(fields.frames));

    std::vector<char> bytes;
    const bool colour = fields.photometric == "RGB";
    switch (fields.pixels) {
        case DicomImageFields::Pixels::kUint16:
            image.SetPixelFormat(gdcm::PixelFormat(1, 16, static_cast<uint16_t>(fields.bitsStored.value_or(16)),
                                                   static_cast<uint16_t>(fields.bitsStored.value_or(16) - 1), 0));
            bytes = Bytes<uint16_t>(fields.values, fields.frames);
            break;
        case DicomImageFields::Pixels::kInt16:
            image.SetPixelFormat(gdcm::PixelFormat(1, 16, static_cast<uint16_t>(fields.bitsStored.value_or(16)),
                                                   static_cast<uint16_t>(fields.bitsStored.value_or(16) - 1), 1));
            bytes = Bytes<int16_t>(fields.values, fields.frames);
            break;
        case DicomImageFields::Pixels::kUint8:
            image.SetPixelFormat(colour ? gdcm::PixelFormat(3, 8, 8, 7, 0) : gdcm::PixelFormat(gdcm::PixelFormat::UINT8));
            bytes = Bytes<uint8_t>(fields.values, fields.frames * (colour ? 3 : 1));
            break;
        case DicomImageFields::Pixels::kInt32:
            image.SetPixelFormat(gdcm::PixelFormat::INT32);
            bytes = Bytes<int32_t>(fields.values, fields.frames);
            break;
        case DicomImageFields::Pixels::kFloat32:
            image.SetPixelFormat(gdcm::PixelFormat::FLOAT32);
            bytes = Bytes<float>(fields.values, fields.frames);
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
    SetText(data, 0x0008, 0x0060, "MR", gdcm::VR::CS);
    SetText(data, 0x0020, 0x000e, fields.seriesUid, gdcm::VR::UI);
    SetText(data, 0x0020, 0x000d, "1.2.826.0.1.3680043.2.1125.99", gdcm::VR::UI);
    if (fields.seriesNumber) SetText(data, 0x0020, 0x0011, std::to_string(*fields.seriesNumber), gdcm::VR::IS);
    SetText(data, 0x0008, 0x103e, fields.seriesDescription, gdcm::VR::LO);
    if (fields.sliceThickness) SetText(data, 0x0018, 0x0050, Decimal(*fields.sliceThickness), gdcm::VR::DS);
    if (fields.triggerTime) SetText(data, 0x0018, 0x1060, Decimal(*fields.triggerTime), gdcm::VR::DS);
    if (fields.instanceNumber) SetText(data, 0x0020, 0x0013, std::to_string(*fields.instanceNumber), gdcm::VR::IS);
    if (fields.temporalPosition)
        SetText(data, 0x0020, 0x0100, std::to_string(*fields.temporalPosition), gdcm::VR::IS);
    if (fields.acquisitionTime) SetText(data, 0x0008, 0x0032, *fields.acquisitionTime, gdcm::VR::TM);
    if (fields.rescaleSlope) image.SetSlope(*fields.rescaleSlope);
    if (fields.rescaleIntercept) image.SetIntercept(*fields.rescaleIntercept);

    const bool rewrite = fields.pixelRepresentation || fields.syntax == DicomImageFields::Syntax::kDeflated;
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
