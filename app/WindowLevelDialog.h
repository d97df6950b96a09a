#pragma once

#include <QDialog>

#include "WindowLevel.h"

class QComboBox;
class QDoubleSpinBox;

// Display > Window/Level...: the window's centre and width in the file's
// units, the presets that fill them in, and the colour map. "Load default"
// stands until a number is edited.
class CWindowLevelDialog : public QDialog {
public:
    CWindowLevelDialog(const CWindowLevelValues& values, QWidget* parent = nullptr);

    // The values as the dialog holds them now.
    const CWindowLevelValues& Values() const { return m_values; }

    QDoubleSpinBox& Center() const { return *m_center; }
    QDoubleSpinBox& Width() const { return *m_width; }
    QComboBox& Presets() const { return *m_presets; }
    QComboBox& ColourMaps() const { return *m_colourMaps; }

private:
    // Fills the numbers from preset row `index` of the combo box.
    void ChoosePreset(int index);
    // Shows the window without taking the boxes' edits as the user's.
    void ShowWindow(const CDisplayWindow& window);

    CWindowLevelValues m_values;
    QDoubleSpinBox* m_center;
    QDoubleSpinBox* m_width;
    QComboBox* m_presets;
    QComboBox* m_colourMaps;
    bool m_filling = false;
};
