#pragma once

#include <QDialog>
#include <array>

#include "QtDialogService.h"

class QLineEdit;
class QPushButton;

// Edits the playback frame time, the pixel sizes and the saturation. The
// caller sets the public fields, runs the dialog and reads the fields back
// only when it ended with OK: a refused entry never reaches them.
class CPreferencesDialog : public QDialog {
    Q_OBJECT

public:
    // The edit boxes in the order the rows are shown and tabbed through.
    enum class EField { kFrameTime, kPixelSizeX, kPixelSizeY, kPixelSizeZ, kSaturation };
    static constexpr int kFieldCount = 5;

    // `dialogs` shows the complaint about a refused entry; nullptr uses Qt's
    // message box. The service must outlive the dialog.
    explicit CPreferencesDialog(CDialogService* dialogs = nullptr, QWidget* parent = nullptr);

    // The frame keeps the saturation as a fraction and the user edits a whole
    // percentage; rounding (not truncating) makes 0.29 come back as 29, so OK
    // without an edit leaves the saturation as it was.
    static int SaturationToPercent(double saturation);
    static double PercentToSaturation(int percent);

    // Puts the fields into the boxes; done each time the dialog is shown.
    void ShowFields();
    // Reads and checks every box. On the first refused entry it tells the
    // user, puts the focus on that box and returns false with the fields
    // untouched; otherwise it stores all of them and returns true.
    bool Validate();
    // OK closes the dialog only when Validate() accepts the entries.
    void accept() override;

    QLineEdit* Box(EField field) const { return m_boxes[static_cast<int>(field)]; }
    QPushButton* OkButton() const { return m_okButton; }
    QPushButton* CancelButton() const { return m_cancelButton; }

    int m_frameTimeMs = 0;
    double m_pixelSizeX = 0.0;
    double m_pixelSizeY = 0.0;
    double m_pixelSizeZ = 0.0;
    int m_saturationPercent = 0;

protected:
    void showEvent(QShowEvent* event) override;

private:
    template <typename T>
    bool ReadBox(EField field, T low, T high, T& value);

    CQtDialogService m_qtDialogs;
    CDialogService* m_dialogs;
    std::array<QLineEdit*, kFieldCount> m_boxes{};
    QPushButton* m_okButton = nullptr;
    QPushButton* m_cancelButton = nullptr;
};
