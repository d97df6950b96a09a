#pragma once

#include <optional>

#include "Affine.h"
#include "VolumeGrid.h"

// A volume's grid placed in the patient: the file's transform (file voxel to
// RAS millimetres) on top of the grid's maps, so that scene millimetres,
// either numbering of a voxel and the patient convert through one place.
class CPatientFrame {
public:
    CPatientFrame(const CVolumeGrid& grid, const CAffine& voxelToPatient)
        : m_grid(grid), m_voxelToPatient(voxelToPatient) {}

    const CVolumeGrid& Grid() const { return m_grid; }
    const CAffine& VoxelToPatient() const { return m_voxelToPatient; }

    // RAS millimetres of a point in file voxel coordinates, and back (nothing
    // when the transform cannot be inverted).
    CAffine::Vector PatientOfVoxel(const CAffine::Vector& voxel) const {
        return m_voxelToPatient.Apply(voxel);
    }
    std::optional<CAffine::Vector> VoxelOfPatient(const CAffine::Vector& patient) const;

    // Scene millimetres to RAS millimetres; nothing when the grid is not usable.
    std::optional<CAffine> SceneToPatient() const;

private:
    CVolumeGrid m_grid;
    CAffine m_voxelToPatient;
};
