#pragma once

#include <QDialog>

#include <vector>

class QCheckBox;
class QSpinBox;

// Asks for the frames whose labels are carried over time: one reference
// frame (typically end-diastole), and optionally a second (end-systole).
class CPropagationDialog : public QDialog {
    Q_OBJECT

public:
    // Starts from `references` (one or two frames of `frames`).
    CPropagationDialog(const std::vector<int>& references, int frames, QWidget* parent);

    // The frames chosen, the first reference first.
    std::vector<int> References() const;

private:
    QSpinBox* m_first;
    QCheckBox* m_useSecond;
    QSpinBox* m_second;
};
