#include "WindowLevelDialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QSignalBlocker>

#include <array>
#include <limits>

namespace {

QDoubleSpinBox* NumberBox(double minimum) {
    auto* box = new QDoubleSpinBox;
    box->setDecimals(3);
    box->setRange(minimum, 1e9);
    box->setAccelerated(true);
    return box;
}

}  // namespace

CWindowLevelDialog::CWindowLevelDialog(const CWindowLevelValues& values, QWidget* parent)
    : QDialog(parent),
      m_values(values),
      m_center(NumberBox(-1e9)),
      m_width(NumberBox(0.001)),
      m_presets(new QComboBox),
      m_colourMaps(new QComboBox) {
    setWindowTitle("Window/Level");
    m_presets->addItem(values.loadDefault ? "Load default" : "Custom");
    for (const CWindowLevelValues::CPreset& preset : values.presets)
        m_presets->addItem(WindowPresetTitle(preset.preset));
    for (const CColourMapInfo& map : ::ColourMaps()) {
        m_colourMaps->addItem(map.title, static_cast<int>(map.map));
        if (map.map == values.colourMap) m_colourMaps->setCurrentIndex(m_colourMaps->count() - 1);
    }
    ShowWindow(values.window);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    auto* form = new QFormLayout(this);
    form->addRow("Preset:", m_presets);
    form->addRow("Level (centre):", m_center);
    form->addRow("Window (width):", m_width);
    form->addRow("Colour map:", m_colourMaps);
    form->addRow(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_presets, &QComboBox::activated, this, [this](int index) { ChoosePreset(index); });
    const auto edited = [this] {
        if (m_filling) return;
        m_values.loadDefault = false;
        m_values.window = {m_center->value(), m_width->value()};
    };
    connect(m_center, &QDoubleSpinBox::valueChanged, this, edited);
    connect(m_width, &QDoubleSpinBox::valueChanged, this, edited);
    connect(m_colourMaps, &QComboBox::activated, this,
            [this](int index) { m_values.colourMap = static_cast<EColourMap>(m_colourMaps->itemData(index).toInt()); });
}

void CWindowLevelDialog::ShowWindow(const CDisplayWindow& window) {
    m_filling = true;
    m_center->setValue(window.center);
    m_width->setValue(window.width);
    m_filling = false;
}

void CWindowLevelDialog::ChoosePreset(int index) {
    // Row 0 is the window the dialog opened with.
    if (index <= 0 || index > static_cast<int>(m_values.presets.size())) return;
    const CWindowLevelValues::CPreset& preset = m_values.presets[static_cast<size_t>(index - 1)];
    m_values.window = preset.window;
    m_values.loadDefault = preset.preset == EWindowPreset::kLoadDefault;
    ShowWindow(preset.window);
}
