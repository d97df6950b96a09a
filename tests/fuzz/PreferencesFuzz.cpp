// The input is what the user typed into the five boxes of the Preferences,
// one line each (frame time, pixel sizes x, y and z, saturation). Accepted
// entries must lie in their ranges and survive being shown and read again;
// a refused one must leave every field as it was and say why once.

#include <QApplication>
#include <QLineEdit>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "FuzzInput.h"
#include "PreferencesDialog.h"

namespace {

class CCountingDialogs : public CDialogService {
public:
    int m_messages = 0;
    void ShowMessage(const std::string&, const std::string& text, Icon) override {
        FuzzCheck(!text.empty(), "an empty complaint");
        ++m_messages;
    }
    std::string AskOpenFileName(const FileRequest&) override { return ""; }
    std::string AskSaveFileName(const FileRequest&) override { return ""; }
    std::string AskFolderName(const std::string&) override { return ""; }
    int AskChoice(const CChoiceTable&) override { return -1; }
};

struct SValues {
    int frameTime;
    double x, y, z;
    int saturation;
    friend bool operator==(const SValues&, const SValues&) = default;
};

SValues ValuesOf(const CPreferencesDialog& dialog) {
    return {dialog.m_frameTimeMs, dialog.m_pixelSizeX, dialog.m_pixelSizeY, dialog.m_pixelSizeZ,
            dialog.m_saturationPercent};
}

void SetValues(CPreferencesDialog& dialog, const SValues& values) {
    dialog.m_frameTimeMs = values.frameTime;
    dialog.m_pixelSizeX = values.x;
    dialog.m_pixelSizeY = values.y;
    dialog.m_pixelSizeZ = values.z;
    dialog.m_saturationPercent = values.saturation;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    // Font warnings of the offscreen platform would bury libFuzzer's report.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    static QApplication application(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static CCountingDialogs dialogs;
    static CPreferencesDialog dialog(&dialogs);

    const std::vector<std::string> lines = SplitInput(data, size, "\n", CPreferencesDialog::kFieldCount);
    for (int i = 0; i < CPreferencesDialog::kFieldCount; ++i) {
        const std::string text = i < static_cast<int>(lines.size()) ? lines[static_cast<size_t>(i)] : "";
        dialog.Box(static_cast<CPreferencesDialog::EField>(i))
            ->setText(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
    }
    const SValues before{-7, -1.0, -2.0, -3.0, -9};
    SetValues(dialog, before);
    dialogs.m_messages = 0;
    if (!dialog.Validate()) {
        FuzzCheck(ValuesOf(dialog) == before, "a refused entry changed a field");
        FuzzCheck(dialogs.m_messages == 1, "a refused entry is reported once");
        return 0;
    }
    FuzzCheck(dialogs.m_messages == 0, "accepted entries raised a complaint");
    const SValues accepted = ValuesOf(dialog);
    FuzzCheck(accepted.frameTime >= 1 && accepted.frameTime <= 5000, "frame time out of range");
    for (double pixelSize : {accepted.x, accepted.y, accepted.z})
        FuzzCheck(pixelSize >= 0.01 && pixelSize <= 100.0, "pixel size out of range");
    FuzzCheck(accepted.saturation >= 1 && accepted.saturation <= 100, "saturation out of range");
    FuzzCheck(CPreferencesDialog::SaturationToPercent(
                  CPreferencesDialog::PercentToSaturation(accepted.saturation)) == accepted.saturation,
              "the saturation does not survive the frame's fraction");

    // Shown and confirmed unchanged, the values stay what the boxes showed:
    // after one round through the boxes they are fixed.
    dialog.ShowFields();
    FuzzCheck(dialog.Validate(), "shown values are refused");
    const SValues shown = ValuesOf(dialog);
    dialog.ShowFields();
    FuzzCheck(dialog.Validate() && ValuesOf(dialog) == shown, "OK without an edit changes the values");
    FuzzCheck(shown.frameTime == accepted.frameTime && shown.saturation == accepted.saturation,
              "whole numbers change on the way through the boxes");
    return 0;
}
