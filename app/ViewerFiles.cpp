// The file commands: choosing files to open.

#include "Viewer.h"

void CViewer::OnOpenTvi() {
    const std::string path = m_host.Dialogs().AskOpenFileName({"Time volume files (*.tvi)", "tvi", ""});
    if (!path.empty()) LoadTviFile(path);
}

void CViewer::OnLoadGeometry() {
    const std::string path = m_host.Dialogs().AskOpenFileName({"Geometry files (*.obj)", "obj", ""});
    if (!path.empty()) LoadGeometryFile(path);
}
