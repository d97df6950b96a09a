#include "CurvesExport.h"

#include <unistd.h>

#include <QApplication>
#include <QGraphicsScene>
#include <QImage>
#include <QPainter>
#include <QSvgGenerator>
#include <cctype>
#include <cstdio>
#include <filesystem>

#include "AboutDlg.h"
#include "Curves.h"
#include "CurvesChart.h"
#include "PathUtils.h"
#include "Viewer.h"

namespace {

std::string LowerExtension(const std::string& path) {
    std::string extension = PathExtension(FileNameOfPath(path));
    for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return extension;
}

}  // namespace

bool CCurvesExport::SaveCsv(CViewer& viewer, const std::string& path) {
    CCurves curves;
    curves.Compute(viewer);
    std::string error;
    if (WriteWholeFile(path, curves.Csv(), error)) return true;
    error[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(error[0])));
    viewer.Host().Dialogs().ShowMessage(kProductName, error, CDialogService::Icon::kWarning);
    return false;
}

void CCurvesExport::EnsureApplication() {
    if (QCoreApplication::instance() != nullptr) return;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "orvanta";
    static char* argv[] = {name, nullptr};
    // Kept to the end of the program: destroying it among the other statics
    // at exit would outlive the Qt state it needs.
    static const QApplication* application = new QApplication(argc, argv);
    (void)application;
}


bool CCurvesExport::IsPlotName(const std::string& path) {
    const std::string extension = LowerExtension(path);
    return extension == "png" || extension == "svg";
}

bool CCurvesExport::SavePlot(CViewer& viewer, const std::string& path, int width, int height) {
    EnsureApplication();
    CCurves curves;
    curves.Compute(viewer);
    // The scene owns the chart and deletes it with itself.
    QGraphicsScene scene;
    auto* chart = new CCurvesChart;
    scene.addItem(chart);
    chart->SetCurves(curves);
    chart->SetFrame(viewer.State().m_t);
    chart->setGeometry(0, 0, width, height);
    scene.setSceneRect(0, 0, width, height);

    const std::string temporary = path + ".part-" + std::to_string(getpid());
    const QString temporaryName = QString::fromLocal8Bit(temporary.c_str());
    std::string error;
    if (LowerExtension(path) == "svg") {
        QSvgGenerator svg;
        svg.setFileName(temporaryName);
        svg.setSize(QSize(width, height));
        svg.setViewBox(QRect(0, 0, width, height));
        svg.setTitle("Curves");
        QPainter painter;
        if (!painter.begin(&svg)) {
            error = "Cannot write " + path + ": it cannot be created";
        } else {
            scene.render(&painter, QRectF(0, 0, width, height), QRectF(0, 0, width, height));
            painter.end();
        }
    } else {
        QImage image(width, height, QImage::Format_RGB32);
        image.fill(Qt::white);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        scene.render(&painter, QRectF(0, 0, width, height), QRectF(0, 0, width, height));
        painter.end();
        if (!image.save(temporaryName, "PNG")) error = "Cannot write " + path + ": it cannot be created";
    }
    std::error_code status;
    if (error.empty()) {
        std::filesystem::rename(temporary, path, status);
        if (status) error = "Cannot replace " + path + ": " + status.message();
    }
    if (!error.empty()) {
        std::filesystem::remove(temporary, status);
        viewer.Host().Dialogs().ShowMessage(kProductName, error, CDialogService::Icon::kWarning);
    }
    return error.empty();
}
