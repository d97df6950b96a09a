#include "PropagationDialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QSpinBox>

CPropagationDialog::CPropagationDialog(const std::vector<int>& references, int frames, QWidget* parent)
    : QDialog(parent), m_first(new QSpinBox(this)), m_useSecond(new QCheckBox("Second reference frame", this)),
      m_second(new QSpinBox(this)) {
    setWindowTitle("Propagate Over Time");
    auto* layout = new QFormLayout(this);
    layout->addRow(new QLabel("The labels of the reference frames are carried to every other frame\n"
                              "that is not kept. Frames are counted from 0.",
                              this));
    for (QSpinBox* box : {m_first, m_second}) box->setRange(0, std::max(frames - 1, 0));
    m_first->setValue(references.empty() ? 0 : references[0]);
    m_useSecond->setChecked(references.size() > 1);
    m_second->setValue(references.size() > 1 ? references[1] : std::max(frames / 3, 0));
    m_second->setEnabled(m_useSecond->isChecked());
    connect(m_useSecond, &QCheckBox::toggled, m_second, &QSpinBox::setEnabled);
    layout->addRow("Reference frame (end-diastole)", m_first);
    layout->addRow(m_useSecond, m_second);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addRow(buttons);
}

std::vector<int> CPropagationDialog::References() const {
    std::vector<int> references = {m_first->value()};
    if (m_useSecond->isChecked() && m_second->value() != m_first->value()) references.push_back(m_second->value());
    return references;
}
