#include "CurvesExport.h"

#include <QApplication>
#include <QBuffer>
#include <QGraphicsScene>
#include <QImage>
#include <QPainter>
#include <QSvgGenerator>
#include <cctype>
#include <cstdio>

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
    // A run without a window reports in one line per failure; Qt's remarks
    // on its surroundings (no XDG_RUNTIME_DIR, no fonts configured) would
    // come between them. Its critical messages still reach standard error.
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& message) {
        if (type == QtCriticalMsg || type == QtFatalMsg) std::fprintf(stderr, "%s\n", qPrintable(message));
    });
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
    chart->SetLabelColours(viewer.View().m_labelColours);
    chart->SetCurves(curves);
    chart->SetFrame(viewer.State().m_t);
    chart->setGeometry(0, 0, width, height);
    scene.setSceneRect(0, 0, width, height);

    // Drawn into memory and written in one piece beside the file, which it
    // replaces only once all is written.
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (LowerExtension(path) == "svg") {
        QSvgGenerator svg;
        svg.setOutputDevice(&buffer);
        svg.setSize(QSize(width, height));
        svg.setViewBox(QRect(0, 0, width, height));
        svg.setTitle("Curves");
        QPainter painter(&svg);
        scene.render(&painter, QRectF(0, 0, width, height), QRectF(0, 0, width, height));
        painter.end();
    } else {
        QImage image(width, height, QImage::Format_RGB32);
        image.fill(Qt::white);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        scene.render(&painter, QRectF(0, 0, width, height), QRectF(0, 0, width, height));
        painter.end();
        image.save(&buffer, "PNG");
    }
    std::string error;
    if (bytes.isEmpty()) {
        error = "Cannot write " + path + ": the picture could not be made";
    } else if (!WriteWholeFile(path, bytes.toStdString(), error)) {
        error[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(error[0])));
    }
    if (!error.empty()) viewer.Host().Dialogs().ShowMessage(kProductName, error, CDialogService::Icon::kWarning);
    return error.empty();
}
