#include "PatientFrame.h"

std::optional<CAffine::Vector> CPatientFrame::VoxelOfPatient(const CAffine::Vector& patient) const {
    const std::optional<CAffine> inverse = m_voxelToPatient.Inverse();
    if (!inverse) return std::nullopt;
    return inverse->Apply(patient);
}

std::optional<CAffine> CPatientFrame::SceneToPatient() const {
    const std::optional<CAffine> sceneToVoxel = m_grid.SceneToVoxel();
    if (!sceneToVoxel) return std::nullopt;
    return m_voxelToPatient.Then(*sceneToVoxel);
}
