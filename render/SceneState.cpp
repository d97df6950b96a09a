#include "SceneState.h"

void CSceneState::StepPlaneAlpha(bool raise) {
    for (int plane = 0; plane < 2; ++plane) {
        if (raise && m_planeAlpha[plane] < 1.0) m_planeAlpha[plane] += 0.05;
        if (!raise && m_planeAlpha[plane] > 0.0) m_planeAlpha[plane] -= 0.05;
    }
}

void CSceneState::CycleSelectedObject() {
    const int count = static_cast<int>(m_meshes.ObjectsOfFrame(m_meshFrame).size());
    if (m_selectedObject < 0)
        m_selectedObject = 0;
    else if (m_selectedObject == count - 1)
        m_selectedObject = -1;
    else if (count == 0)
        m_selectedObject = 0;
    else
        m_selectedObject = (m_selectedObject + 1) % count;
}

std::vector<int> CSceneState::ObjectsToDraw() const {
    std::vector<int> objects = m_meshes.ObjectsOfFrame(m_meshFrame);
    if (m_selectedObject == -1) return objects;
    if (m_selectedObject < 0 || m_selectedObject >= static_cast<int>(objects.size())) return {};
    return {objects[static_cast<size_t>(m_selectedObject)]};
}
